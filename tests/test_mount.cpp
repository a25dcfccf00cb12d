// Discovery and mount: which MBR entry is taken, the geometry and FAT type
// derived from it, the capacity, every mount failure with its message, the
// refusal of boot sectors that would divide by zero or overrun the
// partition, and the write guard of the sector layer.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <memory>

#include "kalu_core.h"
#include "plat.h"
#include "testkit.h"

namespace {

uint64_t bootOffset(uint32_t start) { return (uint64_t)start * 512; }

// Free bytes of an empty volume as mtools counts them: an independent figure
// for the capacity.
long mtoolsFreeBytes(const std::string &image, uint32_t start) {
  std::string out;
  runShell("MTOOLS_SKIP_CHECK=1 mdir -i '" + image + "@@" + std::to_string(bootOffset(start)) + "' ::", &out);
  size_t pos = out.find("bytes free");
  std::string digits;
  for (size_t i = out.rfind('\n', pos) + 1; i < pos; i++)
    if (isdigit((unsigned char)out[i])) digits += out[i];
  return digits.empty() ? -1 : std::stol(digits);
}

bool objectExists(const std::string &ns, const char *name) {
  struct stat st;
  return stat(("/dev/shm/" + ns + "." + name).c_str(), &st) == 0;
}

}  // namespace

TEST(Mount, ChoosesTheFirstSignedCandidateAndRecognisesIt) {
  struct Case {
    const char *what;
    std::string args;
    int partIndex;
    bool capacity;
    int lastError;
  } cases[] = {
      {"0x12 without signature, then 0xA0", "-p 12,2048,20480 -p 6,22528,20480,16,4 -p a0,43008,20480,12,8", 2, true, 0},
      {"0x12 with the marker", "-p 6,2048,20480,16,4 -p 12,22528,20480,12,8", 1, true, 0},
      {"0x12 without the marker", "-p 6,2048,20480,16,4 -p 12,22528,20480,12,8 --no-velmar", 1, false, 0},
      {"0x84", "-p 84,2048,20480,16,4", 0, true, 0},
      {"ordinary types only", "-p 1,2048,20480,12,8 -p 4,22528,20480,16,4 -p 6,43008,20480,16,4", -1, false, 1},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    std::string img = dir / "disk.img";
    makeImage(img, "-s 65536 --no-boot-files " + c.args);
    InProcess p(img);
    ASSERT_TRUE(p.attach());
    EXPECT_EQ(g->partIndex, c.partIndex);
    EXPECT_EQ(g->mounted, c.partIndex >= 0);
    int capacity = KaLu_is_present();
    EXPECT_EQ(KaLu_getLastError(), c.lastError);
    EXPECT_EQ(KaLu_getLastError(), c.lastError);
    if (!c.capacity) {
      EXPECT_EQ(capacity, 0);
      continue;
    }
    uint32_t start = le32(g->mbr + 446 + 16 * c.partIndex + 8);
    EXPECT_EQ(capacity, mtoolsFreeBytes(img, start));
    EXPECT_EQ((uint32_t)capacity, (g->clusterLimit - 2) * bpbSectorsPerCluster() * 512);
  }
}

TEST(Mount, GeometryFollowsTheBootSectorAndTheMbrEntry) {
  TempDir dir;
  std::string img = standardDisk(dir);
  InProcess p(img);
  ASSERT_TRUE(p.attach());
  uint32_t perFat = bpbFatSectors();
  EXPECT_EQ(g->fat1Sector, UTIL_START + 1);
  EXPECT_EQ(g->fat2Sector, UTIL_START + 1 + perFat);
  EXPECT_EQ(g->firstDataSector, UTIL_START + 1 + 2 * perFat + 14);
  EXPECT_EQ(g->fat12, 1);
  EXPECT_EQ(g->clusterLimit, (UTIL_SIZE - 1 - 2 * perFat - 14) / 8 + 2);
  // FAT1 and the root directory are the disk's own bytes.
  EXPECT_EQ(readBytes(img, (uint64_t)g->fat1Sector * 512, 512), std::vector<uint8_t>(g->fatImage[0], g->fatImage[0] + 512));
  EXPECT_EQ(memcmp(g->rootDir[0].name, "IO      SYS", 11), 0);
  EXPECT_EQ(memcmp(g->rootDir[3].name, "QVSTART SYS", 11), 0);
}

TEST(Mount, DriveZeroAndOneMissingOrNotFixedTakesDriveTwo) {
  TempDir dir;
  std::string img = standardDisk(dir);
  InProcess p(img, {{"KALU_PHYSICALDRIVE0", dir / "missing.img"}, {"KALU_PHYSICALDRIVE1", "/dev/null"},
                    {"KALU_PHYSICALDRIVE2", img}});
  ASSERT_TRUE(p.attach());
  EXPECT_EQ(g->partIndex, 1);
  EXPECT_GT(KaLu_is_present(), 0);
}

TEST(Mount, FatTypeAndCapacityComeFromTheBootSectorCount) {
  // 1 reserved + 2 FATs of 12 + 14 root sectors = 39 sectors before the data.
  struct Case {
    uint16_t tot16;
    uint32_t tot32;
    int fat12;
  } cases[] = {
      {39 + 4085, 0, 1}, {39 + 4086, 0, 0}, {0, 39 + 4085, 1}, {0, 39 + 4086, 0},
      {39 + 4086, 39 + 4085, 0},  // the 16-bit count wins when set
      {20, 0, 1},                 // a total below the meta area counts no cluster
  };
  auto block = std::make_unique<GlobalData>();
  GlobalData *saved = g;
  g = block.get();
  memset(g, 0, sizeof *g);
  uint8_t *b = g->bootSector;
  b[11] = 0, b[12] = 2, b[13] = 1, b[14] = 1, b[16] = 2, b[17] = 224, b[22] = 12;
  for (const auto &c : cases) {
    b[19] = (uint8_t)c.tot16, b[20] = (uint8_t)(c.tot16 >> 8);
    for (int i = 0; i < 4; i++) b[32 + i] = (uint8_t)(c.tot32 >> (8 * i));
    EXPECT_EQ(isFat12Volume(), c.fat12) << c.tot16 << " " << c.tot32;
  }
  g = saved;
}

TEST(Mount, CapacityOf2000ClustersOfFourSectors) {
  TempDir dir;
  std::string img = dir / "disk.img";
  makeImage(img, "-s 65536 --no-boot-files -p a0,2048,9000,12,4");
  auto b = readBytes(img, bootOffset(2048), 512);
  uint32_t meta = le16(&b[14]) + b[16] * le16(&b[22]) + le16(&b[17]) * 32 / 512;
  patchLe16(img, bootOffset(2048) + 19, (uint16_t)(meta + 2000 * 4));
  InProcess p(img);
  ASSERT_TRUE(p.attach());
  EXPECT_EQ(KaLu_is_present(), 4096000);
  EXPECT_EQ(KaLu_getLastError(), 0);
}

// A signed boot sector that would divide by zero or lie beyond its MBR
// entry is passed over like an unsigned one: the next candidate is taken.
TEST(Mount, PassesOverBootSectorsThatCannotDescribeTheVolume) {
  struct Case {
    const char *what;
    uint32_t offset;
    std::vector<uint8_t> bytes;
    int partIndex;
  } cases[] = {
      {"sound", 0, {}, 0},
      {"bytes per sector 0", 11, {0, 0}, 1},
      {"sectors per cluster 0", 13, {0}, 1},
      {"no FAT copies", 16, {0}, 1},
      {"FAT area beyond the entry", 22, {0x30, 0x75}, 1},
      {"root directory beyond the entry", 17, {0xF0, 0xFF}, 1},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    std::string img = dir / "disk.img";
    makeImage(img, "-s 65536 --no-boot-files -p a0,2048,2048,12,1 -p 84,22528,20480,16,4");
    if (!c.bytes.empty()) patchBytes(img, bootOffset(2048) + c.offset, c.bytes);
    InProcess p(img);
    ASSERT_TRUE(p.attach());
    EXPECT_EQ(g->partIndex, c.partIndex);
    EXPECT_GT(KaLu_is_present(), 0);
  }
}

// No cluster number may reach past the loaded FAT or the end-of-chain values.
TEST(Mount, ClusterLimitIsClampedToTheLoadedFat) {
  struct Case {
    const char *what;
    std::string args;
    uint16_t perFat;
    uint32_t mbrSize;
    uint32_t limit;
  } cases[] = {
      {"FAT12 with a short FAT", "-p a0,2048,20480,12,8", 1, 0, 341},
      {"FAT12 beyond 0xFF6", "-p a0,2048,20480,12,8", 12, 400000, 0xFF7},
      {"FAT16 with a short FAT", "-p a0,2048,20480,16,4", 2, 0, 512},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    std::string img = dir / "disk.img";
    makeImage(img, "-s 65536 --no-boot-files " + c.args);
    patchLe16(img, bootOffset(2048) + 22, c.perFat);
    if (c.mbrSize) patchLe32(img, 446 + 12, c.mbrSize);
    InProcess p(img);
    ASSERT_TRUE(p.attach());
    EXPECT_EQ(g->clusterLimit, c.limit);
  }
}

TEST(Mount, RootEntryCountsAndFatSizeAtTheBlockLimits) {
  struct Case {
    uint16_t rootEntries;
    uint16_t perFat;
    bool mounts;
    uint32_t rootSectorsRead;
  } cases[] = {{512, 0, true, 32}, {527, 0, true, 32}, {528, 0, false, 0}, {15, 0, true, 0}, {0, 128, true, 32},
               {0, 129, false, 0}};
  for (const Case &c : cases) {
    SCOPED_TRACE(std::to_string(c.rootEntries) + "/" + std::to_string(c.perFat));
    TempDir dir;
    std::string img = dir / "disk.img";
    makeImage(img, "-s 65536 --no-boot-files -p a0,2048,30720,16,4,512");
    auto b = readBytes(img, bootOffset(2048), 512);
    uint16_t perFat = c.perFat ? c.perFat : le16(&b[22]);
    if (c.rootEntries) patchLe16(img, bootOffset(2048) + 17, c.rootEntries);
    patchLe16(img, bootOffset(2048) + 22, perFat);
    std::string trace = dir / "trace";
    InProcess p(img, {{"KALU_IO_TRACE", trace}});
    testing::internal::CaptureStdout();
    int ok = p.attach();
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(ok, c.mounts);
    if (!c.mounts) {
      EXPECT_EQ(out, c.perFat ? "Error reading File Allocation Table on physical disk: Partition too big.\n"
                              : "Error reading Root Directory on physical disk: Too many entries on root directory.\n");
      continue;
    }
    uint32_t rootStart = 2048 + 1 + 2 * perFat;
    EXPECT_EQ(g->firstDataSector, rootStart + c.rootSectorsRead);
    int rootReads = 0;
    for (uint32_t k = 0; k < 40; k++)
      if (readFile(trace).find("R " + std::to_string(rootStart + k) + "\n") != std::string::npos) rootReads++;
    EXPECT_EQ(rootReads, (int)c.rootSectorsRead);
  }
}

TEST(Mount, UnreadableSectorsFailTheAttachWithTheirMessage) {
  const std::string io = "Error reading from physical disk: Input/output error\n";
  struct Case {
    const char *what;
    int damage;  // 0 empty image, 1 first entry beyond the end, 2 cut after the boot sector, 3 cut after the FATs
    std::string message;
  } cases[] = {
      {"MBR", 0, io + "Error reading MBR on physical disk.\n"},
      {"boot sector of the first candidate", 1, io + "Error reading Boot Sector on physical disk.\n"},
      {"FAT", 2, io + "Error reading File Allocation Table on physical disk.\n"},
      {"root directory", 3, io + "Error reading Root Directory on physical disk.\n"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    std::string img = dir / "disk.img";
    makeImage(img, "-s 65536 --no-boot-files -p a0,2048,20480,16,4 -p 84,22528,20480,16,4");
    auto b = readBytes(img, bootOffset(2048), 512);
    uint32_t perFat = le16(&b[22]);
    off_t cut[] = {0, -1, (2048 + 1) * 512, (off_t)(2048 + 1 + 2 * perFat) * 512};
    if (c.damage == 1) {
      patchLe32(img, 446 + 8, 200000);
    } else {
      ASSERT_EQ(truncate(img.c_str(), cut[c.damage]), 0);
    }
    InProcess p(img);
    testing::internal::CaptureStdout();
    EXPECT_FALSE(p.attach());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.message);
    EXPECT_EQ(g, nullptr);
    EXPECT_FALSE(objectExists(p.ns, "KaLuMutex"));
    EXPECT_FALSE(objectExists(p.ns, "__SHM_KaLu_GlobalData@@@"));
  }
}

TEST(SectorAccess, WritesStayInsideThePartition) {
  TempDir dir;
  std::string img = standardDisk(dir);
  std::string trace = dir / "trace";
  InProcess p(img, {{"KALU_IO_TRACE", trace}});
  ASSERT_TRUE(p.attach());
  uint8_t buf[512];
  ASSERT_EQ(readSector(0, buf), 1);  // reads are never guarded
  ASSERT_EQ(readSector(UTIL_START, buf), 1);
  testing::internal::CaptureStdout();
  EXPECT_EQ(writeSector(UTIL_START - 1, buf), 0);
  EXPECT_EQ(writeSector(UTIL_START, buf), 1);
  EXPECT_EQ(writeSector(UTIL_START + UTIL_SIZE - 1, buf), 1);
  EXPECT_EQ(writeSector(UTIL_START + UTIL_SIZE, buf), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  std::string t = readFile(trace);
  EXPECT_NE(t.find("W " + std::to_string(UTIL_START) + "\n"), std::string::npos);
  EXPECT_NE(t.find("W " + std::to_string(UTIL_START + UTIL_SIZE - 1) + "\n"), std::string::npos);
  EXPECT_EQ(t.find("W " + std::to_string(UTIL_START - 1) + "\n"), std::string::npos);
  EXPECT_EQ(t.find("W " + std::to_string(UTIL_START + UTIL_SIZE) + "\n"), std::string::npos);
}

// An MBR entry that claims more than the image holds: the write past the end
// fails as a disk failure and the file keeps its length.
TEST(SectorAccess, ImagesNeverGrow) {
  TempDir dir;
  std::string img = standardDisk(dir);
  patchLe32(img, 446 + 16 + 12, 65536 - UTIL_START + 100);
  InProcess p(img);
  ASSERT_TRUE(p.attach());
  uint8_t buf[512] = {};
  struct stat before;
  stat(img.c_str(), &before);
  testing::internal::CaptureStdout();
  EXPECT_EQ(writeSector(65536 + 10, buf), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error writing to physical disk: Input/output error\n");
  struct stat after;
  stat(img.c_str(), &after);
  EXPECT_EQ(after.st_size, before.st_size);
}

TEST(SectorAccess, FaultSeamFailsTheNthWriteAndEveryLaterOne) {
  TempDir dir;
  std::string img = standardDisk(dir);
  std::string trace = dir / "trace";
  InProcess p(img, {{"KALU_IO_FAIL_WRITE_AT", "2"}, {"KALU_IO_TRACE", trace}});
  ASSERT_TRUE(p.attach());
  uint8_t buf[512];
  ASSERT_EQ(readSector(UTIL_START, buf), 1);
  testing::internal::CaptureStdout();
  EXPECT_EQ(writeSector(UTIL_START, buf), 1);
  EXPECT_EQ(writeSector(UTIL_START, buf), 0);
  EXPECT_EQ(writeSector(UTIL_START, buf), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Error writing to physical disk: Input/output error\n"
            "Error writing to physical disk: Input/output error\n");
  std::string t = readFile(trace);
  EXPECT_EQ(std::count(t.begin(), t.end(), 'W'), 1);
}

TEST(Exports, WithoutAUtilityPartitionEveryFileOperationFails) {
  TempDir dir;
  std::string img = dir / "disk.img";
  makeImage(img, "-s 65536 -p 6,2048,20480,16,4");
  InProcess p(img);
  ASSERT_TRUE(p.attach());
  ASSERT_EQ(g->partIndex, -1);
  char name[11];
  SearchRecord sr{};
  FindRecord fr{};
  struct Case {
    const char *what;
    int result, expected;
  } cases[] = {
      {"is_present", KaLu_is_present(), 0},
      {"fopen", KaLu_fopen("\\A.TXT", "w") == nullptr ? -2 : 0, -2},
      {"fclose", KaLu_fclose(nullptr), -2},
      {"fread", KaLu_fread(name, 1, 1, nullptr), -2},
      {"fwrite", KaLu_fwrite(name, 1, 1, nullptr), -2},
      {"fgetc", KaLu_fgetc(nullptr), -2},
      {"fputc", KaLu_fputc('x', nullptr), -2},
      {"delete", KaLu_delete("\\A.TXT"), -2},
      {"rename", KaLu_rename("\\A.TXT", "B.TXT"), -2},
      {"findfirst", KaLu_findfirst("*.*", name, &sr), 0},
      {"findnext", KaLu_findnext(name, &sr), 0},
      {"mkdir", KaLu_mkdir("\\D"), -2},
      {"findfirstEx", KaLu_findfirstEx("\\*.*", 0, &fr), -1},
      {"findnextEx", KaLu_findnextEx(&fr), -1},
      {"rmdir", KaLu_rmdir("\\D"), -2},
      {"resetContents", KaLu_resetContents(), -2},
  };
  for (const Case &c : cases) EXPECT_EQ(c.result, c.expected) << c.what;
  EXPECT_EQ(KaLu_getLastError(), ERR_FAILED);
  // Every ordinal is bound, and each twin answers as its function does.
  for (int n = 1; n <= KALU_ORDINAL_COUNT; n++) EXPECT_NE(KaLu_ordinals[n], nullptr) << n;
  auto twin = reinterpret_cast<int (*)(const char *)>(KaLu_ordinals[KALU_ORD_MKDIR + 17]);
  EXPECT_EQ(twin("\\D"), -2);
}
