// The platform layer's services for the programs: the command-line round
// trip, the private-profile files, local names without regard to case,
// sorted listings, read-only files, TEMP.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "plat.h"
#include "testkit.h"

TEST(Platform, CommandLineSplitsByTheOriginalRules) {
  struct Case {
    const char *line;
    std::vector<std::string> args;
  } cases[] = {
      {"a b  c", {"a", "b", "c"}},
      {"\"a b\" c", {"a b", "c"}},
      {"/tmp/my folder/KaLuRefr.exe /S x", {"/tmp/my", "folder/KaLuRefr.exe", "/S", "x"}},
      {"a\\\\\"b c\" d", {"a\\b c", "d"}},
      {"a\\\"b", {"a\"b"}},
      {"a\\b", {"a\\b"}},
      {"\"\"", {""}},
      {"  ", {}},
  };
  for (const Case &c : cases) EXPECT_EQ(platSplitCommandLine(c.line), c.args) << c.line;
}

TEST(Platform, PrivateProfileFiles) {
  TempDir dir;
  std::string f = dir / "KaluConf.ini";
  FILE *o = fopen(f.c_str(), "wb");
  fputs("; comment\r\n[ FenoCraft ]\r\n  Version =  B.02.03 \r\nOther=1\r\n\r\n[Kaluconf]\r\ntimeout=10\r\n", o);
  fclose(o);
  char v[20];
  struct Case {
    const char *section, *key, *value;
  } reads[] = {{"fenocraft", "VERSION", "B.02.03"}, {"Kaluconf", "Timeout", "10"}, {"Kaluconf", "version", ""},
               {"None", "version", ""}};
  for (const Case &c : reads) {
    platIniRead((dir / "kaluconf.INI").c_str(), c.section, c.key, "", v, sizeof v);
    EXPECT_STREQ(v, c.value) << c.section << "/" << c.key;
  }
  platIniRead((dir / "missing.ini").c_str(), "a", "b", "dflt", v, sizeof v);
  EXPECT_STREQ(v, "dflt");
  EXPECT_TRUE(platIniWrite(f.c_str(), "Fenocraft", "version", "empty"));
  EXPECT_TRUE(platIniWrite(f.c_str(), "Kaluconf", "delay", "0"));
  EXPECT_TRUE(platIniWrite(f.c_str(), "New", "key", "12345678901234567890123"));
  EXPECT_EQ(readFile(f), "; comment\r\n[ FenoCraft ]\r\nversion=empty\r\nOther=1\r\n\r\n[Kaluconf]\r\ntimeout=10\r\n"
                         "delay=0\r\n[New]\r\nkey=12345678901234567890123\r\n");
  platIniRead(f.c_str(), "new", "KEY", "", v, sizeof v);
  EXPECT_STREQ(v, "1234567890123456789");  // 19 characters in a 20-byte buffer
}

TEST(Platform, LocalNamesListingsAndReadOnlyFiles) {
  TempDir dir;
  runShell("cd '" + dir.path + "' && mkdir Sub && touch b.txt A.TXT c Sub/File.Dat && chmod 0444 c");
  char out[512];
  ASSERT_TRUE(platResolveCase((dir / "SUB/file.dat").c_str(), out, sizeof out));
  EXPECT_EQ(std::string(out), dir / "Sub/File.Dat");
  ASSERT_TRUE(platResolveCase((dir / "none/x").c_str(), out, sizeof out));
  EXPECT_EQ(std::string(out), dir / "none/x");
  std::vector<PlatListEntry> list;
  ASSERT_TRUE(platListFolder(dir.path.c_str(), &list));
  std::vector<std::string> names;
  for (const auto &e : list) names.push_back(e.name);
  EXPECT_EQ(names, (std::vector<std::string>{".", "..", "A.TXT", "b.txt", "c", "Sub"}));
  EXPECT_TRUE(list[5].folder);
  EXPECT_TRUE(list[4].readOnly);
  EXPECT_FALSE(platDeleteFile((dir / "C").c_str()));  // read-only, even for root
  EXPECT_TRUE(platClearReadOnly((dir / "C").c_str()));
  EXPECT_TRUE(platDeleteFile((dir / "C").c_str()));
  EXPECT_FALSE(platRemoveFolder((dir / "sub").c_str()));  // not empty
  EXPECT_TRUE(platDeleteFile((dir / "sub/FILE.DAT").c_str()));
  EXPECT_TRUE(platRemoveFolder((dir / "sub").c_str()));
  // A folder's write bit protects nothing.
  runShell("mkdir '" + dir / "locked" + "' && touch '" + dir / "locked/f" + "' && chmod 0555 '" + dir / "locked" + "'");
  EXPECT_TRUE(platDeleteFile((dir / "locked/f").c_str()));
  ScopedEnv env({{"TEMP", ""}, {"TMPDIR", ""}});
  EXPECT_EQ(platTempFolder(), "/tmp");
  ScopedEnv env2(EnvList{{"TMPDIR", "/var/tmp"}});
  EXPECT_EQ(platTempFolder(), "/var/tmp");
}
