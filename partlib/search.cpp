// Directory search: the simple pair (KaLu_findfirst/KaLu_findnext: plain
// files of the root, raw 11-byte names) and the extended pair
// (KaLu_findfirstEx/KaLu_findnextEx: any directory, filtered by kind, with
// attributes, time, date, size and the name as text). The whole state of a
// search is the caller's record; the library keeps nothing between calls.
//
// A record handed back is range-checked before it is used: an entry index
// inside its directory, a sector that is the recorded cluster's, clusters of
// the volume. On this host lastMatch holds the root index of the last match.
#include <cstring>

#include "kalu_core.h"

static bool simpleMatch(const DirEntry &e, const uint8_t *pattern) {
  if (e.name[0] == 0x00 || e.name[0] == 0xE5 || (e.attr & ATTR_KIND)) return false;
  for (int i = 0; i < 11; i++) {
    uint8_t a = e.name[i], b = pattern[i];
    if (b != '?' && (a >= 'a' && a <= 'z' ? a - 32 : a) != (b >= 'a' && b <= 'z' ? b - 32 : b)) return false;
  }
  return true;
}

static int simpleFrom(uint32_t from, const uint8_t *pattern, char *nameOut, SearchRecord *record) {
  uint32_t n = rootEntryCount();
  for (uint32_t i = from; i < n; i++) {
    if (!simpleMatch(g->rootDir[i], pattern)) continue;
    memcpy(record->pattern, pattern, 11);
    record->lastMatch = i;
    memcpy(nameOut, g->rootDir[i].name, 11);
    setErrorCode(ERR_NONE);
    return 1;
  }
  return 0;
}

int KaLu_findfirst(const char *pattern, char *name, SearchRecord *record) {
  return lockedCall(0, [&] {
    if (!partitionUsable() || !pattern || !name || !record) return 0;
    uint8_t p[11];
    toFatName(pattern, p);
    return simpleFrom(0, p, name, record);
  });
}

static bool sameEntryBytes(const uint8_t *a, const uint8_t *b) {
  for (int i = 0; i < 32; i++) {
    uint8_t x = a[i] >= 'a' && a[i] <= 'z' ? a[i] - 32 : a[i];
    uint8_t y = b[i] >= 'a' && b[i] <= 'z' ? b[i] - 32 : b[i];
    if (x != y) return false;
  }
  return true;
}

int KaLu_findnext(char *name, SearchRecord *record) {
  return lockedCall(0, [&] {
    if (!partitionUsable() || !name || !record || record->lastMatch >= rootEntryCount()) return 0;
    // Resume after the first entry that equals the last match.
    const uint8_t *last = reinterpret_cast<const uint8_t *>(&g->rootDir[record->lastMatch]);
    uint32_t n = rootEntryCount();
    for (uint32_t i = 0; i < n; i++) {
      if (!sameEntryBytes(reinterpret_cast<const uint8_t *>(&g->rootDir[i]), last)) continue;
      uint8_t pattern[11];
      memcpy(pattern, record->pattern, 11);
      return simpleFrom(i + 1, pattern, name, record);
    }
    return 0;
  });
}

// The record's result fields from an entry, and its position from the window.
static void fillFound(FindRecord *r, const DirEntry *e) {
  r->attrib = e->attr;
  r->time = e->time;
  r->date = e->date;
  r->size = e->size;
  int n = 0;
  for (int i = 0; i < 8 && e->name[i] != ' '; i++) r->name[n++] = (char)e->name[i];
  if (e->name[8] != ' ') {
    r->name[n++] = '.';
    for (int i = 8; i < 11 && e->name[i] != ' '; i++) r->name[n++] = (char)e->name[i];
  }
  r->name[n] = 0;
  r->entryIndex = (uint16_t)entryIndex(e);
  r->windowFirstCluster = g->dirWindow.firstCluster;
  r->windowCluster = g->dirWindow.cluster;
  r->windowSector = g->dirWindow.lba;
  r->windowSectorInCluster = g->dirWindow.sectorInCluster;
}

int KaLu_findfirstEx(const char *path, int attr, FindRecord *record) {
  return lockedCall(-1, [&] {
    if (!partitionUsable() || !record || !validatePath(path, 1)) return -1;
    PathParts parts;
    splitPath(path, &parts);
    if (parts.ext == ".") {
      parts.base += ".";
      parts.ext.clear();
    } else if (!parts.ext.empty()) {
      parts.ext.erase(0, 1);
    }
    DirEntry *e = lookupPath(path, (uint8_t)attr);
    if (!e) return -1;
    FindRecord r;
    memcpy(&r, record, sizeof r);
    makeFatName(reinterpret_cast<uint8_t *>(r.pattern), &parts.base[0], &parts.ext[0]);
    r.wantAttr = (uint8_t)attr;
    r.inRoot = entryInRoot(e);
    fillFound(&r, e);
    memcpy(record, &r, sizeof r);
    setErrorCode(ERR_NONE);
    return 0;
  });
}

static bool takes(const DirEntry *e, const FindRecord *r) {
  return matchFatName(e->name, reinterpret_cast<const uint8_t *>(r->pattern)) && sameKind(e->attr, r->wantAttr);
}

static int nextInRoot(FindRecord *r) {
  uint32_t n = rootEntryCount();
  if (r->entryIndex >= n) return -1;
  for (uint32_t i = r->entryIndex + 1u; i < n; i++) {
    const DirEntry *e = &g->rootDir[i];
    if (e->name[0] == 0x00) return -1;
    if (e->name[0] == 0xE5 || !takes(e, r)) continue;
    fillFound(r, e);
    return 0;
  }
  return -1;
}

static int nextInSubdirectory(FindRecord *r) {
  // The recorded position must be a sector of a directory cluster.
  if (r->entryIndex >= 16 || !validCluster(r->windowCluster) || !validCluster(r->windowFirstCluster) ||
      r->windowSectorInCluster >= bpbSectorsPerCluster() ||
      r->windowSector != clusterToSector(r->windowCluster) + r->windowSectorInCluster)
    return -1;
  DirWindow &w = g->dirWindow;
  w.firstCluster = r->windowFirstCluster;
  w.cluster = r->windowCluster;
  w.lba = r->windowSector;
  w.sectorInCluster = r->windowSectorInCluster;
  if (!readSector(w.lba, w.sector)) return -2;
  const DirEntry *entries = reinterpret_cast<const DirEntry *>(w.sector);
  int i = r->entryIndex + 1;
  uint32_t bound = clusterEnd() * bpbSectorsPerCluster();
  for (uint32_t sectors = 0; sectors < bound; sectors++) {
    for (; i < 16; i++) {
      const DirEntry *e = &entries[i];
      if (e->name[0] == 0x00) return -1;
      if (e->name[0] == 0xE5 || !takes(e, r)) continue;
      fillFound(r, e);
      return 0;
    }
    int moved = nextDirSector();
    if (moved == DIR_READ_FAILED) return -2;
    if (moved == DIR_END) return -1;
    i = 0;
  }
  return -1;
}

int KaLu_findnextEx(FindRecord *record) {
  return lockedCall(-1, [&] {
    if (!partitionUsable() || !record) return -1;
    FindRecord r;
    memcpy(&r, record, sizeof r);
    int result = r.inRoot ? nextInRoot(&r) : nextInSubdirectory(&r);
    if (result != 0) return result;
    memcpy(record, &r, sizeof r);
    setErrorCode(ERR_NONE);
    return 0;
  });
}
