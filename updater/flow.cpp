// KaLuRefr: the updater's flow. It accepts only the command line the runner
// builds, makes sure the utility partition exists, lets the user quit,
// expands the release with unzip.exe, compares the installed and the new
// version, asks before overwriting, installs, and reports the outcome in a
// message and its exit code. Silent mode prints nothing and answers yes.
#include <strings.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "plat.h"
#include "updater.h"

int silentMode = 0;
std::string packageFolder;
std::string expandedFolder;

static const char TOKEN[] = "-MkfwLhfsj_Prawv";
enum InstallState { STATE_INSTALLED = 0, STATE_UNSET = 1, STATE_NO_PARTITION = 2 };

static const char NOT_FOUND[] =
    "\nIt was not possible to install QV e-FenoCraft within the Utility Partition\nbecause this partition was "
    "not found on your system. Exiting...\n\n\nPress any key to quit...";
static const char NO_UPDATE[] = "\nNo update requested. Keeping the current version.\n\n\nPress any key to quit...";
static const char COPY_ERROR[] =
    "\nError Copying files.\nIt was not possible to install QV e-FenoCraft within the Utility Partition\n\n\n"
    "Press any key to quit...";
static const char SUCCESS[] =
    "\nA new version of FenoCraft was successfully installed in the Utility\nPartition.\n\n\nPress any key to "
    "quit...";

void waitForKey(void) {
  if (!silentMode) platReadKey();
}

static void printUpdaterBanner(void) {
  platSay(silentMode, "e-FenoCraft Update Utility\t\t\tVersion B.02.03\n");
  platSay(silentMode, "Copyright (c) FenoCraft Corporation. All rights reserved.\n\n");
}

static void printUpdaterError(const char *text) { platSay(silentMode, "Error: %s\n\n", text); }

static bool isSilentSwitch(const char *arg) {
  return (arg[0] == '-' || arg[0] == '/') && (arg[1] == 'S' || arg[1] == 's');
}

static int partitionPresent(void) { return kalu.isPresent() != 0; }

static int isBarePartition(void) {
  FindRecord record;
  if (kalu.findfirstEx("\\*.*", 0, &record) == -1) return 0;
  bool io = false, msdos = false, qvstart = false;
  int count = 0;
  do {
    count++;
    if (record.attrib & 0x20) {
      io |= strcasecmp(record.name, "IO.SYS") == 0;
      msdos |= strcasecmp(record.name, "MSDOS.SYS") == 0;
      qvstart |= strcasecmp(record.name, "QVSTART.SYS") == 0;
    }
    if (count > 4) return 0;
  } while (kalu.findnextEx(&record) == 0);
  return io && msdos && qvstart;
}

static int copyFromPartition(const char *partitionPath, const std::string &localPath) {
  KALU_HANDLE h = kalu.fopen(partitionPath, "r");
  if (!h) return 0;
  FILE *out = platOpenFile(localPath.c_str(), "wb");
  if (!out) {
    kalu.fclose(h);
    return 0;
  }
  static char buffer[9216];
  int n;
  while ((n = kalu.fread(buffer, 1, sizeof buffer, h)) > 0)
    if (fwrite(buffer, 1, (size_t)n, out) != (size_t)n) break;
  kalu.fclose(h);
  fclose(out);
  return 1;
}

static std::string localConfigCopy(void) { return platTempFolder() + "/kaluconf.ini"; }

// A root with \kaluconf.txt and no readable \kaluconf.ini is a commit that
// was cut between its deletion and its rename: unfinished, not foreign.
static bool interruptedCommit(void) {
  KALU_HANDLE h = kalu.fopen("\\kaluconf.txt", "r");
  if (!h) return false;
  kalu.fclose(h);
  return true;
}

static InstallState detectInstallState(void) {
  std::string local = localConfigCopy();
  if (!copyFromPartition("\\kaluconf.ini", local))
    return interruptedCommit() || isBarePartition() ? STATE_UNSET : STATE_NO_PARTITION;
  char version[20];
  platIniRead(local.c_str(), "Fenocraft", "version", "", version, sizeof version);
  platDeleteFile(local.c_str());
  return strcasecmp(version, "empty") == 0 ? STATE_UNSET : STATE_INSTALLED;
}

static int readInstalledVersion(char *out) {
  std::string local = localConfigCopy();
  if (!copyFromPartition("\\kaluconf.ini", local)) return 0;
  platIniRead(local.c_str(), "FenoCraft", "Version", "", out, 20);
  platDeleteFile(local.c_str());
  return 1;
}

static int readNewVersion(char *out) {
  platIniRead((expandedFolder + "/kaluconf.ini").c_str(), "FenoCraft", "Version", "", out, 20);
  return out[0] != 0;
}

static int showIntro(void) {
  if (silentMode) return 1;
  platSay(silentMode, "\nThis utility will restore or update the QV e-FenoCraft on your hard disk's\nUtility Partition.\n\n"
      "If your system does not have the Utility Partition, this program will not\nrun.\n\n"
      "For the hardware diagnostics and their documentation, visit the FenoCraft\n"
      "support pages at http://support.fenocraft.example/diagnostics.\n\n"
      "Press any key to proceed or ESC to quit...");
  int key = platReadKey();
  platSay(silentMode, "\n");
  return key != 27;
}

static int askOverwrite(const char *installed, const char *fresh) {
  if (silentMode) return 1;
  for (;;) {
    platSay(silentMode, "\nThe current version of FenoCraft in your system is: %s\nThis utility is about to install version:      "
        "     %s\n\nDo you want to proceed with the update, overwriting the current version?\nYes (Y) or No (N): ",
        installed, fresh);
    int c = platReadChar();
    if (c < 0) return 0;  // the end of input answers no
    if (c == 'y' || c == 'Y') return 1;
    if (c == 'n' || c == 'N') return 0;
  }
}

static int expandArchive(void) {
  char unzip[4096], archive[4096];
  if (!platResolveCase((packageFolder + "/unzip.exe").c_str(), unzip, sizeof unzip) ||
      !platResolveCase("vFC_KALU.zip", archive, sizeof archive))
    return 0;
  int code;
  if (!platRunProgram(unzip, {unzip, "-qq", "-d", "./expanded", archive}, &code)) return 0;
  return code == 0;
}

// The installation could not be made: the partition keeps what it has, the
// local files go.
static int copyFailed(void) {
  platSay(silentMode, COPY_ERROR);
  waitForKey();
  removeLocalTree(expandedFolder);
  removeExpandedFiles();
  return 1;
}

static int install(void) {
  if (!treeCanBeInstalled() || kalu.resetContents() != 0) return copyFailed();
  prepareConfig(expandedFolder);
  if (!copyTreeToPartition(expandedFolder)) return copyFailed();
  commitConfig();
  removeExpandedFiles();
  platSay(silentMode, SUCCESS);
  waitForKey();
  return 0;
}

int main(int argc, char **argv) {
  bindLibrary();
  silentMode = 0;
  for (int i = 1; i < argc; i++)
    if (isSilentSwitch(argv[i])) silentMode = 1;
  const char *folder = nullptr;
  if (silentMode && argc == 4 && strcmp(argv[3], TOKEN) == 0) folder = argv[2];
  if (!silentMode && argc == 3 && strcmp(argv[2], TOKEN) == 0) folder = argv[1];
  if (!folder) {
    printUpdaterBanner();
    platSay(silentMode, "This utility is a part of FenoCraft update process.\n\n");
    return 1;
  }
  packageFolder = folder;
  expandedFolder = packageFolder + "/expanded";
  if (!partitionPresent() || detectInstallState() == STATE_NO_PARTITION) {
    platSay(silentMode, NOT_FOUND);
    waitForKey();
    return 3;
  }
  if (!showIntro()) return 6;
  if (!expandArchive()) {
    printUpdaterError("expanding Ostrel Image File");
    removeExpandedFiles();
    return 4;
  }
  switch (detectInstallState()) {
    case STATE_INSTALLED: {
      char installed[20], fresh[20];
      if (!readInstalledVersion(installed)) return 1;
      if (!readNewVersion(fresh)) return 4;
      if (!askOverwrite(installed, fresh)) {
        platSay(silentMode, NO_UPDATE);
        waitForKey();
        removeLocalTree(expandedFolder);
        removeExpandedFiles();
        return 6;
      }
      return install();
    }
    case STATE_UNSET:
      return install();
    case STATE_NO_PARTITION:
    default:
      removeLocalTree(expandedFolder);
      return 3;
  }
}
