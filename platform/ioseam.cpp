// Diagnostic seams of the sector layer, inert unless their variable is set:
// a trace of every transfer, and write-fault injection (fail from the n-th
// write on, or end the process just before the n-th write, as a power cut
// would). Tests use them to see what reached the disk and to prove that
// every failure and every interruption leaves a documented state.
#include "plat.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <fcntl.h>
#include <unistd.h>

static int traceFd = -2;  // -2 not looked at yet, -1 off
static unsigned long writesSeen = 0;
static long cutAt = -1, failAt = -1;  // -1: not looked at yet

void platIoTrace(char op, uint32_t first, uint32_t count) {
  if (traceFd == -2) {
    const char *path = platEnv("KALU_IO_TRACE");
    traceFd = path ? open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666) : -1;
  }
  if (traceFd < 0) return;
  std::string lines;
  char line[32];
  for (uint32_t k = 0; k < count; k++) {
    snprintf(line, sizeof line, "%c %u\n", op, first + k);
    lines += line;
  }
  if (write(traceFd, lines.data(), lines.size()) < 0) {
    // A lost trace line only weakens a diagnostic; the transfer goes on.
  }
}

static unsigned long envCount(const char *name) {
  const char *v = platEnv(name);
  return v ? strtoul(v, nullptr, 10) : 0;
}

static void readSeams(void) {
  if (cutAt < 0) cutAt = (long)envCount("KALU_IO_CUT_WRITE_AT");
  if (failAt < 0) failAt = (long)envCount("KALU_IO_FAIL_WRITE_AT");
}

uint32_t platIoWritesAllowed(uint32_t count) {
  readSeams();
  uint64_t allowed = count;
  for (long at : {cutAt, failAt}) {
    if (at <= 0) continue;
    uint64_t before = (uint64_t)at > writesSeen ? (uint64_t)at - 1 - writesSeen : 0;
    if (before < allowed) allowed = before;
  }
  return (uint32_t)allowed;
}

void platIoWritesDone(uint32_t count) { writesSeen += count; }

void platIoWriteFault(void) {
  readSeams();
  writesSeen++;
  if (cutAt > 0 && writesSeen >= (unsigned long)cutAt) {
    fflush(stdout);
    raise(SIGKILL);
  }
}

void platIoSeamReset(void) {
  if (traceFd >= 0) close(traceFd);
  traceFd = -2;
  writesSeen = 0;
  cutAt = failAt = -1;
}
