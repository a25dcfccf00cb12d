/* kalu_api.h - the file interface of QvKalu.dll to the hidden utility
 * partition: every export by name, the search records that cross the
 * library's boundary, and the ordinal table through which the updater binds.
 *
 * Results: a handle or NULL; a count, or 0 on success; -1 when nothing was
 * found, at the end of a file or search, or when the partition is full; -2
 * for a lock not obtained, an invalid argument or a disk failure.
 * KaLu_getLastError() then tells 0 (none), 1 (failed) or 2 (in use). */
#ifndef KALU_API_H
#define KALU_API_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(KALU_BUILDING)
#define KALU_EXPORT __attribute__((visibility("default")))
#else
#define KALU_EXPORT
#endif

/* A handle is the address of an open-file slot in this process's view of
 * the shared block: pointer-sized, valid only in the opening process. */
typedef void *KALU_HANDLE;

#pragma pack(push, 1)
/* State of a simple search of the root directory (15 bytes). lastMatch is
 * opaque to the caller. */
typedef struct SearchRecord {
  uint32_t lastMatch;
  char pattern[11];
} SearchRecord;

/* State and result of an extended search (57 bytes, fixed offsets). */
typedef struct FindRecord {
  char pattern[11];               /* 0 */
  uint8_t wantAttr;               /* 11 */
  uint16_t entryIndex;            /* 12 */
  uint16_t windowCluster;         /* 14 */
  uint32_t windowSector;          /* 16 */
  uint32_t windowSectorInCluster; /* 20 */
  uint16_t windowFirstCluster;    /* 24 */
  uint8_t reserved26[2];          /* 26: not written */
  uint32_t inRoot;                /* 28 */
  uint8_t attrib;                 /* 32 */
  uint8_t reserved33;             /* 33: not written */
  uint16_t time;                  /* 34 */
  uint16_t date;                  /* 36 */
  uint8_t reserved38[2];          /* 38: not written */
  uint32_t size;                  /* 40 */
  char name[13];                  /* 44 */
} FindRecord;
#pragma pack(pop)

KALU_EXPORT int KaLu_is_present(void);
KALU_EXPORT KALU_HANDLE KaLu_fopen(const char *path, const char *mode);
KALU_EXPORT int KaLu_fclose(KALU_HANDLE handle);
KALU_EXPORT int KaLu_fgetc(KALU_HANDLE handle);
KALU_EXPORT int KaLu_fputc(int character, KALU_HANDLE handle);
KALU_EXPORT int KaLu_fread(void *buffer, unsigned int size, int count, KALU_HANDLE handle);
KALU_EXPORT int KaLu_fwrite(const void *buffer, unsigned int size, int count, KALU_HANDLE handle);
KALU_EXPORT int KaLu_delete(const char *path);
KALU_EXPORT int KaLu_rename(const char *oldPath, const char *newName);
KALU_EXPORT int KaLu_findfirst(const char *pattern, char *name, SearchRecord *record);
KALU_EXPORT int KaLu_findnext(char *name, SearchRecord *record);
KALU_EXPORT int KaLu_mkdir(const char *path);
KALU_EXPORT int KaLu_findfirstEx(const char *path, int attr, FindRecord *record);
KALU_EXPORT int KaLu_findnextEx(FindRecord *record);
KALU_EXPORT int KaLu_rmdir(const char *path);
KALU_EXPORT int KaLu_resetContents(void);
KALU_EXPORT int KaLu_getLastError(void);

/* The standard-calling-convention twins (ordinal + 17) forward unchanged;
 * this host has one calling convention. */
KALU_EXPORT int waKaLu_is_present(void);
KALU_EXPORT KALU_HANDLE waKaLu_fopen(const char *path, const char *mode);
KALU_EXPORT int waKaLu_fclose(KALU_HANDLE handle);
KALU_EXPORT int waKaLu_fgetc(KALU_HANDLE handle);
KALU_EXPORT int waKaLu_fputc(int character, KALU_HANDLE handle);
KALU_EXPORT int waKaLu_fread(void *buffer, unsigned int size, int count, KALU_HANDLE handle);
KALU_EXPORT int waKaLu_fwrite(const void *buffer, unsigned int size, int count, KALU_HANDLE handle);
KALU_EXPORT int waKaLu_delete(const char *path);
KALU_EXPORT int waKaLu_rename(const char *oldPath, const char *newName);
KALU_EXPORT int waKaLu_findfirst(const char *pattern, char *name, SearchRecord *record);
KALU_EXPORT int waKaLu_findnext(char *name, SearchRecord *record);
KALU_EXPORT int waKaLu_mkdir(const char *path);
KALU_EXPORT int waKaLu_findfirstEx(const char *path, int attr, FindRecord *record);
KALU_EXPORT int waKaLu_findnextEx(FindRecord *record);
KALU_EXPORT int waKaLu_rmdir(const char *path);
KALU_EXPORT int waKaLu_resetContents(void);
KALU_EXPORT int waKaLu_getLastError(void);

/* Ordinals: KaLu_ordinals[n] is the export of ordinal n (1 to 34); entry 0
 * is null. The updater binds through this table only. */
typedef void (*KaLuProc)(void);
enum { KALU_ORDINAL_COUNT = 34 };
KALU_EXPORT extern const KaLuProc KaLu_ordinals[KALU_ORDINAL_COUNT + 1];

enum {
  KALU_ORD_IS_PRESENT = 1, KALU_ORD_FOPEN, KALU_ORD_FCLOSE, KALU_ORD_FGETC, KALU_ORD_FPUTC,
  KALU_ORD_FREAD, KALU_ORD_FWRITE, KALU_ORD_DELETE, KALU_ORD_RENAME, KALU_ORD_FINDFIRST,
  KALU_ORD_FINDNEXT, KALU_ORD_MKDIR, KALU_ORD_FINDFIRSTEX, KALU_ORD_FINDNEXTEX, KALU_ORD_RMDIR,
  KALU_ORD_RESETCONTENTS, KALU_ORD_GETLASTERROR
};

#ifdef __cplusplus
}
#endif

#endif
