// The platform layer: every host service the library, the runner and the
// updater need, named by what the system asks of it. Nothing else in the
// project touches the host directly. The interface carries no host types
// (descriptors and handles are plain integers or opaque addresses), so a
// second backend for the original platform can sit behind it unchanged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// ---- Errors -------------------------------------------------------------
// A host error number (this backend: errno values). The text is the host's
// message for it followed by a line end, as the original system texts are.
void platErrorText(int code, char *out, size_t outSize);
int platIsAccessDenied(int code);
enum { PLAT_ERR_IO = 5, PLAT_ERR_NOENT = 2 };

// ---- Named shared objects -------------------------------------------------
// A named object is shared memory that lives while any process holds it.
// Every holder keeps a shared claim on it; the last one to let go removes
// the name. An object found without any live holder is stale and comes back
// zeroed, exactly as a newly created one.
struct PlatObject {
  int fd;       // host descriptor, -1 when closed
  void *addr;   // the mapped view
  size_t size;
};

// Serialises attach and detach of all processes of one namespace. Never
// removed. Returns 1, or 0 with *err set.
int platGuardAcquire(int *err);
void platGuardRelease(void);

// Opens or creates the named object `baseName` (namespace prefix applied
// here) of `size` bytes and maps it. *fresh is 1 when its content is new
// (created or stale) and therefore zeroed. Returns 1, or 0 with *err set and
// *failedStep 1 for the create/open step or 2 for the mapping step.
int platObjectOpen(const char *baseName, size_t size, PlatObject *obj, int *fresh, int *err,
                   int *failedStep);
// Drops this process's claim; removes the name when no holder remains.
void platObjectClose(const char *baseName, PlatObject *obj);

// ---- The cross-process lock -------------------------------------------------
// A lock that lives inside a named object (platMutexSize bytes of it). It is
// recursive for the owning thread, and a lock whose owner died holding it
// counts as obtained.
size_t platMutexSize(void);
int platMutexInit(void *where);                 // 1 ok
enum { PLAT_WAIT_OBTAINED = 0, PLAT_WAIT_TIMEOUT = 1, PLAT_WAIT_FAILED = 2 };
int platMutexWait(void *where, uint32_t timeoutMs);  // monotonic deadline
void platMutexRelease(void *where);

// ---- The physical disk ------------------------------------------------------
// Drive d (0..4) maps to KALU_PHYSICALDRIVE<d> when any of those variables is
// set, else to the d-th whole disk of the host.
int platDrivePath(int drive, char *out, size_t outSize);  // 1 when the drive exists
enum { PLAT_MEDIA_REMOVABLE = 11, PLAT_MEDIA_FIXED = 12 };
// The geometry query: 1 with *mediaType, or 0 with *err.
int platDriveQuery(int drive, int *mediaType, int *err);
// Open for reading and writing: a handle >= 0, or -1 with *err.
int platDiskOpen(int drive, int *err);
// Move exactly `sectors` × 512 bytes at byte offset `offset` in one transfer.
// 1, or 0 with *err (a short transfer and a write that reaches the end of an
// image file give PLAT_ERR_IO).
int platDiskRead(int handle, uint64_t offset, void *buffer, uint32_t sectors, int *err);
int platDiskWrite(int handle, uint64_t offset, const void *buffer, uint32_t sectors, int *err);
void platDiskClose(int handle);

// ---- Diagnostic seams of the sector layer ---------------------------------------
// KALU_IO_TRACE=FILE appends "R <sector>" / "W <sector>" per transfer.
// KALU_IO_FAIL_WRITE_AT=n fails the n-th and every later write of the process.
// KALU_IO_CUT_WRITE_AT=n ends the process at once just before its n-th write.
void platIoTrace(char op, uint32_t first, uint32_t count);
// How many of the next `count` sector writes may go ahead before a fault
// seam acts (count when none does). Nothing is counted yet.
uint32_t platIoWritesAllowed(uint32_t count);
void platIoWritesDone(uint32_t count);
// The write that a seam stops: ends the process at once (cut), or counts it
// and returns, the caller then reporting a failed write.
void platIoWriteFault(void);
// Forgets what the seams read from the environment and the write count, for
// tests that change the variables within one process.
void platIoSeamReset(void);

// ---- Platform version and run-time libraries --------------------------------
int platPlatformId(void);  // 2 (NT path) unless KALU_PLATFORM_ID is 1
// Loads `name` through the ordinary DLL search (own folder, current folder,
// LD_LIBRARY_PATH, system folders; names matched without regard to case).
// Returns an opaque module or null with the host's text in errText.
void *platLibLoad(const char *name, char *errText, size_t errSize);
void *platLibSymbol(void *module, const char *symbol, char *errText, size_t errSize);
void platLibFree(void *module);

// ---- Processes and environment ------------------------------------------------
const char *platEnv(const char *name);  // null when unset or empty
int platExeFolder(char *out, size_t outSize);  // 1 ok
[[noreturn]] void platExitNow(int status);  // flushes stdout, ends at once

// ---- Local time -------------------------------------------------------------
struct PlatTime {
  int year, month, day, hour, minute, second;  // month 1..12
};
void platLocalTime(PlatTime *t);

// ---- Local names ------------------------------------------------------------
// Resolves a local path whose exact spelling is absent, component by
// component, to an existing entry that differs only in letter case (the first
// in byte order). Returns 1 with the result in out (the path unchanged when
// nothing matched), 0 when the result does not fit.
int platResolveCase(const char *path, char *out, size_t outSize);

// ---- Local files (every path goes through the case rule) ----------------------
// Opens a local file as fopen does ("rb", "wb"); a file created here gets
// mode 0777 less the umask (the original platform has no execute bit).
FILE *platOpenFile(const char *path, const char *mode);
int platDeleteFile(const char *path);     // 1 ok; a read-only file is not deleted
int platMakeFolder(const char *path);     // 1 ok
int platRemoveFolder(const char *path);   // 1 ok; only an empty folder
int platClearReadOnly(const char *path);  // 1 ok: owner read and write
int platIsReadOnly(const char *path);
int platIsFolder(const char *path);
int platFileSize(const char *path, uint64_t *size);  // 1 ok
int platChangeFolder(const char *path);   // 1 ok
struct PlatListEntry {
  std::string name;
  bool folder;
  bool readOnly;
};
// "." and ".." first, then the other entries sorted by their names compared
// after upper-casing a-z (ties by byte value). 0 when the folder cannot be listed.
int platListFolder(const char *path, std::vector<PlatListEntry> *entries);
// TEMP, else TMPDIR, else /tmp.
std::string platTempFolder(void);
int platFreeSpace(const char *folder, uint64_t *bytes);  // 1 ok

// ---- Private-profile (INI) files ------------------------------------------------
// Names match without regard to case, blanks around names and values are
// ignored, a missing file, section or key reads as `def`; the value is cut
// to outSize - 1 characters. Writing replaces the key's value, or adds the
// key (and its section), and leaves every other line as it was.
void platIniRead(const char *file, const char *section, const char *key, const char *def, char *out,
                 size_t outSize);
int platIniWrite(const char *file, const char *section, const char *key, const char *value);  // 1 ok

// ---- Processes and console ------------------------------------------------------
// Starts `program` with the argument list joined by single blanks into one
// command line, which the child receives split again by the original
// platform's rules (blanks separate, double quotes group), and waits for
// it. 1 with its exit code (128 + signal when a signal ended it), 0 when it
// could not be started.
int platRunProgram(const char *program, const std::vector<std::string> &args, int *exitCode);
std::vector<std::string> platSplitCommandLine(const std::string &line);
// printf to standard output, flushed, unless `quiet` (a program's silent mode).
void platSay(int quiet, const char *format, ...) __attribute__((format(printf, 2, 3)));
// One key from standard input, without echo and without Enter on a
// terminal; -1 at the end of input.
int platReadKey(void);
// One character of buffered line input; -1 at the end of input.
int platReadChar(void);
