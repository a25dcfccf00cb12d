// The update package: CRC-32 against zlib, the runner's switches and exit
// codes, its progress lines, damaged packages of every kind, and the whole
// job end to end. Packages come from the builder, and one from code of this
// test that is independent of it; the updater is the real one or a
// stand-in script that reports its arguments and exits as told.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cstring>
#include <filesystem>
#include <random>
#include <sstream>

#include "container.h"
#include "testkit.h"

namespace {

const char INCONSISTENT[] =
    "There is an inconsistency in the update files.\n\nThis utility only works with its original and unmodified "
    "executable file.\n";

std::string runnerImage() { return binDir() + "/REFRxxxx.exe"; }

// Where the runner's .comment section lies: bytes the loader never maps, so
// a change there leaves a program that starts and finds itself damaged.
size_t commentSectionOffset() {
  std::string sections;
  runShell("readelf -S -W '" + runnerImage() + "' | grep ' .comment '", &sections);
  std::istringstream in(sections.substr(sections.find(".comment")));
  std::string name, type, addr, off;
  in >> name >> type >> addr >> off;
  return std::stoul(off, nullptr, 16);
}

void writeFile(const std::string &path, const std::string &data, mode_t mode = 0644) {
  FILE *f = fopen(path.c_str(), "wb");
  fwrite(data.data(), 1, data.size(), f);
  fclose(f);
  chmod(path.c_str(), mode);
}

// A package written by this test alone: its own layout code and zlib's CRC.
struct Member {
  std::string name;
  std::string data;
  char type;
};

std::string handMadePackage(const std::vector<Member> &members, uint32_t requiredMb = 1) {
  std::string image = readFile(runnerImage()), p = image;
  auto le32 = [](std::string *s, uint32_t v) {
    for (int i = 0; i < 4; i++) s->push_back((char)(v >> (8 * i)));
  };
  auto crc = [](const std::string &s) { return (uint32_t)crc32(0, (const Bytef *)s.data(), (uInt)s.size()); };
  for (const Member &m : members) {
    std::string h("FenoCraft\0", 10);
    h.push_back(m.type);
    std::string name = m.name.substr(0, 13);
    name.resize(13, '\0');
    h += name;
    le32(&h, (uint32_t)m.data.size());
    le32(&h, crc(m.data));
    le32(&h, crc(h));
    h.resize(512, '\0');
    p += h + m.data;
  }
  std::string t("FenoCraft\0F\0", 12);
  le32(&t, crc(image));
  le32(&t, (uint32_t)image.size());
  le32(&t, requiredMb);
  le32(&t, crc(t));
  return p + t;
}

// A stand-in updater: records its arguments and working folder, exits with
// KALU_TEST_EXIT.
const char STAND_IN[] = "#!/bin/sh\necho \"$PWD|$*\" > \"$KALU_TEST_ARGS\"\nexit ${KALU_TEST_EXIT:-0}\n";

class Package : public testing::Test {
 protected:
  TempDir dir;
  std::string temp = dir / "temp";
  std::string args = dir / "args.txt";
  void SetUp() override { runShell("mkdir -p '" + temp + "'"); }

  std::string build(const std::vector<std::string> &members, const std::string &name = "REFR0203.exe",
                    uint32_t mb = 1) {
    std::string out = dir / name, cmd = binDir() + "/mkpackage build -o '" + out + "' --runner '" + runnerImage() +
                                        "' --required-mb " + std::to_string(mb);
    for (const std::string &m : members) cmd += " '" + m + "'";
    std::string log;
    EXPECT_EQ(runShell(cmd, &log), 0) << log;
    return out;
  }

  std::string standInPackage(const std::string &name = "REFR0203.exe") {
    writeFile(dir / "KaLuRefr.exe", STAND_IN, 0755);
    writeFile(dir / "DATA.BIN", patternBytes(30000, 1));
    return build({dir / "DATA.BIN", dir / "KaLuRefr.exe"}, name);
  }

  int run(const std::string &package, std::vector<std::string> argv, std::string *out, EnvList extra = {}) {
    EnvList env = {{"TEMP", temp}, {"TMPDIR", ""}, {"KALU_TEST_ARGS", args}, {"KALU_TEST_EXIT", ""},
                   {"KALU_TEST_FREE_MB", ""}};
    env.insert(env.end(), extra.begin(), extra.end());
    argv.insert(argv.begin(), package);
    return runChild(argv, env, out, dir.path, "/dev/null");
  }

  std::vector<std::string> tempContents() {
    std::vector<std::string> names;
    for (const auto &e : std::filesystem::directory_iterator(temp)) names.push_back(e.path().filename());
    return names;
  }
};

}  // namespace

TEST(Crc32, MatchesTheKnownVectorAndZlib) {
  EXPECT_EQ(crc32Of("123456789", 9), 0xCBF43926u);
  EXPECT_EQ(crc32Of("", 0), 0u);
  std::mt19937 rng(7);
  for (size_t len : {1u, 3u, 511u, 20480u, 100001u}) {
    std::string buf(len, '\0');
    for (char &c : buf) c = (char)rng();
    uint32_t z = (uint32_t)crc32(0, (const Bytef *)buf.data(), (uInt)len);
    EXPECT_EQ(crc32Of(buf.data(), len), z) << len;
    uint32_t reg = 0xFFFFFFFFu;  // chunk by chunk
    for (size_t at = 0; at < len; at += 777) reg = crc32Update(std::min<size_t>(777, len - at), reg, buf.data() + at);
    EXPECT_EQ(reg ^ 0xFFFFFFFFu, z) << len;
  }
}

TEST_F(Package, SwitchesAndHelp) {
  std::string pkg = standInPackage();
  const std::string title = "\ne-FenoCraft Update Utility                              Version B.02.00\n";
  std::string out;
  EXPECT_EQ(run(pkg, {"/H"}, &out), 0);
  EXPECT_EQ(out.rfind(title, 0), 0u) << out;
  EXPECT_NE(out.find("REFRxxxx.EXE [/S | /H]\n\nwhere:\n\r /S defines silent mode operation."), std::string::npos);
  EXPECT_EQ(run(pkg, {"-s", "/h"}, &out), 0);
  EXPECT_EQ(out.rfind(title, 0), 0u);
  EXPECT_EQ(out.find("REFRxxxx.EXE"), std::string::npos);
  EXPECT_TRUE(tempContents().empty());
  // Silent: the switch as typed (cut to 11 characters) goes first.
  EXPECT_EQ(run(pkg, {"word", "/x", "-Silentmodeswitch"}, &out), 0);
  EXPECT_EQ(out, "");
  std::string a = readFile(args);
  EXPECT_NE(a.find("|-Silentmode " + temp + "/s"), std::string::npos) << a;
  EXPECT_NE(a.find(" -MkfwLhfsj_Prawv\n"), std::string::npos);
  // The updater runs in the work folder, which is also its folder argument.
  std::string cwd = a.substr(0, a.find('|'));
  EXPECT_NE(a.find("|-Silentmode " + cwd + " -MkfwLhfsj_Prawv"), std::string::npos) << a;
  // Not silent: progress lines and no switch passed on.
  EXPECT_EQ(run(pkg, {}, &out), 0);
  a = readFile(args);
  EXPECT_EQ(a.find("-Silent"), std::string::npos);
  EXPECT_TRUE(tempContents().empty());
}

TEST_F(Package, ExitCodes) {
  std::string pkg = standInPackage();
  std::string out;
  for (int code : {0, 3, 4, 6}) {
    EXPECT_EQ(run(pkg, {"/S"}, &out, {{"KALU_TEST_EXIT", std::to_string(code)}}), code);
    EXPECT_TRUE(tempContents().empty());
  }
  EXPECT_EQ(run(pkg, {}, &out, {{"TEMP", dir / "missing"}}), 1);
  EXPECT_EQ(out.substr(out.size() - 25), "\nPress any key to quit...");
  EXPECT_EQ(run(pkg, {"/S"}, &out, {{"KALU_TEST_FREE_MB", "0"}}), 5);
  EXPECT_EQ(run(pkg, {}, &out, {{"KALU_TEST_FREE_MB", "0"}}), 5);
  EXPECT_NE(out.find("This utility requires at least 1 MBytes of free space in the temporary\ndirectory drive.\n"),
            std::string::npos);
  EXPECT_EQ(run(pkg, {"/S"}, &out, {{"KALU_TEST_FREE_MB", "1"}}), 0);  // exactly enough
  // One byte changed: in the trailer (5), in the runner's image (1), in a
  // member header (2); the inconsistency message also in silent mode.
  std::string good = readFile(pkg), image = readFile(runnerImage());
  struct Flip {
    size_t at;
    int rc;
  } flips[] = {{good.size() - 28 + 16, 5}, {commentSectionOffset() + 3, 1}, {image.size() + 12, 2}};
  for (const Flip &f : flips) {
    std::string damaged = good;
    damaged[f.at] ^= 0x20;
    writeFile(dir / "flipped.exe", damaged, 0755);
    EXPECT_EQ(run(dir / "flipped.exe", {"/S"}, &out), f.rc) << f.at;
    EXPECT_EQ(out, INCONSISTENT) << f.at;
    EXPECT_TRUE(tempContents().empty());
  }
  // No updater among the members: every member is extracted, the start fails.
  writeFile(dir / "ONLY.BIN", "x");
  EXPECT_EQ(run(build({dir / "ONLY.BIN"}, "NOUPD.exe"), {"/S"}, &out), 255);
  EXPECT_TRUE(tempContents().empty());
  // Started through the search path from another folder, it finds itself.
  std::string bin = dir / "bin";
  runShell("mkdir -p '" + bin + "' && cp '" + pkg + "' '" + bin + "/REFR0203.exe'");
  EnvList env = {{"TEMP", temp}, {"KALU_TEST_ARGS", args}, {"PATH", bin + ":/usr/bin:/bin"}};
  EXPECT_EQ(runChild({"REFR0203.exe", "/S"}, env, &out, "/", "/dev/null"), 0) << out;
}

TEST_F(Package, ProgressLinesAndEmptyMembers) {
  writeFile(dir / "KaLuRefr.exe", STAND_IN, 0755);
  writeFile(dir / "A20480.BIN", patternBytes(20480, 1));
  writeFile(dir / "B20481.BIN", patternBytes(20481, 2));
  writeFile(dir / "EMPTY.BIN", "");
  std::string pkg = build({dir / "A20480.BIN", dir / "B20481.BIN", dir / "EMPTY.BIN", dir / "KaLuRefr.exe"});
  std::string out;
  EXPECT_EQ(run(pkg, {}, &out), 0);
  auto line = [](const std::string &label, const std::string &tail) {
    char b[100];
    snprintf(b, sizeof b, "%-40.40s%s", label.c_str(), tail.c_str());
    return std::string(b);
  };
  std::string a = "\rProcessing file 'A20480.BIN'...", b = "\rProcessing file 'B20481.BIN'...";
  EXPECT_NE(out.find(line(a, "0%") + line(a, "100%") + line(a, "OK  \n")), std::string::npos) << out;
  EXPECT_NE(out.find(line(b, "0%") + line(b, "99%") + line(b, "100%") + line(b, "OK  \n")), std::string::npos);
  std::string e = "\rProcessing file 'EMPTY.BIN'...";
  EXPECT_NE(out.find(line(e, "0%") + line(e, "OK  \n")), std::string::npos);
}

TEST_F(Package, DamagedHeadersMembersAndNames) {
  std::string out;
  std::string updater = STAND_IN;
  struct Case {
    const char *what;
    std::vector<Member> members;
    int rc;
    bool inconsistent;
  } cases[] = {
      {"a name with a folder part", {{"../EVIL.TXT", "evil", 'T'}, {"KaLuRefr.exe", updater, 'I'}}, 2, true},
      {"a name of \"..\"", {{"..", "evil", 'T'}, {"KaLuRefr.exe", updater, 'I'}}, 2, true},
      {"an empty name", {{"", "evil", 'T'}, {"KaLuRefr.exe", updater, 'I'}}, 2, true},
      {"a name without its terminator", {{"ABCDEFGHIJKLM", "x", 'T'}, {"KaLuRefr.exe", updater, 'I'}}, 2, true},
      {"a backslash", {{"A\\B", "x", 'T'}, {"KaLuRefr.exe", updater, 'I'}}, 2, true},
      {"a last member of type T", {{"KaLuRefr.exe", updater, 'T'}}, 2, false},
      {"another type ends the loop", {{"KaLuRefr.exe", updater, 'T'}, {"NEVER.BIN", "x", 'X'}}, 0, false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    std::string pkg = dir / "hand.exe";
    writeFile(pkg, handMadePackage(c.members), 0755);
    EXPECT_EQ(run(pkg, {"/S"}, &out), c.rc);
    EXPECT_EQ(out.find(INCONSISTENT) != std::string::npos, c.inconsistent) << out;
    EXPECT_TRUE(tempContents().empty());
    struct stat st;
    EXPECT_NE(stat((dir / "EVIL.TXT").c_str(), &st), 0);
    EXPECT_NE(stat((temp + "/../EVIL.TXT").c_str(), &st), 0);
  }
  // A member whose data fails its CRC, and one that runs past the file.
  std::string p = handMadePackage({{"DATA.BIN", patternBytes(5000, 1), 'T'}, {"KaLuRefr.exe", updater, 'I'}});
  std::string bad = p;
  bad[readFile(runnerImage()).size() + 512 + 100] ^= 1;
  writeFile(dir / "bad.exe", bad, 0755);
  EXPECT_EQ(run(dir / "bad.exe", {}, &out), 2);
  EXPECT_NE(out.find("Bad CRC\n"), std::string::npos);
  EXPECT_TRUE(tempContents().empty());
  std::string image = readFile(runnerImage());
  std::string longer = handMadePackage({{"KaLuRefr.exe", updater, 'I'}});
  uint32_t big = 1000000;
  memcpy(&longer[image.size() + 24], &big, 4);
  uint32_t hcrc = crc32Of(longer.data() + image.size(), 32);
  memcpy(&longer[image.size() + 32], &hcrc, 4);
  writeFile(dir / "short.exe", longer, 0755);
  EXPECT_EQ(run(dir / "short.exe", {"/S"}, &out), 2);
  EXPECT_TRUE(tempContents().empty());
}

// One byte flipped at a sample of offsets across the package (and in a part
// of the runner's image that the loader does not map), cut short, or grown:
// never a crash, always a documented code, never a file outside the work
// folder, and the work folder always removed.
TEST_F(Package, DamagedPackagesEndWithADocumentedCode) {
  std::string pkg = standInPackage("good.exe");
  std::string good = readFile(pkg);
  std::string image = readFile(runnerImage());
  size_t comment = commentSectionOffset();
  std::vector<size_t> offsets = {comment, comment + 5};
  for (size_t at = image.size(); at < good.size(); at += 997) offsets.push_back(at);
  for (size_t k = 0; k < 28; k++) offsets.push_back(good.size() - 28 + k);
  for (size_t k = 0; k < 40; k++) offsets.push_back(image.size() + k);
  std::vector<std::string> variants;
  for (size_t at : offsets) {
    std::string v = good;
    v[at] ^= 0x41;
    variants.push_back(v);
  }
  for (size_t cut : {1u, 27u, 29u, 600u, 31000u}) variants.push_back(good.substr(0, good.size() - cut));
  variants.push_back(good + "appended");
  std::string out;
  for (size_t i = 0; i < variants.size(); i++) {
    writeFile(dir / "damaged.exe", variants[i], 0755);
    int rc = run(dir / "damaged.exe", {"/S"}, &out);
    EXPECT_TRUE(rc == 0 || rc == 1 || rc == 2 || rc == 5) << i << " rc " << rc;
    EXPECT_TRUE(tempContents().empty()) << i;
  }
}

TEST_F(Package, APackageMadeWithoutTheBuilderRuns) {
  std::string pkg = dir / "hand.exe";
  writeFile(pkg, handMadePackage({{"DATA.BIN", patternBytes(50000, 3), 'T'}, {"KaLuRefr.exe", STAND_IN, 'I'}}), 0755);
  std::string out, log;
  EXPECT_EQ(runShell(binDir() + "/mkpackage verify '" + pkg + "'", &log), 0) << log;
  EXPECT_EQ(run(pkg, {"/S"}, &out, {{"KALU_TEST_EXIT", "3"}}), 3);
  EXPECT_EQ(runShell(binDir() + "/mkpackage verify '" + standInPackage() + "'", &log), 0) << log;
  std::string damaged = readFile(pkg);
  damaged[readFile(runnerImage()).size() + 512 + 1000] ^= 1;  // inside DATA.BIN
  writeFile(pkg, damaged);
  EXPECT_NE(runShell(binDir() + "/mkpackage verify '" + pkg + "'", &log), 0);
}

// The whole job as a user would do it: the package with the real updater,
// the library, the stand-in raw-sector DLL, the host's UnZip and a release.
TEST_F(Package, EndToEndOnADiskImage) {
  std::string img = standardDisk(dir);
  std::string rel = dir / "rel";
  runShell("mkdir -p '" + rel + "/DIAG' && printf '[FenoCraft]\\r\\nVersion=B.02.03\\r\\n' > '" + rel +
           "/kaluconf.ini' && head -c 30000 /dev/urandom > '" + rel + "/DIAG/TEST.EXE' && cd '" + rel +
           "' && zip -qr ../vFC_KaLu.zip .");
  runShell("cp \"$(command -v unzip)\" '" + dir / "unzip.exe" + "'");
  std::string pkg = build({dir / "unzip.exe", binDir() + "/KaLuRefr.exe", binDir() + "/QvKalu.dll",
                           binDir() + "/SKTRAW32.DLL", dir / "vFC_KaLu.zip"});
  EnvList env = {{"KALU_PHYSICALDRIVE0", img}, {"KALU_NAMESPACE", uniqueNamespace()}};
  std::string out;
  EXPECT_EQ(run(pkg, {"/S"}, &out, env), 0);
  EXPECT_EQ(out, "");
  EXPECT_EQ(mtoolsRead(img, UTIL_START, "::DIAG/TEST.EXE"), readFile(rel + "/DIAG/TEST.EXE"));
  EXPECT_EQ(mtoolsRead(img, UTIL_START, "::KALUCONF.INI"), readFile(rel + "/kaluconf.ini"));
  expectClean(img);
  EXPECT_TRUE(tempContents().empty());
  // Interactively it asks: N keeps the release, Y installs it again.
  std::string answers = dir / "answers";
  writeFile(answers, "\nN\n");
  std::string before = readFile(img);
  EXPECT_EQ(runChild({pkg}, {{"TEMP", temp}, env[0], env[1]}, &out, dir.path, answers), 6);
  EXPECT_TRUE(readFile(img) == before);
  writeFile(answers, "\nY\n");
  EXPECT_EQ(runChild({pkg}, {{"TEMP", temp}, env[0], env[1]}, &out, dir.path, answers), 0);
  EXPECT_NE(out.find("successfully installed"), std::string::npos);
  EXPECT_EQ(mtoolsRead(img, UTIL_START, "::DIAG/TEST.EXE"), readFile(rel + "/DIAG/TEST.EXE"));
  expectClean(img);
  EXPECT_TRUE(tempContents().empty());
}
