// REFRxxxx: the program at the front of every update package. It finds its
// own file, checks the package, unpacks every member into a fresh folder
// under TEMP, starts the updater from there, waits for it, removes the
// folder and ends with the updater's exit code.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "container.h"
#include "plat.h"

static int silentMode = 0;
static char silentSwitch[12];  // 11 characters and the terminator
static std::string startFolder;
static std::string workFolder;
static const char TOKEN[] = "-MkfwLhfsj_Prawv";

static void printPackageBanner(void) {
  printf("\n%-56.56sVersion %-7.7s\n", "e-FenoCraft Update Utility", "B.02.00");
  printf("Copyright (c) FenoCraft Corporation. All rights reserved.\n\n");
  fflush(stdout);
}

static void printUsage(void) {
  platSay(silentMode, "REFRxxxx.EXE [/S | /H]\n\nwhere:\n\r /S defines silent mode operation. All users entries will be "
      "automatically\n\r \r answer with YES and no output will be generated on the screen.\n\r /H issues a help "
      "message with the product name,version,copyright and the\n\r \r command line syntax.\n");
}

static void quitPrompt(void) {
  if (silentMode) return;
  platSay(silentMode, "\nPress any key to quit...");
  platReadKey();
}

static const char *errorText(void) { return strerror(errno); }

static void removeWorkFolder(void) {
  platChangeFolder(startFolder.c_str());
  std::vector<PlatListEntry> list;
  if (!platListFolder(workFolder.c_str(), &list)) return;
  for (size_t i = 2; i < list.size(); i++) {
    std::string path = workFolder + "/" + list[i].name;
    platClearReadOnly(path.c_str());
    platDeleteFile(path.c_str());
  }
  platRemoveFolder(workFolder.c_str());
}

// Diagnostic seam: tests may state the free megabytes of TEMP's drive.
static int freeMegabytes(const std::string &temp, uint64_t *mb) {
  if (const char *v = platEnv("KALU_TEST_FREE_MB")) {
    *mb = strtoull(v, nullptr, 10);
    return 1;
  }
  uint64_t bytes;
  if (!platFreeSpace(temp.c_str(), &bytes)) return 0;
  *mb = bytes / 1024 / 1024;
  return 1;
}

static int checkFreeSpace(const std::string &temp, const PackageTrailer &trailer) {
  uint64_t mb;
  if (!freeMegabytes(temp, &mb)) {
    platSay(silentMode, "generic error\n");
    return 0;
  }
  if (mb < trailer.requiredMb) {
    platSay(silentMode, "There is not enough space in the hard drive to proceed with the update.\n\nThis utility requires at least "
        "%ld MBytes of free space in the temporary\ndirectory drive.\n",
        (long)trailer.requiredMb);
    return 0;
  }
  return 1;
}

// A name not present yet, new for this process: "s", the process number in
// base 32, and a serial when that is taken.
static std::string freshFolderName(const std::string &temp) {
  const char digits[] = "0123456789abcdefghijklmnopqrstuv";
  std::string pid;
  for (unsigned long v = (unsigned long)getpid(); v || pid.empty(); v /= 32) pid.insert(pid.begin(), digits[v % 32]);
  std::string base = temp + "/s" + pid, name = base;
  for (int serial = 1; platIsFolder(name.c_str()) || access(name.c_str(), F_OK) == 0; serial++)
    name = base + "." + std::to_string(serial);
  return name;
}

static int extractMember(FILE *package, const MemberHeader &header, const char *name) {
  constexpr uint32_t CHUNK = 20480;
  uint8_t *buffer = static_cast<uint8_t *>(malloc(CHUNK));
  if (!buffer) {
    platSay(silentMode, "Insufficient memory.\n");
    return 0;
  }
  char label[64];
  snprintf(label, sizeof label, "\rProcessing file '%s'...", name);
  platSay(silentMode, "%-40.40s0%%", label);
  FILE *out = platOpenFile(name, "wb");
  if (!out) {
    free(buffer);
    platSay(silentMode, "File '%s' does not exists.\n", name);
    return 0;
  }
  uint32_t size = header.dataSize, left = size, crc = 0xFFFFFFFFu;
  while (left > 0) {
    size_t want = left < CHUNK ? left : CHUNK;
    size_t got = fread(buffer, 1, want, package);
    if (got == want) crc = crc32Update(got, crc, buffer);
    if (got != want || fwrite(buffer, 1, got, out) != got) {
      fclose(package);
      fclose(out);
      free(buffer);
      platSay(silentMode, "\n%s.\n", errorText());
      return 0;
    }
    left -= (uint32_t)got;
    platSay(silentMode, "%-40.40s%d%%", label, (int)((uint64_t)(size - left) * 100 / size));
  }
  bool ok = (crc ^ 0xFFFFFFFFu) == header.dataCrc;
  if (ok) {
    platSay(silentMode, "%-40.40sOK  \n", label);
  } else {
    fclose(package);
    platSay(silentMode, "%-40.40sBad CRC\n", label);
  }
  fclose(out);
  free(buffer);
  return ok;
}

int main(int argc, char **argv) {
  for (int i = 1; i < argc; i++) {
    const char *a = argv[i];
    if ((a[0] != '-' && a[0] != '/') || !a[1]) continue;
    if (a[1] == 'H' || a[1] == 'h') {
      printPackageBanner();
      printUsage();
      return 0;
    }
    if (a[1] == 'S' || a[1] == 's') {
      silentMode = 1;
      snprintf(silentSwitch, sizeof silentSwitch, "%s", a);  // cut to 11 characters
    }
  }
  // The package is this program's own file, whatever folder it was started from.
  char self[4096];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  std::string packagePath = n > 0 ? std::string(self, (size_t)n) : std::string(argv[0]);
  if (!silentMode) printPackageBanner();
  crc32Table();
  FILE *package = platOpenFile(packagePath.c_str(), "rb");
  if (!package) {
    platSay(silentMode, "File '%s' does not exists.\n", packagePath.c_str());
    quitPrompt();
    return 1;
  }
  char cwd[4096];
  if (!getcwd(cwd, sizeof cwd)) {
    platSay(silentMode, "%s\n", errorText());
    quitPrompt();
    return 1;
  }
  startFolder = cwd;
  std::string temp = platTempFolder();
  if (!platChangeFolder(temp.c_str())) {
    if (!platChangeFolder("/")) platSay(silentMode, "%s\n", errorText());
    quitPrompt();
    return 1;
  }
  PackageTrailer trailer;
  if (!readTrailer(package, &trailer, !silentMode)) return 5;
  if (!checkFreeSpace(temp, trailer)) return 5;
  workFolder = freshFolderName(temp);
  if (!platMakeFolder(workFolder.c_str())) {
    platSay(silentMode, "%s\n", errorText());
    quitPrompt();
    return 1;
  }
  if (!platChangeFolder(workFolder.c_str())) {
    int saved = errno;
    platRemoveFolder(workFolder.c_str());
    errno = saved;
    platSay(silentMode, "%s\n", errorText());
    quitPrompt();
    return 1;
  }
  if (!checkStub(package, trailer, !silentMode)) {
    removeWorkFolder();
    quitPrompt();
    return 1;
  }
  MemberHeader header;
  for (;;) {
    if (!readMemberHeader(package, &header)) {
      platSay(silentMode, "%s\n", errorText());
      removeWorkFolder();
      return 2;
    }
    if (!headerIsConsistent(header) || ((header.type == 'T' || header.type == 'I') && !memberNameIsPlain(header))) {
      printf("%s", INCONSISTENCY_MESSAGE);
      fflush(stdout);
      removeWorkFolder();
      return 2;
    }
    if (header.type != 'T' && header.type != 'I') break;
    char name[20] = {};
    memcpy(name, header.name, strnlen(header.name, sizeof header.name));
    if (access(name, F_OK) == 0 || platIsFolder(name)) {
      platClearReadOnly(name);
      platDeleteFile(name);
    }
    if (!extractMember(package, header, name)) {
      removeWorkFolder();
      return 2;
    }
    if (header.type == 'I') break;
  }
  fclose(package);
  std::vector<std::string> args = {workFolder + "/KaLuRefr.exe"};
  if (silentMode) args.push_back(silentSwitch);
  args.push_back(workFolder);
  args.push_back(TOKEN);
  int code = -1;
  if (!platRunProgram(args[0].c_str(), args, &code)) code = -1;
  removeWorkFolder();
  return code;
}
