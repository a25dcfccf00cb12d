// Local names matched without regard to letter case, as the original
// platform's file system matches them: a path whose exact spelling is absent
// resolves, component by component, to the entry that differs only in case
// (the first such entry in byte order when there are several).
#include "plat.h"

#include <cstring>
#include <dirent.h>
#include <string>
#include <strings.h>
#include <sys/stat.h>

static bool exists(const std::string &p) {
  struct stat st;
  return lstat(p.c_str(), &st) == 0;
}

int platResolveCase(const char *path, char *out, size_t outSize) {
  if (exists(path)) {  // the exact spelling: the usual case, one lookup
    size_t n = strlen(path);
    if (n + 1 > outSize) return 0;
    memcpy(out, path, n + 1);
    return 1;
  }
  std::string done;    // resolved prefix
  const char *p = path;
  if (*p == '/') {
    done = "/";
    while (*p == '/') p++;
  }
  bool parentExists = true;
  while (*p) {
    const char *end = strchr(p, '/');
    std::string comp = end ? std::string(p, end) : std::string(p);
    std::string dirPath = done.empty() ? "." : done;
    std::string candidate = done + comp;
    if (parentExists && !exists(candidate) && comp != "." && comp != "..") {
      std::string best;
      if (DIR *d = opendir(dirPath.c_str())) {
        while (struct dirent *e = readdir(d)) {
          if (strcasecmp(e->d_name, comp.c_str()) == 0 && (best.empty() || strcmp(e->d_name, best.c_str()) < 0))
            best = e->d_name;
        }
        closedir(d);
      }
      if (!best.empty())
        candidate = done + best;
      else
        parentExists = false;
    }
    done = candidate;
    if (!end) break;
    done += "/";
    p = end;
    while (*p == '/') p++;
  }
  if (done.size() + 1 > outSize) return 0;
  memcpy(out, done.c_str(), done.size() + 1);
  return 1;
}
