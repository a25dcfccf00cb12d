// Exports whose operations are not built yet. Each follows the lock
// protocol and fails with its failure value, leaving ERR_FAILED.
#include "kalu_core.h"

KALU_HANDLE KaLu_fopen(const char *, const char *) { return lockedCall<KALU_HANDLE>(nullptr, [] { return (KALU_HANDLE) nullptr; }); }
int KaLu_fclose(KALU_HANDLE) { return lockedCall(-2, [] { return -2; }); }
int KaLu_fread(void *, unsigned int, int, KALU_HANDLE) { return lockedCall(-2, [] { return -2; }); }
int KaLu_fwrite(const void *, unsigned int, int, KALU_HANDLE) { return lockedCall(-2, [] { return -2; }); }
int KaLu_fgetc(KALU_HANDLE h) {
  unsigned char c;
  int r = KaLu_fread(&c, 1, 1, h);
  return r == 1 ? c : r;
}
int KaLu_fputc(int character, KALU_HANDLE h) {
  unsigned char c = (unsigned char)character;
  int r = KaLu_fwrite(&c, 1, 1, h);
  return r == 1 ? character : r;
}
int KaLu_delete(const char *) { return lockedCall(-2, [] { return -2; }); }
int KaLu_rename(const char *, const char *) { return lockedCall(-2, [] { return -2; }); }
int KaLu_findfirst(const char *, char *, SearchRecord *) { return lockedCall(0, [] { return 0; }); }
int KaLu_findnext(char *, SearchRecord *) { return lockedCall(0, [] { return 0; }); }
int KaLu_mkdir(const char *) { return lockedCall(-2, [] { return -2; }); }
int KaLu_findfirstEx(const char *, int, FindRecord *) { return lockedCall(-1, [] { return -1; }); }
int KaLu_findnextEx(FindRecord *) { return lockedCall(-1, [] { return -1; }); }
int KaLu_rmdir(const char *) { return lockedCall(-2, [] { return -2; }); }
int KaLu_resetContents(void) { return lockedCall(-2, [] { return -2; }); }
