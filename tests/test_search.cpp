// Directory search: the simple pair over the root, the extended pair over
// any directory (judged against mdir), the resume rules, and records that
// are invalid or damaged when they come back.
#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "kalu_core.h"
#include "testkit.h"

namespace {

std::vector<std::string> findAll(const char *path, int attr, int *last = nullptr) {
  FindRecord r;
  memset(&r, 0, sizeof r);
  std::vector<std::string> names;
  int rc = KaLu_findfirstEx(path, attr, &r);
  while (rc == 0) {
    names.push_back(r.name);
    rc = KaLu_findnextEx(&r);
  }
  if (last) *last = rc;
  return names;
}

}  // namespace

TEST(Search, RootListingPassesOverTheLabel) {
  TempDir dir;
  std::string img = standardDisk(dir);
  InProcess p(img);
  ASSERT_TRUE(p.attach());
  int last = 0;
  EXPECT_EQ(findAll("\\*.*", 0, &last), (std::vector<std::string>{"IO.SYS", "MSDOS.SYS", "QVSTART.SYS"}));
  EXPECT_EQ(last, -1);
  EXPECT_EQ(KaLu_getLastError(), ERR_FAILED);
  EXPECT_EQ(findAll("\\*.*", 0x08), std::vector<std::string>{"KALUUTIL"});
  FindRecord r;
  ASSERT_EQ(KaLu_findfirstEx("#:\\Q*.SYS", 0, &r), 0);
  EXPECT_EQ(KaLu_getLastError(), ERR_NONE);
  EXPECT_STREQ(r.name, "QVSTART.SYS");
  EXPECT_EQ(r.size, 9000u);
  EXPECT_EQ(r.attrib, ATTR_ARCHIVE);
  EXPECT_EQ(r.inRoot, 1u);
  EXPECT_EQ(r.entryIndex, 3);
  EXPECT_EQ(r.wantAttr, 0);
  EXPECT_EQ(std::string(r.pattern, 11), "Q???????SYS");
  EXPECT_EQ(r.time, g->rootDir[3].time);
  EXPECT_EQ(r.date, g->rootDir[3].date);

  // The simple pair: raw names, plain files of the root only.
  char name[12] = {};
  SearchRecord s;
  ASSERT_EQ(KaLu_findfirst("*.SYS", name, &s), 1);
  EXPECT_EQ(std::string(name, 11), "IO      SYS");
  std::vector<std::string> simple = {name};
  while (KaLu_findnext(name, &s) == 1) simple.push_back(std::string(name, 11));
  EXPECT_EQ(simple, (std::vector<std::string>{"IO      SYS", "MSDOS   SYS", "QVSTART SYS"}));
  EXPECT_EQ(KaLu_findfirst("*.TXT", name, &s), 0);
  // Past a 0x00 entry the simple search goes on; the extended one stops.
  ASSERT_EQ(KaLu_findfirst("*.SYS", name, &s), 1);
  g->rootDir[1].name[0] = 0x00;
  EXPECT_EQ(KaLu_findnext(name, &s), 1);
  EXPECT_EQ(std::string(name, 11), "QVSTART SYS");
  EXPECT_EQ(findAll("\\*.*", 0), std::vector<std::string>{"IO.SYS"});
  // A damaged record is refused, not followed.
  s.lastMatch = 100000;
  EXPECT_EQ(KaLu_findnext(name, &s), 0);
}

TEST(Search, SubdirectoriesAgreeWithMdir) {
  TempDir dir;
  std::string img = dir / "disk.img";
  // One sector per cluster: 40 entries run over three clusters.
  makeImage(img, "-s 16384 --no-boot-files -p a0,2048,4000,12,1,224");
  std::string local = dir / "f";
  runShell("echo x > '" + local + "'");
  ASSERT_EQ(mtools(img, 2048, "mmd ::DIR"), 0);
  std::set<std::string> files, dirs = {".", ".."};
  for (int i = 0; i < 34; i++) {
    std::string n = "F" + std::to_string(i) + (i % 3 ? ".TXT" : "");
    ASSERT_EQ(mtools(img, 2048, "mcopy " + local + " ::DIR/" + n), 0);
    files.insert(n);
  }
  for (int i = 0; i < 4; i++) {
    ASSERT_EQ(mtools(img, 2048, "mmd ::DIR/D" + std::to_string(i)), 0);
    dirs.insert("D" + std::to_string(i));
  }
  InProcess p(img);
  ASSERT_TRUE(p.attach());
  std::vector<std::string> got = findAll("\\DIR\\*.*", 0);
  EXPECT_EQ(std::set<std::string>(got.begin(), got.end()), files);
  std::vector<std::string> all = findAll("\\DIR\\*.*", 0);
  std::vector<std::string> dirsFound = findAll("\\DIR\\*.*", 0x10);
  ASSERT_GE(dirsFound.size(), 2u);
  EXPECT_EQ(dirsFound[0], ".");
  EXPECT_EQ(dirsFound[1], "..");
  EXPECT_EQ(std::set<std::string>(dirsFound.begin(), dirsFound.end()), dirs);
  std::vector<std::string> mdir = mtoolsNames(img, 2048, "::DIR");
  std::vector<std::string> both = all;
  both.insert(both.end(), dirsFound.begin() + 2, dirsFound.end());
  std::sort(both.begin(), both.end());
  EXPECT_EQ(both, mdir);
  // A pattern without a dot matches names without an extension only.
  for (const std::string &n : findAll("\\DIR\\*", 0)) EXPECT_EQ(n.find('.'), std::string::npos) << n;
  EXPECT_EQ(findAll("\\DIR\\*", 0).size(), 12u);
  FindRecord r;
  ASSERT_EQ(KaLu_findfirstEx("\\DIR\\F1.TXT", 0, &r), 0);
  EXPECT_EQ(r.inRoot, 0u);
  EXPECT_EQ(r.windowFirstCluster, lookupPath("\\DIR", 0x10)->firstCluster);
}

TEST(Search, AFullSectorFollowedByAnEndEntryEndsTheSearch) {
  TempDir dir;
  std::string img = volumeWithFullDir(dir, 2, 14);
  InProcess p(img);
  ASSERT_TRUE(p.attach());
  int last = 0;
  EXPECT_EQ(findAll("\\DIR\\F*", 0, &last).size(), 14u);
  EXPECT_EQ(last, -1);
}

TEST(Search, InvalidPathsAndDamagedRecordsLeaveTheRecordAlone) {
  TempDir dir;
  std::string img = standardDisk(dir);
  ASSERT_EQ(mtools(img, UTIL_START, "mmd ::DIR"), 0);
  InProcess p(img);
  ASSERT_TRUE(p.attach());
  FindRecord r, before;
  memset(&r, 0xAB, sizeof r);
  memcpy(&before, &r, sizeof r);
  for (const char *path : {"\\A B", "C:\\*.*", "\\D*\\*.*", "\\NOTHERE.*", ""}) {
    EXPECT_EQ(KaLu_findfirstEx(path, 0, &r), -1) << path;
    EXPECT_EQ(memcmp(&r, &before, sizeof r), 0) << path;
  }
  EXPECT_EQ(KaLu_findfirstEx(nullptr, 0, &r), -1);
  EXPECT_EQ(KaLu_findfirstEx("\\*.*", 0, nullptr), -1);
  // Damaged positions: an index past the directory, a sector that is not the
  // recorded cluster's, clusters outside the volume.
  ASSERT_EQ(KaLu_findfirstEx("\\DIR\\*.*", 0x10, &r), 0);
  struct Damage {
    const char *what;
    void (*apply)(FindRecord *);
  } damages[] = {
      {"entry index", [](FindRecord *x) { x->entryIndex = 16; }},
      {"sector", [](FindRecord *x) { x->windowSector -= 40; }},
      {"cluster", [](FindRecord *x) { x->windowCluster = 0xFFF0; }},
      {"first cluster", [](FindRecord *x) { x->windowFirstCluster = 1; }},
      {"sector in cluster", [](FindRecord *x) { x->windowSectorInCluster = 99; }},
      {"root index", [](FindRecord *x) { x->inRoot = 1, x->entryIndex = 60000; }},
  };
  for (const Damage &d : damages) {
    FindRecord x = r;
    d.apply(&x);
    FindRecord y = x;
    EXPECT_EQ(KaLu_findnextEx(&x), -1) << d.what;
    EXPECT_EQ(memcmp(&x, &y, sizeof x), 0) << d.what;
  }
  FindRecord ok = r;
  EXPECT_EQ(KaLu_findnextEx(&ok), 0);
  EXPECT_STREQ(ok.name, "..");
}
