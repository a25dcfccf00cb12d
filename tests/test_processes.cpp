// Real processes: the shared block and its lifetime across processes, the
// lock across processes (timeout, a holder killed with the lock), and the
// load-time attach of QvKalu.dll with every attach failure ending the
// process with status 66 before main and leaving no object behind.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "kalu_core.h"
#include "testkit.h"

namespace {

bool objectExists(const std::string &ns, const char *name) {
  struct stat st;
  return stat(("/dev/shm/" + ns + "." + name).c_str(), &st) == 0;
}

EnvList childEnv(const std::string &ns, const std::string &img, EnvList extra = {}) {
  EnvList env = {{"KALU_NAMESPACE", ns}, {"KALU_PHYSICALDRIVE0", img}, {"KALU_PLATFORM_ID", ""},
                 {"KALU_IO_TRACE", ""}, {"LD_LIBRARY_PATH", ""}};
  env.insert(env.end(), extra.begin(), extra.end());
  return env;
}

std::string probeCore() { return testBinDir() + "/probe_core"; }

}  // namespace

TEST(SharedBlock, SecondAttachReadsNothingAndSeesTheFirstOnesBlock) {
  TempDir dir;
  std::string img = standardDisk(dir);
  std::string trace = dir / "trace";
  InProcess p(img, {{"KALU_IO_TRACE", trace}});
  Child first = startChild({probeCore(), "poke-sleep", "FROM-FIRST"}, childEnv(p.ns, img));
  ASSERT_TRUE(waitForOutput(first, "attached")) << first.output;
  ASSERT_TRUE(p.attach());
  EXPECT_STREQ((const char *)g->reservedTail, "FROM-FIRST");
  EXPECT_EQ(readFile(trace), "");
  killChild(first);
}

TEST(SharedBlock, NextAttachAfterTheLastDetachMountsAgainFromTheDisk) {
  TempDir dir;
  std::string img = standardDisk(dir);
  std::string ns = uniqueNamespace();
  std::string out;
  ASSERT_EQ(runChild({probeCore(), "present"}, childEnv(ns, img), &out), 0);
  EXPECT_NE(out.find("err=0"), std::string::npos) << out;
  EXPECT_EQ(out.find("present=0 "), std::string::npos) << out;
  EXPECT_FALSE(objectExists(ns, "KaLuMutex"));
  EXPECT_FALSE(objectExists(ns, "__SHM_KaLu_GlobalData@@@"));
  // Without the marker the partition is no longer recognised.
  patchBytes(img, (uint64_t)UTIL_START * 512 + 495, {'X'});
  ASSERT_EQ(runChild({probeCore(), "present"}, childEnv(ns, img), &out), 0);
  EXPECT_NE(out.find("present=0 err=0"), std::string::npos) << out;
}

TEST(SharedBlock, AProcessKilledWhileAttachedLeavesNoStaleBlock) {
  TempDir dir;
  std::string img = standardDisk(dir);
  std::string trace = dir / "trace";
  InProcess p(img, {{"KALU_IO_TRACE", trace}});
  Child first = startChild({probeCore(), "poke-sleep", "STALE"}, childEnv(p.ns, img));
  ASSERT_TRUE(waitForOutput(first, "attached")) << first.output;
  killChild(first);
  ASSERT_TRUE(p.attach());
  EXPECT_STREQ((const char *)g->reservedTail, "");
  EXPECT_EQ(readFile(trace).rfind("R 0\n", 0), 0u);  // mounted afresh, from the MBR on
}

TEST(Lock, AHolderKilledWithTheLockDoesNotBlockTheNextCall) {
  TempDir dir;
  std::string img = standardDisk(dir);
  InProcess p(img, {{"KALU_TEST_LOCK_WAIT_MS", "20000"}});
  Child holder = startChild({probeCore(), "hold-lock"}, childEnv(p.ns, img));
  ASSERT_TRUE(waitForOutput(holder, "locked")) << holder.output;
  ASSERT_TRUE(p.attach());
  killChild(holder);
  EXPECT_GT(KaLu_is_present(), 0);
  EXPECT_EQ(KaLu_getLastError(), ERR_NONE);
  EXPECT_GT(KaLu_is_present(), 0);  // and it was released again
}

TEST(Lock, AWaitThatTimesOutReturnsTheTimeoutValue) {
  TempDir dir;
  std::string img = standardDisk(dir);
  InProcess p(img, {{"KALU_TEST_LOCK_WAIT_MS", "300"}});
  Child holder = startChild({probeCore(), "hold-lock"}, childEnv(p.ns, img));
  ASSERT_TRUE(waitForOutput(holder, "locked")) << holder.output;
  ASSERT_TRUE(p.attach());
  EXPECT_EQ(KaLu_is_present(), 0);
  EXPECT_EQ(KaLu_getLastError(), ERR_FAILED);
  EXPECT_EQ(KaLu_mkdir("\\NEW"), -2);
  FindRecord fr{};
  EXPECT_EQ(KaLu_findfirstEx("\\*.*", 0, &fr), -1);
  killChild(holder);
  EXPECT_GT(KaLu_is_present(), 0);
}

TEST(SectorSeams, ACutEndsTheProcessJustBeforeTheNthWrite) {
  TempDir dir;
  std::string img = standardDisk(dir);
  std::string trace = dir / "trace";
  std::string out;
  int rc = runChild({probeCore(), "rewrite-boot"},
                    childEnv(uniqueNamespace(), img, {{"KALU_IO_CUT_WRITE_AT", "2"}, {"KALU_IO_TRACE", trace}}), &out);
  EXPECT_EQ(rc, 128 + 9);
  EXPECT_EQ(out, "write 1: 1\n");
  std::string t = readFile(trace);
  EXPECT_EQ(std::count(t.begin(), t.end(), 'W'), 1) << t;
}

// A run of sectors cut by a power failure: the sectors before the cut are on
// the disk, none after it.
TEST(SectorSeams, ACutInsideARunKeepsTheSectorsBeforeIt) {
  TempDir dir;
  std::string img = standardDisk(dir);
  std::string out;
  int rc = runChild({probeCore(), "write-run"}, childEnv(uniqueNamespace(), img, {{"KALU_IO_CUT_WRITE_AT", "3"}}), &out);
  EXPECT_EQ(rc, 128 + 9);
  EXPECT_EQ(out, "");
  for (uint32_t k = 0; k < 5; k++) {
    auto sector = readBytes(img, (uint64_t)(UTIL_START + 100 + k) * 512, 512);
    EXPECT_EQ(sector == std::vector<uint8_t>(512, 0x5A), k < 2) << k;
  }
  rc = runChild({probeCore(), "write-run"}, childEnv(uniqueNamespace(), img, {{"KALU_IO_FAIL_WRITE_AT", "4"}}), &out);
  EXPECT_EQ(out, "Error writing to physical disk: Input/output error\nwritten=3\n");
}

// The shared library's load-time attach, seen from a program linked with it.
class DllLoad : public testing::Test {
 protected:
  TempDir dir;
  std::string img = dir / "disk.img";
  std::string ns = uniqueNamespace();
  // A folder with the probe and the library and nothing else.
  std::string folder(bool withStandIn, const std::string &standInName = "SKTRAW32.DLL",
                     const std::string &standIn = "") {
    std::string f = dir / "app";
    runShell("mkdir -p '" + f + "' && cp '" + testBinDir() + "/probe_dll' '" + binDir() + "/QvKalu.dll' '" + f + "'");
    if (withStandIn)
      runShell("cp '" + (standIn.empty() ? binDir() + "/SKTRAW32.DLL" : standIn) + "' '" + f + "/" + standInName + "'");
    return f;
  }
  void expectFailedLoad(int rc, const std::string &out) {
    EXPECT_EQ(rc, 66) << out;
    EXPECT_EQ(out.find("main reached"), std::string::npos) << out;
    EXPECT_FALSE(objectExists(ns, "KaLuMutex"));
    EXPECT_FALSE(objectExists(ns, "__SHM_KaLu_GlobalData@@@"));
  }
};

TEST_F(DllLoad, AttachesBeforeMainAndBindsByOrdinal) {
  makeStandardImage(img);
  std::string out;
  EXPECT_EQ(runChild({testBinDir() + "/probe_dll"}, childEnv(ns, img), &out), 0);
  EXPECT_EQ(out.rfind("main reached\npresent=", 0), 0u) << out;
  EXPECT_NE(out.find("err=0/0 twin="), std::string::npos) << out;
  EXPECT_EQ(out.find("present=0"), std::string::npos) << out;
}

TEST_F(DllLoad, WithoutAUtilityPartitionTheLibraryStillLoads) {
  makeImage(img, "-s 65536 -p 6,2048,20480,16,4");
  std::string out;
  EXPECT_EQ(runChild({testBinDir() + "/probe_dll"}, childEnv(ns, img), &out), 0);
  EXPECT_EQ(out, "main reached\npresent=0 err=1/1 twin=0\n");
}

TEST_F(DllLoad, NoFixedDiskFailsTheLoad) {
  std::string out;
  int rc = runChild({testBinDir() + "/probe_dll"}, childEnv(ns, dir / "absent.img"), &out);
  EXPECT_EQ(out, "Error opening physical disk: No such file or directory\n");
  expectFailedLoad(rc, out);
}

TEST_F(DllLoad, AccessDeniedNamesTheMissingPrivileges) {
  makeStandardImage(img);
  std::string app = folder(false);
  std::string out;
  // As root, the child runs as another user on root's image; otherwise the
  // image itself is made read-only.
  chmod(img.c_str(), getuid() == 0 ? 0644 : 0444);
  std::vector<std::string> argv = {app + "/probe_dll"};
  if (getuid() == 0) argv.insert(argv.begin(), {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
  int rc = runChild(argv, childEnv(ns, img), &out);
  EXPECT_EQ(out,
            "Error opening physical disk: Permission denied\n"
            "This is probably because user does not have administrative privileges.\n");
  expectFailedLoad(rc, out);
}

TEST_F(DllLoad, RawSectorDllPathFailures) {
  makeStandardImage(img);
  struct Case {
    const char *what;
    bool withStandIn;
    std::string standIn;
    std::string prefix;
  } cases[] = {
      {"missing", false, "", "Error loading SKTRAW32.DLL: "},
      {"no read routine", true, testBinDir() + "/libsktraw_noread.so", "Error resolving function ReadPhysicalSector: "},
      {"no write routine", true, testBinDir() + "/libsktraw_nowrite.so", "Error resolving function WritePhysicalSector: "},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    runShell("rm -rf '" + dir / "app" + "'");
    std::string app = folder(c.withStandIn, "SKTRAW32.DLL", c.standIn);
    std::string out;
    int rc = runChild({app + "/probe_dll"}, childEnv(ns, img, {{"KALU_PLATFORM_ID", "1"}}), &out, app);
    EXPECT_EQ(out.rfind(c.prefix, 0), 0u) << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
    expectFailedLoad(rc, out);
  }
}

TEST_F(DllLoad, RawSectorDllPathFindsTheStandInWhateverItsCase) {
  makeStandardImage(img);
  std::string app = folder(true, "sktraw32.dll");
  std::string trace = dir / "trace";
  std::string outDll, outNt;
  EXPECT_EQ(runChild({app + "/probe_dll"}, childEnv(ns, img, {{"KALU_PLATFORM_ID", "1"}, {"KALU_IO_TRACE", trace}}),
                     &outDll, "/"),
            0);
  EXPECT_EQ(readFile(trace).rfind("R 0\n", 0), 0u);
  EXPECT_EQ(runChild({app + "/probe_dll"}, childEnv(ns, img), &outNt), 0);
  EXPECT_EQ(outDll, outNt);
  EXPECT_NE(outDll.find("err=0/0"), std::string::npos) << outDll;
}
