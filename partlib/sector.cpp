// Physical sector access: the binding of the process-local routines at
// attach (the disk itself on the NT path, the raw-sector DLL on the 95/98
// path) and the guard that refuses every write outside the mounted utility
// partition. readSector/writeSector move one sector; readSectors and
// writeSectors move a run of consecutive sectors, in one host transfer where
// the path allows, with exactly the per-sector effects of single moves:
// the same guard, the same trace lines and the same fault seams, which sit
// here, where a transfer reaches the disk.
#include <cstdio>

#include "kalu_core.h"

SectorRoutine readSector = nullptr;
SectorRoutine writeSector = nullptr;
typedef uint32_t (*RunRoutine)(uint32_t first, uint32_t count, void *buffer);
static RunRoutine readRun = nullptr;
static RunRoutine writeRun = nullptr;

static int diskHandle = -1;
static int boundRawDisk = -1;  // this process's own record of its path
static void *sectorDllModule = nullptr;
static SectorRoutine sectorDllRead = nullptr;
static SectorRoutine sectorDllWrite = nullptr;

int partitionBounds(uint32_t *start, uint32_t *size) {
  if (!g || g->partIndex < 0 || g->partIndex > 3) return 0;
  const uint8_t *e = g->mbr + 446 + 16 * g->partIndex;
  *start = le32(e + 8);
  *size = le32(e + 12);
  return 1;
}

// How many sectors of the run from `first` lie inside the partition.
static uint32_t insidePartition(uint32_t first, uint32_t count) {
  uint32_t start, size;
  if (!partitionBounds(&start, &size) || first < start) return 0;
  uint64_t end = (uint64_t)start + size;
  if (first >= end) return 0;
  return (uint64_t)first + count <= end ? count : (uint32_t)(end - first);
}

static uint32_t ntReadRun(uint32_t first, uint32_t count, void *buffer) {
  platIoTrace('R', first, count);
  int err;
  if (!platDiskRead(diskHandle, (uint64_t)first * 512u, buffer, count, &err)) {
    printSystemError(err, "Error reading from physical disk");
    return 0;
  }
  return count;
}

// Writes the part of the run that the guard and the seams let through in
// one transfer; the first sector stopped by a seam is a failed write.
static uint32_t ntWriteRun(uint32_t first, uint32_t count, void *buffer) {
  uint32_t inside = insidePartition(first, count);
  uint32_t allowed = platIoWritesAllowed(inside);
  int err = PLAT_ERR_IO;
  if (allowed) {
    platIoTrace('W', first, allowed);
    platIoWritesDone(allowed);
    if (!platDiskWrite(diskHandle, (uint64_t)first * 512u, buffer, allowed, &err)) {
      printSystemError(err, "Error writing to physical disk");
      return 0;
    }
  }
  if (allowed < inside) {
    platIoWriteFault();
    printSystemError(PLAT_ERR_IO, "Error writing to physical disk");
  }
  return allowed;
}

static uint32_t dllReadRun(uint32_t first, uint32_t count, void *buffer) {
  uint8_t *b = static_cast<uint8_t *>(buffer);
  for (uint32_t k = 0; k < count; k++) {
    platIoTrace('R', first + k, 1);
    if (!sectorDllRead(first + k, b + 512 * k)) return k;
  }
  return count;
}

static uint32_t dllWriteRun(uint32_t first, uint32_t count, void *buffer) {
  uint8_t *b = static_cast<uint8_t *>(buffer);
  for (uint32_t k = 0; k < count; k++) {
    if (!insidePartition(first + k, 1)) return k;
    if (!platIoWritesAllowed(1)) {
      platIoWriteFault();
      return k;
    }
    platIoTrace('W', first + k, 1);
    platIoWritesDone(1);
    if (!sectorDllWrite(first + k, b + 512 * k)) return k;
  }
  return count;
}

static int oneRead(uint32_t sector, void *buffer) { return readRun(sector, 1, buffer) == 1; }
static int oneWrite(uint32_t sector, void *buffer) { return writeRun(sector, 1, buffer) == 1; }

uint32_t readSectors(uint32_t first, uint32_t count, void *buffer) { return count ? readRun(first, count, buffer) : 0; }

uint32_t writeSectors(uint32_t first, uint32_t count, const void *buffer) {
  return count ? writeRun(first, count, const_cast<void *>(buffer)) : 0;
}

static int bindNt(void) {
  int err = PLAT_ERR_NOENT, media = 0, drive = -1;
  for (int d = 0; d <= 4 && drive < 0; d++)
    if (platDriveQuery(d, &media, &err) && media == PLAT_MEDIA_FIXED) drive = d;
  if (drive >= 0) diskHandle = platDiskOpen(drive, &err);
  if (drive < 0 || diskHandle < 0) {
    printSystemError(err, "Error opening physical disk");
    if (platIsAccessDenied(err)) printf("This is probably because user does not have administrative privileges.\n");
    return 0;
  }
  readRun = ntReadRun;
  writeRun = ntWriteRun;
  return 1;
}

static int bindSectorDll(void) {
  char text[1024];
  sectorDllModule = platLibLoad("SKTRAW32.DLL", text, sizeof text);
  if (!sectorDllModule) {
    printSystemText(text, "Error loading SKTRAW32.DLL");
    return 0;
  }
  const char *failure = nullptr;
  if (!(sectorDllRead = (SectorRoutine)platLibSymbol(sectorDllModule, "CallReadPhysicalSector1", text, sizeof text)))
    failure = "Error resolving function ReadPhysicalSector";
  else if (!(sectorDllWrite = (SectorRoutine)platLibSymbol(sectorDllModule, "CallWritePhysicalSector1", text,
                                                           sizeof text)))
    failure = "Error resolving function WritePhysicalSector";
  if (failure) {
    platLibFree(sectorDllModule);
    sectorDllModule = nullptr;
    printSystemText(text, failure);
    return 0;
  }
  readRun = dllReadRun;
  writeRun = dllWriteRun;
  return 1;
}

int bindSectors(void) {
  boundRawDisk = platPlatformId() == 2;
  g->rawDisk = boundRawDisk;
  int ok = boundRawDisk ? bindNt() : bindSectorDll();
  if (ok) {
    readSector = oneRead;
    writeSector = oneWrite;
  } else {
    boundRawDisk = -1;
  }
  return ok;
}

void releaseSectors(void) {
  if (boundRawDisk == 1 && diskHandle >= 0) platDiskClose(diskHandle);
  if (boundRawDisk == 0) platLibFree(sectorDllModule);
  diskHandle = -1;
  sectorDllModule = nullptr;
  boundRawDisk = -1;
  readSector = writeSector = nullptr;
  readRun = writeRun = nullptr;
}
