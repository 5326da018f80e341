#pragma once

#include <array>
#include <cstddef>
#include <utility>

#include "filter/CoefficientUpdate.h"
#include "filter/LadderFilter.h"
#include "filter/PoleConfigs.h"
#include "filter/Saturator.h"

namespace vexa {

/// Candidate positions of the coefficient update are every this many samples,
/// counted back from the block's last sample.
inline constexpr int32_t updateInterval = 12;

/// Pitch (1.0 = 10 V) below which the tapped value is boosted.
inline constexpr float boostPitch = 0.5f;
/// Lowest Pitch the boost follows: -12 V, as far as modular control voltages
/// swing. The cutoff stopped falling at 2 V long before, and below this the
/// boost would only grow the level without limit as Pitch falls.
inline constexpr float boostPitchFloor = -1.2f;
inline constexpr float boostDepthLimit = boostPitch - boostPitchFloor;
/// Soft feedback y * (y * 0.02 + 1) turns at y = -25; beyond that it would fall
/// again and change sign, so its argument is held there. Above +25 it would
/// grow with the square of a loop without saturators (the light members) and
/// run away, so it is held at +25 as well; ordinary signals never get there.
inline constexpr float softFeedbackCurve = 0.02f;
inline constexpr float softFeedbackTurn = -25.0f;
inline constexpr float softFeedbackCeiling = 25.0f;

/// Scale of the entry step u = (x - fb) * 0.5, applied inside the first pole.
inline constexpr float entryScale = 0.5f;

/// The rest of a pole once its recursion value v = in + q * (in - s) is known:
/// returns the pole's output and advances its state. A linear pole's output
/// s + v is formed as (1 + q) * in + (1 - q) * s, one step shorter.
template <StageForm Form>
inline float finishPole(float v, float in, float q, float& state, float inKnee, float outKnee) {
    if constexpr (Form == StageForm::saturating) {
        const float a = sat(v, inKnee);
        float y = state + a;
        if (outKnee != none) y = sat(y, outKnee);
        state = a;
        return y;
    } else if constexpr (Form == StageForm::outputKneeOnly) {
        const float y = sat(state + v, outKnee);
        state = v;
        return y;
    } else {
        const float y = (1.0f + q) * in + (1.0f - q) * state;
        state = v;
        return y;
    }
}

/// The recursion of a pole, evaluated as (1 + q) * in - q * s so that q * s
/// stays off the sample-to-sample path.
inline float poleRecursion(float in, float q, float state) { return (1.0f + q) * in - q * state; }

/// The first pole's recursion on the entry value u = (x - fb) * 0.5, with the
/// halving and the input sample folded into terms known before fb is.
inline float entryRecursion(float x, float fb, float q, float state) {
    const float inputGain = (1.0f + q) * entryScale;
    return (inputGain * x - q * state) - inputGain * fb;
}

inline constexpr std::array<float LadderFilter::*, maxPoles> stateFields = {
    &LadderFilter::s1, &LadderFilter::s2, &LadderFilter::s3, &LadderFilter::s4, &LadderFilter::s5};
inline constexpr std::array<float LadderFilter::*, coefficientCount> coefficientFields = {
    &LadderFilter::k, &LadderFilter::kA, &LadderFilter::kB, &LadderFilter::kC};

/// The coefficient update of configuration `Poles`, with its parameters folded
/// in. Kept out of the sample loop: it runs at most every twelfth sample, and
/// inlined it would crowd the loop's registers (and on 32-bit x86 bring the
/// power function's x87 return into the block code).
template <std::size_t Poles>
[[gnu::noinline]] void updateFor(float pitch, float resonance, float zing, float freqScale, Coefficients& c) {
    constexpr const PoleConfig& config = poleConfigs[Poles];
    constexpr CoefficientUse use = config.coefficientUse();
    updateCoefficients(config.update, use, pitch, resonance, zing, freqScale, c);
}

/// Processes one block of configuration `Poles`. Everything the loop touches
/// lives in locals; the configuration's chain is unrolled at compile time.
template <std::size_t Poles, bool HighPass>
void processBlock(LadderFilter& filter, int32_t start, int32_t count) {
    constexpr const PoleConfig& config = poleConfigs[Poles];
    constexpr std::size_t poleCount = config.poleCount();
    constexpr std::size_t tap = config.tap();
    constexpr std::size_t feedbackPole = config.feedbackPole();
    constexpr int32_t forcedInterval = config.update.forcedUpdateInterval;
    // Linear feedback of the boosted tap: the boost joins the feedback gain,
    // one multiplication less between one sample and the next.
    constexpr bool linearFeedbackFromTap = config.feedback == FeedbackForm::linear && feedbackPole == tap;

    const float* const signal = filter.signalIn + start;
    const float* const pitch = filter.pitchIn + start;
    const float* const resonance = filter.resonanceIn + start;
    float* const out = filter.output + start;
    const float zing = controlValue(filter.zingIn[start], zingRange);
    const float freqScale = filter.freqScale;
    const float outGain = filter.outGain;

    std::array<float, poleCount> s;
    for (std::size_t i = 0; i < poleCount; ++i) s[i] = filter.*stateFields[i];
    Coefficients c{};
    for (std::size_t i = 0; i < coefficientCount; ++i) c.q[i] = filter.*coefficientFields[i];
    c.resFeedback = filter.resFeedback;
    float fb = filter.fb;
    float lastPitch = filter.lastPitch;
    float lastResonance = filter.lastResonance;
    float lastZing = filter.lastZing;
    bool resetPending = filter.resetPending;

    int32_t nextCandidate = (count - 1) % updateInterval;
    for (int32_t i = 0; i < count; ++i) {
        float x = finiteOrZero(signal[i]);
        const float p = controlValue(pitch[i], pitchRange);
        const float r = controlValue(resonance[i], resonanceRange);
        if (i == nextCandidate || resetPending) {
            bool due = resetPending;
            if (i == nextCandidate) {
                nextCandidate += updateInterval;
                due = due || p != lastPitch || r != lastResonance;
                if constexpr (forcedInterval != 0) due = due || (count - 1 - i) % forcedInterval == 0;
            }
            if (due) {
                // A forced update with the inputs of the last one would compute the
                // same coefficients again: only its feedback flush is left to do.
                const bool sameInputs = !resetPending && p == lastPitch && r == lastResonance && zing == lastZing;
                lastPitch = p;
                lastResonance = r;
                lastZing = zing;
                if (!sameInputs) updateFor<Poles>(p, r, zing, freqScale, c);
                if (shouldFlushFeedback(fb)) fb = 0.0f;
                if (resetPending) {
                    resetPending = false;
                    x *= 0.5f;
                }
            }
        }

        float below = boostPitch - p;
        below = below > 0.0f ? below : 0.0f;
        below = below < boostDepthLimit ? below : boostDepthLimit;
        const float boost = below * config.boostSlope + 1.0f;

        float signalOut = 0.0f;
        float fedBack = 0.0f;
        float y = 0.0f;
        [&]<std::size_t... I>(std::index_sequence<I...>) {
            (
                [&] {
                    constexpr PoleStage stage = config.chain.stages[I];
                    const float q = c.q[static_cast<std::size_t>(stage.coefficient)];
                    if constexpr (I == 0) {
                        static_assert(stage.form != StageForm::linear, "the first pole saturates");
                        y = finishPole<stage.form>(entryRecursion(x, fb, q, s[I]), 0.0f, q, s[I], stage.inKnee,
                                                   stage.outKnee);
                    } else {
                        y = finishPole<stage.form>(poleRecursion(y, q, s[I]), y, q, s[I], stage.inKnee,
                                                   stage.outKnee);
                    }
                    if constexpr (I + 1 == tap) {
                        if constexpr (linearFeedbackFromTap) fedBack = y;  // boosted below, with the feedback gain
                        y *= boost;
                        if constexpr (config.routing.output == OutputForm::difference) {
                            signalOut = outGain * (2.0f * s[config.routing.differencePole - 1] - y);
                        } else if constexpr (HighPass) {
                            signalOut = outGain * (x - y);
                        } else {
                            signalOut = outGain * y;
                        }
                    }
                    if constexpr (I + 1 == feedbackPole && !linearFeedbackFromTap) fedBack = y;
                }(),
                ...);
        }(std::make_index_sequence<poleCount>{});
        out[i] = signalOut;

        if constexpr (config.feedback == FeedbackForm::soft) {
            float held = fedBack > softFeedbackTurn ? fedBack : softFeedbackTurn;
            held = held < softFeedbackCeiling ? held : softFeedbackCeiling;
            fb = held * (held * softFeedbackCurve + 1.0f) * c.resFeedback;
        } else if constexpr (linearFeedbackFromTap) {
            fb = fedBack * (boost * c.resFeedback);
        } else {
            fb = fedBack * c.resFeedback;
        }
    }

    for (std::size_t i = 0; i < poleCount; ++i) filter.*stateFields[i] = s[i];
    for (std::size_t i = 0; i < coefficientCount; ++i) filter.*coefficientFields[i] = c.q[i];
    filter.resFeedback = c.resFeedback;
    filter.fb = fb;
    filter.lastPitch = lastPitch;
    filter.lastResonance = lastResonance;
    filter.lastZing = lastZing;
    filter.resetPending = resetPending;
}

}  // namespace vexa
