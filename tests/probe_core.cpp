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
  } else if (!strcmp(cmd, "peek")) {
    printf("tail=[%.16s]\n", (const char *)g->reservedTail);
  } else {
    return 2;
  }
  libraryDetach();
  return 0;
}
