// A damaged raw-sector DLL for tests: it exports the read routine only when
// built with SKTRAW_WITH_READ, and never the write routine.
#include <cstdint>

#ifdef SKTRAW_WITH_READ
extern "C" __attribute__((visibility("default"))) int CallReadPhysicalSector1(uint32_t, void *) { return 0; }
#endif
extern "C" __attribute__((visibility("default"))) int SktrawPartialMarker(void) { return 1; }
