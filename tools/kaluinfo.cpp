// kaluinfo: prints what the library sees of the disk that
// KALU_PHYSICALDRIVE0 names: whether a utility partition is mounted, its MBR
// slot, FAT type, geometry and data capacity. A helper, not a deliverable.
#include <cstdio>

#include "kalu_core.h"

int main(void) {
  if (!libraryAttach()) return 66;
  int capacity = KaLu_is_present();
  int err = KaLu_getLastError();
  if (g->partIndex < 0) {
    printf("No utility partition found (KaLu_is_present %d, last error %d).\n", capacity, err);
  } else {
    printf("Utility partition: MBR entry %d, type %s\n", g->partIndex, g->typeA0or84 ? "0xA0/0x84" : "0x12");
    printf("File system:       FAT%d, %u data clusters of %u sectors\n", g->fat12 ? 12 : 16,
           g->clusterLimit - 2, bpbSectorsPerCluster());
    printf("Root entries:      %u\n", bpbRootEntries());
    printf("Capacity:          %d bytes (last error %d)\n", capacity, err);
  }
  libraryDetach();
  return 0;
}
