#pragma once

#include <array>
#include <cstdint>

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
    std::array<bool, coefficientCount> needsStableFloor;
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

/// Cutoff in Hz for an offset-adjusted pitch (1 V/octave, 440 Hz at 0.5).
float cutoffFrequency(float adjustedPitch, float pitchCeiling);

/// Main pole coefficient for a cutoff given as a fraction of half the sample rate.
float poleCoefficient(float normalisedCutoff);

/// Curve position for the lookup: whole index (clamped) and its unclamped fraction.
struct CurvePosition {
    int32_t index;
    float fraction;
};
CurvePosition curvePosition(float w, int32_t indexFloor);

/// Interpolated (or, outside the curve, extrapolated) curve value at a position.
double curveValue(CurvePosition position);

/// Turns one Pitch, Resonance and Zing reading into coefficients and resonance
/// feedback. All three are 32-bit samples in the volt convention; `freqScale`
/// is 2 / sample rate.
void updateCoefficients(const UpdateParameters& parameters, const CoefficientUse& use, float pitch,
                        float resonance, float zing, float freqScale, Coefficients& out);

/// True when the feedback has decayed far below audibility (or is NaN) and is set to 0.
bool shouldFlushFeedback(float fb);

/// True when `v` is neither infinite nor NaN; cheap and free of library calls.
inline bool isFinite(float v) { return v - v == 0.0f; }
inline float finiteOrZero(float v) { return isFinite(v) ? v : 0.0f; }

}  // namespace vexa
