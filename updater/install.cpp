// The installation of the expanded tree into the partition: the
// configuration file as a small transaction (marked "empty" under its own
// name while the real one travels as KALUCONF.TXT, committed last), the tree
// copy with folders made before their files and every local file deleted
// once it is in the partition, and the removal of the local copies.
#include <strings.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <vector>

#include "plat.h"
#include "updater.h"

std::string partitionPathOf(const std::string &localPath) {
  size_t at = localPath.find(expandedFolder);
  if (at == std::string::npos) return "";
  std::string part = localPath.substr(at + expandedFolder.size());
  for (char &c : part)
    if (c == '/') c = '\\';
  return part.size() <= LOCAL_PATH_MAX ? part : "";
}

int prepareConfig(const std::string &folder) {
  std::string ini = folder + "/KALUCONF.INI", txt = folder + "/KALUCONF.TXT";
  if (ini.size() > CONFIG_PATH_MAX) return 0;
  copyLocalFile(ini, txt);
  platIniWrite(ini.c_str(), "Fenocraft", "version", "empty");
  platIniWrite(ini.c_str(), "Kaluconf", "timeout", "0");
  if (!copyFileToPartition(ini)) return 0;
  platDeleteFile(ini.c_str());
  if (!copyFileToPartition(txt)) return 0;
  platDeleteFile(txt.c_str());
  return 1;
}

int copyTreeToPartition(const std::string &folder) {
  std::vector<PlatListEntry> list;
  int ok = 1;
  if (platListFolder(folder.c_str(), &list)) {
    for (size_t i = 2; i < list.size() && ok; i++) {
      std::string sub = folder + "/" + list[i].name;
      if (sub.size() > LOCAL_PATH_MAX) {
        ok = 0;  // never cut into another path
      } else if (list[i].folder) {
        std::string part = partitionPathOf(sub);
        ok = !part.empty() && kalu.mkdir(part.c_str()) == 0 && copyTreeToPartition(sub);
        if (ok) platRemoveFolder(sub.c_str());
      } else {
        platClearReadOnly(sub.c_str());
        ok = copyFileToPartition(sub);
        if (ok) platDeleteFile(sub.c_str());
      }
    }
  }
  platRemoveFolder((packageFolder + "/Expanded").c_str());
  return ok;
}

int copyFileToPartition(const std::string &localPath) {
  size_t slash = localPath.find_last_of('/');
  std::string name = slash == std::string::npos ? localPath : localPath.substr(slash + 1);
  size_t dot = name.find_last_of('.');
  std::string base = dot == std::string::npos ? name : name.substr(0, dot);
  std::string ext = dot == std::string::npos ? "" : name.substr(dot);
  platSay(silentMode, "\rMoving to kalu \n");
  platSay(silentMode, "\rprocessing file %s%s\n", base.c_str(), ext.c_str());
  std::string part = partitionPathOf(localPath);
  if (part.empty() || localPath.size() > LOCAL_PATH_MAX) return 0;
  FILE *in = platOpenFile(localPath.c_str(), "rb");
  KALU_HANDLE out = kalu.fopen(part.c_str(), "w");
  if (!in || !out) {
    if (in) fclose(in);
    if (out) kalu.fclose(out);
    return 0;
  }
  static char buffer[9216];
  size_t n;
  int written = 0;
  while ((n = fread(buffer, 1, sizeof buffer, in)) > 0) {
    platSay(silentMode, ".");
    written = kalu.fwrite(buffer, 1, (int)n, out);
    if (written != (int)n) break;
  }
  kalu.fclose(out);
  fclose(in);
  platSay(silentMode, "\n");
  return written >= 0;
}

int commitConfig(void) {
  kalu.remove("\\kaluconf.ini");
  kalu.rename("\\kaluconf.txt", "kaluconf.ini");
  return 1;
}

void copyLocalFile(const std::string &src, const std::string &dst) {
  FILE *in = platOpenFile(src.c_str(), "rb");
  FILE *out = in ? platOpenFile(dst.c_str(), "wb") : nullptr;
  if (!in || !out) {
    if (in) fclose(in);
    return;
  }
  char buffer[1024];
  size_t n;
  bool shortWrite = false;
  while (!shortWrite && (n = fread(buffer, 1, sizeof buffer, in)) > 0) shortWrite = fwrite(buffer, 1, n, out) != n;
  fclose(in);
  if (fclose(out) != 0) shortWrite = true;
  if (shortWrite) platDeleteFile(dst.c_str());
}

void removeLocalTree(const std::string &folder) {
  std::vector<PlatListEntry> list;
  if (!platListFolder(folder.c_str(), &list)) return;
  for (size_t i = 2; i < list.size(); i++) {
    std::string sub = folder + "/" + list[i].name;
    if (list[i].folder) {
      removeLocalTree(sub);
      platRemoveFolder(sub.c_str());
    } else {
      platDeleteFile(sub.c_str());  // a read-only file stays, and its folder with it
    }
  }
}

void removeExpandedFiles(void) {
  std::string folder = packageFolder + "/Expanded";
  std::vector<PlatListEntry> list;
  if (platListFolder(folder.c_str(), &list)) {
    for (size_t i = 2; i < list.size(); i++) {
      std::string sub = folder + "/" + list[i].name;
      platClearReadOnly(sub.c_str());
      platDeleteFile(sub.c_str());
    }
  }
  platRemoveFolder(folder.c_str());
}

// ---- The check before the partition is emptied ----------------------------------

static bool badChar(char c) { return strchr(" ,;:|\\/<>\"+=[]*?", c) != nullptr || c == 0; }

// A name the library stores exactly (up to letter case): 1 to 8 characters,
// optionally a dot and 1 to 3 more, none the library refuses, no device name.
static bool plainName83(const std::string &name) {
  size_t dot = name.find('.');
  std::string base = name.substr(0, dot), ext = dot == std::string::npos ? "" : name.substr(dot + 1);
  if (base.empty() || base.size() > 8 || ext.size() > 3 || ext.find('.') != std::string::npos) return false;
  if (dot != std::string::npos && ext.empty()) return false;
  for (char c : base + ext)
    if (badChar(c)) return false;
  static const char *const reserved[] = {"AUX",  "CON",  "PRN",  "NUL",  "COM",  "LPT1", "LPT2",
                                         "LPT3", "LPT4", "COM1", "COM2", "COM3", "COM4"};
  for (const char *r : reserved)
    if (strcasecmp(base.c_str(), r) == 0) return false;
  return true;
}

static uint64_t sectorsOf(uint64_t bytes) { return (bytes + 511) / 512 * 512; }

static bool treeFits(const std::string &folder, uint64_t *need) {
  std::vector<PlatListEntry> list;
  if (!platListFolder(folder.c_str(), &list)) return false;
  std::set<std::string> seen;
  for (size_t i = 2; i < list.size(); i++) {
    const std::string &name = list[i].name;
    std::string upper = name;
    for (char &c : upper) c = (char)(c >= 'a' && c <= 'z' ? c - 32 : c);
    std::string sub = folder + "/" + name;
    if (!plainName83(name) || !seen.insert(upper).second || sub.size() > LOCAL_PATH_MAX ||
        partitionPathOf(sub).empty())
      return false;
    if (list[i].folder) {
      *need += 512;
      if (!treeFits(sub, need)) return false;
    } else {
      uint64_t size = 0;
      if (!platFileSize(sub.c_str(), &size)) return false;
      *need += sectorsOf(size);
    }
  }
  return true;
}

int treeCanBeInstalled(void) {
  uint64_t need = 0;
  if (!treeFits(expandedFolder, &need)) return 0;
  uint64_t config = 0;
  if (platFileSize((expandedFolder + "/kaluconf.ini").c_str(), &config)) need += sectorsOf(config);
  FindRecord r;
  for (int rc = kalu.findfirstEx("\\*.*", 0, &r); rc == 0; rc = kalu.findnextEx(&r))
    if (!strcasecmp(r.name, "IO.SYS") || !strcasecmp(r.name, "MSDOS.SYS") || !strcasecmp(r.name, "QVSTART.SYS"))
      need += r.size;
  int capacity = kalu.isPresent();
  return capacity > 0 && need <= (uint64_t)capacity;
}
