// Physical sector access: the binding of the process-local routines
// readSector/writeSector at attach (the disk itself on the NT path, the
// raw-sector DLL on the 95/98 path) and the guard that refuses every write
// outside the mounted utility partition. The diagnostic seams (trace and
// write-fault injection) sit here, where a transfer reaches the disk.
#include <cstdio>

#include "kalu_core.h"
#include "plat.h"

SectorRoutine readSector = nullptr;
SectorRoutine writeSector = nullptr;

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

static int insidePartition(uint32_t sector) {
  uint32_t start, size;
  if (!partitionBounds(&start, &size)) return 0;
  return sector >= start && (uint64_t)sector < (uint64_t)start + size;
}

static int ntReadSector(uint32_t sector, void *buffer) {
  platIoTrace('R', sector);
  int err;
  if (!platDiskRead(diskHandle, (uint64_t)sector * 512u, buffer, &err)) {
    printSystemError(err, "Error reading from physical disk");
    return 0;
  }
  return 1;
}

static int ntWriteSector(uint32_t sector, void *buffer) {
  if (!insidePartition(sector)) return 0;
  int err = PLAT_ERR_IO;
  int ok = platIoWriteAllowed();
  if (ok) {
    platIoTrace('W', sector);
    ok = platDiskWrite(diskHandle, (uint64_t)sector * 512u, buffer, &err);
  }
  if (!ok) printSystemError(err, "Error writing to physical disk");
  return ok;
}

static int sectorDllReadSector(uint32_t sector, void *buffer) {
  platIoTrace('R', sector);
  return sectorDllRead(sector, buffer);
}

static int sectorDllWriteSector(uint32_t sector, void *buffer) {
  if (!insidePartition(sector)) return 0;
  if (!platIoWriteAllowed()) return 0;
  platIoTrace('W', sector);
  return sectorDllWrite(sector, buffer);
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
  readSector = ntReadSector;
  writeSector = ntWriteSector;
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
  readSector = sectorDllReadSector;
  writeSector = sectorDllWriteSector;
  return 1;
}

int bindSectors(void) {
  boundRawDisk = platPlatformId() == 2;
  g->rawDisk = boundRawDisk;
  int ok = boundRawDisk ? bindNt() : bindSectorDll();
  if (!ok) boundRawDisk = -1;
  return ok;
}

void releaseSectors(void) {
  if (boundRawDisk == 1 && diskHandle >= 0) platDiskClose(diskHandle);
  if (boundRawDisk == 0) platLibFree(sectorDllModule);
  diskHandle = -1;
  sectorDllModule = nullptr;
  boundRawDisk = -1;
  readSector = writeSector = nullptr;
}
