// Exports whose operations are not built yet. Each follows the lock
// protocol and fails with its failure value, leaving ERR_FAILED.
#include "kalu_core.h"

int KaLu_delete(const char *) { return lockedCall(-2, [] { return -2; }); }
int KaLu_rename(const char *, const char *) { return lockedCall(-2, [] { return -2; }); }
int KaLu_mkdir(const char *) { return lockedCall(-2, [] { return -2; }); }
int KaLu_rmdir(const char *) { return lockedCall(-2, [] { return -2; }); }
int KaLu_resetContents(void) { return lockedCall(-2, [] { return -2; }); }
