// The FAT engine on real volumes: FAT12 packing and its straddling entries,
// first-fit allocation, freeing, the write-back order of FAT1 and FAT2, a
// failed write-back, and broken chains that must end every walk.
#include <gtest/gtest.h>

#include <cstring>

#include "kalu_core.h"
#include "testkit.h"

namespace {

enum : uint32_t { VOL_START = 2048, VOL_SIZE = 4000 };

// An empty volume of type 0xA0 at sector 2048: FAT12 with one sector per
// cluster (about 3980 clusters), or FAT16.
std::string emptyVolume(TempDir &dir, int fatBits, int fats = 2) {
  std::string img = dir / "disk.img";
  makeImage(img, "-s 16384 --no-boot-files -p a0,2048," +
                     std::string(fatBits == 12 ? "4000,12,1,224," : "12000,16,1,224,") + std::to_string(fats));
  return img;
}

void clearDirty() { memset(g->fatDirty, 0, sizeof g->fatDirty); }

std::vector<int> dirtySectors() {
  std::vector<int> d;
  for (int k = 0; k < FAT_IMAGE_SECTORS; k++)
    if (g->fatDirty[k]) d.push_back(k);
  return d;
}

}  // namespace

TEST(FatEngine, DirtyFlagsFollowWhereAnEntryLies) {
  struct Case {
    int fatBits;
    uint16_t cluster;
    std::vector<int> sectors;
  } cases[] = {{12, 340, {0}}, {12, 341, {0, 1}}, {12, 342, {1}}, {16, 255, {0}}, {16, 256, {1}}};
  for (const Case &c : cases) {
    SCOPED_TRACE(std::to_string(c.fatBits) + "/" + std::to_string(c.cluster));
    TempDir dir;
    InProcess p(emptyVolume(dir, c.fatBits));
    ASSERT_TRUE(p.attach());
    clearDirty();
    markFatEntryDirty(c.cluster);
    EXPECT_EQ(dirtySectors(), c.sectors);
  }
}

TEST(FatEngine, Fat12PackingLeavesTheNeighbourAlone) {
  TempDir dir;
  InProcess p(emptyVolume(dir, 12));
  ASSERT_TRUE(p.attach());
  setFatEntry(2, 0x123);
  setFatEntry(3, 0xABC);
  EXPECT_EQ(getFatEntry(2), 0x123);
  EXPECT_EQ(getFatEntry(3), 0xABC);
  const uint8_t *f = &g->fatImage[0][0];
  EXPECT_EQ(std::vector<uint8_t>(f + 3, f + 6), (std::vector<uint8_t>{0x23, 0xC1, 0xAB}));
  setFatEntry(3, 0x456);  // odd: the low nibble of byte 4 is the even neighbour's
  EXPECT_EQ(getFatEntry(2), 0x123);
  setFatEntry(2, 0x789);  // even: the high nibble of byte 4 is the odd neighbour's
  EXPECT_EQ(getFatEntry(3), 0x456);
  EXPECT_EQ(std::vector<uint8_t>(f + 3, f + 6), (std::vector<uint8_t>{0x89, 0x67, 0x45}));
  // Entry 341 straddles the first two sectors: its value spans both.
  setFatEntry(341, 0xDEF);
  EXPECT_EQ(getFatEntry(341), 0xDEF);
  EXPECT_EQ(g->fatImage[0][511] >> 4, 0xF);
  EXPECT_EQ(g->fatImage[1][0], 0xDE);
}

TEST(FatEngine, AllocationIsFirstFitAndLinksThePreviousCluster) {
  for (int bits : {12, 16}) {
    SCOPED_TRACE(bits);
    TempDir dir;
    InProcess p(emptyVolume(dir, bits));
    ASSERT_TRUE(p.attach());
    EXPECT_EQ(allocCluster(0), 2);
    EXPECT_EQ(allocCluster(2), 3);
    EXPECT_EQ(getFatEntry(2), 3);
    EXPECT_EQ(getFatEntry(3), bits == 12 ? 0xFFF : 0xFFFF);
    setFatEntry(5, 7);  // a used cluster further up is passed over
    EXPECT_EQ(allocCluster(0), 4);
    EXPECT_EQ(allocCluster(0), 6);
  }
}

TEST(FatEngine, AFullVolumeAllocatesNothingAndChangesNothing) {
  TempDir dir;
  InProcess p(emptyVolume(dir, 12));
  ASSERT_TRUE(p.attach());
  for (uint32_t c = 2; c < clusterEnd(); c++) setFatEntry((uint16_t)c, 0xFFF);
  clearDirty();
  std::vector<uint8_t> before(&g->fatImage[0][0], &g->fatImage[0][0] + sizeof g->fatImage);
  EXPECT_EQ(allocCluster(0), -1);
  EXPECT_EQ(allocCluster(5), -1);
  EXPECT_EQ(std::vector<uint8_t>(&g->fatImage[0][0], &g->fatImage[0][0] + sizeof g->fatImage), before);
  EXPECT_TRUE(dirtySectors().empty());
}

TEST(FatEngine, FreeingAChainFreesEveryClusterAndFlushes) {
  TempDir dir;
  std::string img = standardDisk(dir);
  std::string trace = dir / "trace";
  InProcess p(img, {{"KALU_IO_TRACE", trace}});
  ASSERT_TRUE(p.attach());
  DirEntry *qv = &g->rootDir[3];
  ASSERT_EQ(memcmp(qv->name, "QVSTART SYS", 11), 0);
  std::vector<uint16_t> chain = {qv->firstCluster};
  while (!isEndOfChain(getFatEntry(chain.back()))) chain.push_back(getFatEntry(chain.back()));
  ASSERT_EQ(chain.size(), 3u);  // 9000 bytes in clusters of 4096
  EXPECT_EQ(lastClusterOfChain(chain[0]), chain[2]);
  EXPECT_EQ(freeChain(0), 0);
  EXPECT_TRUE(traceWrites(trace).empty());
  EXPECT_EQ(freeChain(chain[0]), 0);
  for (uint16_t c : chain) EXPECT_EQ(getFatEntry(c), 0);
  EXPECT_TRUE(dirtySectors().empty());
  EXPECT_EQ(traceWrites(trace), (std::vector<std::string>{std::to_string(g->fat1Sector), std::to_string(g->fat2Sector)}));
  // With its entry deleted too, the volume is consistent again.
  qv->name[0] = 0xE5;
  ASSERT_EQ(writeRootSector(3), 0);
  std::string out;
  EXPECT_EQ(fsckPartition(img, UTIL_START, UTIL_SIZE, &out), 0) << out;
  EXPECT_EQ(mtoolsNames(img, UTIL_START, "::"), (std::vector<std::string>{"IO.SYS", "MSDOS.SYS"}));
}

TEST(FatEngine, FlushWritesEachDirtySectorToFat1ThenFat2) {
  for (int fats : {2, 1}) {
    SCOPED_TRACE(fats);
    TempDir dir;
    std::string img = emptyVolume(dir, 12, fats);
    std::string trace = dir / "trace";
    InProcess p(img, {{"KALU_IO_TRACE", trace}});
    ASSERT_TRUE(p.attach());
    ASSERT_EQ(allocCluster(0), 2);
    setFatEntry(700, 0xFFF);  // sector 2 of the FAT
    markFatEntryDirty(700);
    EXPECT_EQ(flushFat(), 0);
    uint32_t f1 = g->fat1Sector, f2 = g->fat2Sector;
    std::vector<std::string> expected = {std::to_string(f1), std::to_string(f2), std::to_string(f1 + 2),
                                         std::to_string(f2 + 2)};
    if (fats == 1) expected = {std::to_string(f1), std::to_string(f1 + 2)};
    EXPECT_EQ(traceWrites(trace), expected);
    EXPECT_EQ(flushFat(), 0);  // nothing left dirty
    EXPECT_EQ(traceWrites(trace).size(), expected.size());
  }
}

TEST(FatEngine, AFailedWriteBackKeepsThatAndLaterSectorsDirty) {
  TempDir dir;
  std::string img = emptyVolume(dir, 12);
  InProcess p(img, {{"KALU_IO_FAIL_WRITE_AT", "2"}});
  ASSERT_TRUE(p.attach());
  ASSERT_EQ(allocCluster(0), 2);
  setFatEntry(700, 0xFFF);
  markFatEntryDirty(700);
  testing::internal::CaptureStdout();
  EXPECT_EQ(flushFat(), -2);  // FAT1 sector 0 written, its FAT2 copy failed
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(dirtySectors(), (std::vector<int>{0, 2}));
  EXPECT_EQ(readBytes(img, (uint64_t)g->fat1Sector * 512, 512), std::vector<uint8_t>(g->fatImage[0], g->fatImage[0] + 512));
  EXPECT_EQ(getFatEntry(2), 0xFFF);  // the image keeps the change
}

TEST(FatEngine, BrokenChainsEndEveryWalk) {
  struct Case {
    const char *what;
    std::vector<std::pair<uint16_t, uint16_t>> links;
    std::vector<uint16_t> freed;
  } cases[] = {
      {"loop", {{5, 6}, {6, 7}, {7, 5}}, {5, 6, 7}},
      {"link to cluster 1", {{5, 6}, {6, 1}}, {5, 6}},
      {"link past the volume", {{5, 6}, {6, 4000}}, {5, 6}},
      {"link to a free cluster", {{5, 0}}, {5}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    InProcess p(emptyVolume(dir, 12));
    ASSERT_TRUE(p.attach());
    for (auto l : c.links) setFatEntry(l.first, l.second);
    EXPECT_EQ(lastClusterOfChain(5), CHAIN_BROKEN);
    EXPECT_EQ(freeChain(5), 0);
    for (uint16_t f : c.freed) EXPECT_EQ(getFatEntry(f), 0) << f;
  }
  TempDir dir;
  InProcess p(emptyVolume(dir, 16));
  ASSERT_TRUE(p.attach());
  EXPECT_TRUE(isEndOfChain(getFatEntry(40000)));  // past the image: an end, never a read outside it
  EXPECT_EQ(lastClusterOfChain(1), CHAIN_BROKEN);
  EXPECT_EQ(lastClusterOfChain(0xFFF8), 0xFFF8);
  EXPECT_EQ(allocCluster(1), CHAIN_BROKEN);
  EXPECT_EQ(allocCluster((uint16_t)clusterEnd()), CHAIN_BROKEN);
}

TEST(FatEngine, DirectoryWriteBacksHitExactlyTheirSector) {
  TempDir dir;
  std::string img = dir / "disk.img";
  makeImage(img, "-s 16384 --no-boot-files -p a0,2048,8000,16,1,512");
  std::string trace = dir / "trace";
  InProcess p(img, {{"KALU_IO_TRACE", trace}});
  ASSERT_TRUE(p.attach());
  uint32_t rootStart = g->fat2Sector + bpbFatSectors();
  ASSERT_EQ(g->firstDataSector, rootStart + 32);
  EXPECT_EQ(writeEntrySector(&g->rootDir[511]), 0);
  EXPECT_EQ(writeEntrySector(&g->rootDir[16]), 0);
  ASSERT_TRUE(openDirWindow(2));
  DirEntry *w = reinterpret_cast<DirEntry *>(g->dirWindow.sector) + 5;
  EXPECT_EQ(writeEntrySector(w), 0);
  // The window never writes into the root area, whatever the block says.
  g->dirWindow.lba = rootStart + 3;
  EXPECT_EQ(writeDirWindow(), -2);
  EXPECT_EQ(writeRootSector(512), -2);
  EXPECT_EQ(traceWrites(trace), (std::vector<std::string>{std::to_string(rootStart + 31), std::to_string(rootStart + 1),
                                                          std::to_string(g->firstDataSector)}));
}
