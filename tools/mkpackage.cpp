// mkpackage: builds an update package (the runner's image, members with
// their headers, the trailer, all four kinds of CRC), and lists or verifies
// an existing package without running it. A helper, not a deliverable.
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "container.h"

static void usage(FILE *to) {
  fprintf(to,
          "usage: mkpackage build -o PACKAGE --runner RUNNER [--required-mb N] MEMBER[=NAME] ...\n"
          "       mkpackage list PACKAGE\n"
          "       mkpackage verify PACKAGE\n"
          "\n"
          "build   writes the runner's image, then each MEMBER file in the order given\n"
          "        (type T, the last one type I) under its file name or NAME (at most\n"
          "        12 characters, no folder), then the trailer with the runner's length,\n"
          "        its CRC and the free space the package needs in TEMP (default 5 MB).\n"
          "list    prints the trailer and every member with its type, size and CRCs.\n"
          "verify  checks every CRC and magic; exit code 0 when the package is sound.\n");
}

static bool readAll(const std::string &path, std::string *data) {
  FILE *f = fopen(path.c_str(), "rb");
  if (!f) return false;
  char buf[65536];
  size_t n;
  data->clear();
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) data->append(buf, n);
  bool ok = !ferror(f);
  fclose(f);
  return ok;
}

static int build(int argc, char **argv) {
  std::string out, runner;
  uint32_t requiredMb = 5;
  std::vector<std::string> members;
  for (int i = 0; i < argc; i++) {
    std::string a = argv[i];
    if (a == "-o" && i + 1 < argc) out = argv[++i];
    else if (a == "--runner" && i + 1 < argc) runner = argv[++i];
    else if (a == "--required-mb" && i + 1 < argc) requiredMb = (uint32_t)strtoul(argv[++i], nullptr, 10);
    else members.push_back(a);
  }
  if (out.empty() || runner.empty() || members.empty()) {
    usage(stderr);
    return 2;
  }
  std::string image;
  if (!readAll(runner, &image)) {
    fprintf(stderr, "mkpackage: cannot read %s\n", runner.c_str());
    return 1;
  }
  std::string package = image;
  for (size_t k = 0; k < members.size(); k++) {
    std::string arg = members[k], path = arg, name;
    size_t eq = arg.rfind('=');
    if (eq != std::string::npos) path = arg.substr(0, eq), name = arg.substr(eq + 1);
    if (name.empty()) name = path.substr(path.find_last_of('/') + 1);
    if (name.empty() || name.size() > 12 || name.find_first_of("/\\") != std::string::npos || name == "." ||
        name == "..") {
      fprintf(stderr, "mkpackage: '%s' is no plain member name of at most 12 characters\n", name.c_str());
      return 1;
    }
    std::string data;
    if (!readAll(path, &data) || data.size() >= 0x80000000u) {
      fprintf(stderr, "mkpackage: cannot read %s\n", path.c_str());
      return 1;
    }
    MemberHeader h;
    fillMemberHeader(&h, k + 1 == members.size() ? 'I' : 'T', name.c_str(), (uint32_t)data.size(),
                     crc32Of(data.data(), data.size()));
    package.append(reinterpret_cast<const char *>(&h), sizeof h);
    package += data;
  }
  PackageTrailer t;
  fillTrailer(&t, crc32Of(image.data(), image.size()), (uint32_t)image.size(), requiredMb);
  package.append(reinterpret_cast<const char *>(&t), sizeof t);
  FILE *f = fopen(out.c_str(), "wb");
  if (!f || fwrite(package.data(), 1, package.size(), f) != package.size() || fclose(f) != 0) {
    fprintf(stderr, "mkpackage: cannot write %s\n", out.c_str());
    return 1;
  }
  chmod(out.c_str(), 0755);
  return 0;
}

// Walks a package as the runner reads it; prints when asked. 0 when sound.
static int inspect(const char *path, bool print) {
  std::string p;
  if (!readAll(path, &p) || p.size() < sizeof(PackageTrailer)) {
    fprintf(stderr, "mkpackage: %s is no package\n", path);
    return 1;
  }
  PackageTrailer t;
  memcpy(&t, p.data() + p.size() - sizeof t, sizeof t);
  bool sound = crc32Of(&t, 24) == t.trailerCrc && strcmp(t.magic, "FenoCraft") == 0 && t.kind == 'F' &&
               t.stubLength <= p.size() - sizeof t && crc32Of(p.data(), t.stubLength) == t.stubCrc;
  if (print)
    printf("runner image %u bytes, CRC %08X, requires %u MB free in TEMP: %s\n", t.stubLength, t.stubCrc,
           t.requiredMb, sound ? "OK" : "BAD");
  size_t at = t.stubLength;
  bool last = false;
  while (sound && !last) {
    if (at + sizeof(MemberHeader) > p.size() - sizeof t) {
      sound = false;
      break;
    }
    MemberHeader h;
    memcpy(&h, p.data() + at, sizeof h);
    bool headerOk = headerIsConsistent(h) && (h.type == 'T' || h.type == 'I') && memberNameIsPlain(h) &&
                    at + sizeof h + h.dataSize <= p.size() - sizeof t;
    bool dataOk = headerOk && crc32Of(p.data() + at + sizeof h, h.dataSize) == h.dataCrc;
    if (print)
      printf("%c %-12.12s %10u bytes  CRC %08X  %s\n", h.type ? h.type : '?', headerOk ? h.name : "?", h.dataSize,
             h.dataCrc, dataOk ? "OK" : "BAD");
    sound = dataOk;
    last = h.type == 'I';
    at += sizeof h + h.dataSize;
  }
  sound = sound && at == p.size() - sizeof t;
  if (print || !sound) printf("%s: %s\n", path, sound ? "sound" : "damaged");
  return sound ? 0 : 1;
}

int main(int argc, char **argv) {
  if (argc < 2 || !strcmp(argv[1], "--help") || !strcmp(argv[1], "-h")) {
    usage(argc < 2 ? stderr : stdout);
    return argc < 2 ? 2 : 0;
  }
  if (!strcmp(argv[1], "build")) return build(argc - 2, argv + 2);
  if (!strcmp(argv[1], "list") && argc == 3) return inspect(argv[2], true);
  if (!strcmp(argv[1], "verify") && argc == 3) return inspect(argv[2], false);
  usage(stderr);
  return 2;
}
