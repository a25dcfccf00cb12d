// Test kit: scratch folders, disk images built by tools/mkimage.sh (sfdisk,
// mkfs.fat, mtools), byte patches, child processes with their own
// environment, and in-process attach of the static core under a namespace
// of the test's own.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

using EnvList = std::vector<std::pair<std::string, std::string>>;

std::string binDir();    // build/bin
std::string testBinDir();  // where the probes are
std::string toolsDir();  // source tools/

struct TempDir {
  std::string path;
  TempDir();
  ~TempDir();
  std::string operator/(const std::string &name) const { return path + "/" + name; }
};

// A namespace no other test uses, so that shared objects never collide.
std::string uniqueNamespace();

// Runs a shell command; returns its exit status (128 + signal when killed).
int runShell(const std::string &cmd, std::string *output = nullptr);

// Builds an image with tools/mkimage.sh; fails the test on error.
void makeImage(const std::string &path, const std::string &args);
// The usual test disk: an ordinary FAT16 partition, then a FAT12 utility
// partition of type 0x12 at sector 22528 (20480 sectors, 8 per cluster).
enum : uint32_t { UTIL_START = 22528, UTIL_SIZE = 20480 };
void makeStandardImage(const std::string &path, const std::string &extra = "");
// The standard disk as dir/disk.img; returns its path.
std::string standardDisk(const TempDir &dir);
// A small FAT12 volume of type 0xA0 at sector 2048 (4000 sectors, no boot
// files) whose directory \DIR holds `files` small files F0, F1, ... made by
// mtools in that order; returns the image's path.
std::string volumeWithFullDir(const TempDir &dir, int sectorsPerCluster, int files);

void patchBytes(const std::string &path, uint64_t offset, const std::vector<uint8_t> &bytes);
void patchLe16(const std::string &path, uint64_t offset, uint16_t v);
void patchLe32(const std::string &path, uint64_t offset, uint32_t v);
std::vector<uint8_t> readBytes(const std::string &path, uint64_t offset, size_t n);
std::string readFile(const std::string &path);

// A child process with extra environment; stdout and stderr come back
// through one pipe.
struct Child {
  pid_t pid = -1;
  int outFd = -1;
  std::string output;
};
// stdinPath: a file to read standard input from ("" inherits it).
Child startChild(const std::vector<std::string> &argv, const EnvList &env, const std::string &cwd = "",
                 const std::string &stdinPath = "");
// Reads until the output holds `text` (or the child ends); true when found.
bool waitForOutput(Child &c, const std::string &text, int timeoutMs = 20000);
int finishChild(Child &c);  // waits, collects the rest of the output; exit status
void killChild(Child &c);   // SIGKILL and reap
// Starts, waits, returns the exit status and the output.
int runChild(const std::vector<std::string> &argv, const EnvList &env, std::string *output,
             const std::string &cwd = "", const std::string &stdinPath = "");

// Environment for this process, restored when the scope ends.
struct ScopedEnv {
  explicit ScopedEnv(const EnvList &vars);
  ~ScopedEnv();
  std::vector<std::pair<std::string, std::pair<bool, std::string>>> saved;
};

// In-process attach of the static core to `image` under a fresh namespace.
struct InProcess {
  explicit InProcess(const std::string &image, const EnvList &extra = {});
  ~InProcess();
  int attach();  // libraryAttach's result
  std::string ns;
  ScopedEnv env;
  bool attached = false;
};

// Independent oracles on the partition at `start`: an mtools command run on
// it ("mdir -a ::DIR", "mcopy x ::X"), and fsck.fat -n on a copy of the
// partition's sectors (fsck.fat takes no offset). Both return the exit status.
int mtools(const std::string &image, uint32_t start, const std::string &command, std::string *output = nullptr);
int fsckPartition(const std::string &image, uint32_t start, uint32_t size, std::string *output = nullptr);
// The names mtools lists in a directory, as "NAME.EXT" (or "NAME"), sorted,
// "." and ".." left out.
std::vector<std::string> mtoolsNames(const std::string &image, uint32_t start, const std::string &dosDir);

// Deterministic file contents: byte i is (i * 7 + seed) mod 256.
std::string patternBytes(size_t n, int seed);
// A file's bytes as mtools reads them (mcopy to a local file); "<missing>"
// when mtools cannot read it.
std::string mtoolsRead(const std::string &image, uint32_t start, const std::string &dosPath);

// The sectors written, in order, as the trace of the sector layer shows them.
std::vector<std::string> traceWrites(const std::string &trace);
// fsck.fat -n finds nothing on the partition (a test expectation).
void expectClean(const std::string &image, uint32_t start = UTIL_START, uint32_t size = UTIL_SIZE);
