// Directories: the walk of a path from the root image through subdirectories
// (read one sector at a time through the shared DirWindow), the creation of
// entries in the root and in subdirectories, the stamp of a new entry, and
// whether an open file holds an entry.
//
// The root-directory area is never read or written as a subdirectory: an
// entry that names cluster 0, 1 or a cluster past the volume is never
// entered, except a ".." at cluster 0, which names the root itself and leads
// the walk (or a creation) back into the root image.
#include <cstring>
#include <string>

#include "kalu_core.h"

bool fixedClockSet = false;
PlatTime fixedClock = {};

uint16_t dosTime(int hour, int minute, int second) { return (uint16_t)(hour << 11 | minute << 5 | second / 2); }

uint16_t dosDate(int year, int month, int day) { return (uint16_t)(((year - 1980) % 128) << 9 | month << 5 | day); }

const uint8_t DOT_NAME[11] = {'.', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
const uint8_t DOTDOT_NAME[11] = {'.', '.', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
const uint8_t zeroSectors[FAT_IMAGE_SECTORS * 512] = {};

static DirEntry *windowEntries(void) { return reinterpret_cast<DirEntry *>(g->dirWindow.sector); }

bool entryInRoot(const DirEntry *e) { return e >= &g->rootDir[0] && e <= &g->rootDir[ROOT_ENTRIES_MAX - 1]; }

uint32_t entryIndex(const DirEntry *e) {
  return entryInRoot(e) ? (uint32_t)(e - g->rootDir) : (uint32_t)(e - windowEntries());
}

// Sectors a directory can span at most: a longer walk follows a loop.
static uint32_t dirSectorBound(void) { return clusterEnd() * bpbSectorsPerCluster(); }

int openDirWindow(uint16_t c) {
  if (!validCluster(c)) return 0;
  DirWindow &w = g->dirWindow;
  w.firstCluster = c;
  w.cluster = c;
  w.lba = clusterToSector(c);
  w.sectorInCluster = 0;
  return readSector(w.lba, w.sector) ? 1 : 0;
}

// Whether `next` already stands in the directory's chain from its first
// cluster up to `current` (or `current` cannot be reached from there): a
// chain that comes back on itself ends where it would repeat, so a walk or
// a search continued call after call never goes round for ever.
static bool chainRevisits(uint16_t first, uint16_t current, uint16_t next) {
  uint16_t c = first;
  for (uint32_t steps = 0; steps < clusterEnd(); steps++) {
    if (c == next) return true;
    if (c == current) return false;
    c = getFatEntry(c);
    if (!validCluster(c)) return true;
  }
  return true;
}

int nextDirSector(void) {
  DirWindow &w = g->dirWindow;
  if (w.sectorInCluster + 1 < bpbSectorsPerCluster()) {
    w.sectorInCluster++;
    w.lba++;
  } else {
    uint16_t next = getFatEntry(w.cluster);
    if (isEndOfChain(next) || !validCluster(next) || chainRevisits(w.firstCluster, w.cluster, next)) return DIR_END;
    w.cluster = next;
    w.lba = clusterToSector(next);
    w.sectorInCluster = 0;
  }
  return readSector(w.lba, w.sector) ? DIR_MOVED : DIR_READ_FAILED;
}

static bool entryMatches(const DirEntry *e, const uint8_t *name, uint8_t attr, bool last) {
  if (!matchFatName(e->name, name)) return false;
  return last ? sameKind(e->attr, attr) : (e->attr & ATTR_DIRECTORY) != 0;
}

static DirEntry *searchRoot(const uint8_t *name, uint8_t attr, bool last) {
  uint32_t n = rootEntryCount();
  for (uint32_t i = 0; i < n; i++) {
    DirEntry *e = &g->rootDir[i];
    if (e->name[0] == 0x00) return nullptr;
    if (e->name[0] != 0xE5 && entryMatches(e, name, attr, last)) return e;
  }
  return nullptr;
}

// Searches the directory from the window's current sector on.
static DirEntry *searchWindow(const uint8_t *name, uint8_t attr, bool last) {
  uint32_t bound = dirSectorBound();
  for (uint32_t sectors = 0; sectors < bound; sectors++) {
    for (int i = 0; i < 16; i++) {
      DirEntry *e = &windowEntries()[i];
      if (e->name[0] == 0x00) return nullptr;
      if (e->name[0] != 0xE5 && entryMatches(e, name, attr, last)) return e;
    }
    if (nextDirSector() != DIR_MOVED) return nullptr;
  }
  return nullptr;
}

static uint8_t upperChar(char c) { return (uint8_t)(c >= 'a' && c <= 'z' ? c - 32 : c); }

DirEntry *lookupPath(const char *path, uint8_t attr) {
  const char *p = path;
  if (p[0] == '#' && p[1] == ':') p += 2;
  bool inRoot = true;  // where the next component is searched
  DirEntry *match = nullptr;
  for (;;) {
    if (*p == '\\') p++;
    std::string comp;
    for (; *p && *p != '\\'; p++)
      if (comp.size() < 260) comp += (char)upperChar(*p);
    if (comp.empty()) return match;
    size_t dot = comp.rfind('.');
    std::string base = (dot == std::string::npos ? comp : comp.substr(0, dot)).substr(0, 255);
    std::string ext = dot == std::string::npos ? "" : comp.substr(dot).substr(0, 255);
    if (ext == ".") {
      base += ".";
      ext.clear();
    } else if (!ext.empty()) {
      ext.erase(0, 1);
    }
    uint8_t name[11];
    makeFatName(name, &base[0], &ext[0]);
    bool last = *p == 0 || (p[0] == '\\' && p[1] == 0);
    match = inRoot ? searchRoot(name, attr, last) : searchWindow(name, attr, last);
    if (!match || last) return match;
    uint16_t first = match->firstCluster;
    if (first == 0 && !inRoot && memcmp(match->name, DOTDOT_NAME, 11) == 0) {
      inRoot = true;  // ".." of a directory in the root
      continue;
    }
    if (!openDirWindow(first)) return nullptr;
    inRoot = false;
  }
}

static void stampEntry(DirEntry *e, const uint8_t *name, uint8_t attr) {
  PlatTime t;
  if (fixedClockSet)
    t = fixedClock;
  else
    platLocalTime(&t);
  memcpy(e->name, name, 11);
  e->attr = (attr & ATTR_KIND) ? attr : (uint8_t)(attr | ATTR_ARCHIVE);
  memset(e->reserved, 0, sizeof e->reserved);
  e->time = dosTime(t.hour, t.minute, t.second);
  e->date = dosDate(t.year, t.month, t.day);
  e->firstCluster = 0;
  e->size = 0;
}

// An existing entry of the name may be reused when it is of the same kind,
// no open file holds it, and its chain can be freed.
static int releaseForReuse(DirEntry *candidate) {
  if (entryInUse(candidate)) {
    setErrorCode(ERR_IN_USE);
    return -2;
  }
  if (candidate->firstCluster != 0 && freeChain(candidate->firstCluster) != 0) return -2;
  return 0;
}

int createRootEntry(const uint8_t *name, uint8_t attr) {
  uint32_t n = rootEntryCount();
  int index = -1;
  for (uint32_t i = 0; i < n && index < 0; i++)
    if (sameFatName(g->rootDir[i].name, name)) index = (int)i;
  if (index >= 0) {
    DirEntry *c = &g->rootDir[index];
    if ((c->attr | attr) & ATTR_KIND) return -2;
    if (releaseForReuse(c) != 0) return -2;
  } else {
    for (uint32_t i = 0; i < n && index < 0; i++)
      if (g->rootDir[i].name[0] == 0xE5 || g->rootDir[i].name[0] == 0x00) index = (int)i;
    if (index < 0) return -2;  // the root directory is full
  }
  stampEntry(&g->rootDir[index], name, attr);
  return writeRootSector((uint32_t)index) == 0 ? index : -2;
}

// Appends a zero-filled cluster to the directory in the window and moves the
// window onto its first sector. A failed zero-fill takes the cluster back, so
// no cluster of unknown content ever joins a directory.
static int extendDirectory(void) {
  DirWindow &w = g->dirWindow;
  uint16_t prev = w.cluster;
  memset(w.sector, 0, sizeof w.sector);
  int c = allocCluster(prev);
  if (c < 0) return -2;
  w.cluster = (uint16_t)c;
  w.lba = clusterToSector((uint16_t)c);
  w.sectorInCluster = 0;
  uint32_t spc = bpbSectorsPerCluster();
  if (writeSectors(w.lba, spc, zeroSectors) != spc) {
    setFatEntry(prev, endOfChainValue());
    setFatEntry((uint16_t)c, 0);
    return -2;
  }
  return 0;
}

int createSubdirEntry(const uint8_t *name, uint8_t attr, int allowReplace) {
  DirWindow &w = g->dirWindow;
  uint32_t bound = dirSectorBound();
  int index = -1;
  bool searching = true;
  for (uint32_t sectors = 0; searching && sectors < bound; sectors++) {
    for (int i = 0; i < 16 && searching; i++) {
      const DirEntry *e = &windowEntries()[i];
      if (e->name[0] == 0x00) {
        searching = false;
      } else if (sameFatName(e->name, name)) {
        index = i;
        searching = false;
      }
    }
    if (!searching) break;
    int r = nextDirSector();
    if (r == DIR_READ_FAILED) return -2;
    if (r == DIR_END) break;
  }
  if (index >= 0) {
    DirEntry *c = &windowEntries()[index];
    if (!allowReplace || !sameKind(c->attr, attr)) return -2;
    if (releaseForReuse(c) != 0) return -2;
  } else {
    if (!openDirWindow(w.firstCluster)) return -2;
    bool atEnd = false;
    for (uint32_t sectors = 0; index < 0 && !atEnd && sectors < bound; sectors++) {
      for (int i = 0; i < 16 && index < 0; i++) {
        uint8_t b0 = windowEntries()[i].name[0];
        if (b0 == 0xE5 || b0 == 0x00) index = i;
      }
      if (index >= 0) break;
      int r = nextDirSector();
      if (r == DIR_READ_FAILED) return -2;
      atEnd = r == DIR_END;
    }
    if (index < 0) {
      // Only a chain that ends grows; one that loops has no end to grow at.
      if (!atEnd || extendDirectory() != 0) return -2;
      index = 0;
    }
  }
  stampEntry(&windowEntries()[index], name, attr);
  return writeDirWindow() == 0 ? index : -2;
}

DirEntry *createEntryIn(const std::string &dirPart, const uint8_t *name, uint8_t attr, int allowReplace) {
  std::string dir = dirPart;
  if (dir.size() >= 2 && dir[0] == '#' && dir[1] == ':') dir.erase(0, 2);
  bool inRoot = dir.empty() || dir == "\\";
  if (!inRoot) {
    DirEntry *parent = lookupPath(dir.c_str(), ATTR_DIRECTORY);
    if (!parent) return nullptr;
    if (parent->firstCluster == 0 && !entryInRoot(parent) && memcmp(parent->name, DOTDOT_NAME, 11) == 0) {
      inRoot = true;
    } else if (!openDirWindow(parent->firstCluster)) {
      return nullptr;
    }
  }
  if (inRoot) {
    int i = createRootEntry(name, attr);
    return i < 0 ? nullptr : &g->rootDir[i];
  }
  int i = createSubdirEntry(name, attr, allowReplace);
  return i < 0 ? nullptr : &windowEntries()[i];
}

int entryInUse(const DirEntry *entry) {
  bool root = entryInRoot(entry);
  uint32_t index = entryIndex(entry);
  for (int s = 0; s < FILE_SLOTS; s++) {
    const FileSlot &slot = g->fileSlots[s];
    if (slot.entry.name[0] == 0 || !sameFatName(slot.entry.name, entry->name)) continue;
    bool here = root ? slot.inRoot && slot.entryIndex == index
                     : !slot.inRoot && slot.windowSector == g->dirWindow.lba && slot.entryIndex == index;
    if (here) return s + 1;
  }
  return 0;
}
