// The library's internal records and operations: the shared block
// (GlobalData and its parts), the process-local state, and the internal
// operations that the exports are made of. Tests link the static core and
// use this header directly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "kalu_api.h"
#include "plat.h"

// ---- Shared records ---------------------------------------------------------
// The block's layout crosses process boundaries: fixed-width fields, 4-byte
// packing, and reserved bytes at the end up to the documented 89940 bytes.
#pragma pack(push, 4)

struct DirEntry {
  uint8_t name[11];
  uint8_t attr;
  uint8_t reserved[10];
  uint16_t time;
  uint16_t date;
  uint16_t firstCluster;
  uint32_t size;
};

struct DirWindow {
  uint8_t sector[512];
  uint16_t cluster;
  uint32_t lba;
  uint32_t sectorInCluster;
  uint16_t firstCluster;
};

struct FileSlot {
  DirEntry entry;
  uint32_t position;
  uint64_t buffer;  // address of the slot buffer in the opening process; recorded only
  uint16_t cluster;
  char mode[6];
  uint16_t entryIndex;
  uint16_t windowCluster;
  uint32_t windowSector;
  uint32_t windowSectorInCluster;
  uint16_t windowFirstCluster;
  int32_t inRoot;
};

enum { FAT_IMAGE_SECTORS = 128, ROOT_ENTRIES_MAX = 512, FILE_SLOTS = 10 };

struct GlobalData {
  uint8_t fatImage[FAT_IMAGE_SECTORS][512];
  int32_t fatDirty[FAT_IMAGE_SECTORS];
  int32_t rawDisk;
  int32_t fat12;
  uint32_t firstDataSector;
  int32_t partIndex;
  int32_t typeA0or84;
  uint32_t fat1Sector;
  uint32_t fat2Sector;
  uint32_t clusterLimit;
  int32_t mounted;
  DirWindow dirWindow;
  DirEntry rootDir[ROOT_ENTRIES_MAX];
  uint8_t bootSector[512];
  uint8_t mbr[512];
  FileSlot fileSlots[FILE_SLOTS];
  uint8_t slotBuffers[FILE_SLOTS][512];
  // Past the documented fields, in the block's reserved tail: every cluster
  // from 2 up to allocHint is in use (kept by setFatEntry and allocCluster),
  // so first-fit allocation need not rescan them. 0 in a new block.
  uint32_t allocHint;
  uint8_t reservedTail[76];
};

#pragma pack(pop)

static_assert(sizeof(DirEntry) == 32, "directory entry layout");
static_assert(sizeof(DirWindow) == 528, "directory window layout");
static_assert(sizeof(FileSlot) == 72, "file slot layout");
static_assert(sizeof(GlobalData) == 89940, "the shared block is 89940 bytes");
static_assert(offsetof(GlobalData, dirWindow) == 66084, "fields before the window");
static_assert(sizeof(SearchRecord) == 15, "search record layout");
static_assert(sizeof(FindRecord) == 57 && offsetof(FindRecord, name) == 44 &&
                  offsetof(FindRecord, inRoot) == 28 && offsetof(FindRecord, size) == 40,
              "find record layout");

// ---- Process-local state ----------------------------------------------------------
extern GlobalData *g;  // this process's view of the block; null when not attached

enum { ERR_NONE = 0, ERR_FAILED = 1, ERR_IN_USE = 2 };
extern int lastErrorCode;

// Sector routines bound at attach: nonzero on success.
typedef int (*SectorRoutine)(uint32_t sector, void *buffer);
extern SectorRoutine readSector;
extern SectorRoutine writeSector;

// ---- Frame -------------------------------------------------------------------
int libraryAttach(void);  // 1 attached, 0 failed (messages printed, nothing held)
void libraryDetach(void);
void setErrorCode(int code);
void printSystemError(int code, const char *text);
void printSystemText(const char *systemText, const char *text);

// The lock protocol: last error 1, wait, run, release once. Every export body
// runs through lockedCall; none returns with the lock held.
int libraryLockWait(void);  // 1 obtained
void libraryLockRelease(void);
extern uint32_t libraryLockTimeoutMs;

// True when a utility partition is mounted and the block's partition index is
// usable; the exports of the file interface fail without one.
bool partitionUsable(void);

template <class T, class Body>
T lockedCall(T timeoutValue, Body body) {
  setErrorCode(ERR_FAILED);
  if (!libraryLockWait()) return timeoutValue;
  T result = body();
  libraryLockRelease();
  return result;
}

// ---- Sector access ------------------------------------------------------------
// Runs of consecutive sectors: the number of sectors moved, from the first on
// (count on success); a run stops at the first sector that fails or that the
// write guard refuses.
uint32_t readSectors(uint32_t first, uint32_t count, void *buffer);
uint32_t writeSectors(uint32_t first, uint32_t count, const void *buffer);
int bindSectors(void);  // 1 ok, 0 after printing the binding's message
void releaseSectors(void);
// The mounted partition's first sector and size from the MBR copy; 0 when no
// partition is usable.
int partitionBounds(uint32_t *start, uint32_t *size);

// ---- Mount -------------------------------------------------------------------------
int mountPartition(void);
int isFat12Volume(void);

// Boot-sector fields, read little-endian from the block's copy.
uint16_t bpbBytesPerSector(void);
uint8_t bpbSectorsPerCluster(void);
uint16_t bpbReservedSectors(void);
uint8_t bpbNumFats(void);
uint16_t bpbRootEntries(void);
uint16_t bpbFatSectors(void);
uint32_t bpbTotalSectors(void);
uint8_t bpbMedia(void);

// Little-endian helpers over byte arrays.
inline uint16_t le16(const uint8_t *p) { return (uint16_t)(p[0] | (p[1] << 8)); }
inline uint32_t le32(const uint8_t *p) {
  return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}

// ---- Checked geometry ---------------------------------------------------------
// Values of the shared block used as bounds, clamped where they are used so
// that nothing in the block can send an access outside it or the partition.
uint32_t fatSectorCount(void);    // sectors per FAT, at most the image's 128
uint32_t rootEntryCount(void);    // root entries loaded and writable, at most 512
uint32_t rootSectorCount(void);   // rootEntryCount() / 16
uint32_t clusterEnd(void);        // first cluster number past the usable volume
inline bool validCluster(uint32_t c) { return c >= 2 && c < clusterEnd(); }

// ---- FAT engine -------------------------------------------------------------------
enum { CHAIN_BROKEN = -2 };
uint32_t clusterToSector(uint16_t c);
uint16_t getFatEntry(uint16_t c);  // an end-of-chain value for a cluster outside the FAT
void setFatEntry(uint16_t c, uint16_t v);
void markFatEntryDirty(uint16_t c);
int isEndOfChain(uint16_t v);
uint16_t endOfChainValue(void);
// The chain's last cluster, or CHAIN_BROKEN when the chain loops or links to
// a cluster outside the volume.
int lastClusterOfChain(uint16_t c);
int freeChain(uint16_t c);
int allocCluster(uint16_t prev);
int flushFat(void);
int writeDirWindow(void);
int writeRootSector(uint32_t index);
int writeEntrySector(DirEntry *p);

// ---- Names and path syntax ---------------------------------------------------------
typedef uint8_t FatName[11];
// A path split into drive ("X:" or empty), directory part (up to and with
// its last separator), base name and extension (from the last '.', dot
// included); each part cut to 255 characters.
struct PathParts {
  std::string drive, dir, base, ext;
};
void splitPath(const std::string &text, PathParts *parts);
int validatePath(const char *path, int allowWildcards);
void toFatName(const char *text, uint8_t *out);
void makeFatName(uint8_t *out, char *base, char *ext);
int matchFatName(const uint8_t *a, const uint8_t *b);
int sameFatName(const uint8_t *a, const uint8_t *b);  // equal up to the case of A-Z

// ---- Directory walk and entries --------------------------------------------------------
enum { ATTR_VOLUME = 0x08, ATTR_DIRECTORY = 0x10, ATTR_ARCHIVE = 0x20, ATTR_KIND = 0x18 };
inline bool sameKind(uint8_t a, uint8_t b) { return ((a ^ b) & ATTR_KIND) == 0; }
DirEntry *lookupPath(const char *path, uint8_t attr);
int openDirWindow(uint16_t firstCluster);
enum { DIR_MOVED = 1, DIR_END = 0, DIR_READ_FAILED = -2 };
int nextDirSector(void);
int createRootEntry(const uint8_t *name, uint8_t attr);
int createSubdirEntry(const uint8_t *name, uint8_t attr, int allowReplace);
// Creates (or reuses) an entry named `name` in the directory that the
// directory part of a valid path names: the root when it is empty, "\" or a
// ".." that leads back to the root, else the subdirectory it names. Returns
// the entry (in rootDir or the window), or null.
DirEntry *createEntryIn(const std::string &dirPart, const uint8_t *name, uint8_t attr, int allowReplace);
int entryInUse(const DirEntry *entry);
// The single deletion of one entry of a kind (0 file, 0x10 directory) that
// a path names: 0 deleted, 1 none found, 2 held by an open file (last error
// 2), -2 a failed write.
int deleteSingle(const char *path, uint8_t kind);
extern const uint8_t DOT_NAME[11], DOTDOT_NAME[11];
extern const uint8_t zeroSectors[FAT_IMAGE_SECTORS * 512];  // a cluster of zeros at most
bool entryInRoot(const DirEntry *entry);
uint32_t entryIndex(const DirEntry *entry);  // in rootDir, or 0..15 in the window

// ---- Open files -----------------------------------------------------------------
// The slot a handle names: its index when the handle is exactly one of this
// view's ten slots and that slot is taken, else -1.
int slotIndexOf(KALU_HANDLE handle);
bool slotIsReading(const FileSlot &slot);
// The absolute sector holding byte `position` of a file whose current
// cluster is `cluster`; 0 when that cluster is not one of the volume.
uint32_t fileSector(uint16_t cluster, uint32_t position);

// DOS encodings of a local time, and the clock used for new entries (tests
// may fix it).
uint16_t dosTime(int hour, int minute, int second);
uint16_t dosDate(int year, int month, int day);
extern bool fixedClockSet;
extern PlatTime fixedClock;
