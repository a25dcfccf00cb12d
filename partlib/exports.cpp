// The export table: KaLu_getLastError, the standard-calling-convention twins
// (ordinal + 17, forwarding unchanged: this host has one convention) and the
// ordinal table through which the updater binds.
#include "kalu_core.h"

int KaLu_getLastError(void) { return lastErrorCode; }

int waKaLu_is_present(void) { return KaLu_is_present(); }
KALU_HANDLE waKaLu_fopen(const char *path, const char *mode) { return KaLu_fopen(path, mode); }
int waKaLu_fclose(KALU_HANDLE h) { return KaLu_fclose(h); }
int waKaLu_fgetc(KALU_HANDLE h) { return KaLu_fgetc(h); }
int waKaLu_fputc(int c, KALU_HANDLE h) { return KaLu_fputc(c, h); }
int waKaLu_fread(void *b, unsigned int s, int n, KALU_HANDLE h) { return KaLu_fread(b, s, n, h); }
int waKaLu_fwrite(const void *b, unsigned int s, int n, KALU_HANDLE h) { return KaLu_fwrite(b, s, n, h); }
int waKaLu_delete(const char *path) { return KaLu_delete(path); }
int waKaLu_rename(const char *o, const char *n) { return KaLu_rename(o, n); }
int waKaLu_findfirst(const char *p, char *name, SearchRecord *r) { return KaLu_findfirst(p, name, r); }
int waKaLu_findnext(char *name, SearchRecord *r) { return KaLu_findnext(name, r); }
int waKaLu_mkdir(const char *path) { return KaLu_mkdir(path); }
int waKaLu_findfirstEx(const char *p, int a, FindRecord *r) { return KaLu_findfirstEx(p, a, r); }
int waKaLu_findnextEx(FindRecord *r) { return KaLu_findnextEx(r); }
int waKaLu_rmdir(const char *path) { return KaLu_rmdir(path); }
int waKaLu_resetContents(void) { return KaLu_resetContents(); }
int waKaLu_getLastError(void) { return KaLu_getLastError(); }

#define ORD(f) reinterpret_cast<KaLuProc>(&f)
const KaLuProc KaLu_ordinals[KALU_ORDINAL_COUNT + 1] = {
    nullptr,
    ORD(KaLu_is_present), ORD(KaLu_fopen), ORD(KaLu_fclose), ORD(KaLu_fgetc), ORD(KaLu_fputc),
    ORD(KaLu_fread), ORD(KaLu_fwrite), ORD(KaLu_delete), ORD(KaLu_rename), ORD(KaLu_findfirst),
    ORD(KaLu_findnext), ORD(KaLu_mkdir), ORD(KaLu_findfirstEx), ORD(KaLu_findnextEx), ORD(KaLu_rmdir),
    ORD(KaLu_resetContents), ORD(KaLu_getLastError),
    ORD(waKaLu_is_present), ORD(waKaLu_fopen), ORD(waKaLu_fclose), ORD(waKaLu_fgetc), ORD(waKaLu_fputc),
    ORD(waKaLu_fread), ORD(waKaLu_fwrite), ORD(waKaLu_delete), ORD(waKaLu_rename), ORD(waKaLu_findfirst),
    ORD(waKaLu_findnext), ORD(waKaLu_mkdir), ORD(waKaLu_findfirstEx), ORD(waKaLu_findnextEx),
    ORD(waKaLu_rmdir), ORD(waKaLu_resetContents), ORD(waKaLu_getLastError),
};
