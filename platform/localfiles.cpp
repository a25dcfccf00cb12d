// Local files and folders, as the original platform treats them: names
// matched without regard to case, read-only as the owner-write bit (a
// read-only file is never deleted, even by root), a folder's write bit
// protecting nothing, sorted listings with "." and ".." first, TEMP and the
// free space of its drive.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "plat.h"

static std::string resolved(const char *path) {
  char out[4096];
  return platResolveCase(path, out, sizeof out) ? std::string(out) : std::string(path);
}

static std::string parentOf(const std::string &p) {
  size_t slash = p.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : p.substr(0, slash);
}

// Creating or deleting inside a folder that is not writable: the folder's
// bit protects nothing, so a change refused for it is made writable for its
// owner and tried once more.
template <class Change>
static int changeInFolder(const std::string &path, Change change) {
  int r = change();
  if (r >= 0 || (errno != EACCES && errno != EPERM)) return r;
  std::string folder = parentOf(path);
  struct stat st;
  if (stat(folder.c_str(), &st) != 0 || (st.st_mode & S_IWUSR)) return r;
  chmod(folder.c_str(), st.st_mode | S_IWUSR | S_IXUSR);
  return change();
}

FILE *platOpenFile(const char *path, const char *mode) {
  std::string p = resolved(path);
  if (mode[0] == 'r') return fopen(p.c_str(), (std::string(mode) + "e").c_str());  // close-on-exec
  int fd = changeInFolder(p, [&] { return open(p.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0777); });
  return fd < 0 ? nullptr : fdopen(fd, mode);
}

int platIsReadOnly(const char *path) {
  struct stat st;
  return stat(resolved(path).c_str(), &st) == 0 && !(st.st_mode & S_IWUSR);
}

int platIsFolder(const char *path) {
  struct stat st;
  return stat(resolved(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int platFileSize(const char *path, uint64_t *size) {
  struct stat st;
  if (stat(resolved(path).c_str(), &st) != 0) return 0;
  *size = (uint64_t)st.st_size;
  return 1;
}

int platDeleteFile(const char *path) {
  std::string p = resolved(path);
  struct stat st;
  if (lstat(p.c_str(), &st) != 0 || S_ISDIR(st.st_mode) || !(st.st_mode & S_IWUSR)) return 0;
  return changeInFolder(p, [&] { return unlink(p.c_str()); }) == 0;
}

int platMakeFolder(const char *path) {
  std::string p = resolved(path);
  return changeInFolder(p, [&] { return mkdir(p.c_str(), 0777); }) == 0;
}

int platRemoveFolder(const char *path) {
  std::string p = resolved(path);
  return changeInFolder(p, [&] { return rmdir(p.c_str()); }) == 0;
}

int platClearReadOnly(const char *path) {
  std::string p = resolved(path);
  struct stat st;
  if (stat(p.c_str(), &st) != 0) return 0;
  mode_t wanted = st.st_mode | S_IRUSR | S_IWUSR;
  return wanted == st.st_mode || chmod(p.c_str(), wanted) == 0;
}

int platChangeFolder(const char *path) { return chdir(resolved(path).c_str()) == 0; }

static std::string upperAscii(std::string s) {
  for (char &c : s) c = (char)(c >= 'a' && c <= 'z' ? c - 32 : c);
  return s;
}

int platListFolder(const char *path, std::vector<PlatListEntry> *entries) {
  std::string p = resolved(path);
  DIR *d = opendir(p.c_str());
  if (!d) return 0;
  std::vector<PlatListEntry> rest;
  while (struct dirent *e = readdir(d)) {
    std::string n = e->d_name;
    if (n == "." || n == "..") continue;
    struct stat st;
    std::string full = p + "/" + n;
    if (stat(full.c_str(), &st) != 0) continue;
    rest.push_back({n, S_ISDIR(st.st_mode), !(st.st_mode & S_IWUSR)});
  }
  closedir(d);
  std::sort(rest.begin(), rest.end(), [](const PlatListEntry &a, const PlatListEntry &b) {
    std::string ua = upperAscii(a.name), ub = upperAscii(b.name);
    return ua != ub ? ua < ub : a.name < b.name;
  });
  entries->clear();
  entries->push_back({".", true, false});
  entries->push_back({"..", true, false});
  entries->insert(entries->end(), rest.begin(), rest.end());
  return 1;
}

std::string platTempFolder(void) {
  for (const char *v : {"TEMP", "TMPDIR"})
    if (const char *t = platEnv(v)) return t;
  return "/tmp";
}

int platFreeSpace(const char *folder, uint64_t *bytes) {
  struct statvfs s;
  if (statvfs(resolved(folder).c_str(), &s) != 0) return 0;
  *bytes = (uint64_t)s.f_bavail * s.f_frsize;
  return 1;
}
