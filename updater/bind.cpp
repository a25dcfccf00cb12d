// Binding of QvKalu.dll's exports by ordinal, through the library's ordinal
// table: the only name of the library the updater uses.
#include "updater.h"

KaLuExports kalu;

template <class F>
static void bindOrdinal(F *slot, int ordinal) {
  *slot = reinterpret_cast<F>(KaLu_ordinals[ordinal]);
}

void bindLibrary(void) {
  bindOrdinal(&kalu.isPresent, KALU_ORD_IS_PRESENT);
  bindOrdinal(&kalu.fopen, KALU_ORD_FOPEN);
  bindOrdinal(&kalu.fclose, KALU_ORD_FCLOSE);
  bindOrdinal(&kalu.fread, KALU_ORD_FREAD);
  bindOrdinal(&kalu.fwrite, KALU_ORD_FWRITE);
  bindOrdinal(&kalu.remove, KALU_ORD_DELETE);
  bindOrdinal(&kalu.rename, KALU_ORD_RENAME);
  bindOrdinal(&kalu.mkdir, KALU_ORD_MKDIR);
  bindOrdinal(&kalu.findfirstEx, KALU_ORD_FINDFIRSTEX);
  bindOrdinal(&kalu.findnextEx, KALU_ORD_FINDNEXTEX);
  bindOrdinal(&kalu.resetContents, KALU_ORD_RESETCONTENTS);
}
