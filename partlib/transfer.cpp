// File data transfer on an open handle: KaLu_fread and KaLu_fwrite (items
// counted as the C library counts them, within a signed 32-bit byte budget
// per call), and the one-byte KaLu_fgetc and KaLu_fputc.
//
// Bytes move through the slot's one-sector buffer in runs: one copy per
// sector touched. Each data sector is read once, when its first byte is
// needed, and written once, when its last byte is placed (or at close).
#include <cstring>

#include "kalu_core.h"

// Items completed while position moved from `from` to `to`: each multiple of
// the item size that position reached after a byte was moved.
static uint32_t itemsPassed(uint32_t from, uint32_t to, uint32_t size) { return to / size - from / size; }

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
  int32_t budget = (int32_t)(size * (uint32_t)count);
  int64_t items = 0;
  uint8_t *out = static_cast<uint8_t *>(destination);
  while (budget > 0 && slot.position < slot.entry.size) {
    uint32_t offset = slot.position % 512;
    if (offset == 0) {
      if (slot.position == 0)
        slot.cluster = slot.entry.firstCluster;
      else if (slot.position / 512 % bpbSectorsPerCluster() == 0)
        slot.cluster = getFatEntry(slot.cluster);
      // A chain shorter than the size, or one that leaves the volume, is a
      // failure, never a read of some other sector.
      uint32_t sector = fileSector(slot.cluster, slot.position);
      if (!sector || !readSector(sector, buffer)) return -2;
    }
    uint32_t run = 512 - offset;
    if (run > (uint32_t)budget) run = (uint32_t)budget;
    if (run > slot.entry.size - slot.position) run = slot.entry.size - slot.position;
    memcpy(out, buffer + offset, run);
    out += run;
    items += itemsPassed(slot.position, slot.position + run, size);
    slot.position += run;
    budget -= (int32_t)run;
  }
  setErrorCode(ERR_NONE);
  return (int)items;
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
  int64_t items = 0;
  const uint8_t *in = static_cast<const uint8_t *>(source);
  while (budget > 0) {
    uint32_t offset = slot.position % 512;
    if (offset == 0 && slot.position / 512 % bpbSectorsPerCluster() == 0) {
      int c = allocCluster(slot.entry.firstCluster == 0 ? 0 : slot.cluster);
      if (c == -1) return -1;
      if (c < 0) return -2;
      if (slot.entry.firstCluster == 0) slot.entry.firstCluster = (uint16_t)c;
      slot.cluster = (uint16_t)c;
    }
    uint32_t run = 512 - offset;
    if (run > (uint32_t)budget) run = (uint32_t)budget;
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
