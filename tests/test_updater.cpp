// The updater end to end on disk images: a package folder with KaLuRefr.exe,
// QvKalu.dll, the host's Info-ZIP UnZip as unzip.exe and a release archive
// made with zip; every row of the exit-code table, the prompts, the
// installed tree judged by mtools and fsck.fat, and installations cut at
// every sector write and then repaired by the next run.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <map>

#include "testkit.h"

namespace {

using Names = std::vector<std::string>;
using Files = std::map<std::string, std::string>;  // relative path -> content ("/" ends a folder)
const char TOKEN[] = "-MkfwLhfsj_Prawv";
const char NOT_FOUND[] =
    "\nIt was not possible to install QV e-FenoCraft within the Utility Partition\nbecause this partition was "
    "not found on your system. Exiting...\n\n\nPress any key to quit...";
const char COPY_ERROR[] =
    "\nError Copying files.\nIt was not possible to install QV e-FenoCraft within the Utility Partition\n\n\n"
    "Press any key to quit...";

std::string config(const std::string &version) {
  return "[FenoCraft]\r\nVersion=" + version + "\r\n[Kaluconf]\r\ntimeout=10\r\n";
}

Files smallRelease(const std::string &version = "B.02.03") {
  return {{"kaluconf.ini", config(version)},
          {"DIAG/", ""},
          {"DIAG/TEST.EXE", patternBytes(20000, 1)},
          {"DIAG/E9216.BIN", patternBytes(9216, 2)},
          {"DIAG/E9217.BIN", patternBytes(9217, 3)},
          {"DIAG/EMPTY.TXT", ""},
          {"DIAG/SUB/", ""},
          {"DIAG/SUB/DEEP.DAT", patternBytes(5000, 4)},
          {"EMPTYDIR/", ""},
          {"README.TXT", "read me\r\n"}};
}

void writeTree(const std::string &root, const Files &files) {
  runShell("mkdir -p '" + root + "'");
  for (const auto &f : files) {
    std::string path = root + "/" + f.first;
    if (f.first.back() == '/') {
      runShell("mkdir -p '" + path + "'");
      continue;
    }
    runShell("mkdir -p \"$(dirname '" + path + "')\"");
    FILE *o = fopen(path.c_str(), "wb");
    fwrite(f.second.data(), 1, f.second.size(), o);
    fclose(o);
  }
}

// Every file and folder of the release stands in the partition with the same
// bytes, beside the boot files, and nothing else does (one mcopy of the whole
// partition, then a walk of the copy).
void expectInstalled(const std::string &img, const Files &files) {
  std::string out = img + ".tree";
  runShell("rm -rf '" + out + "' && mkdir '" + out + "'");
  ASSERT_EQ(mtools(img, UTIL_START, "mcopy -s -n ::* '" + out + "'"), 0);
  Files expected;
  for (const auto &f : files) {
    std::string upper = f.first;
    for (char &c : upper) c = (char)toupper((unsigned char)c);
    if (upper.back() == '/') upper.pop_back();
    expected[upper] = f.first.back() == '/' ? "<folder>" : f.second;
  }
  Files found;
  for (const auto &e : std::filesystem::recursive_directory_iterator(out)) {
    std::string rel = e.path().string().substr(out.size() + 1);
    if (rel == "IO.SYS" || rel == "MSDOS.SYS" || rel == "QVSTART.SYS") continue;
    found[rel] = e.is_directory() ? "<folder>" : readFile(e.path().string());
  }
  EXPECT_EQ(found.size(), expected.size());
  for (const auto &f : expected) EXPECT_TRUE(found.count(f.first) && found[f.first] == f.second) << f.first;
  for (const auto &f : found) EXPECT_TRUE(expected.count(f.first)) << "unexpected " << f.first;
  runShell("rm -rf '" + out + "'");
  expectClean(img);
}

class Updater : public testing::Test {
 protected:
  TempDir dir;
  std::string img = dir / "disk.img";
  std::string temp = dir / "temp";
  std::string ns = uniqueNamespace();
  std::string bootIo, bootQv;

  void SetUp() override {
    makeStandardImage(img);
    runShell("mkdir -p '" + temp + "'");
    bootIo = mtoolsRead(img, UTIL_START, "::IO.SYS");
    bootQv = mtoolsRead(img, UTIL_START, "::QVSTART.SYS");
  }

  // A package folder as the runner leaves it, with the release as its archive.
  std::string package(const Files &release, const std::string &name = "pkg") {
    std::string pkg = dir / name, rel = dir / (name + "-release");
    runShell("rm -rf '" + pkg + "' '" + rel + "' && mkdir -p '" + pkg + "'");
    writeTree(rel, release);
    runShell("chmod 0444 '" + rel + "/README.TXT' 2>/dev/null; cd '" + rel + "' && zip -qr '" + pkg +
             "/vFC_KaLu.zip' .");
    runShell("cp '" + binDir() + "/KaLuRefr.exe' '" + binDir() + "/QvKalu.dll' '" + pkg +
             "' && cp \"$(command -v unzip)\" '" + pkg + "/unzip.exe'");
    return pkg;
  }

  EnvList env(EnvList extra = {}) {
    EnvList e = {{"KALU_NAMESPACE", ns}, {"KALU_PHYSICALDRIVE0", img}, {"TEMP", temp}, {"KALU_IO_TRACE", ""},
                 {"KALU_IO_CUT_WRITE_AT", ""}, {"KALU_PLATFORM_ID", ""}};
    e.insert(e.end(), extra.begin(), extra.end());
    return e;
  }

  int run(const std::string &pkg, std::vector<std::string> args, std::string *out, const std::string &input = "",
          EnvList extra = {}) {
    std::string in = dir / "stdin";
    FILE *f = fopen(in.c_str(), "wb");
    fwrite(input.data(), 1, input.size(), f);
    fclose(f);
    args.insert(args.begin(), pkg + "/KaLuRefr.exe");
    return runChild(args, env(extra), out, pkg, in);
  }

  int silent(const std::string &pkg, std::string *out, EnvList extra = {}) {
    return run(pkg, {"/S", pkg, TOKEN}, out, "", extra);
  }

  void expectBootFilesKept() {
    EXPECT_EQ(mtoolsRead(img, UTIL_START, "::IO.SYS"), bootIo);
    EXPECT_EQ(mtoolsRead(img, UTIL_START, "::QVSTART.SYS"), bootQv);
  }
};

}  // namespace

TEST_F(Updater, CommandLineRules) {
  std::string pkg = package(smallRelease());
  const std::string banner = "e-FenoCraft Update Utility\t\t\tVersion B.02.03\n";
  const std::string refusal = "This utility is a part of FenoCraft update process.\n\n";
  struct Case {
    std::vector<std::string> args;
    int rc;
    bool refusalText;
  } cases[] = {
      {{}, 1, true},
      {{pkg}, 1, true},
      {{pkg, TOKEN, "extra"}, 1, true},
      {{pkg, "-mkfwlhfsj_prawv"}, 1, true},
      {{"/S", pkg}, 1, false},
      {{"-s", pkg, "-MKFWLHFSJ_PRAWV"}, 1, false},
      {{pkg, "/S", TOKEN}, 4, false},  // accepted as silent; the switch is taken as the folder
  };
  for (const Case &c : cases) {
    std::string out;
    EXPECT_EQ(run(pkg, c.args, &out), c.rc) << c.args.size();
    if (c.refusalText) {
      EXPECT_EQ(out.rfind(banner, 0), 0u) << out;
      EXPECT_EQ(out.substr(out.size() - refusal.size()), refusal);
    } else {
      EXPECT_EQ(out, "");
    }
  }
  expectInstalled(img, {});  // nothing changed
}

TEST_F(Updater, SilentRunOnABarePartitionInstallsAndPrintsNothing) {
  Files release = smallRelease();
  std::string pkg = package(release);
  std::string out;
  EXPECT_EQ(silent(pkg, &out), 0);
  EXPECT_EQ(out, "");
  expectInstalled(img, release);
  expectBootFilesKept();
  EXPECT_EQ(mtoolsRead(img, UTIL_START, "::KALUCONF.TXT"), "<missing>");
  struct stat st;
  EXPECT_NE(stat((pkg + "/expanded").c_str(), &st), 0);  // the expanded tree is gone, the read-only file too
  EXPECT_NE(stat((temp + "/kaluconf.ini").c_str(), &st), 0);
}

TEST_F(Updater, AnInstalledPartitionAsksFirst) {
  std::string pkg = package(smallRelease("V1"));
  std::string out;
  ASSERT_EQ(silent(pkg, &out), 0);
  Files v2 = smallRelease("V2");
  v2["DIAG/NEW.BIN"] = patternBytes(777, 9);
  const std::string question = "Do you want to proceed with the update, overwriting the current version?";
  struct Case {
    const char *input;
    int rc;
    int questions;
  } cases[] = {{"\nN\n", 6, 1}, {"\nx\nN\n", 6, 3}, {"", 6, 1}, {"\x1b", 6, 0}, {"\nyes\n", 0, 1}, {" Y\n", 0, 1}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.input);
    pkg = package(v2, "pkg2");
    std::string before = readFile(img);
    int rc = run(pkg, {pkg, TOKEN}, &out, c.input);
    EXPECT_EQ(rc, c.rc) << out;
    size_t asked = 0;
    for (size_t at = out.find(question); at != std::string::npos; at = out.find(question, at + 1)) asked++;
    EXPECT_EQ(asked, (size_t)c.questions) << out;
    if (c.questions) {
      EXPECT_NE(out.find("The current version of FenoCraft in your system is: V1\nThis utility is about to install "
                         "version:           V2\n"),
                std::string::npos)
          << out;
    }
    if (rc == 6) {
      EXPECT_TRUE(readFile(img) == before);
      if (c.questions) {
        EXPECT_NE(out.find("\nNo update requested. Keeping the current version.\n\n\nPress any key to quit..."),
                  std::string::npos);
      }
    } else {
      expectInstalled(img, v2);
      EXPECT_NE(out.find("processing file EMPTY.TXT\n\n"), std::string::npos) << out;
      EXPECT_NE(out.find("processing file E9216.BIN\n.\n"), std::string::npos);
      EXPECT_NE(out.find("processing file E9217.BIN\n..\n"), std::string::npos);
      EXPECT_NE(out.find("\rMoving to kalu \n\rprocessing file KALUCONF.INI\n.\n"), std::string::npos);
      EXPECT_NE(out.find("successfully installed"), std::string::npos);
      // Reset to V1 for the next case.
      ASSERT_EQ(silent(package(smallRelease("V1")), &out), 0);
    }
  }
}

TEST_F(Updater, ExpansionFailuresAndAMissingNewVersion) {
  std::string out;
  std::string pkg = package(smallRelease());
  unlink((pkg + "/unzip.exe").c_str());
  EXPECT_EQ(run(pkg, {pkg, TOKEN}, &out, "\n"), 4);
  const std::string error = "\nError: expanding Ostrel Image File\n\n";
  ASSERT_GE(out.size(), error.size());
  EXPECT_EQ(out.substr(out.size() - error.size()), error) << out;
  pkg = package(smallRelease());
  runShell("printf 'not a zip' > '" + pkg + "/vFC_KaLu.zip'");
  EXPECT_EQ(run(pkg, {pkg, TOKEN}, &out, "\n"), 4);
  EXPECT_NE(out.find("Error: expanding Ostrel Image File\n\n"), std::string::npos);
  expectInstalled(img, {});
  // On an installed partition, a release without [FenoCraft] Version.
  ASSERT_EQ(silent(package(smallRelease()), &out), 0);
  Files noVersion = smallRelease();
  noVersion["kaluconf.ini"] = "[Kaluconf]\r\ntimeout=1\r\n";
  EXPECT_EQ(silent(package(noVersion), &out), 4);
  EXPECT_EQ(out, "");
  expectInstalled(img, smallRelease());
}

TEST_F(Updater, NoUtilityPartitionOrAForeignRoot) {
  std::string out;
  std::string pkg = package(smallRelease());
  makeImage(img, "-s 65536 -p 6,2048,20480,16,4");
  EXPECT_EQ(run(pkg, {pkg, TOKEN}, &out, "\n"), 3);
  EXPECT_EQ(out, NOT_FOUND);
  // Boot files and two more files, no kaluconf.ini: not bare.
  makeStandardImage(img);
  runShell("echo x > '" + img + ".x'");
  for (const char *f : {"::A.TXT", "::B.TXT"}) ASSERT_EQ(mtools(img, UTIL_START, "mcopy " + img + ".x " + f), 0);
  EXPECT_EQ(run(pkg, {pkg, TOKEN}, &out, "\n"), 3);
  EXPECT_EQ(out, NOT_FOUND);
  // One more file only: still bare, installed without a question.
  ASSERT_EQ(mtools(img, UTIL_START, "mdel ::B.TXT"), 0);
  EXPECT_EQ(silent(pkg, &out), 0);
}

TEST_F(Updater, ATreeThatCannotBeInstalledLeavesTheOldReleaseAlone) {
  std::string out;
  Files old = smallRelease("OLD");
  ASSERT_EQ(silent(package(old), &out), 0);
  Files tooBig = smallRelease("BIG");
  tooBig["HUGE.BIN"] = patternBytes(11 * 1024 * 1024, 5);
  Files longName = smallRelease("LONG");
  longName["DIAG/LONGFILENAME.TXT"] = "x";
  Files twoInOne = smallRelease("TWO");
  twoInOne["DIAG/test.exe"] = "y";
  Files reserved = smallRelease("RES");
  reserved["CON.TXT"] = "z";
  for (const Files *release : {&tooBig, &longName, &twoInOne, &reserved}) {
    std::string pkg = package(*release);
    std::string before = readFile(img);
    EXPECT_EQ(run(pkg, {pkg, TOKEN}, &out, "\ny\n"), 1);
    EXPECT_EQ(out.substr(out.size() - strlen(COPY_ERROR)), COPY_ERROR);
    EXPECT_TRUE(readFile(img) == before);
    struct stat st;
    EXPECT_NE(stat((pkg + "/expanded/DIAG/TEST.EXE").c_str(), &st), 0);
  }
  expectInstalled(img, old);
}

// A reset that fails stops the installation before anything is copied over
// the old tree; so does a tree whose local paths would not fit.
TEST_F(Updater, NoInstallationOverAFailedResetOrOverlongPaths) {
  std::string out;
  Files old = smallRelease("OLD");
  ASSERT_EQ(silent(package(old), &out), 0);
  std::string before = readFile(img);
  std::string pkg = dir / std::string(230, 'p');
  runShell("mkdir -p '" + pkg + "' && cp -r '" + package(smallRelease("NEW")) + "'/* '" + pkg + "'");
  EXPECT_EQ(run(pkg, {pkg, TOKEN}, &out, "\ny\n"), 1);
  EXPECT_EQ(out.substr(out.size() - strlen(COPY_ERROR)), COPY_ERROR);
  EXPECT_TRUE(readFile(img) == before);
  // The volume label gone from root entry 2: the reset refuses.
  ASSERT_EQ(mtools(img, UTIL_START, "mlabel -c ::"), 0);
  before = readFile(img);
  EXPECT_EQ(silent(package(smallRelease("NEW")), &out), 1);
  EXPECT_TRUE(readFile(img) == before);
  expectInstalled(img, old);
}

// An interrupted commit (kaluconf.ini deleted, not yet renamed) is repaired
// by the next run without a question.
TEST_F(Updater, AnInterruptedCommitIsInstalledAgain) {
  std::string out;
  Files release = smallRelease();
  ASSERT_EQ(silent(package(release), &out), 0);
  ASSERT_EQ(mtools(img, UTIL_START, "mren ::KALUCONF.INI ::KALUCONF.TXT"), 0);
  std::string pkg = package(release);
  EXPECT_EQ(run(pkg, {pkg, TOKEN}, &out, "\n"), 0);
  EXPECT_EQ(out.find("Do you want"), std::string::npos);
  expectInstalled(img, release);
}

// The partition changes under the run: a stand-in unzip.exe expands the
// archive and then, through a second process on the same shared block,
// removes kaluconf.ini and adds files, so the state read after the
// expansion is "no partition".
TEST_F(Updater, APartitionThatTurnsForeignDuringTheExpansion) {
  std::string out;
  ASSERT_EQ(silent(package(smallRelease()), &out), 0);
  std::string pkg = package(smallRelease("NEXT"));
  std::string probe = testBinDir() + "/probe_core";
  std::string script = "#!/bin/sh\n\"$(dirname \"$0\")/real-unzip\" \"$@\" || exit $?\n'" + probe +
                       "' delete '\\kaluconf.ini' >/dev/null\n'" + probe + "' write '\\X1' 10 1 >/dev/null\n'" + probe +
                       "' write '\\X2' 10 1 >/dev/null\n";
  runShell("mv '" + pkg + "/unzip.exe' '" + pkg + "/real-unzip'");
  FILE *f = fopen((pkg + "/unzip.exe").c_str(), "w");
  fputs(script.c_str(), f);
  fclose(f);
  chmod((pkg + "/unzip.exe").c_str(), 0755);
  EXPECT_EQ(silent(pkg, &out), 3);
  EXPECT_EQ(out, "");
}

// The installation is cut by a power failure just before each of its sector
// writes in turn (over a bare partition for odd cuts, over an installed
// release for even ones); a fresh run from a fresh copy of the package
// folder, as the runner would make, then completes it.
TEST_F(Updater, EveryInterruptedInstallationIsRepairedByTheNextRun) {
  Files release = smallRelease();
  release.erase("DIAG/TEST.EXE");
  release.erase("DIAG/E9217.BIN");
  std::string out, trace = dir / "trace";
  std::string bare = dir / "bare.img", installed = dir / "installed.img";
  std::string proto = package(release, "proto"), pkg = dir / "pkg";
  auto freshPackage = [&] { runShell("rm -rf '" + pkg + "' && cp -r '" + proto + "' '" + pkg + "'"); };
  runShell("cp '" + img + "' '" + bare + "'");
  ASSERT_EQ(silent(package(smallRelease("OLD"), "old"), &out), 0);
  runShell("cp '" + img + "' '" + installed + "'");
  freshPackage();
  ASSERT_EQ(silent(pkg, &out, {{"KALU_IO_TRACE", trace}}), 0);
  size_t writes = traceWrites(trace).size();
  ASSERT_GT(writes, 20u);
  for (size_t n = 1; n <= writes; n++) {
    SCOPED_TRACE(n);
    runShell("cp '" + (n % 2 ? bare : installed) + "' '" + img + "'");
    freshPackage();
    EXPECT_EQ(silent(pkg, &out, {{"KALU_IO_CUT_WRITE_AT", std::to_string(n)}}), 128 + 9);
    freshPackage();
    EXPECT_EQ(silent(pkg, &out), 0) << out;
    expectInstalled(img, release);
    if (HasFailure()) break;
  }
}
