// Partition discovery and mount: the MBR scan for the utility partition
// (types 0x12, 0xA0, 0x84 with a signed boot sector), the load of FAT1 and
// the root directory into the shared block with the geometry every other
// operation computes with, the FAT12/FAT16 decision, and KaLu_is_present.
#include <cstdio>
#include <cstring>

#include "kalu_core.h"

uint16_t bpbBytesPerSector(void) { return le16(g->bootSector + 11); }
uint8_t bpbSectorsPerCluster(void) { return g->bootSector[13]; }
uint16_t bpbReservedSectors(void) { return le16(g->bootSector + 14); }
uint8_t bpbNumFats(void) { return g->bootSector[16]; }
uint16_t bpbRootEntries(void) { return le16(g->bootSector + 17); }
uint16_t bpbFatSectors(void) { return le16(g->bootSector + 22); }
uint8_t bpbMedia(void) { return g->bootSector[21]; }
uint32_t bpbTotalSectors(void) {
  uint16_t t16 = le16(g->bootSector + 19);
  return t16 ? t16 : le32(g->bootSector + 32);
}

// Data clusters as the boot sector counts them. A boot sector whose areas
// exceed its own total counts none rather than wrapping round to billions.
static uint32_t bootSectorClusters(void) {
  uint32_t perSec = bpbBytesPerSector(), perClus = bpbSectorsPerCluster();
  if (perSec == 0 || perClus == 0) return 0;
  uint64_t meta = (uint64_t)bpbRootEntries() * 32 / perSec + (uint64_t)bpbNumFats() * bpbFatSectors() +
                  bpbReservedSectors();
  uint64_t total = bpbTotalSectors();
  return total > meta ? (uint32_t)((total - meta) / perClus) : 0;
}

int isFat12Volume(void) { return bootSectorClusters() + 1 <= 4086; }

// A signed boot sector is still refused when it would make the library
// divide by zero or read its FAT or root directory beyond the partition.
static int volumeFits(uint32_t size) {
  if (bpbBytesPerSector() == 0 || bpbSectorsPerCluster() == 0 || bpbNumFats() == 0) return 0;
  uint64_t meta = (uint64_t)bpbReservedSectors() + (uint64_t)bpbNumFats() * bpbFatSectors() + bpbRootEntries() / 16;
  return meta <= size;
}

int mountPartition(void) {
  if (g->mounted == 1) return 1;
  if (!readSector(0, g->mbr)) {
    printf("Error reading MBR on physical disk.\n");
    return 0;
  }
  int found = 0;
  uint32_t start = 0, size = 0;
  for (int i = 0; i < 4 && !found; i++) {
    const uint8_t *e = g->mbr + 446 + 16 * i;
    if (e[4] != 0x12 && e[4] != 0xA0 && e[4] != 0x84) continue;
    g->partIndex = i;
    g->typeA0or84 = e[4] != 0x12;
    start = le32(e + 8);
    size = le32(e + 12);
    if (!readSector(start, g->bootSector)) {
      printf("Error reading Boot Sector on physical disk.\n");
      return 0;
    }
    found = g->bootSector[510] == 0x55 && g->bootSector[511] == 0xAA && volumeFits(size);
  }
  if (!found) {
    g->partIndex = -1;
    return 1;
  }
  uint32_t perFat = bpbFatSectors(), fats = bpbNumFats(), reserved = bpbReservedSectors();
  if (perFat > FAT_IMAGE_SECTORS) {
    printf("Error reading File Allocation Table on physical disk: Partition too big.\n");
    return 0;
  }
  uint32_t fat1 = start + reserved;
  for (uint32_t k = 0; k < perFat; k++) {
    if (!readSector(fat1 + k, g->fatImage[k])) {
      printf("Error reading File Allocation Table on physical disk.\n");
      return 0;
    }
  }
  uint32_t rootSectors = bpbRootEntries() / 16u;
  if (rootSectors * 16u > ROOT_ENTRIES_MAX) {
    printf("Error reading Root Directory on physical disk: Too many entries on root directory.\n");
    return 0;
  }
  uint32_t rootStart = start + reserved + fats * perFat;
  for (uint32_t k = 0; k < rootSectors; k++) {
    if (!readSector(rootStart + k, &g->rootDir[k * 16])) {
      printf("Error reading Root Directory on physical disk.\n");
      return 0;
    }
  }
  g->fat1Sector = fat1;
  g->fat2Sector = fat1 + perFat;
  g->firstDataSector = rootStart + rootSectors;
  g->fat12 = isFat12Volume();
  uint32_t limit = (size - perFat * fats - rootSectors - reserved) / bpbSectorsPerCluster() + 2;
  // No cluster number may address an entry past the loaded FAT sectors or
  // reach the end-of-chain values.
  uint32_t fatEntries = g->fat12 ? perFat * 4096u / 12u : perFat * 256u;
  uint32_t ceiling = g->fat12 ? 0xFF7u : 0xFFF7u;
  if (limit > fatEntries) limit = fatEntries;
  if (limit > ceiling) limit = ceiling;
  g->clusterLimit = limit;
  g->mounted = 1;
  return 1;
}

int KaLu_is_present(void) {
  return lockedCall(0, [] {
    if (!partitionUsable()) return 0;
    int recognised = g->bootSector[510] == 0x55 && g->bootSector[511] == 0xAA && g->typeA0or84 == 1;
    recognised |= memcmp(g->bootSector + 495, "Velmar", 6) == 0 && g->typeA0or84 == 0;
    setErrorCode(ERR_NONE);
    if (!recognised) return 0;
    return (int)(bootSectorClusters() * bpbSectorsPerCluster() * 512u);
  });
}
