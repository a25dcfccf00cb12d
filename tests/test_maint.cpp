// Delete and rename with wildcards, make and remove directories, and the
// reset of the partition, judged by mtools and fsck.fat after every
// scenario; write failures at every sector write of each operation.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "kalu_core.h"
#include "testkit.h"

namespace {

using Names = std::vector<std::string>;

void put(const std::string &path, const std::string &data) {
  KALU_HANDLE h = KaLu_fopen(path.c_str(), "w");
  ASSERT_NE(h, nullptr) << path;
  if (!data.empty()) {
    ASSERT_EQ(KaLu_fwrite(data.data(), 1, (int)data.size(), h), (int)data.size());
  }
  ASSERT_EQ(KaLu_fclose(h), 0);
}

uint32_t freeClusters() {
  uint32_t n = 0;
  for (uint32_t c = 2; c < clusterEnd(); c++) n += getFatEntry((uint16_t)c) == 0;
  return n;
}

}  // namespace

TEST(Delete, WildcardsOpenFilesAndKinds) {
  TempDir dir;
  std::string img = standardDisk(dir);
  InProcess p(img);
  ASSERT_TRUE(p.attach());
  ASSERT_EQ(KaLu_mkdir("\\DIR"), 0);
  EXPECT_EQ(KaLu_delete("\\*.TMP"), -1);
  EXPECT_EQ(KaLu_getLastError(), ERR_FAILED);
  for (const char *f : {"\\A.TMP", "\\B.TMP", "\\C.TMP", "\\KEEP.TXT"}) put(f, patternBytes(5000, 1));
  KALU_HANDLE open = KaLu_fopen("\\B.TMP", "r");
  EXPECT_EQ(KaLu_delete("\\*.TMP"), -1);
  EXPECT_EQ(KaLu_getLastError(), ERR_IN_USE);
  EXPECT_EQ(mtoolsNames(img, UTIL_START, "::"),
            (Names{"B.TMP", "C.TMP", "DIR", "IO.SYS", "KEEP.TXT", "MSDOS.SYS", "QVSTART.SYS"}));
  KaLu_fclose(open);
  EXPECT_EQ(KaLu_delete("\\*.tmp"), 0);
  EXPECT_EQ(KaLu_getLastError(), ERR_NONE);
  EXPECT_EQ(KaLu_delete("\\DIR"), -1);  // directories are not files
  EXPECT_EQ(mtoolsNames(img, UTIL_START, "::"), (Names{"DIR", "IO.SYS", "KEEP.TXT", "MSDOS.SYS", "QVSTART.SYS"}));
  expectClean(img);
  // A deleted entry is reused by the next creation and no longer listed.
  EXPECT_EQ(KaLu_delete("#:\\KEEP.TXT"), 0);
  FindRecord r;
  EXPECT_EQ(KaLu_findfirstEx("\\KEEP.*", 0, &r), -1);
  uint32_t firstDeleted = 0;
  while (g->rootDir[firstDeleted].name[0] != 0xE5) firstDeleted++;
  put("\\NEW.TXT", "x");
  EXPECT_EQ(entryIndex(lookupPath("\\NEW.TXT", 0)), firstDeleted);
  EXPECT_EQ(KaLu_delete("\\A B"), -2);  // invalid path
  expectClean(img);
}

TEST(Delete, AnEmptyFileWritesOnlyItsEntry) {
  TempDir dir;
  std::string img = standardDisk(dir);
  std::string trace = dir / "trace";
  InProcess p(img, {{"KALU_IO_TRACE", trace}});
  ASSERT_TRUE(p.attach());
  put("\\EMPTY.DAT", "");
  truncate(trace.c_str(), 0);
  EXPECT_EQ(KaLu_delete("\\EMPTY.DAT"), 0);
  uint32_t rootStart = g->fat2Sector + bpbFatSectors();
  EXPECT_EQ(traceWrites(trace), Names{std::to_string(rootStart)});
}

TEST(Rename, NewNamePatterns) {
  struct Case {
    const char *old, *pattern, *result;
  } cases[] = {{"README.TXT", "*.BAK", "README.BAK"}, {"REPORT.DOC", "X*.*", "XEPORT.DOC"},
               {"AB.TXT", "?X?Z.*", "AX.TXT"}, {"kaluconf.txt", "kaluconf.ini", "KALUCONF.INI"},
               {"NOEXT", "*.E", "NOEXT.E"}, {"LONG.TXT", "VERYLONGNAME.TEXT", "VERYLONG.TEX"}};
  TempDir dir;
  std::string img = standardDisk(dir);
  InProcess p(img);
  ASSERT_TRUE(p.attach());
  ASSERT_EQ(KaLu_mkdir("\\D"), 0);
  for (const Case &c : cases) {
    SCOPED_TRACE(c.old);
    for (const std::string folder : {"\\", "\\D\\"}) {
      put(folder + c.old, c.old);
      EXPECT_EQ(KaLu_rename((folder + c.old).c_str(), c.pattern), 0);
      EXPECT_EQ(KaLu_getLastError(), ERR_NONE);
      std::string dos = folder == "\\" ? "::" : "::D/";
      EXPECT_EQ(mtoolsRead(img, UTIL_START, dos + c.result), c.old);
      EXPECT_EQ(KaLu_delete((folder + c.result).c_str()), 0);
    }
  }
  expectClean(img);
}

TEST(Rename, CollisionsOpenFilesAndWhatIsKept) {
  TempDir dir;
  std::string img = standardDisk(dir);
  InProcess p(img);
  ASSERT_TRUE(p.attach());
  put("\\kaluconf.txt", "new");
  put("\\kaluconf.ini", "old");
  EXPECT_EQ(KaLu_rename("\\kaluconf.txt", "kaluconf.ini"), -1);
  EXPECT_EQ(KaLu_getLastError(), ERR_FAILED);
  EXPECT_EQ(mtoolsRead(img, UTIL_START, "::KALUCONF.INI"), "old");
  EXPECT_EQ(KaLu_rename("\\kaluconf.txt", "KALUCONF.txt"), -1);  // its own name
  for (const char *bad : {"SUB\\X.TXT", "#:X.TXT", "A B", "C:X"}) {
    EXPECT_EQ(KaLu_rename("\\kaluconf.txt", bad), -2) << bad;
    EXPECT_EQ(KaLu_getLastError(), ERR_FAILED);
  }
  EXPECT_EQ(KaLu_rename("\\NOTHERE.TXT", "X.TXT"), -1);
  // A directory or a label of the new name stops the rename too.
  ASSERT_EQ(KaLu_mkdir("\\TAKEN"), 0);
  EXPECT_EQ(KaLu_rename("\\kaluconf.txt", "TAKEN"), -1);
  EXPECT_EQ(KaLu_rename("\\kaluconf.txt", "KALUUTIL"), -1);
  EXPECT_EQ(mtoolsNames(img, UTIL_START, "::"),
            (Names{"IO.SYS", "KALUCONF.INI", "KALUCONF.TXT", "MSDOS.SYS", "QVSTART.SYS", "TAKEN"}));
  // Attributes, time, date, cluster and size stay.
  DirEntry before = *lookupPath("\\kaluconf.txt", 0);
  before.attr |= 0x01;
  *lookupPath("\\kaluconf.txt", 0) = before;
  EXPECT_EQ(KaLu_delete("\\kaluconf.ini"), 0);
  EXPECT_EQ(KaLu_rename("\\kaluconf.txt", "kaluconf.ini"), 0);
  DirEntry after = *lookupPath("\\KALUCONF.INI", 0);
  EXPECT_EQ(memcmp(&before.attr, &after.attr, 21), 0);
  EXPECT_EQ(std::string((char *)after.name, 11), "KALUCONFINI");
  // Wildcards: every .TXT becomes .BAK; an open match stops with -2.
  for (const char *f : {"\\A.TXT", "\\B.TXT", "\\C.TXT"}) put(f, f);
  EXPECT_EQ(KaLu_rename("\\*.TXT", "*.BAK"), 0);
  EXPECT_EQ(mtoolsRead(img, UTIL_START, "::B.BAK"), "\\B.TXT");
  KALU_HANDLE h = KaLu_fopen("\\B.BAK", "r");
  EXPECT_EQ(KaLu_rename("\\*.BAK", "*.OLD"), -2);
  EXPECT_EQ(KaLu_getLastError(), ERR_IN_USE);
  KaLu_fclose(h);
  EXPECT_EQ(mtoolsNames(img, UTIL_START, "::"), (Names{"A.OLD", "B.BAK", "C.BAK", "IO.SYS", "KALUCONF.INI",
                                                       "MSDOS.SYS", "QVSTART.SYS", "TAKEN"}));
  expectClean(img);
}

TEST(Directories, MkdirLaysOutTheNewCluster) {
  TempDir dir;
  std::string img = standardDisk(dir);
  std::string trace = dir / "trace";
  InProcess p(img, {{"KALU_IO_TRACE", trace}});
  ASSERT_TRUE(p.attach());
  EXPECT_EQ(KaLu_mkdir("\\NEW"), 0);
  EXPECT_EQ(KaLu_getLastError(), ERR_NONE);
  DirEntry *e = lookupPath("\\NEW", ATTR_DIRECTORY);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->attr, ATTR_DIRECTORY);
  uint16_t c = e->firstCluster;
  uint32_t first = clusterToSector(c), rootSector = g->fat2Sector + bpbFatSectors() + entryIndex(e) / 16;
  Names expected = {std::to_string(rootSector)};
  for (uint32_t k = 0; k < 8; k++) expected.push_back(std::to_string(first + k));
  expected.insert(expected.end(), {std::to_string(rootSector), std::to_string(first), std::to_string(g->fat1Sector),
                                   std::to_string(g->fat2Sector)});
  EXPECT_EQ(traceWrites(trace), expected);
  auto dots = readBytes(img, (uint64_t)first * 512, 512);
  const DirEntry *d = reinterpret_cast<const DirEntry *>(dots.data());
  EXPECT_EQ(std::string((const char *)d[0].name, 11), ".          ");
  EXPECT_EQ(d[0].firstCluster, c);
  EXPECT_EQ(std::string((const char *)d[1].name, 11), "..         ");
  EXPECT_EQ(d[1].firstCluster, 0);
  EXPECT_EQ(d[1].time, e->time);
  EXPECT_EQ(std::vector<uint8_t>(dots.begin() + 64, dots.end()), std::vector<uint8_t>(448, 0));
  for (uint32_t k = 1; k < 8; k++) EXPECT_EQ(readBytes(img, (uint64_t)(first + k) * 512, 512), std::vector<uint8_t>(512, 0));
  EXPECT_EQ(KaLu_mkdir("\\NEW\\SUB"), 0);
  DirEntry *sub = lookupPath("\\NEW\\SUB", ATTR_DIRECTORY);
  auto subDots = readBytes(img, (uint64_t)clusterToSector(sub->firstCluster) * 512, 64);
  EXPECT_EQ(reinterpret_cast<const DirEntry *>(subDots.data())[1].firstCluster, c);
  struct Case {
    const char *path;
    int result;
  } cases[] = {{"\\NEW", -2},   {"\\IO.SYS", -2},       {"\\NEW\\SUB", -2},  {"\\A\\B", -2}, {"\\*", -2},
               {"C:\\X", -2},   {"\\new2", 0},          {"\\LONGNAME12.TEXT", 0}, {"#:\\NEW\\..\\TOP", 0}};
  for (const Case &k : cases) EXPECT_EQ(KaLu_mkdir(k.path), k.result) << k.path;
  put("\\NEW\\F.TXT", "x");
  EXPECT_EQ(KaLu_mkdir("\\NEW\\F.TXT"), -2);
  EXPECT_EQ(mtoolsNames(img, UTIL_START, "::"),
            (Names{"IO.SYS", "LONGNAME.TEX", "MSDOS.SYS", "NEW", "NEW2", "QVSTART.SYS", "TOP"}));
  EXPECT_EQ(mtoolsNames(img, UTIL_START, "::NEW"), (Names{"F.TXT", "SUB"}));
  expectClean(img);
}

TEST(Directories, MkdirInAFullSubdirectoryFlushesBothFatChangesAtOnce) {
  TempDir dir;
  std::string img = dir / "disk.img";
  makeImage(img, "-s 16384 --no-boot-files -p a0,2048,4000,12,1,224");
  std::string trace = dir / "trace";
  InProcess p(img, {{"KALU_IO_TRACE", trace}});
  ASSERT_TRUE(p.attach());
  ASSERT_EQ(KaLu_mkdir("\\D"), 0);
  for (int i = 0; i < 14; i++) ASSERT_EQ(KaLu_mkdir(("\\D\\S" + std::to_string(i)).c_str()), 0);
  truncate(trace.c_str(), 0);
  ASSERT_EQ(KaLu_mkdir("\\D\\LAST"), 0);
  Names w = traceWrites(trace);
  EXPECT_EQ(std::count(w.begin(), w.end(), std::to_string(g->fat1Sector)), 1);
  EXPECT_EQ(w.back(), std::to_string(g->fat2Sector));
  EXPECT_EQ(mtoolsNames(img, 2048, "::D").size(), 15u);
  expectClean(img, 2048, 4000);
}

TEST(Directories, RmdirRemovesOnlyEmptyProperDirectories) {
  TempDir dir;
  std::string img = standardDisk(dir);
  InProcess p(img);
  ASSERT_TRUE(p.attach());
  uint32_t freeBefore = freeClusters();
  ASSERT_EQ(KaLu_mkdir("\\A"), 0);
  ASSERT_EQ(KaLu_mkdir("\\B"), 0);
  put("\\B\\F.TXT", "x");
  uint16_t a = lookupPath("\\A", ATTR_DIRECTORY)->firstCluster;
  EXPECT_EQ(KaLu_rmdir("\\A"), 0);
  EXPECT_EQ(getFatEntry(a), 0);
  EXPECT_EQ(g->rootDir[4].name[0], 0xE5);
  EXPECT_EQ(KaLu_rmdir("\\B"), -1);
  EXPECT_EQ(KaLu_delete("\\B\\F.TXT"), 0);
  EXPECT_EQ(KaLu_rmdir("\\B"), 0);
  EXPECT_EQ(freeClusters(), freeBefore);
  EXPECT_EQ(KaLu_rmdir("\\IO.SYS"), -1);
  EXPECT_EQ(KaLu_rmdir("\\"), -2);
  EXPECT_EQ(KaLu_rmdir("\\NONE"), -1);
  // A directory whose second entry is not "..".
  ASSERT_EQ(KaLu_mkdir("\\C"), 0);
  uint32_t cSector = clusterToSector(lookupPath("\\C", ATTR_DIRECTORY)->firstCluster);
  uint8_t sector[512];
  ASSERT_TRUE(readSector(cSector, sector));
  sector[32 + 1] = 'X';
  ASSERT_TRUE(writeSector(cSector, sector));
  EXPECT_EQ(KaLu_rmdir("\\C"), -1);
  EXPECT_EQ(KaLu_getLastError(), ERR_FAILED);
  EXPECT_EQ(mtoolsNames(img, UTIL_START, "::"), (Names{"C", "IO.SYS", "MSDOS.SYS", "QVSTART.SYS"}));
}

namespace {

// The boot files, the label, kaluconf.ini and a tree.
void fillPartition() {
  put("\\kaluconf.ini", "[FenoCraft]\r\nVersion=1\r\n");
  ASSERT_EQ(KaLu_mkdir("\\DIAG"), 0);
  ASSERT_EQ(KaLu_mkdir("\\DIAG\\SUB"), 0);
  put("\\DIAG\\TEST.EXE", patternBytes(30000, 1));
  put("\\DIAG\\SUB\\DATA.BIN", patternBytes(70000, 2));
}

}  // namespace

TEST(Reset, KeepsOnlyTheBootFiles) {
  TempDir dir;
  std::string img = standardDisk(dir);
  std::string io = mtoolsRead(img, UTIL_START, "::IO.SYS"), qv = mtoolsRead(img, UTIL_START, "::QVSTART.SYS");
  // QVSTART.SYS ends its chain with 0xFF8, not the engine's 0xFFF.
  std::string trace = dir / "trace";
  InProcess p(img, {{"KALU_IO_TRACE", trace}});
  ASSERT_TRUE(p.attach());
  uint16_t qvLast = (uint16_t)lastClusterOfChain(g->rootDir[3].firstCluster);
  setFatEntry(qvLast, 0xFF8);
  markFatEntryDirty(qvLast);
  ASSERT_EQ(flushFat(), 0);
  uint32_t freeBefore = freeClusters();
  fillPartition();
  truncate(trace.c_str(), 0);
  EXPECT_EQ(KaLu_resetContents(), 0);
  EXPECT_EQ(KaLu_getLastError(), ERR_NONE);
  EXPECT_EQ(freeClusters(), freeBefore);
  EXPECT_EQ(getFatEntry(qvLast), 0xFF8);
  EXPECT_EQ(getFatEntry(0), 0xFF8);
  EXPECT_EQ(getFatEntry(1), 0xFFF);
  // 224 root entries: exactly 14 root sectors, then the FAT, nothing past the root.
  uint32_t rootStart = g->fat2Sector + bpbFatSectors();
  Names w = traceWrites(trace);
  ASSERT_EQ(w.size(), 14u + 2 * bpbFatSectors());
  for (uint32_t k = 0; k < 14; k++) EXPECT_EQ(w[k], std::to_string(rootStart + k));
  for (const std::string &s : w) EXPECT_LT(std::stoul(s), rootStart + 14);
  FindRecord r;
  Names listed;
  for (int rc = KaLu_findfirstEx("\\*.*", 0, &r); rc == 0; rc = KaLu_findnextEx(&r)) listed.push_back(r.name);
  EXPECT_EQ(listed, (Names{"IO.SYS", "MSDOS.SYS", "QVSTART.SYS"}));
  EXPECT_EQ(mtoolsNames(img, UTIL_START, "::"), (Names{"IO.SYS", "MSDOS.SYS", "QVSTART.SYS"}));
  EXPECT_EQ(mtoolsRead(img, UTIL_START, "::IO.SYS"), io);
  EXPECT_EQ(mtoolsRead(img, UTIL_START, "::QVSTART.SYS"), qv);
  expectClean(img);
  // A second reset writes the same bytes.
  std::string once = readFile(img);
  EXPECT_EQ(KaLu_resetContents(), 0);
  EXPECT_TRUE(readFile(img) == once);
}

TEST(Reset, Fat16ReservedEntriesAndLowerCaseNames) {
  TempDir dir;
  std::string img = dir / "disk.img";
  makeImage(img, "-s 65536 -p a0,2048,40000,16,4,512");
  InProcess p(img);
  ASSERT_TRUE(p.attach());
  memcpy(g->rootDir[0].name, "io      sys", 11);
  setFatEntry(0, 0);
  EXPECT_EQ(KaLu_resetContents(), 0);
  EXPECT_EQ(getFatEntry(0), 0xFFF8);
  EXPECT_EQ(getFatEntry(1), 0xFFFF);
  expectClean(img, 2048, 40000);
}

TEST(Reset, RefusesAndChangesNothing) {
  struct Case {
    const char *what;
    std::function<void()> damage;
  } cases[] = {
      {"MSDOS.SYS first", [] { std::swap(g->rootDir[0], g->rootDir[1]); }},
      {"entry 2 a plain file", [] { g->rootDir[2].attr = 0x20; }},
      {"entry 3 a directory", [] { g->rootDir[3].attr = 0x10; }},
      {"a file open", [] { KaLu_fopen("\\IO.SYS", "r"); }},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    std::string img = standardDisk(dir);
    std::string trace = dir / "trace";
    InProcess p(img, {{"KALU_IO_TRACE", trace}});
    ASSERT_TRUE(p.attach());
    fillPartition();
    c.damage();
    std::vector<uint8_t> root((uint8_t *)g->rootDir, (uint8_t *)g->rootDir + sizeof g->rootDir);
    std::vector<uint8_t> fat(&g->fatImage[0][0], &g->fatImage[0][0] + sizeof g->fatImage);
    truncate(trace.c_str(), 0);
    EXPECT_EQ(KaLu_resetContents(), -2);
    EXPECT_EQ(KaLu_getLastError(), ERR_FAILED);
    EXPECT_EQ(std::vector<uint8_t>((uint8_t *)g->rootDir, (uint8_t *)g->rootDir + sizeof g->rootDir), root);
    EXPECT_EQ(std::vector<uint8_t>(&g->fatImage[0][0], &g->fatImage[0][0] + sizeof g->fatImage), fat);
    EXPECT_TRUE(traceWrites(trace).empty());
    memset(g->fileSlots, 0, sizeof g->fileSlots);
  }
}

// Boot files longer than any fixed list, and an empty one among them.
TEST(Reset, RestoresLongAndEmptyBootFiles) {
  TempDir dir;
  std::string img = dir / "disk.img";
  makeImage(img, "-s 16384 --no-boot-files -p a0,2048,4000,12,1,224");
  std::string big = dir / "IO.SYS", empty = dir / "MSDOS.SYS", qv = dir / "QVSTART.SYS";
  FILE *f = fopen(big.c_str(), "wb");
  std::string data = patternBytes(400 * 512, 9);
  fwrite(data.data(), 1, data.size(), f);
  fclose(f);
  fclose(fopen(empty.c_str(), "wb"));
  runShell("echo qvstart > '" + qv + "'");
  ASSERT_EQ(mtools(img, 2048, "mcopy " + big + " ::IO.SYS"), 0);
  ASSERT_EQ(mtools(img, 2048, "mcopy " + empty + " ::MSDOS.SYS"), 0);
  ASSERT_EQ(mtools(img, 2048, "mlabel ::KALU"), 0);
  ASSERT_EQ(mtools(img, 2048, "mcopy " + qv + " ::QVSTART.SYS"), 0);
  InProcess p(img);
  ASSERT_TRUE(p.attach());
  put("\\JUNK.BIN", patternBytes(100000, 3));
  EXPECT_EQ(KaLu_resetContents(), 0);
  EXPECT_EQ(mtoolsRead(img, 2048, "::IO.SYS"), data);
  EXPECT_EQ(mtoolsRead(img, 2048, "::MSDOS.SYS"), "");
  EXPECT_EQ(mtoolsRead(img, 2048, "::QVSTART.SYS"), "qvstart\n");
  expectClean(img, 2048, 4000);
}

// Each sector write of each operation fails in turn: the operation gives its
// documented failure, nothing crashes, and the volume mounts again.
TEST(Maintenance, WriteFailuresGiveTheDocumentedResults) {
  struct Op {
    const char *what;
    std::function<int()> run;
    int failure;
  } ops[] = {
      {"mkdir", [] { return KaLu_mkdir("\\DIAG\\NEWDIR"); }, -2},
      {"delete", [] { return KaLu_delete("\\DIAG\\*.*"); }, -2},
      {"rename", [] { return KaLu_rename("\\DIAG\\*.EXE", "*.OLD"); }, -2},
      {"rmdir", [] { return KaLu_rmdir("\\DIAG\\EMPTY"); }, -2},
      {"reset", [] { return KaLu_resetContents(); }, -2},
  };
  TempDir dir;
  std::string base = dir / "base.img";
  makeStandardImage(base);
  {
    InProcess p(base);
    ASSERT_TRUE(p.attach());
    fillPartition();
    put("\\DIAG\\SECOND.EXE", "2");
    ASSERT_EQ(KaLu_mkdir("\\DIAG\\EMPTY"), 0);
  }
  for (const Op &op : ops) {
    SCOPED_TRACE(op.what);
    std::string img = dir / "op.img", trace = dir / "trace";
    runShell("cp '" + base + "' '" + img + "' && rm -f '" + trace + "'");
    int writes;
    {
      InProcess p(img, {{"KALU_IO_TRACE", trace}});
      ASSERT_TRUE(p.attach());
      ASSERT_EQ(op.run(), 0);
      writes = (int)traceWrites(trace).size();
      ASSERT_GT(writes, 0);
    }
    for (int n = 1; n <= writes; n++) {
      runShell("cp '" + base + "' '" + img + "'");
      InProcess p(img, {{"KALU_IO_FAIL_WRITE_AT", std::to_string(n)}});
      ASSERT_TRUE(p.attach());
      testing::internal::CaptureStdout();
      int r = op.run();
      std::string out = testing::internal::GetCapturedStdout();
      EXPECT_EQ(r, op.failure) << n;
      EXPECT_EQ(KaLu_getLastError(), ERR_FAILED) << n;
      EXPECT_EQ(out.rfind("Error writing to physical disk: ", 0), 0u) << out;
    }
    InProcess again(img);
    EXPECT_TRUE(again.attach());
  }
}
