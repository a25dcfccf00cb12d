// KaLu_resetContents: empties the partition down to its boot files. The
// root must begin with IO.SYS, MSDOS.SYS, the volume label and QVSTART.SYS;
// every other root entry is cleared and the FAT rebuilt so that only the
// three boot files' chains remain. No directory is walked and no data
// cluster touched: the rest simply becomes free.
//
// The chain list is a working list sized from the volume, so boot files of
// any length are restored; an empty boot file has no chain and ends
// nothing. While any file is open the reset refuses: a handle must never
// write into clusters that the reset freed.
#include <cstring>
#include <vector>

#include "kalu_core.h"

static bool plainFile(const DirEntry &e) { return (e.attr & ATTR_KIND) == 0; }

static bool bootEntriesInPlace(void) {
  const DirEntry *r = g->rootDir;
  return rootEntryCount() >= 4 && sameFatName(r[0].name, (const uint8_t *)"IO      SYS") && plainFile(r[0]) &&
         sameFatName(r[1].name, (const uint8_t *)"MSDOS   SYS") && plainFile(r[1]) &&
         (r[2].attr & ATTR_KIND) == ATTR_VOLUME && sameFatName(r[3].name, (const uint8_t *)"QVSTART SYS") &&
         plainFile(r[3]);
}

static bool anyFileOpen(void) {
  for (const FileSlot &s : g->fileSlots)
    if (s.entry.name[0]) return true;
  return false;
}

// A boot file's chain as it stands: its clusters, then the end value found.
// A chain that loops or leaves the volume is ended where it breaks.
static std::vector<uint16_t> chainOf(uint16_t first) {
  std::vector<uint16_t> chain;
  if (first == 0) return chain;
  uint16_t c = first;
  for (uint32_t steps = 0; steps <= clusterEnd(); steps++) {
    chain.push_back(c);
    uint16_t next = getFatEntry(c);
    if (isEndOfChain(next)) {
      chain.push_back(next);
      return chain;
    }
    if (!validCluster(next)) break;
    c = next;
  }
  chain.push_back(endOfChainValue());
  return chain;
}

static int resetContents(void) {
  if (!partitionUsable() || anyFileOpen() || !bootEntriesInPlace()) return -2;
  std::vector<uint16_t> chains[3];
  const int keep[3] = {0, 1, 3};
  for (int k = 0; k < 3; k++) {
    uint16_t first = g->rootDir[keep[k]].firstCluster;
    if (first != 0 && !validCluster(first)) return -2;
    chains[k] = chainOf(first);
  }
  uint32_t count = rootEntryCount();
  memset(&g->rootDir[4], 0, (count - 4) * sizeof(DirEntry));
  uint32_t limit = clusterEnd();
  size_t bytes = g->fat12 ? limit + (limit + 1) / 2 : 2 * (size_t)limit;
  memset(&g->fatImage[0][0], 0, bytes);
  g->allocHint = 2;
  setFatEntry(0, (uint16_t)((g->fat12 ? 0xF00 : 0xFF00) | bpbMedia()));
  setFatEntry(1, endOfChainValue());
  for (const auto &chain : chains)
    for (size_t i = 0; i + 1 < chain.size(); i++)
      if (!isEndOfChain(chain[i])) setFatEntry(chain[i], chain[i + 1]);
  uint32_t start, size;
  if (!partitionBounds(&start, &size)) return -2;
  uint32_t rootStart = start + bpbReservedSectors() + bpbNumFats() * fatSectorCount();
  uint32_t rootSectors = rootSectorCount();
  if (writeSectors(rootStart, rootSectors, g->rootDir) != rootSectors) return -2;
  for (uint32_t k = 0; k < fatSectorCount(); k++) g->fatDirty[k] = 1;
  if (flushFat() != 0) return -2;
  setErrorCode(ERR_NONE);
  return 0;
}

int KaLu_resetContents(void) {
  return lockedCall(-2, [] { return resetContents(); });
}
