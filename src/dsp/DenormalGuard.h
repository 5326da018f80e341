// Flush-to-zero and round-to-nearest for the span of a block, the caller's settings restored after.
#pragma once

#if defined(__SSE__) || defined(_M_X64) || defined(__x86_64__)
#include <xmmintrin.h>
#define VEXA_HAS_MXCSR 1
#endif

namespace vexa {

/// Flushes denormal results and operands to zero, and rounds to nearest, for
/// the lifetime of the guard, and restores the caller's floating-point settings
/// afterwards. Decaying states would otherwise fall into denormal numbers,
/// which cost the processor many times the usual time per operation; and the
/// filter sounds the same whatever rounding the host left behind.
class DenormalGuard {
public:
#ifdef VEXA_HAS_MXCSR
    // Writing the control register stalls the pipeline, so it is written only
    // when the caller's settings differ from ours.
    DenormalGuard() : saved(_mm_getcsr()), differs((saved & (flushBoth | rounding)) != flushBoth) {
        if (differs) _mm_setcsr((saved & ~rounding) | flushBoth);
    }
    ~DenormalGuard() {
        if (differs) _mm_setcsr(saved);
    }
#else
    DenormalGuard() = default;
#endif
    DenormalGuard(const DenormalGuard&) = delete;
    DenormalGuard& operator=(const DenormalGuard&) = delete;

private:
#ifdef VEXA_HAS_MXCSR
    static constexpr unsigned flushToZero = 0x8000;
    static constexpr unsigned denormalsAreZero = 0x0040;
    static constexpr unsigned flushBoth = flushToZero | denormalsAreZero;
    static constexpr unsigned rounding = 0x6000;  ///< rounding-mode field; 0 is round to nearest
    unsigned saved;
    bool differs;
#endif
};

}  // namespace vexa
