// The library frame: attach and detach of a process (the named lock, the
// shared block, the sector binding and the mount, acquired in that order and
// released in reverse), the lock protocol that every export follows, and the
// per-process last-error code and message printer.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "kalu_core.h"
#include "plat.h"

GlobalData *g = nullptr;
int lastErrorCode = ERR_NONE;
uint32_t libraryLockTimeoutMs = 60000;

static const char MUTEX_NAME[] = "KaLuMutex";
static const char BLOCK_NAME[] = "__SHM_KaLu_GlobalData@@@";
static PlatObject mutexObject = {-1, nullptr, 0};
static PlatObject blockObject = {-1, nullptr, 0};

void setErrorCode(int code) { lastErrorCode = code; }

void printSystemText(const char *systemText, const char *text) {
  printf("%s: %s", text, systemText);
}

void printSystemError(int code, const char *text) {
  char sys[256];
  platErrorText(code, sys, sizeof sys);
  printSystemText(sys, text);
}

// Diagnostic seam: tests may shorten the lock wait; the shipped wait is 60000 ms.
static void readLockTimeoutSeam(void) {
  if (const char *v = platEnv("KALU_TEST_LOCK_WAIT_MS")) libraryLockTimeoutMs = (uint32_t)strtoul(v, nullptr, 10);
}

int libraryAttach(void) {
  if (g) return 1;
  int err = 0, fresh = 0, step = 0;
  // Creation, zeroing and first mount run under the attach guard, so a
  // concurrent first attach waits instead of seeing a half-built block.
  if (!platGuardAcquire(&err)) {
    printSystemError(err, "Error creating Mutex");
    return 0;
  }
  // The objects are created open to every user (mode 0666): the security
  // descriptor step has nothing that can fail on this host.
  if (!platObjectOpen(MUTEX_NAME, platMutexSize(), &mutexObject, &fresh, &err, &step)) {
    platGuardRelease();
    printSystemError(err, "Error creating Mutex");
    return 0;
  }
  if (fresh && !platMutexInit(mutexObject.addr)) {
    platObjectClose(MUTEX_NAME, &mutexObject);
    platGuardRelease();
    printSystemError(PLAT_ERR_IO, "Error creating Mutex");
    return 0;
  }
  if (!platObjectOpen(BLOCK_NAME, sizeof(GlobalData), &blockObject, &fresh, &err, &step)) {
    platObjectClose(MUTEX_NAME, &mutexObject);
    platGuardRelease();
    printSystemError(err, step == 2 ? "Error mapping view of file" : "Error creating File Mapping");
    return 0;
  }
  g = (GlobalData *)blockObject.addr;
  if (fresh) memset(g, 0, sizeof *g);
  readLockTimeoutSeam();
  int ok = bindSectors();
  if (ok && !mountPartition()) {
    releaseSectors();
    ok = 0;
  }
  if (!ok) {
    g = nullptr;
    platObjectClose(BLOCK_NAME, &blockObject);
    platObjectClose(MUTEX_NAME, &mutexObject);
  }
  platGuardRelease();
  return ok;
}

void libraryDetach(void) {
  if (!g) return;
  int err;
  int guarded = platGuardAcquire(&err);
  releaseSectors();
  g = nullptr;
  platObjectClose(BLOCK_NAME, &blockObject);
  platObjectClose(MUTEX_NAME, &mutexObject);
  if (guarded) platGuardRelease();
}

int libraryLockWait(void) {
  if (!g || !mutexObject.addr) return 0;
  return platMutexWait(mutexObject.addr, libraryLockTimeoutMs) == PLAT_WAIT_OBTAINED;
}

void libraryLockRelease(void) { platMutexRelease(mutexObject.addr); }

bool partitionUsable(void) {
  return g && g->mounted == 1 && g->partIndex >= 0 && g->partIndex <= 3;
}
