#pragma once

#if defined(__SSE__) || defined(_M_X64) || defined(__x86_64__)
#include <xmmintrin.h>
#define VEXA_HAS_MXCSR 1
#endif

namespace vexa {

/// Flushes denormal results and operands to zero for the lifetime of the guard
/// and restores the caller's floating-point settings afterwards. Decaying
/// states would otherwise fall into denormal numbers, which cost the processor
/// many times the usual time per operation.
class DenormalGuard {
public:
#ifdef VEXA_HAS_MXCSR
    DenormalGuard() : saved(_mm_getcsr()) { _mm_setcsr(saved | flushToZero | denormalsAreZero); }
    ~DenormalGuard() { _mm_setcsr(saved); }
#else
    DenormalGuard() = default;
#endif
    DenormalGuard(const DenormalGuard&) = delete;
    DenormalGuard& operator=(const DenormalGuard&) = delete;

private:
#ifdef VEXA_HAS_MXCSR
    static constexpr unsigned flushToZero = 0x8000;
    static constexpr unsigned denormalsAreZero = 0x0040;
    unsigned saved;
#endif
};

}  // namespace vexa
