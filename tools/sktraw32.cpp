// Raw-sector stand-in for the outside SKTRAW32.DLL of the 95/98 path: two
// exports that move one 512-byte sector of the disk that drive 0 maps to.
// It lies outside the system proper and is kept minimal.
#include <cstdint>
#include <fcntl.h>
#include <unistd.h>

#include "plat.h"

static int diskFd = -1;

static int disk(void) {
  if (diskFd < 0) {
    char path[4096];
    if (platDrivePath(0, path, sizeof path)) diskFd = open(path, O_RDWR | O_CLOEXEC);
  }
  return diskFd;
}

extern "C" __attribute__((visibility("default"))) int CallReadPhysicalSector1(uint32_t sector, void *buffer) {
  return disk() >= 0 && pread(diskFd, buffer, 512, (off_t)sector * 512) == 512;
}

extern "C" __attribute__((visibility("default"))) int CallWritePhysicalSector1(uint32_t sector, void *buffer) {
  return disk() >= 0 && pwrite(diskFd, buffer, 512, (off_t)sector * 512) == 512;
}
