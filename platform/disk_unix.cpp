// The physical disk on this host: drive numbers mapped to image files or
// block devices, the geometry query's media type, and 512-byte transfers at
// 64-bit offsets, each run of sectors with one pread/pwrite.
#include "plat.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

static int anyDriveVariable(void) {
  char var[32];
  for (int d = 0; d <= 4; d++) {
    snprintf(var, sizeof var, "KALU_PHYSICALDRIVE%d", d);
    if (platEnv(var)) return 1;
  }
  return 0;
}

// The host's whole disks, sorted, without loop, ram, zram, optical and
// device-mapper entries.
static std::vector<std::string> hostDisks(void) {
  std::vector<std::string> names;
  DIR *dir = opendir("/sys/block");
  if (!dir) return names;
  while (struct dirent *e = readdir(dir)) {
    std::string n = e->d_name;
    if (n[0] == '.') continue;
    static const char *const skip[] = {"loop", "ram", "zram", "sr", "dm-"};
    bool excluded = false;
    for (const char *p : skip) excluded |= n.rfind(p, 0) == 0;
    if (!excluded) names.push_back(n);
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

int platDrivePath(int drive, char *out, size_t outSize) {
  if (drive < 0 || drive > 4) return 0;
  if (anyDriveVariable()) {
    char var[32];
    snprintf(var, sizeof var, "KALU_PHYSICALDRIVE%d", drive);
    const char *p = platEnv(var);
    if (!p || strlen(p) + 1 > outSize) return 0;
    memcpy(out, p, strlen(p) + 1);
    return 1;
  }
  std::vector<std::string> disks = hostDisks();
  if ((size_t)drive >= disks.size()) return 0;
  return snprintf(out, outSize, "/dev/%s", disks[drive].c_str()) < (int)outSize;
}

int platDriveQuery(int drive, int *mediaType, int *err) {
  char path[4096];
  if (!platDrivePath(drive, path, sizeof path)) {
    *err = ENOENT;
    return 0;
  }
  struct stat st;
  if (stat(path, &st) != 0) {
    *err = errno;
    return 0;
  }
  if (S_ISREG(st.st_mode)) {
    *mediaType = PLAT_MEDIA_FIXED;
    return 1;
  }
  if (!S_ISBLK(st.st_mode)) {
    *err = ENODEV;
    return 0;
  }
  *mediaType = PLAT_MEDIA_REMOVABLE;
  const char *base = strrchr(path, '/');
  char sys[4200];
  snprintf(sys, sizeof sys, "/sys/class/block/%s/removable", base ? base + 1 : path);
  if (FILE *f = fopen(sys, "re")) {
    int c = fgetc(f);
    if (c == '0') *mediaType = PLAT_MEDIA_FIXED;
    fclose(f);
  }
  return 1;
}

// An image file must not grow: writes at or past its end fail. Its size is
// taken once at open (the library never changes it).
enum { MAX_OPEN = 16 };
static struct {
  int fd;
  uint64_t limit;  // UINT64_MAX for block devices
} openDisks[MAX_OPEN] = {};

int platDiskOpen(int drive, int *err) {
  char path[4096];
  if (!platDrivePath(drive, path, sizeof path)) {
    *err = ENOENT;
    return -1;
  }
  int fd = open(path, O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    *err = errno;
    return -1;
  }
  struct stat st;
  uint64_t limit = UINT64_MAX;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) limit = (uint64_t)st.st_size;
  for (auto &slot : openDisks) {
    if (slot.fd == 0) {
      slot.fd = fd + 1;  // 0 marks a free slot
      slot.limit = limit;
      return fd;
    }
  }
  close(fd);
  *err = EMFILE;
  return -1;
}

static uint64_t diskLimit(int handle) {
  for (auto &slot : openDisks)
    if (slot.fd == handle + 1) return slot.limit;
  return UINT64_MAX;
}

// One pread/pwrite for the whole run; the loop only takes up what the host
// moved short (a block device may), and a transfer that moves nothing is the
// end of the disk.
template <class Transfer>
static int transferAll(Transfer transfer, uint64_t offset, size_t bytes, int *err) {
  size_t done = 0;
  while (done < bytes) {
    ssize_t n = transfer(done, (off_t)(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      *err = n < 0 ? errno : EIO;
      return 0;
    }
    done += (size_t)n;
  }
  return 1;
}

int platDiskRead(int handle, uint64_t offset, void *buffer, uint32_t sectors, int *err) {
  char *b = static_cast<char *>(buffer);
  size_t bytes = (size_t)sectors * 512;
  return transferAll([&](size_t done, off_t at) { return pread(handle, b + done, bytes - done, at); }, offset,
                     bytes, err);
}

int platDiskWrite(int handle, uint64_t offset, const void *buffer, uint32_t sectors, int *err) {
  size_t bytes = (size_t)sectors * 512;
  if (offset + bytes > diskLimit(handle)) {
    *err = EIO;
    return 0;
  }
  const char *b = static_cast<const char *>(buffer);
  return transferAll([&](size_t done, off_t at) { return pwrite(handle, b + done, bytes - done, at); }, offset,
                     bytes, err);
}

void platDiskClose(int handle) {
  for (auto &slot : openDisks)
    if (slot.fd == handle + 1) slot.fd = 0;
  close(handle);
}
