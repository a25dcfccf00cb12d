// Test kit implementation (see testkit.h).
#include "testkit.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "kalu_core.h"
#include "plat.h"

std::string binDir() { return KALU_BIN_DIR; }
std::string testBinDir() { return KALU_TEST_BIN_DIR; }
std::string toolsDir() { return KALU_TOOLS_DIR; }

TempDir::TempDir() {
  char tmpl[] = "/tmp/kalutest.XXXXXX";
  path = mkdtemp(tmpl);
  chmod(path.c_str(), 0755);
}

TempDir::~TempDir() {
  if (!getenv("KALU_KEEP_TEMP")) runShell("rm -rf '" + path + "'");
}

std::string uniqueNamespace() {
  static std::atomic<int> n{0};
  return "kt" + std::to_string(getpid()) + "_" + std::to_string(n++);
}

static int decodeStatus(int st) {
  if (WIFEXITED(st)) return WEXITSTATUS(st);
  if (WIFSIGNALED(st)) return 128 + WTERMSIG(st);
  return -1;
}

int runShell(const std::string &cmd, std::string *output) {
  FILE *p = popen((cmd + " 2>&1").c_str(), "r");
  if (!p) return -1;
  std::string out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  int st = pclose(p);
  if (output) *output = out;
  return decodeStatus(st);
}

void makeImage(const std::string &path, const std::string &args) {
  std::string out;
  int rc = runShell(toolsDir() + "/mkimage.sh -o '" + path + "' " + args, &out);
  ASSERT_EQ(rc, 0) << out;
}

void makeStandardImage(const std::string &path, const std::string &extra) {
  makeImage(path, "-s 65536 -p 6,2048,20480,16,4,512 -p 12,22528,20480,12,8,224 " + extra);
}

std::string standardDisk(const TempDir &dir) {
  std::string img = dir / "disk.img";
  makeStandardImage(img);
  return img;
}

std::string volumeWithFullDir(const TempDir &dir, int sectorsPerCluster, int files) {
  std::string img = dir / "disk.img", sources;
  makeImage(img, "-s 16384 --no-boot-files -p a0,2048,4000,12," + std::to_string(sectorsPerCluster) + ",224");
  runShell("mkdir -p '" + dir / "dirfiles" + "'");
  for (int i = 0; i < files; i++) {
    std::string f = dir / ("dirfiles/F" + std::to_string(i));
    runShell("echo x > '" + f + "'");
    sources += " '" + f + "'";
  }
  EXPECT_EQ(mtools(img, 2048, "mmd ::DIR"), 0);
  if (files) {
    EXPECT_EQ(mtools(img, 2048, "mcopy" + sources + " ::DIR/"), 0);
  }
  return img;
}

void patchBytes(const std::string &path, uint64_t offset, const std::vector<uint8_t> &bytes) {
  int fd = open(path.c_str(), O_WRONLY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(pwrite(fd, bytes.data(), bytes.size(), (off_t)offset), (ssize_t)bytes.size());
  close(fd);
}

void patchLe16(const std::string &path, uint64_t offset, uint16_t v) {
  patchBytes(path, offset, {(uint8_t)v, (uint8_t)(v >> 8)});
}

void patchLe32(const std::string &path, uint64_t offset, uint32_t v) {
  patchBytes(path, offset, {(uint8_t)v, (uint8_t)(v >> 8), (uint8_t)(v >> 16), (uint8_t)(v >> 24)});
}

std::vector<uint8_t> readBytes(const std::string &path, uint64_t offset, size_t n) {
  std::vector<uint8_t> v(n);
  int fd = open(path.c_str(), O_RDONLY);
  if (fd >= 0) {
    ssize_t got = pread(fd, v.data(), n, (off_t)offset);
    v.resize(got > 0 ? (size_t)got : 0);
    close(fd);
  }
  return v;
}

std::string readFile(const std::string &path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

Child startChild(const std::vector<std::string> &argv, const EnvList &env, const std::string &cwd,
                 const std::string &stdinPath) {
  Child c;
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return c;
  pid_t pid = fork();
  if (pid == 0) {
    dup2(fds[1], 1);
    dup2(fds[1], 2);
    if (!stdinPath.empty()) {
      int in = open(stdinPath.c_str(), O_RDONLY);
      if (in < 0 || dup2(in, 0) < 0) _exit(127);
    }
    if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(127);
    for (const auto &kv : env) {
      if (kv.second.empty())
        unsetenv(kv.first.c_str());
      else
        setenv(kv.first.c_str(), kv.second.c_str(), 1);
    }
    std::vector<char *> args;
    for (const auto &a : argv) args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  close(fds[1]);
  c.pid = pid;
  c.outFd = fds[0];
  return c;
}

static bool readSome(Child &c, int timeoutMs) {
  struct pollfd p = {c.outFd, POLLIN, 0};
  if (poll(&p, 1, timeoutMs) <= 0) return false;
  char buf[4096];
  ssize_t n = read(c.outFd, buf, sizeof buf);
  if (n <= 0) return false;
  c.output.append(buf, (size_t)n);
  return true;
}

bool waitForOutput(Child &c, const std::string &text, int timeoutMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (c.output.find(text) == std::string::npos) {
    int left = (int)std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    if (left <= 0 || !readSome(c, left)) return c.output.find(text) != std::string::npos;
  }
  return true;
}

int finishChild(Child &c) {
  while (readSome(c, 120000)) {
  }
  close(c.outFd);
  int st = 0;
  waitpid(c.pid, &st, 0);
  c.pid = -1;
  return decodeStatus(st);
}

void killChild(Child &c) {
  if (c.pid <= 0) return;
  kill(c.pid, SIGKILL);
  finishChild(c);
}

int runChild(const std::vector<std::string> &argv, const EnvList &env, std::string *output, const std::string &cwd,
             const std::string &stdinPath) {
  Child c = startChild(argv, env, cwd, stdinPath);
  int rc = finishChild(c);
  if (output) *output = c.output;
  return rc;
}

ScopedEnv::ScopedEnv(const EnvList &vars) {
  for (const auto &kv : vars) {
    const char *old = getenv(kv.first.c_str());
    saved.push_back({kv.first, {old != nullptr, old ? old : ""}});
    if (kv.second.empty())
      unsetenv(kv.first.c_str());
    else
      setenv(kv.first.c_str(), kv.second.c_str(), 1);
  }
}

ScopedEnv::~ScopedEnv() {
  for (auto it = saved.rbegin(); it != saved.rend(); ++it) {
    if (it->second.first)
      setenv(it->first.c_str(), it->second.second.c_str(), 1);
    else
      unsetenv(it->first.c_str());
  }
  platIoSeamReset();
}

static EnvList inProcessEnv(const std::string &ns, const std::string &image, const EnvList &extra) {
  EnvList env = {{"KALU_NAMESPACE", ns}, {"KALU_PHYSICALDRIVE0", image}, {"KALU_PHYSICALDRIVE1", ""},
                 {"KALU_PHYSICALDRIVE2", ""}, {"KALU_PHYSICALDRIVE3", ""}, {"KALU_PHYSICALDRIVE4", ""},
                 {"KALU_PLATFORM_ID", ""}, {"KALU_IO_TRACE", ""}, {"KALU_IO_FAIL_WRITE_AT", ""},
                 {"KALU_IO_CUT_WRITE_AT", ""}, {"KALU_TEST_LOCK_WAIT_MS", ""}};
  for (const auto &kv : extra) env.push_back(kv);
  return env;
}

InProcess::InProcess(const std::string &image, const EnvList &extra)
    : ns(uniqueNamespace()), env(inProcessEnv(ns, image, extra)) {
  platIoSeamReset();
}

int InProcess::attach() {
  int ok = libraryAttach();
  attached = ok;
  return ok;
}

InProcess::~InProcess() {
  if (attached) libraryDetach();
  libraryLockTimeoutMs = 60000;
}

int mtools(const std::string &image, uint32_t start, const std::string &command, std::string *output) {
  size_t sp = command.find(' ');
  std::string tool = command.substr(0, sp), args = sp == std::string::npos ? "" : command.substr(sp);
  return runShell("MTOOLS_SKIP_CHECK=1 MTOOLS_NO_VFAT=1 " + tool + " -i '" + image + "@@" +
                      std::to_string((uint64_t)start * 512) + "'" + args,
                  output);
}

int fsckPartition(const std::string &image, uint32_t start, uint32_t size, std::string *output) {
  std::string part = image + ".part";
  runShell("dd if='" + image + "' of='" + part + "' bs=1M iflag=skip_bytes,count_bytes skip=" +
           std::to_string((uint64_t)start * 512) + " count=" + std::to_string((uint64_t)size * 512) + " status=none");
  int rc = runShell("fsck.fat -n '" + part + "'", output);
  unlink(part.c_str());
  return rc;
}

std::vector<std::string> mtoolsNames(const std::string &image, uint32_t start, const std::string &dosDir) {
  std::string out;
  mtools(image, start, "mdir -a -b " + dosDir, &out);
  std::vector<std::string> names;
  std::istringstream in(out);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '/') line.pop_back();  // a directory
    size_t slash = line.find_last_of('/');
    std::string n = slash == std::string::npos ? line : line.substr(slash + 1);
    if (n.empty() || n == "." || n == ".." || line.find("::") == std::string::npos) continue;
    names.push_back(n);
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string patternBytes(size_t n, int seed) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; i++) s[i] = (char)(uint8_t)(i * 7 + (size_t)seed);
  return s;
}

std::string mtoolsRead(const std::string &image, uint32_t start, const std::string &dosPath) {
  std::string local = image + ".read";
  unlink(local.c_str());
  if (mtools(image, start, "mcopy -n " + dosPath + " '" + local + "'") != 0) return "<missing>";
  std::string data = readFile(local);
  unlink(local.c_str());
  return data;
}

std::vector<std::string> traceWrites(const std::string &trace) {
  std::vector<std::string> w;
  std::istringstream in(readFile(trace));
  std::string line;
  while (std::getline(in, line))
    if (line.size() > 2 && line[0] == 'W') w.push_back(line.substr(2));
  return w;
}

void expectClean(const std::string &image, uint32_t start, uint32_t size) {
  std::string out;
  EXPECT_EQ(fsckPartition(image, start, size, &out), 0) << out;
}
