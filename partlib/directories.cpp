// KaLu_mkdir and KaLu_rmdir: a new directory gets one zeroed cluster that
// begins with its "." and ".." entries, written in a fixed order (entry,
// zeroed sectors, entry with its cluster, dot sector, FAT), so that an
// interruption leaves a known state; an empty directory that
// begins with its dot entries is removed by the single deletion of its kind.
#include <cstring>
#include <string>

#include "kalu_core.h"


// Splits a valid path for mkdir and rmdir: the directory part, and the 8.3
// name of its last component in upper case. 0 for a drive other than "#:".
static int dirPathName(const char *path, std::string *dir, uint8_t *name) {
  PathParts p;
  splitPath(path, &p);
  if (!p.drive.empty() && p.drive != "#:") return 0;
  std::string base = p.base.substr(0, 8), ext = p.ext;
  if (!ext.empty() && ext[0] == '.') ext.erase(0, 1);
  ext = ext.substr(0, 3);
  memset(name, ' ', 11);
  for (size_t i = 0; i < base.size(); i++) name[i] = (uint8_t)(base[i] >= 'a' && base[i] <= 'z' ? base[i] - 32 : base[i]);
  for (size_t i = 0; i < ext.size(); i++) name[8 + i] = (uint8_t)(ext[i] >= 'a' && ext[i] <= 'z' ? ext[i] - 32 : ext[i]);
  *dir = p.dir;
  return 1;
}

static int makeDirectory(const char *path) {
  std::string dir;
  uint8_t name[11];
  if (!partitionUsable() || !validatePath(path, 0) || !dirPathName(path, &dir, name)) return -2;
  DirEntry *e = createEntryIn(dir, name, ATTR_DIRECTORY, 0);
  if (!e) return -2;
  bool inRoot = entryInRoot(e);
  uint16_t parent = inRoot ? 0 : g->dirWindow.firstCluster;
  int c = allocCluster(0);
  if (c < 0) return -2;
  e->firstCluster = (uint16_t)c;
  uint32_t first = clusterToSector((uint16_t)c);
  uint32_t spc = bpbSectorsPerCluster();
  if (writeSectors(first, spc, zeroSectors) != spc) return -2;
  DirEntry dots[16];
  memset(dots, 0, sizeof dots);
  for (int k = 0; k < 2; k++) {
    memcpy(dots[k].name, k ? DOTDOT_NAME : DOT_NAME, 11);
    dots[k].attr = ATTR_DIRECTORY;
    dots[k].time = e->time;
    dots[k].date = e->date;
    dots[k].firstCluster = k ? parent : (uint16_t)c;
  }
  if (writeEntrySector(e) != 0) return -2;
  if (!writeSector(first, dots)) return -2;
  if (flushFat() != 0) return -2;
  setErrorCode(ERR_NONE);
  return 0;
}

int KaLu_mkdir(const char *path) {
  return lockedCall(-2, [&] { return makeDirectory(path); });
}

static int removeDirectory(const char *path) {
  std::string dir;
  uint8_t name[11];
  if (!partitionUsable() || !validatePath(path, 0) || !dirPathName(path, &dir, name)) return -2;
  DirEntry *e = lookupPath(path, ATTR_DIRECTORY);
  if (!e) return -1;
  // An entry that names no cluster of the volume is no proper directory.
  if (!validCluster(e->firstCluster)) return -1;
  if (!openDirWindow(e->firstCluster)) return -2;
  const DirEntry *entries = reinterpret_cast<const DirEntry *>(g->dirWindow.sector);
  if (memcmp(entries[0].name, DOT_NAME, 11) != 0 || memcmp(entries[1].name, DOTDOT_NAME, 11) != 0) return -1;
  int i = 2;
  uint32_t bound = clusterEnd() * bpbSectorsPerCluster();
  bool empty = false;
  for (uint32_t sectors = 0; !empty && sectors < bound; sectors++) {
    for (; i < 16; i++) {
      uint8_t b0 = entries[i].name[0];
      if (b0 == 0x00) {
        empty = true;
        break;
      }
      if (b0 != 0xE5) return -1;
    }
    if (empty) break;
    int moved = nextDirSector();
    if (moved == DIR_READ_FAILED) return -2;
    if (moved == DIR_END) empty = true;
    i = 0;
  }
  if (!empty) return -1;
  int r = deleteSingle(path, ATTR_DIRECTORY);
  if (r == 0) {
    setErrorCode(ERR_NONE);
    return 0;
  }
  // The busy check's "in use" is not a sharing failure for a directory.
  if (r != -2) setErrorCode(ERR_FAILED);
  return r == -2 ? -2 : -1;
}

int KaLu_rmdir(const char *path) {
  return lockedCall(-2, [&] { return removeDirectory(path); });
}
