// The open-file table and the two exports that fill and empty it:
// KaLu_fopen (modes r, w, a; the sharing rules across processes; the lowest
// free slot) and KaLu_fclose (the last partial sector, the entry written
// back into its directory sector, the FAT flush).
//
// Handles are checked: a handle is accepted only when it is exactly one of
// the ten slots of this process's view and that slot is taken. A slot's
// sector buffer is always found from the slot's index in this process's
// own view; the address recorded in the block is never followed.
#include <cstring>
#include <string>

#include "kalu_core.h"

int slotIndexOf(KALU_HANDLE handle) {
  if (!g || !handle) return -1;
  for (int i = 0; i < FILE_SLOTS; i++)
    if (handle == static_cast<void *>(&g->fileSlots[i])) return g->fileSlots[i].entry.name[0] ? i : -1;
  return -1;
}

static char modeLetter(const char *mode) {
  if (!mode || !mode[0] || mode[1]) return 0;
  char m = (char)(mode[0] | 0x20);
  return m == 'r' || m == 'w' || m == 'a' ? m : 0;
}

bool slotIsReading(const FileSlot &slot) { return (slot.mode[0] | 0x20) == 'r'; }

// The absolute sector of byte `position` of a file whose current cluster is
// `cluster`; 0 when the cluster names no cluster of the volume.
uint32_t fileSector(uint16_t cluster, uint32_t position) {
  if (!validCluster(cluster)) return 0;
  return clusterToSector(cluster) + position / 512 % bpbSectorsPerCluster();
}

static void clearSlot(int i) {
  memset(&g->fileSlots[i], 0, sizeof g->fileSlots[i]);
}

static void fillSlotPosition(FileSlot &slot, const DirEntry *e) {
  slot.inRoot = entryInRoot(e);
  slot.entryIndex = (uint16_t)entryIndex(e);
  if (slot.inRoot) {
    slot.windowCluster = 0;
    slot.windowSector = slot.windowSectorInCluster = 0;
    slot.windowFirstCluster = 0;
  } else {
    slot.windowCluster = g->dirWindow.cluster;
    slot.windowSector = g->dirWindow.lba;
    slot.windowSectorInCluster = g->dirWindow.sectorInCluster;
    slot.windowFirstCluster = g->dirWindow.firstCluster;
  }
}

static KALU_HANDLE openFile(const char *path, const char *mode) {
  char m = modeLetter(mode);
  if (!partitionUsable() || !m || !validatePath(path, 0)) return nullptr;
  PathParts parts;
  splitPath(path, &parts);
  if (!parts.drive.empty() && parts.drive != "#:") return nullptr;
  std::string base = parts.base.substr(0, 8), ext = parts.ext;
  if (!ext.empty() && ext[0] == '.') ext.erase(0, 1);
  ext = ext.substr(0, 3);
  for (char &c : base) c = (char)(c >= 'a' && c <= 'z' ? c - 32 : c);
  for (char &c : ext) c = (char)(c >= 'a' && c <= 'z' ? c - 32 : c);

  DirEntry *e = nullptr;
  if (m == 'r' || m == 'a') {
    // A name without extension is looked up without a trailing dot, which
    // the walk would take as part of the base name.
    std::string lookup = parts.dir + base + (ext.empty() ? "" : "." + ext);
    e = lookupPath(lookup.c_str(), 0);
    if (e) {
      int holder = entryInUse(e);
      if (holder && (m == 'a' || !slotIsReading(g->fileSlots[holder - 1]))) {
        setErrorCode(ERR_IN_USE);
        return nullptr;
      }
    } else if (m == 'r') {
      return nullptr;
    }
  }
  if (!e) {
    uint8_t name[11];
    memset(name, ' ', sizeof name);
    memcpy(name, base.data(), base.size());
    memcpy(name + 8, ext.data(), ext.size());
    e = createEntryIn(parts.dir, name, 0, m == 'w');
    if (!e) return nullptr;
  }
  int i = 0;
  while (i < FILE_SLOTS && g->fileSlots[i].entry.name[0]) i++;
  if (i == FILE_SLOTS) return nullptr;
  FileSlot &slot = g->fileSlots[i];
  clearSlot(i);
  slot.entry = *e;
  slot.buffer = (uint64_t)(uintptr_t)g->slotBuffers[i];
  strncpy(slot.mode, mode, sizeof slot.mode - 1);
  fillSlotPosition(slot, e);
  if (m == 'a') {
    slot.position = e->size;
    slot.entry.size = e->size - e->size % 512;
    int last = lastClusterOfChain(e->firstCluster);
    if (last < 0) {
      clearSlot(i);
      return nullptr;
    }
    slot.cluster = (uint16_t)last;
    if (slot.position % 512) {
      uint32_t sector = fileSector(slot.cluster, slot.position);
      if (!sector || !readSector(sector, g->slotBuffers[i])) {
        clearSlot(i);
        return nullptr;
      }
    }
  }
  setErrorCode(ERR_NONE);
  return &slot;
}

KALU_HANDLE KaLu_fopen(const char *path, const char *mode) {
  return lockedCall<KALU_HANDLE>(nullptr, [&] { return openFile(path, mode); });
}

// Puts the slot's entry back into its directory sector on disk.
static int writeBackEntry(const FileSlot &slot) {
  if (slot.inRoot) {
    if (slot.entryIndex >= rootEntryCount()) return -2;
    g->rootDir[slot.entryIndex] = slot.entry;
    return writeRootSector(slot.entryIndex);
  }
  // The recorded position must describe a sector of a subdirectory.
  if (slot.entryIndex >= 16 || !validCluster(slot.windowCluster) ||
      slot.windowSectorInCluster >= bpbSectorsPerCluster() ||
      slot.windowSector != clusterToSector(slot.windowCluster) + slot.windowSectorInCluster)
    return -2;
  DirWindow &w = g->dirWindow;
  w.firstCluster = slot.windowFirstCluster;
  w.cluster = slot.windowCluster;
  w.lba = slot.windowSector;
  w.sectorInCluster = slot.windowSectorInCluster;
  if (!readSector(w.lba, w.sector)) return -2;
  reinterpret_cast<DirEntry *>(w.sector)[slot.entryIndex] = slot.entry;
  return writeDirWindow();
}

static int closeFile(KALU_HANDLE handle) {
  int i = slotIndexOf(handle);
  if (i < 0) return -2;
  FileSlot &slot = g->fileSlots[i];
  if (slotIsReading(slot)) {
    clearSlot(i);
    setErrorCode(ERR_NONE);
    return 0;
  }
  if (slot.position % 512) {
    uint32_t sector = fileSector(slot.cluster, slot.position);
    if (!sector || !writeSector(sector, g->slotBuffers[i])) return -2;
    slot.entry.size += slot.position % 512;
    slot.entry.attr |= ATTR_ARCHIVE;
  }
  if (writeBackEntry(slot) != 0) return -2;
  int flushed = flushFat();
  clearSlot(i);
  if (flushed != 0) return -2;
  setErrorCode(ERR_NONE);
  return 0;
}

int KaLu_fclose(KALU_HANDLE handle) {
  return lockedCall(-2, [&] { return partitionUsable() ? closeFile(handle) : -2; });
}
