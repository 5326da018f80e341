#include "CoefficientUpdate.h"

#include <cmath>

#include "ResonanceCurve.h"

namespace vexa {

namespace {

constexpr double referencePitch = 0.5;   // 5 V
constexpr double referenceHz = 440.0;
constexpr double voltsPerUnit = 10.0;    // 1.0 on a pin is 10 V, one octave per volt
constexpr float pitchFloor = 0.2f;       // 2 V: the lowest cutoff
constexpr float alternativeCeiling = 1.01f;
constexpr float highestNormalisedCutoff = 1.0f;  // half the sample rate
constexpr double curveSpan = 99.0;

constexpr std::array<double, coefficientCount> detuning = {1.0, 0.994375, 1.0038, 1.000625};

double pitchToHz(float adjustedPitch) {
    return referenceHz * std::pow(2.0, voltsPerUnit * (static_cast<double>(adjustedPitch) - referencePitch));
}

constexpr double feedbackFlushLevel = 3e-34;

}  // namespace

const float cutoffMin = static_cast<float>(pitchToHz(pitchFloor));
const float cutoffMax = static_cast<float>(pitchToHz(1.06f));
const float cutoffMaxAlt = static_cast<float>(pitchToHz(alternativeCeiling));

float cutoffFrequency(float adjustedPitch, float pitchCeiling) {
    if (!(adjustedPitch > pitchFloor)) return cutoffMin;
    if (adjustedPitch > pitchCeiling) return pitchCeiling == alternativeCeiling ? cutoffMaxAlt : cutoffMax;
    return static_cast<float>(pitchToHz(adjustedPitch));
}

float poleCoefficient(float d) {
    // Cubic fit of the Stilson/Smith tuning curve.
    const double dd = d;
    return static_cast<float>(3.2937f * dd - (0.69346f * dd * dd * dd + 0.59515f * dd * dd) - 1.0072f);
}

CurvePosition curvePosition(float w, int32_t indexFloor) {
    int32_t index = indexFloor;
    if (w >= static_cast<float>(SignedIndexTable::lastIndex + 1)) {
        index = SignedIndexTable::lastIndex;
    } else if (w >= static_cast<float>(indexFloor)) {
        index = static_cast<int32_t>(std::floor(w));
    }
    return {index, static_cast<float>(static_cast<double>(w) - index)};
}

double curveValue(CurvePosition position) {
    const double below = resonanceCurve[position.index - 1];
    const double at = resonanceCurve[position.index];
    return below + static_cast<double>(position.fraction) * (at - below);
}

void updateCoefficients(const UpdateParameters& parameters, const CoefficientUse& use, float pitch,
                        float resonance, float zing, float freqScale, Coefficients& out) {
    const double offset = parameters.offsetPrecision == Precision::single
                              ? static_cast<double>(static_cast<float>(parameters.pitchOffset))
                              : parameters.pitchOffset;
    const auto adjustedPitch = static_cast<float>(static_cast<double>(pitch) - offset);
    const float cutoff = cutoffFrequency(adjustedPitch, parameters.pitchCeiling);
    float d = static_cast<float>(static_cast<double>(cutoff) * freqScale);
    if (d > highestNormalisedCutoff) d = highestNormalisedCutoff;  // no fold-back above Nyquist
    float k = poleCoefficient(d);
    if (k < stableCoefficientFloor) k = stableCoefficientFloor;
    out.q[0] = k;
    for (std::size_t i = 1; i < coefficientCount; ++i) {
        if (!use.computed[i]) continue;
        float q = parameters.multiplierPrecision == Precision::single
                      ? static_cast<float>(detuning[i]) * k
                      : static_cast<float>(detuning[i] * k);
        if (use.needsStableFloor[i] && q < stableCoefficientFloor) q = stableCoefficientFloor;
        out.q[i] = q;
    }
    const auto w = static_cast<float>(static_cast<double>(k) * zing * curveSpan);
    const CurvePosition position = curvePosition(w, parameters.indexFloor);
    out.resFeedback =
        static_cast<float>(curveValue(position) * static_cast<double>(parameters.resScale) * resonance);
}

bool shouldFlushFeedback(float fb) { return !(std::fabs(static_cast<double>(fb)) >= feedbackFlushLevel); }

}  // namespace vexa
