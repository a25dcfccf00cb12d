// kalubench: the library side of the file benchmark. "put DIR" writes every
// file of a local folder into the partition's root in 9216-byte calls, as
// the updater does; "get DIR" reads every plain file of the root back into
// a local folder. Disk from KALU_PHYSICALDRIVE0.
#include <dirent.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "kalu_core.h"

static int put(const std::string &dir) {
  DIR *d = opendir(dir.c_str());
  if (!d) return 1;
  std::vector<std::string> names;
  while (dirent *e = readdir(d))
    if (e->d_name[0] != '.') names.push_back(e->d_name);
  closedir(d);
  static char buf[9216];
  for (const std::string &n : names) {
    FILE *in = fopen((dir + "/" + n).c_str(), "rb");
    KALU_HANDLE h = KaLu_fopen(("\\" + n).c_str(), "w");
    if (!in || !h) return 2;
    setvbuf(in, nullptr, _IOFBF, 1 << 20);
    size_t got;
    while ((got = fread(buf, 1, sizeof buf, in)) > 0)
      if (KaLu_fwrite(buf, 1, (int)got, h) != (int)got) return 3;
    fclose(in);
    if (KaLu_fclose(h) != 0) return 4;
  }
  return 0;
}

static int get(const std::string &dir) {
  FindRecord r;
  static char buf[9216];
  for (int rc = KaLu_findfirstEx("\\*.*", 0, &r); rc == 0; rc = KaLu_findnextEx(&r)) {
    KALU_HANDLE h = KaLu_fopen((std::string("\\") + r.name).c_str(), "r");
    FILE *out = fopen((dir + "/" + r.name).c_str(), "wb");
    if (!h || !out) return 2;
    setvbuf(out, nullptr, _IOFBF, 1 << 20);  // the harness's own writes stay out of the figure
    int got;
    while ((got = KaLu_fread(buf, 1, sizeof buf, h)) > 0) fwrite(buf, 1, (size_t)got, out);
    fclose(out);
    KaLu_fclose(h);
  }
  return 0;
}

int main(int argc, char **argv) {
  if (argc != 3 || !libraryAttach()) return 2;
  int rc = strcmp(argv[1], "put") == 0 ? put(argv[2]) : strcmp(argv[1], "get") == 0 ? get(argv[2]) : 2;
  libraryDetach();
  return rc;
}
