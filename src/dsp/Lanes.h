// Four channels' samples in one SSE register, with the few operations the sample loop does on them.
#pragma once

#include <array>
#include <emmintrin.h>

#include "CoefficientUpdate.h"
#include "Saturator.h"

namespace vexa {

/// One float per channel in the four lanes of an SSE register. Every operation
/// rounds each lane exactly as the same operation on a float does, so a
/// channel's lane is bit for bit what its channel alone computes.
struct Lanes {
    __m128 v = _mm_setzero_ps();

    static constexpr std::size_t count = 4;

    Lanes() = default;
    explicit Lanes(__m128 value) : v(value) {}
    static Lanes all(float value) { return Lanes(_mm_set1_ps(value)); }
    static Lanes load(const std::array<float, count>& values) { return Lanes(_mm_loadu_ps(values.data())); }
    std::array<float, count> lanes() const {
        std::array<float, count> values;
        _mm_storeu_ps(values.data(), v);
        return values;
    }

    Lanes& operator*=(float factor) { return *this = Lanes(_mm_mul_ps(v, _mm_set1_ps(factor))); }
};

inline Lanes operator+(Lanes a, Lanes b) { return Lanes(_mm_add_ps(a.v, b.v)); }
inline Lanes operator-(Lanes a, Lanes b) { return Lanes(_mm_sub_ps(a.v, b.v)); }
inline Lanes operator*(Lanes a, Lanes b) { return Lanes(_mm_mul_ps(a.v, b.v)); }
inline Lanes operator+(Lanes a, float b) { return a + Lanes::all(b); }
inline Lanes operator*(float a, Lanes b) { return Lanes::all(a) * b; }
inline Lanes operator*(Lanes a, float b) { return a * Lanes::all(b); }

/// `v` held between `low` and `high` lane by lane, as heldBetween does (maxps
/// and minps select exactly as its two comparisons do).
inline Lanes heldBetween(Lanes v, float low, float high) {
    return Lanes(_mm_min_ps(_mm_max_ps(v.v, _mm_set1_ps(low)), _mm_set1_ps(high)));
}

/// The saturator lane by lane. As the float form's branches, the clamp is a
/// predicted branch taken only when a lane passes a knee, so that it adds
/// nothing to the chain of an ordinary signal.
inline Lanes sat(Lanes v, float knee) {
    const __m128 low = _mm_set1_ps(-knee);
    const __m128 high = _mm_set1_ps(knee);
    const __m128 below = _mm_cmplt_ps(v.v, low);
    const __m128 above = _mm_cmpgt_ps(v.v, high);
    __m128 clamped = v.v;
    if (_mm_movemask_ps(_mm_or_ps(below, above)) != 0) [[unlikely]] {
        const __m128 upper = _mm_or_ps(_mm_and_ps(above, high), _mm_andnot_ps(above, v.v));
        clamped = _mm_or_ps(_mm_and_ps(below, low), _mm_andnot_ps(below, upper));
    }
    return saturatorSlope * v + (2.0f * saturatorSlope) * Lanes(clamped);
}

/// Each lane as finiteOrZero leaves it.
inline Lanes finiteOrZero(Lanes v) {
    const __m128 finite = _mm_cmpeq_ps(_mm_sub_ps(v.v, v.v), _mm_setzero_ps());
    return Lanes(_mm_and_ps(finite, v.v));
}

}  // namespace vexa
