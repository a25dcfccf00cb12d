// Named shared objects and the cross-process lock on this host.
//
// Objects are POSIX shared memory ("/NAME", or "/NS.NAME" with
// KALU_NAMESPACE). Lifetime is carried by flock: every process that holds an
// object keeps a shared flock on its descriptor; a process that can take an
// exclusive non-blocking flock knows nobody else holds it. Opening and closing
// happen only under the guard (an exclusive flock on a never-removed object),
// so "open, find stale, zero" and "release, find last, unlink" never race
// with each other. A crashed holder loses its flock in the kernel, so the
// next opener sees the object as stale and zeroes it: nothing survives a
// crash. Objects get mode 0666 whatever the umask, so any user can join.
//
// The lock is a process-shared, robust, recursive pthread mutex inside an
// object; the wait has a CLOCK_MONOTONIC deadline, and EOWNERDEAD (the owner
// died holding it) is made consistent and counts as obtained.
#include "plat.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

static void objectName(const char *base, char *out, size_t outSize) {
  const char *ns = platEnv("KALU_NAMESPACE");
  if (ns)
    snprintf(out, outSize, "/%s.%s", ns, base);
  else
    snprintf(out, outSize, "/%s", base);
}

// Open the existing object, or create it exclusively. A plain O_CREAT on an
// object another user made is refused where fs.protected_regular is set, so
// the two steps stay apart; losing the creation race retries the open.
static int openOrCreate(const char *name, int *created, int *err) {
  for (int attempt = 0; attempt < 8; attempt++) {
    int fd = shm_open(name, O_RDWR | O_CLOEXEC, 0);
    if (fd >= 0) {
      *created = 0;
      return fd;
    }
    if (errno != ENOENT) break;
    fd = shm_open(name, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      fchmod(fd, 0666);
      *created = 1;
      return fd;
    }
    if (errno != EEXIST) break;
  }
  *err = errno;
  return -1;
}

static int guardFd = -1;

int platGuardAcquire(int *err) {
  char name[512];
  objectName("KaLuGuard", name, sizeof name);
  if (guardFd < 0) {
    int created;
    guardFd = openOrCreate(name, &created, err);
    if (guardFd < 0) return 0;
  }
  while (flock(guardFd, LOCK_EX) != 0) {
    if (errno != EINTR) {
      *err = errno;
      return 0;
    }
  }
  return 1;
}

void platGuardRelease(void) {
  if (guardFd < 0) return;
  flock(guardFd, LOCK_UN);
  close(guardFd);
  guardFd = -1;
}

int platObjectOpen(const char *baseName, size_t size, PlatObject *obj, int *fresh, int *err,
                   int *failedStep) {
  char name[512];
  objectName(baseName, name, sizeof name);
  obj->fd = -1;
  obj->addr = nullptr;
  obj->size = 0;
  *failedStep = 1;
  int created = 0;
  int fd = openOrCreate(name, &created, err);
  if (fd < 0) return 0;
  // Nobody else holding it means it is new or left by crashed processes.
  int stale = !created && flock(fd, LOCK_EX | LOCK_NB) == 0;
  struct stat st;
  if (fstat(fd, &st) != 0) {
    *err = errno;
    close(fd);
    return 0;
  }
  if (created || stale) {
    // Truncating to 0 first discards any stale content: the object is zeroed.
    if (ftruncate(fd, 0) != 0 || ftruncate(fd, (off_t)size) != 0) {
      *err = errno;
      close(fd);
      if (created) shm_unlink(name);
      return 0;
    }
  } else if ((size_t)st.st_size != size) {
    *err = EINVAL;  // a live object of another layout: not ours to join
    close(fd);
    return 0;
  }
  if (flock(fd, LOCK_SH) != 0) {  // converts the exclusive probe, if any
    *err = errno;
    close(fd);
    if (created) shm_unlink(name);
    return 0;
  }
  void *addr = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (addr == MAP_FAILED) {
    *err = errno;
    *failedStep = 2;
    obj->fd = fd;
    obj->size = size;
    platObjectClose(baseName, obj);
    return 0;
  }
  obj->fd = fd;
  obj->addr = addr;
  obj->size = size;
  *fresh = created || stale;
  return 1;
}

void platObjectClose(const char *baseName, PlatObject *obj) {
  if (obj->addr) munmap(obj->addr, obj->size);
  obj->addr = nullptr;
  if (obj->fd < 0) return;
  flock(obj->fd, LOCK_UN);
  if (flock(obj->fd, LOCK_EX | LOCK_NB) == 0) {
    char name[512];
    objectName(baseName, name, sizeof name);
    shm_unlink(name);
  }
  close(obj->fd);
  obj->fd = -1;
}

size_t platMutexSize(void) { return sizeof(pthread_mutex_t); }

int platMutexInit(void *where) {
  pthread_mutexattr_t a;
  if (pthread_mutexattr_init(&a) != 0) return 0;
  int ok = pthread_mutexattr_setpshared(&a, PTHREAD_PROCESS_SHARED) == 0 &&
           pthread_mutexattr_setrobust(&a, PTHREAD_MUTEX_ROBUST) == 0 &&
           pthread_mutexattr_settype(&a, PTHREAD_MUTEX_RECURSIVE) == 0 &&
           pthread_mutex_init((pthread_mutex_t *)where, &a) == 0;
  pthread_mutexattr_destroy(&a);
  return ok;
}

int platMutexWait(void *where, uint32_t timeoutMs) {
  struct timespec deadline;
  clock_gettime(CLOCK_MONOTONIC, &deadline);
  deadline.tv_sec += timeoutMs / 1000;
  deadline.tv_nsec += (long)(timeoutMs % 1000) * 1000000L;
  if (deadline.tv_nsec >= 1000000000L) {
    deadline.tv_sec++;
    deadline.tv_nsec -= 1000000000L;
  }
  pthread_mutex_t *m = (pthread_mutex_t *)where;
  int rc;
  do {
    rc = pthread_mutex_clocklock(m, CLOCK_MONOTONIC, &deadline);
  } while (rc == EINTR);
  if (rc == 0) return PLAT_WAIT_OBTAINED;
  if (rc == EOWNERDEAD) {
    pthread_mutex_consistent(m);
    return PLAT_WAIT_OBTAINED;
  }
  return rc == ETIMEDOUT ? PLAT_WAIT_TIMEOUT : PLAT_WAIT_FAILED;
}

void platMutexRelease(void *where) { pthread_mutex_unlock((pthread_mutex_t *)where); }
