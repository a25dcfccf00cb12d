// The directory walk and entry creation on volumes built by mtools, judged
// by mtools and fsck.fat afterwards; corrupted entries that must never be
// entered; the stamp of new entries; and which open file holds an entry.
#include <gtest/gtest.h>

#include <cstring>

#include "kalu_core.h"
#include "testkit.h"

namespace {

std::string fat(const uint8_t *n) { return std::string((const char *)n, 11); }

// The standard disk with a tree: \DIR\A.TXT, \DIR\SUB\F.TXT.
void makeTree(TempDir &dir, const std::string &img) {
  makeStandardImage(img);
  std::string f = dir / "f.txt";
  runShell("echo content > '" + f + "'");
  ASSERT_EQ(mtools(img, UTIL_START, "mmd ::DIR"), 0);
  ASSERT_EQ(mtools(img, UTIL_START, "mmd ::DIR/SUB"), 0);
  ASSERT_EQ(mtools(img, UTIL_START, "mcopy " + f + " ::DIR/A.TXT"), 0);
  ASSERT_EQ(mtools(img, UTIL_START, "mcopy " + f + " ::DIR/SUB/F.TXT"), 0);
}

bool traceHasReads(const std::string &trace) { return readFile(trace).find("R ") != std::string::npos; }

DirEntry *rootEntry(const char *name) {
  for (auto &e : g->rootDir)
    if (memcmp(e.name, name, 11) == 0) return &e;
  return nullptr;
}

}  // namespace

TEST(DirectoryWalk, LookupPath) {
  TempDir dir;
  std::string img = dir / "disk.img";
  makeTree(dir, img);
  InProcess p(img);
  ASSERT_TRUE(p.attach());
  uint16_t dirCluster = rootEntry("DIR        ")->firstCluster;
  struct Case {
    const char *path;
    uint8_t attr;
    const char *name;  // null: none
    bool inRoot;
  } cases[] = {
      {"\\IO.SYS", 0, "IO      SYS", true},
      {"#:\\IO.SYS", 0, "IO      SYS", true},
      {"io.sys", 0, "IO      SYS", true},
      {"\\DIR", 0x10, "DIR        ", true},
      {"\\DIR\\", 0x10, "DIR        ", true},
      {"\\DIR", 0, nullptr, false},
      {"\\DIR\\SUB\\F.TXT", 0, "F       TXT", false},
      {"\\dir\\sub\\f.txt", 0, "F       TXT", false},
      {"\\D*\\S?B\\F.TXT", 0, "F       TXT", false},
      {"\\DIR\\SUB\\*.*", 0, "F       TXT", false},
      {"\\IO.SYS\\X", 0, nullptr, false},
      {"\\KALUUTIL", 0x08, "KALUUTIL   ", true},
      {"\\KALUUTIL", 0, nullptr, false},
      {"\\KALUUTIL\\X", 0, nullptr, false},
      {"\\DIR\\..\\IO.SYS", 0, "IO      SYS", true},
      {"\\DIR\\SUB\\..\\A.TXT", 0, "A       TXT", false},
      {"\\DIR\\SUB\\..", 0x10, "..         ", false},
      {"\\NOPE", 0, nullptr, false},
      {"\\DIR\\NOPE", 0, nullptr, false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.path);
    DirEntry *e = lookupPath(c.path, c.attr);
    if (!c.name) {
      EXPECT_EQ(e, nullptr);
      continue;
    }
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(fat(e->name), c.name);
    EXPECT_EQ(entryInRoot(e), c.inRoot);
  }
  // A file found in a subdirectory leaves the window on the sector that holds it.
  DirEntry *a = lookupPath("\\DIR\\A.TXT", 0);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(g->dirWindow.firstCluster, dirCluster);
  EXPECT_EQ(g->dirWindow.lba, clusterToSector(dirCluster));
  EXPECT_EQ(entryIndex(a), 3u);  // after ".", ".." and SUB
}

TEST(DirectoryWalk, AZeroEntryEndsTheWalk) {
  TempDir dir;
  std::string img = standardDisk(dir);
  InProcess p(img);
  ASSERT_TRUE(p.attach());
  ASSERT_NE(lookupPath("\\QVSTART.SYS", 0), nullptr);
  g->rootDir[1].name[0] = 0x00;
  EXPECT_EQ(lookupPath("\\QVSTART.SYS", 0), nullptr);
  EXPECT_NE(lookupPath("\\IO.SYS", 0), nullptr);
}

// Entries that name no cluster of the volume are never entered, so neither
// the root area nor anything past the volume is read as a directory.
TEST(DirectoryWalk, EntriesOutsideTheVolumeAreNeverEntered) {
  for (uint32_t bad : {0u, 1u, 2558u + 2u, 0xFF0u}) {
    SCOPED_TRACE(bad);
    TempDir dir;
    std::string img = dir / "disk.img";
    makeTree(dir, img);
    std::string trace = dir / "trace";
    InProcess p(img, {{"KALU_IO_TRACE", trace}});
    ASSERT_TRUE(p.attach());
    ASSERT_GE(bad, bad == 0 || bad == 1 ? bad : clusterEnd());
    rootEntry("DIR        ")->firstCluster = (uint16_t)bad;
    truncate(trace.c_str(), 0);
    EXPECT_EQ(lookupPath("\\DIR\\A.TXT", 0), nullptr);
    EXPECT_EQ(createEntryIn("\\DIR", (const uint8_t *)"NEW     TXT", 0, 1), nullptr);
    EXPECT_FALSE(traceHasReads(trace));
  }
}

// A directory whose chain loops back on itself: every walk over it ends.
TEST(DirectoryWalk, ALoopingDirectoryChainEndsEveryWalk) {
  TempDir dir;
  std::string img = volumeWithFullDir(dir, 1, 30);  // one sector per cluster: DIR fills two clusters
  InProcess p(img);
  ASSERT_TRUE(p.attach());
  uint16_t first = lookupPath("\\DIR", ATTR_DIRECTORY)->firstCluster;
  uint16_t second = getFatEntry(first);
  ASSERT_TRUE(validCluster(second));
  setFatEntry(second, first);  // the second cluster leads back to the first
  EXPECT_EQ(lookupPath("\\DIR\\NOTHERE", 0), nullptr);
  FindRecord r;
  int found = 0;
  for (int rc = KaLu_findfirstEx("\\DIR\\*.*", 0, &r); rc == 0 && found < 1000; rc = KaLu_findnextEx(&r)) found++;
  EXPECT_EQ(found, 30);  // each file once, then the end
  ASSERT_TRUE(openDirWindow(first));
  // The walk ends where the chain would repeat; a full directory grows there,
  // which leaves a proper chain.
  EXPECT_EQ(createSubdirEntry((const uint8_t *)"NEW        ", 0, 0), 0);
  EXPECT_EQ(getFatEntry(first), second);
  EXPECT_EQ(getFatEntry(second), g->dirWindow.cluster);
  EXPECT_TRUE(isEndOfChain(getFatEntry(g->dirWindow.cluster)));
  EXPECT_EQ(KaLu_rmdir("\\DIR"), -1);
}

TEST(DirectoryEntries, DotDotAtClusterZeroLeadsBackToTheRoot) {
  TempDir dir;
  std::string img = dir / "disk.img";
  makeTree(dir, img);
  InProcess p(img);
  ASSERT_TRUE(p.attach());
  DirEntry *e = createEntryIn("\\DIR\\..", (const uint8_t *)"NEW     TXT", 0, 1);
  ASSERT_NE(e, nullptr);
  EXPECT_TRUE(entryInRoot(e));
  EXPECT_EQ(mtoolsNames(img, UTIL_START, "::"),
            (std::vector<std::string>{"DIR", "IO.SYS", "MSDOS.SYS", "NEW.TXT", "QVSTART.SYS"}));
  EXPECT_EQ(mtoolsNames(img, UTIL_START, "::DIR"), (std::vector<std::string>{"A.TXT", "SUB"}));
  expectClean(img, UTIL_START, UTIL_SIZE);
}

TEST(DirectoryEntries, RootCreationReusesPlainFilesOnly) {
  TempDir dir;
  std::string img = dir / "disk.img";
  makeTree(dir, img);
  InProcess p(img);
  ASSERT_TRUE(p.attach());
  fixedClockSet = true;
  fixedClock = {2000, 4, 20, 21, 5, 20};
  DirEntry *io = &g->rootDir[0];
  uint16_t first = io->firstCluster;
  uint16_t second = getFatEntry(first);
  io->attr = 0x01;  // read-only; the stamp replaces the attributes
  EXPECT_EQ(createRootEntry((const uint8_t *)"io      sys", 0), 0);
  EXPECT_EQ(fat(io->name), "io      sys");
  EXPECT_EQ(io->attr, ATTR_ARCHIVE);
  EXPECT_EQ(io->firstCluster, 0);
  EXPECT_EQ(io->size, 0u);
  EXPECT_EQ(io->time, 0xA8AA);
  EXPECT_EQ(io->date, 0x2894);
  EXPECT_EQ(getFatEntry(first), 0);
  EXPECT_EQ(getFatEntry(second), 0);
  // Directories and labels are never reused, nor is a file reused as a directory.
  EXPECT_EQ(createRootEntry((const uint8_t *)"DIR        ", 0), -2);
  EXPECT_EQ(createRootEntry((const uint8_t *)"KALUUTIL   ", 0), -2);
  EXPECT_EQ(createRootEntry((const uint8_t *)"MSDOS   SYS", ATTR_DIRECTORY), -2);
  // A file that an open slot holds is in use.
  FileSlot &slot = g->fileSlots[0];
  memcpy(&slot.entry, &g->rootDir[1], sizeof slot.entry);
  slot.inRoot = 1;
  slot.entryIndex = 1;
  setErrorCode(ERR_FAILED);
  EXPECT_EQ(createRootEntry((const uint8_t *)"MSDOS   SYS", 0), -2);
  EXPECT_EQ(lastErrorCode, ERR_IN_USE);
  memset(&slot, 0, sizeof slot);
  fixedClockSet = false;
  std::string listing;
  mtools(img, UTIL_START, "mdir -a ::", &listing);
  EXPECT_NE(listing.find("io       sys         0 2000-04-20  21:05"), std::string::npos) << listing;
  expectClean(img, UTIL_START, UTIL_SIZE);
}

TEST(DirectoryEntries, AFullRootRefusesAndWritesNothing) {
  TempDir dir;
  std::string img = dir / "disk.img";
  makeImage(img, "-s 16384 --no-boot-files -p a0,2048,4000,12,1,16");
  std::string f = dir / "f";
  runShell("echo x > '" + f + "'");
  for (int i = 0; i < 16; i++) ASSERT_EQ(mtools(img, 2048, "mcopy " + f + " ::F" + std::to_string(i)), 0);
  std::string trace = dir / "trace";
  InProcess p(img, {{"KALU_IO_TRACE", trace}});
  ASSERT_TRUE(p.attach());
  EXPECT_EQ(createRootEntry((const uint8_t *)"NEW     TXT", 0), -2);
  EXPECT_EQ(readFile(trace).find("W "), std::string::npos);
  // A deleted entry is free again.
  g->rootDir[7].name[0] = 0xE5;
  EXPECT_EQ(createRootEntry((const uint8_t *)"NEW     TXT", 0), 7);
}

// A subdirectory whose clusters are full grows by a zero-filled cluster, and
// the new entry takes index 0 of its first sector.
TEST(DirectoryEntries, AFullSubdirectoryGrowsByAZeroedCluster) {
  TempDir dir;
  std::string img = volumeWithFullDir(dir, 2, 30);
  std::string trace = dir / "trace";
  InProcess p(img, {{"KALU_IO_TRACE", trace}});
  ASSERT_TRUE(p.attach());
  uint16_t free = 2;
  while (getFatEntry(free) != 0) free++;
  // Garbage where the new cluster will lie: the zero-fill must cover it all.
  for (uint32_t k = 0; k < 2; k++) patchBytes(img, (uint64_t)(clusterToSector(free) + k) * 512, std::vector<uint8_t>(512, 0xAA));
  DirEntry *parent = lookupPath("\\DIR", ATTR_DIRECTORY);
  ASSERT_NE(parent, nullptr);
  ASSERT_TRUE(openDirWindow(parent->firstCluster));
  EXPECT_EQ(createSubdirEntry((const uint8_t *)"F7         ", 0, 0), -2);  // no reuse allowed
  ASSERT_TRUE(openDirWindow(parent->firstCluster));
  EXPECT_EQ(createSubdirEntry((const uint8_t *)"NEW     TXT", 0, 0), 0);
  EXPECT_EQ(g->dirWindow.cluster, free);
  EXPECT_EQ(getFatEntry(parent->firstCluster), free);
  EXPECT_EQ(flushFat(), 0);
  EXPECT_EQ(readBytes(img, (uint64_t)(clusterToSector(free) + 1) * 512, 512), std::vector<uint8_t>(512, 0));
  auto names = mtoolsNames(img, 2048, "::DIR");
  EXPECT_EQ(names.size(), 31u);
  EXPECT_TRUE(std::find(names.begin(), names.end(), "NEW.TXT") != names.end());
  expectClean(img, 2048, 4000);
  // The same name again in the grown directory is found and reused.
  ASSERT_TRUE(openDirWindow(parent->firstCluster));
  EXPECT_EQ(createSubdirEntry((const uint8_t *)"NEW     TXT", 0, 1), 0);
  EXPECT_EQ(g->dirWindow.cluster, free);
}

TEST(DirectoryEntries, NoFreeClusterMeansNoGrowthAndNoWrite) {
  TempDir dir;
  std::string img = volumeWithFullDir(dir, 1, 14);
  std::string trace = dir / "trace";
  InProcess p(img, {{"KALU_IO_TRACE", trace}});
  ASSERT_TRUE(p.attach());
  for (uint32_t c = 2; c < clusterEnd(); c++)
    if (getFatEntry((uint16_t)c) == 0) setFatEntry((uint16_t)c, 0xFFF);
  DirEntry *parent = lookupPath("\\DIR", ATTR_DIRECTORY);
  ASSERT_TRUE(openDirWindow(parent->firstCluster));
  EXPECT_EQ(createSubdirEntry((const uint8_t *)"NEW     TXT", 0, 0), -2);
  EXPECT_EQ(readFile(trace).find("W "), std::string::npos);
}

TEST(DirectoryEntries, StampEncodesLocalTimeTheDosWay) {
  EXPECT_EQ(dosTime(21, 5, 20), 0xA8AA);
  EXPECT_EQ(dosDate(2000, 4, 20), 0x2894);
  EXPECT_EQ(dosTime(23, 59, 59), (23 << 11) | (59 << 5) | 29);
  EXPECT_EQ(dosDate(2107, 12, 31), (127 << 9) | (12 << 5) | 31);
  TempDir dir;
  std::string img = dir / "disk.img";
  makeTree(dir, img);
  InProcess p(img);
  ASSERT_TRUE(p.attach());
  DirEntry *d = createEntryIn("\\DIR", (const uint8_t *)"NEWDIR     ", ATTR_DIRECTORY, 0);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->attr, ATTR_DIRECTORY);  // a kind bit: no archive bit
  DirEntry *f = createEntryIn("\\DIR", (const uint8_t *)"NEWFILE    ", 0, 0);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->attr, ATTR_ARCHIVE);
}

TEST(DirectoryEntries, EntryInUseNamesTheFirstSlotThatHoldsIt) {
  TempDir dir;
  std::string img = dir / "disk.img";
  makeTree(dir, img);
  InProcess p(img);
  ASSERT_TRUE(p.attach());
  DirEntry *qv = &g->rootDir[3];
  for (int s : {2, 5}) {
    memcpy(&g->fileSlots[s].entry, qv, sizeof *qv);
    g->fileSlots[s].inRoot = 1;
    g->fileSlots[s].entryIndex = 3;
  }
  EXPECT_EQ(entryInUse(qv), 3);
  EXPECT_EQ(entryInUse(&g->rootDir[0]), 0);
  DirEntry *a = lookupPath("\\DIR\\A.TXT", 0);
  ASSERT_NE(a, nullptr);
  FileSlot &w = g->fileSlots[7];
  memcpy(&w.entry, a, sizeof *a);
  w.inRoot = 0;
  w.entryIndex = (uint16_t)entryIndex(a);
  w.windowSector = g->dirWindow.lba + 1;  // another sector, same name and index
  EXPECT_EQ(entryInUse(a), 0);
  w.windowSector = g->dirWindow.lba;
  EXPECT_EQ(entryInUse(a), 8);
  memset(g->fileSlots, 0, sizeof g->fileSlots);
}
