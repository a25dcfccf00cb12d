// Load-time entry of QvKalu.dll: attach when the shared object is loaded
// (before the program's main), detach when it is unloaded or the process
// exits. A failed attach fails the load: the process ends at once with
// status 66, the low byte of the original platform's "DLL initialisation
// failed", and nothing of the failed attach runs at exit.
#include "kalu_core.h"
#include "plat.h"

__attribute__((constructor)) static void libraryLoad(void) {
  if (!libraryAttach()) platExitNow(66);
}

__attribute__((destructor)) static void libraryUnload(void) { libraryDetach(); }
