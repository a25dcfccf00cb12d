// probe_core: a test driver linked with the static core, for what tests need
// another real process to do: hold the lock, stay attached, poke the block.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "kalu_core.h"

int main(int argc, char **argv) {
  if (argc < 2) return 2;
  const char *cmd = argv[1];
  if (!libraryAttach()) return 66;
  if (!strcmp(cmd, "present")) {
    int p = KaLu_is_present();
    printf("present=%d err=%d partIndex=%d\n", p, KaLu_getLastError(), g->partIndex);
  } else if (!strcmp(cmd, "hold-lock")) {
    if (!libraryLockWait()) return 3;
    printf("locked\n");
    fflush(stdout);
    for (;;) pause();
  } else if (!strcmp(cmd, "poke-sleep")) {
    if (!libraryLockWait()) return 3;
    memcpy(g->reservedTail, argv[2], strlen(argv[2]) + 1);
    libraryLockRelease();
    printf("attached\n");
    fflush(stdout);
    for (;;) pause();
  } else if (!strcmp(cmd, "rewrite-boot")) {
    uint32_t start, size;
    uint8_t sector[512];
    if (!partitionBounds(&start, &size) || !readSector(start, sector)) return 3;
    for (int i = 0; i < 2; i++) printf("write %d: %d\n", i + 1, writeSector(start, sector));
  } else if (!strcmp(cmd, "write") && argc >= 5) {
    // write PATH SIZE SEED: a file of SIZE pattern bytes in 9216-byte calls.
    KALU_HANDLE h = KaLu_fopen(argv[2], "w");
    if (!h) return 4;
    long size = atol(argv[3]), seed = atol(argv[4]);
    static uint8_t chunk[9216];
    for (long done = 0; done < size;) {
      long n = size - done < 9216 ? size - done : 9216;
      for (long k = 0; k < n; k++) chunk[k] = (uint8_t)((done + k) * 7 + seed);
      if (KaLu_fwrite(chunk, 1, (int)n, h) != n) return 5;
      done += n;
    }
    printf("close=%d\n", KaLu_fclose(h));
  } else if (!strcmp(cmd, "open-sleep") && argc >= 4) {
    KALU_HANDLE h = KaLu_fopen(argv[2], argv[3]);
    printf("open=%s err=%d\n", h ? "ok" : "null", KaLu_getLastError());
    fflush(stdout);
    for (;;) pause();
  } else if (!strcmp(cmd, "write-run")) {
    // Five sectors of 0x5A in one run, 100 sectors into the partition.
    uint32_t start, size;
    static uint8_t run[5 * 512];
    memset(run, 0x5A, sizeof run);
    if (!partitionBounds(&start, &size)) return 3;
    printf("written=%u\n", writeSectors(start + 100, 5, run));
  } else if (!strcmp(cmd, "delete") && argc >= 3) {
    printf("delete=%d\n", KaLu_delete(argv[2]));
  } else if (!strcmp(cmd, "peek")) {
    printf("tail=[%.16s]\n", (const char *)g->reservedTail);
  } else {
    return 2;
  }
  libraryDetach();
  return 0;
}
