// Small host services: error texts, the environment, the platform id, the
// program's own folder, local time and the immediate exit used when a load
// must fail.
#include "plat.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <unistd.h>

void platErrorText(int code, char *out, size_t outSize) {
  // strerror never fails on glibc; an unknown code reads "Unknown error N".
  snprintf(out, outSize, "%s\n", strerror(code));
}

int platIsAccessDenied(int code) { return code == EACCES || code == EPERM; }

const char *platEnv(const char *name) {
  const char *v = getenv(name);
  return (v && *v) ? v : nullptr;
}

int platPlatformId(void) {
  const char *v = platEnv("KALU_PLATFORM_ID");
  return (v && strcmp(v, "1") == 0) ? 1 : 2;
}

int platExeFolder(char *out, size_t outSize) {
  char path[4096];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return 0;
  path[n] = 0;
  char *slash = strrchr(path, '/');
  if (!slash) return 0;
  *(slash == path ? slash + 1 : slash) = 0;
  if (strlen(path) + 1 > outSize) return 0;
  memcpy(out, path, strlen(path) + 1);
  return 1;
}

void platLocalTime(PlatTime *t) {
  time_t now = time(nullptr);
  struct tm tm;
  localtime_r(&now, &tm);
  *t = {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

void platExitNow(int status) {
  fflush(stdout);
  _exit(status);
}
