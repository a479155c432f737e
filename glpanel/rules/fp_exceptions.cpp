#include "glpanel/rules/fp_exceptions.h"

#include <cfenv>
#if defined(__x86_64__) || defined(__i386__)
#include <xmmintrin.h>
#endif

namespace m797::gl {

void maskFloatingPointExceptions() {
#if defined(__GLIBC__)
    fedisableexcept(FE_ALL_EXCEPT);
#endif
#if defined(__x86_64__) || defined(__i386__)
    // The denormal-operand kind is x86's own and outside FE_ALL_EXCEPT.
    _mm_setcsr(_mm_getcsr() | 0x1F80u);
    unsigned short x87 = 0;
    __asm__ volatile("fnstcw %0" : "=m"(x87));
    x87 |= 0x3Fu;
    __asm__ volatile("fldcw %0" : : "m"(x87));
#endif
}

}  // namespace m797::gl
