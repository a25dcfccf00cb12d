// Files through the exports: open rules and sharing, data transfer of every
// interesting size, append, a partition that fills, item counting, handle
// checks, and write failures at every sector write. Every file written is
// read back by mtools and the volume checked by fsck.fat.
#include <gtest/gtest.h>

#include <cstring>

#include "kalu_core.h"
#include "testkit.h"

namespace {

// Writes data in calls of `chunk` one-byte items; returns the last result
// that was not a full count, or the close result.
int libWrite(const std::string &path, const std::string &data, const char *mode = "w", size_t chunk = 9216) {
  KALU_HANDLE h = KaLu_fopen(path.c_str(), mode);
  if (!h) return -100;
  for (size_t done = 0; done < data.size(); done += chunk) {
    int n = (int)std::min(chunk, data.size() - done);
    int r = KaLu_fwrite(data.data() + done, 1, n, h);
    if (r != n) {
      KaLu_fclose(h);
      return r;
    }
  }
  return KaLu_fclose(h);
}

std::string libRead(const std::string &path, size_t chunk = 9216) {
  KALU_HANDLE h = KaLu_fopen(path.c_str(), "r");
  if (!h) return "<missing>";
  std::string out;
  std::vector<char> buf(chunk);
  int r;
  while ((r = KaLu_fread(buf.data(), 1, (int)chunk, h)) > 0) out.append(buf.data(), (size_t)r);
  KaLu_fclose(h);
  return out;
}

FileSlot *slotOf(KALU_HANDLE h) { return static_cast<FileSlot *>(h); }

}  // namespace

TEST(Files, EverySizeRoundTripsThroughMtools) {
  TempDir dir;
  std::string img = dir / "disk.img";
  makeStandardImage(img);  // FAT12, clusters of 4096 bytes
  ASSERT_EQ(mtools(img, UTIL_START, "mmd ::DIR"), 0);
  InProcess p(img);
  ASSERT_TRUE(p.attach());
  size_t sizes[] = {0, 1, 511, 512, 513, 4095, 4096, 4097, 9216, 9217, 3 * 1024 * 1024 + 17};
  int seed = 0;
  for (size_t n : sizes) {
    std::string path = "\\DIR\\F" + std::to_string(n) + ".BIN";
    std::string data = patternBytes(n, seed++);
    ASSERT_EQ(libWrite(path, data), 0) << n;
    EXPECT_EQ(KaLu_getLastError(), ERR_NONE);
    EXPECT_EQ(libRead(path), data) << n;
    EXPECT_EQ(libRead(path, 700), data) << n;  // calls that end mid-sector
  }
  std::string root = patternBytes(20000, 99);
  ASSERT_EQ(libWrite("\\ROOT.BIN", root, "w", 1000), 0);
  ASSERT_TRUE(p.attached);
  seed = 0;
  for (size_t n : sizes)
    EXPECT_EQ(mtoolsRead(img, UTIL_START, "::DIR/F" + std::to_string(n) + ".BIN"), patternBytes(n, seed++)) << n;
  EXPECT_EQ(mtoolsRead(img, UTIL_START, "::ROOT.BIN"), root);
  expectClean(img, UTIL_START, UTIL_SIZE);
}

TEST(Files, WhatMcopyWroteReadsBackByteForByte) {
  struct Volume {
    const char *args;
    uint32_t size;
  } volumes[] = {{"-p a0,2048,4000,12,1,224", 4000}, {"-p a0,2048,30000,16,4,512", 30000},
                 {"-p a0,2048,300000,16,64,512", 300000}};
  for (const Volume &v : volumes) {
    SCOPED_TRACE(v.args);
    TempDir dir;
    std::string img = dir / "disk.img";
    makeImage(img, std::string("-s 310000 --no-boot-files ") + v.args);
    ASSERT_EQ(mtools(img, 2048, "mmd ::A"), 0);
    ASSERT_EQ(mtools(img, 2048, "mmd ::A/B"), 0);
    std::vector<std::pair<std::string, std::string>> files = {
        {"::TOP.DAT", patternBytes(70000, 1)}, {"::A/MID.DAT", patternBytes(1, 2)},
        {"::A/B/DEEP.DAT", patternBytes(33000, 3)}, {"::A/B/EMPTY", ""}};
    for (auto &f : files) {
      std::string local = dir / "local";
      FILE *o = fopen(local.c_str(), "wb");
      fwrite(f.second.data(), 1, f.second.size(), o);
      fclose(o);
      ASSERT_EQ(mtools(img, 2048, "mcopy " + local + " " + f.first), 0);
    }
    InProcess p(img);
    ASSERT_TRUE(p.attach());
    for (auto &f : files) {
      std::string path = f.first.substr(2);
      for (char &c : path)
        if (c == '/') c = '\\';
      EXPECT_EQ(libRead("\\" + path), f.second) << f.first;
    }
  }
}

TEST(Files, AppendContinuesTheFilesOwnChain) {
  struct Case {
    size_t before, added;
    bool archive;  // archive bit after close, the file's own bit cleared first
  } cases[] = {{1000, 100, true}, {1000, 24, false}, {512, 100, true}, {4096, 5000, true}, {4097, 1, true},
               {0, 300, true}, {8192, 512, false}};
  TempDir dir;
  std::string img = standardDisk(dir);
  int k = 0;
  for (const Case &c : cases) {
    std::string name = "A" + std::to_string(k++) + ".DAT";
    std::string local = dir / "local";
    std::string first = patternBytes(c.before, 5), second = patternBytes(c.added, 77);
    FILE *o = fopen(local.c_str(), "wb");
    fwrite(first.data(), 1, first.size(), o);
    fclose(o);
    ASSERT_EQ(mtools(img, UTIL_START, "mcopy " + local + " ::" + name), 0);
    ASSERT_EQ(mtools(img, UTIL_START, "mattrib -a ::" + name), 0);
    InProcess p(img);
    ASSERT_TRUE(p.attach());
    KALU_HANDLE h = KaLu_fopen(("\\" + name).c_str(), "a");
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(slotOf(h)->position, c.before);
    EXPECT_EQ(KaLu_fwrite(second.data(), 1, (int)second.size(), h), (int)second.size());
    EXPECT_EQ(KaLu_fclose(h), 0);
    EXPECT_EQ(libRead("\\" + name), first + second);
    DirEntry *e = lookupPath(("\\" + name).c_str(), 0);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ((e->attr & ATTR_ARCHIVE) != 0, c.archive) << name;
    EXPECT_EQ(mtoolsRead(img, UTIL_START, "::" + name), first + second) << name;
  }
  InProcess p(img);
  ASSERT_TRUE(p.attach());
  EXPECT_EQ(libWrite("\\NEW.DAT", "made by append", "a"), 0);  // "a" creates a missing file
  EXPECT_EQ(mtoolsRead(img, UTIL_START, "::NEW.DAT"), "made by append");
  expectClean(img, UTIL_START, UTIL_SIZE);
}

TEST(Files, APartitionThatFillsKeepsTheBytesWrittenBeforeIt) {
  TempDir dir;
  std::string img = dir / "disk.img";
  makeImage(img, "-s 16384 --no-boot-files -p a0,2048,1000,12,1,16");
  InProcess p(img);
  ASSERT_TRUE(p.attach());
  uint32_t freeClusters = 0;
  for (uint32_t c = 2; c < clusterEnd(); c++) freeClusters += getFatEntry((uint16_t)c) == 0;
  std::string data = patternBytes(freeClusters * 512 + 5000, 3);
  KALU_HANDLE h = KaLu_fopen("\\FULL.BIN", "w");
  ASSERT_NE(h, nullptr);
  int r = 0;
  size_t done = 0;
  while (done < data.size() && (r = KaLu_fwrite(data.data() + done, 1, 700, h)) == 700) done += 700;
  EXPECT_EQ(r, -1);
  EXPECT_EQ(KaLu_getLastError(), ERR_FAILED);
  EXPECT_EQ(slotOf(h)->position, freeClusters * 512);
  EXPECT_EQ(KaLu_fclose(h), 0);
  std::string kept = data.substr(0, freeClusters * 512);
  EXPECT_EQ(libRead("\\FULL.BIN"), kept);
  EXPECT_EQ(mtoolsRead(img, 2048, "::FULL.BIN"), kept);
  expectClean(img, 2048, 1000);
}

TEST(Transfer, ItemsAreCountedAsTheCLibraryCountsThem) {
  TempDir dir;
  std::string img = standardDisk(dir);
  InProcess p(img);
  ASSERT_TRUE(p.attach());
  ASSERT_EQ(libWrite("\\TEN.BIN", "0123456789"), 0);
  ASSERT_EQ(libWrite("\\BIG.BIN", patternBytes(10000, 1)), 0);
  ASSERT_EQ(libWrite("\\EMPTY.BIN", ""), 0);
  char buf[10000];
  KALU_HANDLE h = KaLu_fopen("\\TEN.BIN", "r");
  EXPECT_EQ(KaLu_fread(buf, 4, 3, h), 2);
  EXPECT_EQ(std::string(buf, 10), "0123456789");
  EXPECT_EQ(KaLu_fread(buf, 4, 3, h), -1);
  EXPECT_EQ(KaLu_getLastError(), ERR_FAILED);
  EXPECT_EQ(KaLu_fread(buf, 0, 3, h), 0);  // nothing asked: 0 even at the end
  EXPECT_EQ(KaLu_getLastError(), ERR_NONE);
  KaLu_fclose(h);
  h = KaLu_fopen("\\TEN.BIN", "r");
  EXPECT_EQ(KaLu_fread(buf, 1, 1, h), 1);
  EXPECT_EQ(KaLu_fread(buf, 4, 2, h), 2);  // from position 1 to 9: passes 4 and 8
  EXPECT_EQ(KaLu_fread(buf, 1, 0, h), 0);
  EXPECT_EQ(slotOf(h)->position, 9u);
  KaLu_fclose(h);
  h = KaLu_fopen("\\BIG.BIN", "r");
  EXPECT_EQ(KaLu_fread(buf, 1, 9216, h), 9216);
  EXPECT_EQ(KaLu_fread(buf, 1, 9216, h), 784);
  EXPECT_EQ(KaLu_fread(buf, 1, 9216, h), -1);
  KaLu_fclose(h);
  h = KaLu_fopen("\\EMPTY.BIN", "r");
  EXPECT_EQ(KaLu_fread(buf, 1, 1, h), -1);
  KaLu_fclose(h);
  // Products that are not above 0 move nothing.
  h = KaLu_fopen("\\W.BIN", "w");
  EXPECT_EQ(KaLu_fwrite(buf, 0x40000000u, 4, h), 0);
  EXPECT_EQ(KaLu_fwrite(buf, 1, -5, h), 0);
  EXPECT_EQ(KaLu_fwrite(buf, 0x80000000u, 1, h), 0);
  EXPECT_EQ(slotOf(h)->position, 0u);
  EXPECT_EQ(KaLu_fread(buf, 1, 1, h), -1);  // a writing handle is always at its end
  EXPECT_EQ(KaLu_fputc(0x141, h), 0x141);
  EXPECT_EQ(KaLu_fputc(0xFF, h), 0xFF);
  EXPECT_EQ(KaLu_fputc(0x80, h), 0x80);
  EXPECT_EQ(KaLu_fclose(h), 0);
  h = KaLu_fopen("\\W.BIN", "r");
  EXPECT_EQ(KaLu_fgetc(h), 0x41);
  EXPECT_EQ(KaLu_fgetc(h), -1);  // 0xFF cannot be told from the end
  EXPECT_EQ(KaLu_fgetc(h), -128);
  EXPECT_EQ(KaLu_fgetc(h), -1);
  KaLu_fclose(h);
}

TEST(Transfer, SectorsMoveOnceAndAtTheirMoments) {
  TempDir dir;
  std::string img = standardDisk(dir);
  std::string trace = dir / "trace";
  InProcess p(img, {{"KALU_IO_TRACE", trace}});
  ASSERT_TRUE(p.attach());
  std::string data = patternBytes(512, 0);
  KALU_HANDLE h = KaLu_fopen("\\S.BIN", "w");
  truncate(trace.c_str(), 0);
  EXPECT_EQ(KaLu_fwrite(data.data(), 1, 511, h), 511);
  EXPECT_EQ(readFile(trace), "");  // the first byte allocated, nothing written yet
  uint16_t first = slotOf(h)->entry.firstCluster;
  EXPECT_TRUE(validCluster(first));
  EXPECT_EQ(KaLu_fwrite(data.data() + 511, 1, 1, h), 1);
  EXPECT_EQ(readFile(trace), "W " + std::to_string(clusterToSector(first)) + "\n");
  EXPECT_EQ(slotOf(h)->entry.size, 512u);
  truncate(trace.c_str(), 0);
  EXPECT_EQ(KaLu_fclose(h), 0);  // no data sector: entry sector and FAT only
  EXPECT_EQ(readFile(trace).find("W " + std::to_string(clusterToSector(first))), std::string::npos);
  h = KaLu_fopen("\\S.BIN", "r");
  truncate(trace.c_str(), 0);
  char buf[600];
  EXPECT_EQ(KaLu_fread(buf, 1, 600, h), 512);
  EXPECT_EQ(KaLu_fclose(h), 0);
  EXPECT_EQ(readFile(trace), "R " + std::to_string(clusterToSector(first)) + "\n");  // closing "r" writes nothing
}

TEST(OpenRules, ModesPathsAndKinds) {
  TempDir dir;
  std::string img = standardDisk(dir);
  ASSERT_EQ(mtools(img, UTIL_START, "mmd ::DIR"), 0);
  InProcess p(img);
  ASSERT_TRUE(p.attach());
  ASSERT_EQ(libWrite("\\README.TEXT", "cut"), 0);
  EXPECT_EQ(libRead("\\readme.tex"), "cut");
  ASSERT_EQ(libWrite("\\NOEXT", "no extension"), 0);
  EXPECT_EQ(libRead("\\noext"), "no extension");
  EXPECT_EQ(libRead("#:\\README.TEX"), "cut");
  EXPECT_EQ(libRead("README.TEX"), "cut");
  struct Case {
    const char *path, *mode;
    bool opens;
  } cases[] = {
      {"\\README.TEX", "R", true}, {"\\W1.TXT", "W", true}, {"\\W1.TXT", "A", true}, {"\\README.TEX", "rb", false},
      {"\\README.TEX", "w+", false}, {"\\README.TEX", "", false}, {"\\README.TEX", "x", false},
      {"\\READ*.TEX", "r", false}, {"\\READ?E.TEX", "w", false}, {"C:\\README.TEX", "r", false},
      {"\\DIR", "r", false}, {"\\DIR", "w", false}, {"\\DIR", "a", false}, {"\\KALUUTIL", "r", false},
      {"\\NODIR\\F.TXT", "w", false}, {"\\MISSING.TXT", "r", false},
  };
  for (const Case &c : cases) {
    KALU_HANDLE h = KaLu_fopen(c.path, c.mode);
    EXPECT_EQ(h != nullptr, c.opens) << c.path << " " << c.mode;
    EXPECT_EQ(KaLu_getLastError(), c.opens ? ERR_NONE : ERR_FAILED) << c.path << " " << c.mode;
    if (h) {
      EXPECT_EQ(KaLu_fclose(h), 0);
    }
  }
  EXPECT_EQ(mtoolsNames(img, UTIL_START, "::DIR"), std::vector<std::string>{});  // the directory untouched
  // "w" on read-only, hidden and system files: emptied, attribute 0x20 only.
  ASSERT_TRUE(p.attached);
  libraryDetach();
  p.attached = false;
  std::string local = dir / "local";
  runShell("echo data > '" + local + "'");
  for (const char *f : {"RO.TXT", "HID.TXT", "SYS.TXT"}) ASSERT_EQ(mtools(img, UTIL_START, std::string("mcopy ") + local + " ::" + f), 0);
  mtools(img, UTIL_START, "mattrib +r ::RO.TXT");
  mtools(img, UTIL_START, "mattrib +h ::HID.TXT");
  mtools(img, UTIL_START, "mattrib +s ::SYS.TXT");
  ASSERT_TRUE(p.attach());
  for (const char *f : {"\\RO.TXT", "\\HID.TXT", "\\SYS.TXT"}) {
    EXPECT_EQ(libRead(f), "data\n") << f;
    KALU_HANDLE h = KaLu_fopen(f, "w");
    ASSERT_NE(h, nullptr) << f;
    EXPECT_EQ(KaLu_fclose(h), 0);
    DirEntry *e = lookupPath(f, 0);
    EXPECT_EQ(e->attr, ATTR_ARCHIVE) << f;
    EXPECT_EQ(e->size, 0u);
    EXPECT_EQ(e->firstCluster, 0);
  }
  expectClean(img, UTIL_START, UTIL_SIZE);
}

TEST(OpenRules, SharingTableAndTheEleventhOpen) {
  TempDir dir;
  std::string img = standardDisk(dir);
  InProcess p(img);
  ASSERT_TRUE(p.attach());
  ASSERT_EQ(libWrite("\\F.TXT", "shared"), 0);
  KALU_HANDLE r1 = KaLu_fopen("\\F.TXT", "r"), r2 = KaLu_fopen("\\f.txt", "r");
  ASSERT_NE(r1, nullptr);
  ASSERT_NE(r2, nullptr);
  EXPECT_NE(r1, r2);
  EXPECT_EQ(r1, &g->fileSlots[0]);
  EXPECT_EQ(r2, &g->fileSlots[1]);
  for (const char *m : {"w", "a"}) {
    EXPECT_EQ(KaLu_fopen("\\F.TXT", m), nullptr) << m;
    EXPECT_EQ(KaLu_getLastError(), ERR_IN_USE) << m;
  }
  KaLu_fclose(r1);
  KaLu_fclose(r2);
  KALU_HANDLE w = KaLu_fopen("\\F.TXT", "a");
  ASSERT_NE(w, nullptr);
  for (const char *m : {"r", "w", "a"}) {
    EXPECT_EQ(KaLu_fopen("\\F.TXT", m), nullptr) << m;
    EXPECT_EQ(KaLu_getLastError(), ERR_IN_USE) << m;
  }
  KaLu_fclose(w);
  // Ten handles; the eleventh open fails, and its "w" has emptied the file.
  ASSERT_EQ(libWrite("\\VICTIM.TXT", "to be emptied"), 0);
  std::vector<KALU_HANDLE> handles;
  for (int i = 0; i < 10; i++) handles.push_back(KaLu_fopen(("\\H" + std::to_string(i)).c_str(), "w"));
  for (KALU_HANDLE h : handles) ASSERT_NE(h, nullptr);
  EXPECT_EQ(KaLu_fopen("\\VICTIM.TXT", "w"), nullptr);
  EXPECT_EQ(KaLu_getLastError(), ERR_FAILED);
  KaLu_fclose(handles[3]);
  EXPECT_EQ(libRead("\\VICTIM.TXT"), "");
  EXPECT_EQ(KaLu_fopen("\\H0", "r"), nullptr);
  EXPECT_EQ(KaLu_getLastError(), ERR_IN_USE);
  KALU_HANDLE again = KaLu_fopen("\\H9.X", "w");
  EXPECT_EQ(again, &g->fileSlots[3]);  // the lowest free slot
  for (KALU_HANDLE h : handles) KaLu_fclose(h);
  KaLu_fclose(again);
}

TEST(OpenRules, SharingHoldsAcrossProcesses) {
  TempDir dir;
  std::string img = standardDisk(dir);
  InProcess p(img);
  ASSERT_TRUE(p.attach());
  ASSERT_EQ(libWrite("\\F.TXT", "x"), 0);
  EnvList env = {{"KALU_NAMESPACE", p.ns}, {"KALU_PHYSICALDRIVE0", img}};
  Child reader = startChild({testBinDir() + "/probe_core", "open-sleep", "\\F.TXT", "r"}, env);
  ASSERT_TRUE(waitForOutput(reader, "open=ok err=0")) << reader.output;
  EXPECT_EQ(KaLu_fopen("\\F.TXT", "w"), nullptr);
  EXPECT_EQ(KaLu_getLastError(), ERR_IN_USE);
  KALU_HANDLE r = KaLu_fopen("\\F.TXT", "r");
  EXPECT_EQ(r, &g->fileSlots[1]);
  KaLu_fclose(r);
  killChild(reader);  // its slot stays taken: nothing frees the slots of a process that ends
  EXPECT_EQ(KaLu_fopen("\\F.TXT", "a"), nullptr);
  Child writer = startChild({testBinDir() + "/probe_core", "open-sleep", "\\G.TXT", "w"}, env);
  ASSERT_TRUE(waitForOutput(writer, "open=ok err=0")) << writer.output;
  EXPECT_EQ(KaLu_fopen("\\G.TXT", "r"), nullptr);
  EXPECT_EQ(KaLu_getLastError(), ERR_IN_USE);
  killChild(writer);
}

TEST(OpenRules, TwoProcessesWritingAtOnceGetDisjointChains) {
  TempDir dir;
  std::string img = standardDisk(dir);
  std::string ns = uniqueNamespace();
  EnvList env = {{"KALU_NAMESPACE", ns}, {"KALU_PHYSICALDRIVE0", img}};
  Child a = startChild({testBinDir() + "/probe_core", "write", "\\A.BIN", "3000000", "1"}, env);
  Child b = startChild({testBinDir() + "/probe_core", "write", "\\B.BIN", "2500000", "2"}, env);
  EXPECT_EQ(finishChild(a), 0) << a.output;
  EXPECT_EQ(finishChild(b), 0) << b.output;
  EXPECT_EQ(a.output, "close=0\n");
  EXPECT_EQ(b.output, "close=0\n");
  EXPECT_EQ(mtoolsRead(img, UTIL_START, "::A.BIN"), patternBytes(3000000, 1));
  EXPECT_EQ(mtoolsRead(img, UTIL_START, "::B.BIN"), patternBytes(2500000, 2));
  expectClean(img, UTIL_START, UTIL_SIZE);
}

TEST(Handles, OnlyATakenSlotOfThisViewIsAHandle) {
  TempDir dir;
  std::string img = standardDisk(dir);
  InProcess p(img);
  ASSERT_TRUE(p.attach());
  ASSERT_EQ(libWrite("\\F.TXT", "0123"), 0);
  KALU_HANDLE r = KaLu_fopen("\\F.TXT", "r");
  ASSERT_EQ(r, &g->fileSlots[0]);
  char local[16];
  KALU_HANDLE bad[] = {nullptr, reinterpret_cast<char *>(r) + 1, &g->fileSlots[4], local, g->slotBuffers[0]};
  char buf[8];
  for (KALU_HANDLE h : bad) {
    EXPECT_EQ(KaLu_fread(buf, 1, 1, h), -2);
    EXPECT_EQ(KaLu_getLastError(), ERR_FAILED);
    EXPECT_EQ(KaLu_fwrite(buf, 1, 1, h), -2);
    EXPECT_EQ(KaLu_fgetc(h), -2);
    EXPECT_EQ(KaLu_fputc('x', h), -2);
    EXPECT_EQ(KaLu_fclose(h), -2);
  }
  // A handle opened for reading never writes.
  EXPECT_EQ(KaLu_fwrite("zz", 1, 2, r), -2);
  EXPECT_EQ(KaLu_fputc('z', r), -2);
  EXPECT_EQ(KaLu_getLastError(), ERR_FAILED);
  EXPECT_EQ(KaLu_fclose(r), 0);
  EXPECT_EQ(KaLu_fclose(r), -2);  // closed: no longer a handle
  EXPECT_EQ(libRead("\\F.TXT"), "0123");
  // The buffer address recorded in the block is never followed.
  KALU_HANDLE w = KaLu_fopen("\\G.TXT", "w");
  slotOf(w)->buffer = (uint64_t)(uintptr_t)local;
  memset(local, 0, sizeof local);
  EXPECT_EQ(KaLu_fwrite("abc", 1, 3, w), 3);
  EXPECT_EQ(KaLu_fclose(w), 0);
  EXPECT_EQ(std::string(local, 3), std::string(3, '\0'));
  EXPECT_EQ(libRead("\\G.TXT"), "abc");
}

// A run of sectors across several clusters fails part-way: the state is that
// of a byte-wise write stopped at the failed sector, its chain included.
TEST(Transfer, AFailedRunLeavesTheStateOfAByteWiseWrite) {
  TempDir dir;
  std::string img = standardDisk(dir);  // clusters of 8 sectors
  InProcess p(img, {{"KALU_IO_FAIL_WRITE_AT", "12"}});  // the open writes 1, the run fails at its 11th sector
  ASSERT_TRUE(p.attach());
  KALU_HANDLE h = KaLu_fopen("\\F.BIN", "w");
  ASSERT_NE(h, nullptr);
  std::string data = patternBytes(20000, 1);
  testing::internal::CaptureStdout();
  EXPECT_EQ(KaLu_fwrite(data.data(), 1, (int)data.size(), h), -2);
  testing::internal::GetCapturedStdout();
  FileSlot *slot = slotOf(h);
  EXPECT_EQ(slot->position, 11u * 512);
  EXPECT_EQ(slot->entry.size, 10u * 512);
  uint16_t first = slot->entry.firstCluster;
  EXPECT_EQ(getFatEntry(first), first + 1);
  EXPECT_TRUE(isEndOfChain(getFatEntry(first + 1)));
  EXPECT_EQ(slot->cluster, first + 1);
  for (uint16_t c = first + 2; c <= first + 4; c++) EXPECT_EQ(getFatEntry(c), 0) << c;
  EXPECT_EQ(allocCluster(0), first + 2);  // given back to first fit
}

// Every sector write of a small scenario fails in turn: each call gives one
// of its documented results, and the volume still mounts.
TEST(Files, WriteFailuresGiveTheDocumentedResults) {
  TempDir dir;
  std::string img0 = dir / "base.img";
  makeStandardImage(img0);
  ASSERT_EQ(mtools(img0, UTIL_START, "mmd ::DIR"), 0);
  std::string data = patternBytes(5000, 4);
  auto scenario = [&](std::vector<int> *results) {
    KALU_HANDLE h = KaLu_fopen("\\DIR\\F.BIN", "w");
    results->push_back(h ? 0 : -100);
    if (!h) return;
    results->push_back(KaLu_fwrite(data.data(), 1, (int)data.size(), h));
    results->push_back(KaLu_fclose(h));
    if (results->back() != 0) results->push_back(KaLu_fclose(h));
  };
  int writes = 0;
  {
    std::string img = dir / "count.img";
    runShell("cp '" + img0 + "' '" + img + "'");
    std::string trace = dir / "trace";
    InProcess p(img, {{"KALU_IO_TRACE", trace}});
    ASSERT_TRUE(p.attach());
    std::vector<int> ok;
    scenario(&ok);
    EXPECT_EQ(ok, (std::vector<int>{0, 5000, 0}));
    std::string t = readFile(trace);
    writes = (int)std::count(t.begin(), t.end(), 'W');
  }
  ASSERT_GT(writes, 5);
  for (int n = 1; n <= writes; n++) {
    SCOPED_TRACE(n);
    std::string img = dir / "fail.img";
    runShell("cp '" + img0 + "' '" + img + "'");
    InProcess p(img, {{"KALU_IO_FAIL_WRITE_AT", std::to_string(n)}});
    ASSERT_TRUE(p.attach());
    std::vector<int> r;
    testing::internal::CaptureStdout();
    scenario(&r);
    testing::internal::GetCapturedStdout();
    ASSERT_FALSE(r.empty());
    if (r[0] != 0) {
      EXPECT_EQ(r.size(), 1u);  // the open failed
      continue;
    }
    EXPECT_TRUE(r[1] == 5000 || r[1] == -2) << r[1];
    EXPECT_EQ(r[2], -2);          // close then fails: partial sector, entry or FAT
    bool stillOpen = false;
    for (int s = 0; s < FILE_SLOTS; s++) stillOpen |= g->fileSlots[s].entry.name[0] != 0;
    // A handle stays open only after a close that failed before the FAT flush.
    if (stillOpen) {
      EXPECT_EQ(r.size(), 4u);
    }
  }
}
