// Names and path syntax: the tables of valid and invalid paths, the
// conversions of text into 11-byte names, and wildcard comparison.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "kalu_core.h"

namespace {
std::string fat(const uint8_t *n) { return std::string((const char *)n, 11); }
}  // namespace

TEST(Names, ValidatePath) {
  struct Case {
    std::string path;
    int wild;
    int valid;
  } cases[] = {
      {"\\DIR\\FILE.TXT", 0, 1}, {"#:\\DIR\\FILE.TXT", 0, 1}, {"FILE.TXT", 0, 1}, {"C:\\FILE", 0, 0},
      {"\\DIR\\", 0, 0}, {"\\DIR\\\\FILE", 0, 0}, {"\\.\\FILE", 0, 0}, {"\\..\\FILE", 0, 1},
      {"\\CON", 0, 0}, {"\\con.txt", 0, 0}, {"\\COM", 0, 0}, {"\\LPT", 0, 1}, {"\\lpt4.x", 0, 0},
      {"\\A B", 0, 0}, {"\\A+B", 0, 0}, {"\\DIR/FILE", 0, 0}, {"\\A,B", 0, 0}, {"\\A[1]", 0, 0},
      {"\\*.TXT", 1, 1}, {"\\*.TXT", 0, 0}, {"\\D*\\FILE", 1, 0}, {"\\D?R\\F", 1, 0},
      {"\\LONGFILENAME.TEXT", 0, 1}, {"A.B.C", 0, 1}, {"A.", 0, 1}, {"", 0, 0}, {"#:", 0, 0},
      {"\\", 0, 0}, {"#:\\X:\\F", 0, 0}, {"\\AUX\\F", 0, 0}, {"\\DIR\\CON\\F", 0, 0},
      {"\\" + std::string(258, 'A'), 0, 1},  // 259 characters
      {"\\" + std::string(259, 'A'), 0, 0},  // 260: does not fit the scratch area
  };
  for (const Case &c : cases) EXPECT_EQ(validatePath(c.path.c_str(), c.wild), c.valid) << c.path << " " << c.wild;
}

TEST(Names, ToFatName) {
  struct Case {
    const char *text;
    const char *name;
  } cases[] = {
      {"readme.txt", "README  TXT"}, {"*.*", "???????????"},      {"AB*.T*", "AB??????T??"},
      {"a*b.c", "A???????C  "},      {"X.*", "X       ???"},      {"ABCDEFGHIJ.TXT", "ABCDEFGHIJ."},
      {".", "           "},         {"io.sys", "IO      SYS"},     {"NOEXT", "NOEXT      "},
      {"a?c.d?", "A?C     D? "},
  };
  for (const Case &c : cases) {
    uint8_t out[11];
    toFatName(c.text, out);
    EXPECT_EQ(fat(out), c.name) << c.text;
  }
}

TEST(Names, MakeFatNameKeepsCaseAndCutsTheCallersStrings) {
  char base[] = "abcdefghijk", ext[] = "t*xyz";
  uint8_t out[11];
  makeFatName(out, base, ext);
  EXPECT_EQ(fat(out), "abcdefght??");
  EXPECT_STREQ(base, "abcdefgh");
  EXPECT_STREQ(ext, "t*x");
  char b2[] = "abc", e2[] = "t*";
  makeFatName(out, b2, e2);
  EXPECT_EQ(fat(out), "abc     t??");
  char b3[] = "..", e3[] = "";
  makeFatName(out, b3, e3);
  EXPECT_EQ(fat(out), "..         ");
}

TEST(Names, MatchFatNameTakesQuestionMarksOnEitherSide) {
  struct Case {
    const char *a, *b;
    int match;
  } cases[] = {
      {"README  TXT", "r?adme  ???", 1}, {"R?ADME  TXT", "README  TXT", 1}, {"README  TXT", "readme  txt", 1},
      {"README  TXT", "README  TX ", 0}, {"README  TXT", "READMX  ???", 0}, {"???????????", "ANYTHINGELS", 1},
  };
  for (const Case &c : cases)
    EXPECT_EQ(matchFatName((const uint8_t *)c.a, (const uint8_t *)c.b), c.match) << c.a << " ~ " << c.b;
}
