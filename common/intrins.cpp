// Word-clear helpers built on the memory primitives.
#include "common/intrins.h"

#include "common/util2.h"

extern "C" {

AACD_EXPORT void AACD_fltclr(void *ptr, int32_t n) { myMemSet(ptr, 0, n * 4); }
AACD_EXPORT void AACD_lfractclr(void *ptr, int32_t n) { myMemSet(ptr, 0, n * 4); }

}  // extern "C"
