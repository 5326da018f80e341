// The control-rate update: Pitch, Resonance and Zing turned into pole coefficients and feedback.
#pragma once

#include <array>
#include <cstdint>

#include "Exp2.h"
#include "ResonanceCurve.h"

namespace vexa {

/// The four pole coefficients: `k` and its detuned copies.
enum class Coefficient : uint8_t { k, kA, kB, kC };
inline constexpr std::size_t coefficientCount = 4;

enum class Precision : uint8_t { single, double_ };

/// Results of one coefficient update, kept in locals by the block routines.
struct Coefficients {
    std::array<float, coefficientCount> q;  ///< k, kA, kB, kC
    float resFeedback;
};

/// Which coefficients a configuration computes, and which of them drive a pole
/// whose state is not saturated (those must stay inside the stable range).
struct CoefficientUse {
    std::array<bool, coefficientCount> computed;
    std::array<bool, coefficientCount> needsStableRange;
};

/// Per-configuration constants of the update.
struct UpdateParameters {
    double pitchOffset;           ///< subtracted from Pitch (1.0 = 10 V) before mapping
    Precision offsetPrecision;    ///< whether the offset is applied as a float or a double
    float pitchCeiling;           ///< 1.06 or 1.01: above it the cutoff is held at its maximum
    int32_t indexFloor;           ///< lowest curve index
    float resScale;               ///< factor on the interpolated curve value
    Precision multiplierPrecision;///< precision of the detuning multipliers for kA, kB, kC
    int32_t forcedUpdateInterval; ///< samples between unconditional updates, 0 for none
};

/// Cutoff limits in Hz, computed once when the library is loaded.
extern const float cutoffMin;
extern const float cutoffMax;
extern const float cutoffMaxAlt;

/// Lowest pole coefficient: the value of k at the lowest cutoff at 48 kHz. Below
/// it a pole without saturation in its state would sit outside the unit circle.
inline constexpr float stableCoefficientFloor = -0.99966f;
/// Highest coefficient of a pole without saturation in its state, the floor's
/// mirror. k reaches 0.998 at half the sample rate, so a detuned copy above 1
/// (1.0038 k below 43 kHz) would sit outside the unit circle and run away.
inline constexpr float stableCoefficientCeiling = 0.99966f;

namespace detail {
inline constexpr double referencePitch = 0.5;  // 5 V
inline constexpr double referenceHz = 440.0;  // the tuning at 5 V, fixed by the design
inline constexpr double voltsPerUnit = 10.0;  // 1.0 on a pin is 10 V, one octave per volt
inline constexpr float pitchFloor = 0.2f;     // 2 V: the lowest cutoff
// Pitch above which the cutoff is held, one of two per configuration: design values.
inline constexpr float standardCeiling = 1.06f;
inline constexpr float alternativeCeiling = 1.01f;
inline constexpr float highestNormalisedCutoff = 1.0f;  // half the sample rate
inline constexpr double curveSpan = 99.0;               // lookup position w = k * Zing * 99, by design
inline constexpr double feedbackFlushLevel = 3e-34;     // far below audibility, above the denormal range
// kA, kB and kC as detuned copies of k: design values, which give the ladder its width.
inline constexpr std::array<double, coefficientCount> detuning = {1.0, 0.994375, 1.0038, 1.000625};

inline double pitchToHz(float adjustedPitch) {
    return referenceHz * powerOfTwo(voltsPerUnit * (static_cast<double>(adjustedPitch) - referencePitch));
}
}  // namespace detail

/// Cutoff in Hz for an offset-adjusted pitch (1 V/octave, 440 Hz at 0.5).
inline float cutoffFrequency(float adjustedPitch, float pitchCeiling) {
    if (!(adjustedPitch > detail::pitchFloor)) return cutoffMin;
    if (adjustedPitch > pitchCeiling) return pitchCeiling == detail::alternativeCeiling ? cutoffMaxAlt : cutoffMax;
    return static_cast<float>(detail::pitchToHz(adjustedPitch));
}

/// Main pole coefficient for a cutoff given as a fraction of half the sample rate
/// (a cubic fit of the ladder's tuning curve).
inline float poleCoefficient(float d) { return 3.2937f * d - (0.69346f * d * d * d + 0.59515f * d * d) - 1.0072f; }

/// Curve position for the lookup: whole index (clamped) and its unclamped fraction.
struct CurvePosition {
    int32_t index;
    float fraction;
};

inline CurvePosition curvePosition(float w, int32_t indexFloor) {
    int32_t index = indexFloor;
    if (w >= static_cast<float>(SignedIndexTable::lastIndex + 1)) {
        index = SignedIndexTable::lastIndex;
    } else if (w >= static_cast<float>(indexFloor)) {
        // floor() of a value known to lie inside the curve, without a library call
        index = static_cast<int32_t>(w);
        if (static_cast<float>(index) > w) --index;
    }
    return {index, static_cast<float>(static_cast<double>(w) - index)};
}

/// Interpolated (or, outside the curve, extrapolated) curve value at a position.
inline double curveValue(CurvePosition position) {
    const double below = resonanceCurve[position.index - 1];
    const double at = resonanceCurve[position.index];
    return below + static_cast<double>(position.fraction) * (at - below);
}

/// `v` held between `low` and `high`: the one clamp of the update and the sample
/// loop, written as two selects that compile to a max and a min.
inline float heldBetween(float v, float low, float high) {
    const float above = v > low ? v : low;
    return above < high ? above : high;
}

/// The values a control input is read between (1.0 = 10 V). Finite values pass
/// as they are; an infinity stands for the edge it points to, so that a value
/// beyond the float range acts as the largest ones do instead of as 0.
struct ControlRange {
    float low;
    float high;

    /// A finite value held inside the range.
    float hold(float v) const { return heldBetween(v, low, high); }
};

/// Resonance as the feedback sees it: -12 V to 12 V, as far as modular signals
/// swing. A negative Resonance turns the feedback round (the loop latches onto a
/// rail); beyond 12 V either way the feedback would only grow the level.
inline constexpr ControlRange resonanceRange{-1.2f, 1.2f};

/// Zing as the update sees it: -12 V to 50 V. A negative Zing reads the curve
/// the other way round (more feedback at high cutoffs, less at low ones).
/// Beyond the range the lookup runs off the curve's ends and the extrapolated
/// feedback grows with Zing without bound.
inline constexpr ControlRange zingRange{-1.2f, 5.0f};

/// Turns one Pitch, Resonance and Zing reading into coefficients and resonance
/// feedback. All three are 32-bit samples in the volt convention; `freqScale`
/// is 2 / sample rate. Inline, so that a block routine's constant parameters
/// fold into it.
inline void updateCoefficients(const UpdateParameters& parameters, const CoefficientUse& use, float pitch,
                               float resonance, float zing, float freqScale, Coefficients& out) {
    // Single-precision steps round exactly as the same steps in double precision
    // rounded to float would; they keep the update's latency short.
    const float adjustedPitch = parameters.offsetPrecision == Precision::single
                                    ? pitch - static_cast<float>(parameters.pitchOffset)
                                    : static_cast<float>(static_cast<double>(pitch) - parameters.pitchOffset);
    const float cutoff = cutoffFrequency(adjustedPitch, parameters.pitchCeiling);
    float d = cutoff * freqScale;
    if (d > detail::highestNormalisedCutoff) d = detail::highestNormalisedCutoff;  // no fold-back above Nyquist
    float k = poleCoefficient(d);
    if (k < stableCoefficientFloor) k = stableCoefficientFloor;
    out.q[0] = k;
    for (std::size_t i = 1; i < coefficientCount; ++i) {
        if (!use.computed[i]) continue;
        float q = parameters.multiplierPrecision == Precision::single
                      ? static_cast<float>(detail::detuning[i]) * k
                      : static_cast<float>(detail::detuning[i] * k);
        if (use.needsStableRange[i]) {
            if (q < stableCoefficientFloor) q = stableCoefficientFloor;
            if (q > stableCoefficientCeiling) q = stableCoefficientCeiling;
        }
        out.q[i] = q;
    }
    const auto w = static_cast<float>(static_cast<double>(k) * zing * detail::curveSpan);
    const CurvePosition position = curvePosition(w, parameters.indexFloor);
    out.resFeedback =
        static_cast<float>(curveValue(position) * static_cast<double>(parameters.resScale) * resonanceRange.hold(resonance));
}

/// True when the feedback has decayed far below audibility (or is NaN) and is set to 0.
inline bool shouldFlushFeedback(float fb) {
    // Two comparisons rather than fabs(), which 32-bit x86 would do on the x87 stack.
    const double value = fb;
    return !(value >= detail::feedbackFlushLevel || value <= -detail::feedbackFlushLevel);
}

/// True when `v` is neither infinite nor NaN; cheap and free of library calls.
inline bool isFinite(float v) { return v - v == 0.0f; }
inline float finiteOrZero(float v) { return isFinite(v) ? v : 0.0f; }

/// Pitch: the boost follows it down to -12 V, the cutoff is held above 10.6 V.
inline constexpr ControlRange pitchRange{-1.2f, 1.1f};

/// A control sample with NaN read as 0 and infinities held at the range's edges.
inline float controlValue(float v, ControlRange range) {
    if (isFinite(v)) return v;
    if (v > 0.0f) return range.high;
    return v < 0.0f ? range.low : 0.0f;
}

}  // namespace vexa
