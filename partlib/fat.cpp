// The FAT engine: 12- and 16-bit entries of the shared FAT1 image, chain
// walks, freeing and first-fit allocation, per-sector dirty flags and their
// write-back to FAT1 and FAT2, and the write-back of directory sectors (the
// root sector that holds an entry, the DirWindow sector).
//
// Every walk is bounded: a chain can hold at most as many clusters as the
// volume has, and a link to cluster 0, 1 or past the volume ends it. No
// access leaves fatImage, whatever the shared block says.
#include <cstring>

#include "kalu_core.h"

uint32_t fatSectorCount(void) {
  uint32_t n = bpbFatSectors();
  return n < (uint32_t)FAT_IMAGE_SECTORS ? n : (uint32_t)FAT_IMAGE_SECTORS;
}

uint32_t rootEntryCount(void) {
  uint32_t n = bpbRootEntries() / 16u * 16u;
  return n < (uint32_t)ROOT_ENTRIES_MAX ? n : (uint32_t)ROOT_ENTRIES_MAX;
}

uint32_t rootSectorCount(void) { return rootEntryCount() / 16u; }

uint32_t clusterEnd(void) {
  uint32_t limit = g->clusterLimit;
  uint32_t entries = g->fat12 ? fatSectorCount() * 4096u / 12u : fatSectorCount() * 256u;
  uint32_t ceiling = g->fat12 ? 0xFF7u : 0xFFF7u;
  if (limit > entries) limit = entries;
  if (limit > ceiling) limit = ceiling;
  return limit;
}

uint32_t clusterToSector(uint16_t c) { return g->firstDataSector + (uint32_t)(c - 2) * bpbSectorsPerCluster(); }

static uint8_t *fatBytes(void) { return &g->fatImage[0][0]; }

uint16_t endOfChainValue(void) { return g->fat12 ? 0xFFF : 0xFFFF; }

int isEndOfChain(uint16_t v) { return g->fat12 ? v >= 0xFF7 : v >= 0xFFF7; }

// Entries that lie in the image: FAT16 up to 32767, FAT12 up to 43689.
static bool entryInImage(uint16_t c) {
  return g->fat12 ? (uint32_t)c / 2 * 3 + 2 < sizeof g->fatImage : (uint32_t)c * 2 + 1 < sizeof g->fatImage;
}

uint16_t getFatEntry(uint16_t c) {
  if (!entryInImage(c)) return endOfChainValue();
  const uint8_t *f = fatBytes();
  if (!g->fat12) return le16(f + 2u * c);
  uint32_t o = (uint32_t)c / 2 * 3;
  return c & 1 ? (uint16_t)(le16(f + o + 1) >> 4) : (uint16_t)(le16(f + o) & 0xFFF);
}

void setFatEntry(uint16_t c, uint16_t v) {
  if (!entryInImage(c)) return;
  if (v == 0 && c < g->allocHint) g->allocHint = c;
  uint8_t *f = fatBytes();
  if (!g->fat12) {
    f[2u * c] = (uint8_t)v;
    f[2u * c + 1] = (uint8_t)(v >> 8);
    return;
  }
  uint32_t o = (uint32_t)c / 2 * 3;
  if (c & 1) {
    uint16_t w = (uint16_t)((le16(f + o + 1) & 0x000F) | (v << 4));
    f[o + 1] = (uint8_t)w;
    f[o + 2] = (uint8_t)(w >> 8);
  } else {
    uint16_t w = (uint16_t)((le16(f + o) & 0xF000) | (v & 0x0FFF));
    f[o] = (uint8_t)w;
    f[o + 1] = (uint8_t)(w >> 8);
  }
}

void markFatEntryDirty(uint16_t c) {
  if (!entryInImage(c)) return;
  if (!g->fat12) {
    g->fatDirty[c / 256] = 1;
    return;
  }
  g->fatDirty[12u * c / 4096] = 1;
  g->fatDirty[(12u * c + 11) / 4096] = 1;
}

int lastClusterOfChain(uint16_t c) {
  if (c == 0 || isEndOfChain(c)) return c;  // entry 0 holds the media value: an end
  if (!validCluster(c)) return CHAIN_BROKEN;
  for (uint32_t steps = 0; steps < clusterEnd(); steps++) {
    uint16_t next = getFatEntry(c);
    if (isEndOfChain(next)) return c;
    if (!validCluster(next)) return CHAIN_BROKEN;
    c = next;
  }
  return CHAIN_BROKEN;  // longer than the volume: a loop
}

int freeChain(uint16_t c) {
  if (c == 0) return 0;
  // A freed cluster reads 0, so a loop ends where it closes; the step bound
  // is a second stop.
  for (uint32_t steps = 0; validCluster(c) && steps < clusterEnd(); steps++) {
    uint16_t next = getFatEntry(c);
    setFatEntry(c, 0);
    markFatEntryDirty(c);
    if (isEndOfChain(next)) break;
    c = next;
  }
  return flushFat();
}

int allocCluster(uint16_t prev) {
  if (prev != 0 && !validCluster(prev)) return CHAIN_BROKEN;
  uint32_t end = clusterEnd();
  // First fit from cluster 2; the clusters below the hint are known to be used.
  uint32_t from = g->allocHint > 2 && g->allocHint <= end ? g->allocHint : 2;
  for (uint32_t c = from; c < end; c++) {
    if (getFatEntry((uint16_t)c) != 0) continue;
    g->allocHint = c + 1;
    if (prev) {
      setFatEntry(prev, (uint16_t)c);
      markFatEntryDirty(prev);
    }
    setFatEntry((uint16_t)c, endOfChainValue());
    markFatEntryDirty((uint16_t)c);
    return (int)c;
  }
  g->allocHint = end;
  return -1;
}

int flushFat(void) {
  uint32_t n = fatSectorCount();
  for (uint32_t k = 0; k < n; k++) {
    if (!g->fatDirty[k]) continue;
    if (!writeSector(g->fat1Sector + k, g->fatImage[k])) return -2;
    if (bpbNumFats() == 2 && !writeSector(g->fat2Sector + k, g->fatImage[k])) return -2;
    g->fatDirty[k] = 0;
  }
  return 0;
}

int writeDirWindow(void) {
  // The window only ever shows a subdirectory's sector in the data area.
  if (g->dirWindow.lba < g->firstDataSector) return -2;
  return writeSector(g->dirWindow.lba, g->dirWindow.sector) ? 0 : -2;
}

int writeRootSector(uint32_t index) {
  uint32_t start, size;
  if (index >= rootEntryCount() || !partitionBounds(&start, &size)) return -2;
  uint32_t sector = start + bpbReservedSectors() + bpbNumFats() * fatSectorCount() + index / 16;
  return writeSector(sector, &g->rootDir[index / 16 * 16]) ? 0 : -2;
}

int writeEntrySector(DirEntry *p) {
  if (entryInRoot(p)) return writeRootSector(entryIndex(p));
  return writeDirWindow();
}
