// Run-time libraries: an emulation of the original platform's ordinary DLL
// search (the program's own folder, the current folder, LD_LIBRARY_PATH, the
// system's library folders, each with the local-name case rule). dlopen is
// only ever given a full path, so no run path of ours takes part.
#include "plat.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

static bool isFile(const std::string &p) {
  struct stat st;
  return stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

static void setText(char *errText, size_t errSize, const char *text) {
  snprintf(errText, errSize, "%s\n", text ? text : "unknown error");
}

void *platLibLoad(const char *name, char *errText, size_t errSize) {
  std::vector<std::string> folders;
  char buf[4096];
  if (platExeFolder(buf, sizeof buf)) folders.push_back(buf);
  if (getcwd(buf, sizeof buf)) folders.push_back(buf);
  if (const char *llp = platEnv("LD_LIBRARY_PATH")) {
    std::string s = llp;
    size_t start = 0;
    while (start <= s.size()) {
      size_t colon = s.find(':', start);
      std::string f = s.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
      if (!f.empty()) folders.push_back(f);
      if (colon == std::string::npos) break;
      start = colon + 1;
    }
  }
  for (const char *f : {"/lib", "/usr/lib", "/lib/x86_64-linux-gnu", "/usr/lib/x86_64-linux-gnu",
                        "/usr/local/lib"})
    folders.push_back(f);
  for (const std::string &f : folders) {
    std::string full = f + "/" + name;
    char resolved[4096];
    if (!platResolveCase(full.c_str(), resolved, sizeof resolved) || !isFile(resolved)) continue;
    void *m = dlopen(resolved, RTLD_NOW | RTLD_LOCAL);
    if (!m) setText(errText, errSize, dlerror());
    return m;
  }
  char missing[600];
  snprintf(missing, sizeof missing, "%s: cannot open shared object file: %s", name, strerror(ENOENT));
  setText(errText, errSize, missing);
  return nullptr;
}

void *platLibSymbol(void *module, const char *symbol, char *errText, size_t errSize) {
  dlerror();
  void *p = dlsym(module, symbol);
  if (!p) setText(errText, errSize, dlerror());
  return p;
}

void platLibFree(void *module) {
  if (module) dlclose(module);
}
