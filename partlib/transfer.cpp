// File data transfer on an open handle: KaLu_fread and KaLu_fwrite (items
// counted as the C library counts them, within a signed 32-bit byte budget
// per call), and the one-byte KaLu_fgetc and KaLu_fputc.
//
// Bytes move in runs, never one at a time: a partial sector through the
// slot's one-sector buffer, whole sectors straight between the caller's
// memory and the disk, consecutive sectors in one transfer. Each data sector
// is still read once, when its first byte is needed, and written once, when
// its last byte is placed (or at close), in the same order as byte by byte.
#include <algorithm>
#include <cstring>

#include "kalu_core.h"

// Items completed while position moved from `from` to `to`: each multiple of
// the item size that position reached after a byte was moved.
static uint32_t itemsPassed(uint32_t from, uint32_t to, uint32_t size) { return to / size - from / size; }

// Chooses the cluster for the sector at `position` the way a file is read:
// the first cluster at position 0, the next cluster of the chain at a
// cluster boundary, else the current one.
static void advanceReadCluster(FileSlot &slot) {
  if (slot.position == 0)
    slot.cluster = slot.entry.firstCluster;
  else if (slot.position / 512 % bpbSectorsPerCluster() == 0)
    slot.cluster = getFatEntry(slot.cluster);
}

static int readFile(void *destination, unsigned int size, int count, KALU_HANDLE handle) {
  int i = slotIndexOf(handle);
  if (i < 0 || !destination) return -2;
  FileSlot &slot = g->fileSlots[i];
  uint8_t *buffer = g->slotBuffers[i];
  if (size == 0 || count == 0) {
    setErrorCode(ERR_NONE);
    return 0;
  }
  if (slot.position >= slot.entry.size) return -1;
  uint32_t spc = bpbSectorsPerCluster();
  int32_t budget = (int32_t)(size * (uint32_t)count);
  int64_t items = 0;
  uint8_t *out = static_cast<uint8_t *>(destination);
  while (budget > 0 && slot.position < slot.entry.size) {
    uint32_t offset = slot.position % 512;
    uint32_t left = slot.entry.size - slot.position;
    uint32_t run;
    if (offset == 0) {
      advanceReadCluster(slot);
      // A chain shorter than the size, or one that leaves the volume, is a
      // failure, never a read of some other sector.
      uint32_t first = fileSector(slot.cluster, slot.position);
      if (!first) return -2;
      uint32_t whole = std::min((uint32_t)budget, left) / 512;
      if (whole == 0) {
        if (!readSector(first, buffer)) return -2;
        run = std::min((uint32_t)budget, left);
        memcpy(out, buffer, run);
      } else {
        // Whole sectors go straight to the destination: those of this
        // cluster, and those of the following clusters while the chain runs
        // on to the next cluster number.
        uint32_t n = std::min(whole, spc - slot.position / 512 % spc);
        while (n < whole && (slot.position / 512 + n) % spc == 0) {
          uint16_t next = getFatEntry(slot.cluster);
          if (next != slot.cluster + 1 || !validCluster(next)) break;
          slot.cluster = next;
          n += std::min(whole - n, spc);
        }
        uint32_t got = readSectors(first, n, out);
        if (got < n) {
          items += itemsPassed(slot.position, slot.position + got * 512, size);
          slot.position += got * 512;
          return -2;
        }
        run = n * 512;
      }
    } else {
      run = std::min({512 - offset, (uint32_t)budget, left});
      memcpy(out, buffer + offset, run);
    }
    out += run;
    items += itemsPassed(slot.position, slot.position + run, size);
    slot.position += run;
    budget -= (int32_t)run;
  }
  setErrorCode(ERR_NONE);
  return (int)items;
}

static void releaseCluster(uint16_t c) {
  setFatEntry(c, 0);
  markFatEntryDirty(c);
}

// Takes the cluster for a byte that starts a new cluster: the file's first
// one, or one linked after the current cluster. -1 when the volume is full.
static int allocFileCluster(FileSlot &slot) {
  int c = allocCluster(slot.entry.firstCluster == 0 ? 0 : slot.cluster);
  if (c < 0) return c;
  if (slot.entry.firstCluster == 0) slot.entry.firstCluster = (uint16_t)c;
  slot.cluster = (uint16_t)c;
  return 0;
}

static int writeFile(const void *source, unsigned int size, int count, KALU_HANDLE handle) {
  int i = slotIndexOf(handle);
  // A handle opened for reading never writes: it would overwrite the file's
  // sectors from its start.
  if (i < 0 || !source || slotIsReading(g->fileSlots[i])) return -2;
  FileSlot &slot = g->fileSlots[i];
  uint8_t *buffer = g->slotBuffers[i];
  int32_t budget = size == 0 || count == 0 ? 0 : (int32_t)(size * (uint32_t)count);
  if (budget <= 0) {
    setErrorCode(ERR_NONE);
    return 0;
  }
  uint32_t spc = bpbSectorsPerCluster();
  int64_t items = 0;
  const uint8_t *in = static_cast<const uint8_t *>(source);
  bool allocated = false;  // the cluster for the next byte is already taken
  while (budget > 0) {
    uint32_t offset = slot.position % 512;
    if (offset == 0 && slot.position / 512 % spc == 0 && !allocated) {
      int r = allocFileCluster(slot);
      if (r < 0) return r == -1 ? -1 : -2;
    }
    allocated = false;
    uint32_t whole = offset == 0 ? (uint32_t)budget / 512 : 0;
    if (whole) {
      // Whole sectors go straight from the source: those of this cluster,
      // and those of the clusters taken after it while each new cluster is
      // the next one on disk. Allocation keeps its order; only the FAT
      // image sees it before the data moves, and the FAT is written later.
      uint32_t first = fileSector(slot.cluster, slot.position);
      if (!first) return -2;
      uint16_t runCluster = slot.cluster;
      uint32_t runIndex = slot.position / 512 % spc;
      uint32_t n = std::min(whole, spc - runIndex);
      int full = 0;
      while (n < whole && (slot.position / 512 + n) % spc == 0) {
        uint16_t prev = slot.cluster;
        int r = allocFileCluster(slot);
        if (r < 0) {
          full = r;
          break;
        }
        allocated = true;
        if (slot.cluster != prev + 1) break;
        allocated = false;
        n += std::min(whole - n, spc);
      }
      uint32_t put = writeSectors(first, n, in);
      if (put < n) {
        // As in a byte-wise write: the failed sector's bytes have passed, and
        // the chain ends with the failed sector's cluster; clusters taken for
        // the rest of the run are given back.
        uint16_t failed = (uint16_t)(runCluster + (runIndex + put) / spc);
        uint16_t lastOfRun = (uint16_t)(runCluster + (runIndex + n - 1) / spc);
        if (allocated) releaseCluster(slot.cluster);  // taken after the run, not contiguous
        for (uint16_t c = (uint16_t)(failed + 1); c <= lastOfRun; c++) releaseCluster(c);
        setFatEntry(failed, endOfChainValue());
        markFatEntryDirty(failed);
        slot.cluster = failed;
        memcpy(buffer, in + put * 512, 512);
        items += itemsPassed(slot.position, slot.position + (put + 1) * 512, size);
        slot.position += (put + 1) * 512;
        slot.entry.size += put * 512;
        return -2;
      }
      in += n * 512;
      items += itemsPassed(slot.position, slot.position + n * 512, size);
      slot.position += n * 512;
      slot.entry.size += n * 512;
      budget -= (int32_t)(n * 512);
      if (full) return full == -1 ? -1 : -2;
      continue;
    }
    uint32_t run = std::min(512 - offset, (uint32_t)budget);
    memcpy(buffer + offset, in, run);
    in += run;
    items += itemsPassed(slot.position, slot.position + run, size);
    slot.position += run;
    budget -= (int32_t)run;
    if (slot.position % 512 == 0) {
      uint32_t sector = fileSector(slot.cluster, slot.position - 1);
      if (!sector || !writeSector(sector, buffer)) return -2;
      slot.entry.size += 512;
    }
  }
  setErrorCode(ERR_NONE);
  return (int)items;
}

int KaLu_fread(void *destination, unsigned int size, int count, KALU_HANDLE handle) {
  return lockedCall(-2, [&] { return partitionUsable() ? readFile(destination, size, count, handle) : -2; });
}

int KaLu_fwrite(const void *source, unsigned int size, int count, KALU_HANDLE handle) {
  return lockedCall(-2, [&] { return partitionUsable() ? writeFile(source, size, count, handle) : -2; });
}

int KaLu_fgetc(KALU_HANDLE handle) {
  uint8_t c;
  int r = KaLu_fread(&c, 1, 1, handle);
  return r == 1 ? (int)(int8_t)c : r;
}

int KaLu_fputc(int character, KALU_HANDLE handle) {
  uint8_t c = (uint8_t)character;
  int r = KaLu_fwrite(&c, 1, 1, handle);
  return r == 1 ? character : r;
}
