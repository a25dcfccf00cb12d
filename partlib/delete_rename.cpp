// KaLu_delete and KaLu_rename: every ordinary file that matches a path
// (wildcards allowed) is deleted or given a new name in its own directory,
// one match at a time, each time searching again from the start of the
// directory. Open files are protected by the busy check, and a directory
// never ends up with two entries of one name.
#include <cstring>
#include <string>

#include "kalu_core.h"

enum { SINGLE_DONE = 0, SINGLE_NONE = 1, SINGLE_OPEN = 2, SINGLE_FAILED = -2 };

int deleteSingle(const char *path, uint8_t kind) {
  DirEntry *e = lookupPath(path, kind);
  if (!e) return SINGLE_NONE;
  if (entryInUse(e)) {
    setErrorCode(ERR_IN_USE);
    return SINGLE_OPEN;
  }
  if (e->firstCluster != 0 && freeChain(e->firstCluster) != 0) return SINGLE_FAILED;
  e->name[0] = 0xE5;
  return writeEntrySector(e) == 0 ? SINGLE_DONE : SINGLE_FAILED;
}

static int deleteFiles(const char *path) {
  if (!partitionUsable() || !validatePath(path, 1)) return -2;
  int deleted = 0, r;
  while ((r = deleteSingle(path, 0)) == SINGLE_DONE) deleted++;
  if (r == SINGLE_FAILED) return -2;
  if (deleted == 0 || r == SINGLE_OPEN) return -1;
  setErrorCode(ERR_NONE);
  return 0;
}

int KaLu_delete(const char *path) {
  return lockedCall(-2, [&] { return deleteFiles(path); });
}

static std::string upper(std::string s) {
  for (char &c : s) c = (char)(c >= 'a' && c <= 'z' ? c - 32 : c);
  return s;
}

static std::string withoutDot(std::string ext) {
  if (!ext.empty() && ext[0] == '.') ext.erase(0, 1);
  return ext;
}

// A path of a directory part, a name and an extension. A name without an
// extension gets no trailing dot: the walk would take it into the name.
static std::string joinPath(const std::string &dir, const std::string &base, const std::string &ext) {
  return dir + base + (ext.empty() ? "" : "." + ext);
}

// The new 11-byte name from the new-name pattern: a '?' takes the found
// entry's character at its position, and the first blank ends its part.
static void applyNewName(uint8_t *pattern, const uint8_t *found) {
  for (int part = 0; part < 2; part++) {
    int from = part ? 8 : 0, to = part ? 11 : 8;
    bool ended = false;
    for (int i = from; i < to; i++) {
      if (!ended && pattern[i] == '?') pattern[i] = found[i];
      if (pattern[i] == ' ') ended = true;
      if (ended) pattern[i] = ' ';
    }
  }
}

static std::string partText(const uint8_t *name, int from, int to) {
  std::string s;
  for (int i = from; i < to && name[i] != ' '; i++) s += (char)name[i];
  return s;
}

static int renameFiles(const char *oldPath, const char *newName) {
  if (!partitionUsable() || !validatePath(oldPath, 1) || !validatePath(newName, 1)) return -2;
  PathParts np, op;
  splitPath(newName, &np);
  if (!np.drive.empty() || !np.dir.empty()) return -2;
  splitPath(oldPath, &op);
  if (!op.drive.empty() && op.drive != "#:") return -2;
  std::string oldLookup = joinPath(op.dir, upper(op.base), upper(withoutDot(op.ext)));
  std::string newBase = upper(np.base).substr(0, 8), newExt = upper(withoutDot(np.ext)).substr(0, 3);
  DirEntry *e = lookupPath(oldLookup.c_str(), 0);
  if (!e) return -1;
  // Every rename changes a name for good, so the matches run out; the
  // bound only guards against a directory that changes under the walk.
  for (int renamed = 0; e && renamed < 65536; renamed++) {
    if (entryInUse(e)) {
      setErrorCode(ERR_IN_USE);
      return -2;
    }
    DirWindow saved = g->dirWindow;
    uint8_t name[11];
    makeFatName(name, &newBase[0], &newExt[0]);
    applyNewName(name, e->name);
    std::string target = joinPath(op.dir, partText(name, 0, 8), partText(name, 8, 11));
    for (uint8_t kind : {(uint8_t)0, (uint8_t)ATTR_DIRECTORY, (uint8_t)ATTR_VOLUME})
      if (lookupPath(target.c_str(), kind)) return -1;  // the name is taken (also by the file itself)
    g->dirWindow = saved;
    memcpy(e->name, name, 11);
    if (writeEntrySector(e) != 0) return -2;
    e = lookupPath(oldLookup.c_str(), 0);
  }
  setErrorCode(ERR_NONE);
  return 0;
}

int KaLu_rename(const char *oldPath, const char *newName) {
  return lockedCall(-2, [&] { return renameFiles(oldPath, newName); });
}
