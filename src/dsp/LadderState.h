// What one ladder filter carries from sample to sample and from block to block.
#pragma once

#include <array>
#include <cstdint>

#include "CoefficientUpdate.h"
#include "PoleConfig.h"

namespace vexa {

/// The whole state of one filter channel. The block functions read and write
/// nothing else; a host adapter or a plug-in keeps one per channel.
struct LadderState {
    std::array<float, maxPoles> s{};  ///< pole states s1 to s5 (1.0 = 10 V)
    float fb = 0.0f;                  ///< feedback carried to the next sample
    Coefficients coefficients{};      ///< k, kA, kB, kC in `Coefficient` order, and resFeedback
    float lastPitch = 0.0f;           ///< Pitch seen by the last coefficient update (1.0 = 10 V)
    float lastResonance = 0.0f;       ///< Resonance seen by the last coefficient update
    float lastZing = 0.0f;            ///< Zing seen by the last coefficient update
    bool resetPending = true;         ///< the next sample updates the coefficients and enters at half level
    float freqScale = 2.0f / 44100.0f;  ///< 2 / sample rate in Hz
    int32_t overloadCounter = 0;        ///< blocks left in the overload envelope

    /// As a freshly opened filter: silent, the overload envelope off, and the
    /// coefficient update's start values (never heard: the first sample updates).
    void start();
    /// Clears the pole states, keeps `feedbackKept` of the feedback, and makes
    /// the next processed sample start afresh.
    void restart(float feedbackKept);
    /// freqScale from a sample rate in Hz, if that rate is usable (finite, above 0).
    void setSampleRate(float rate);

    /// Values the coefficient update starts from before its first run (design values).
    static constexpr float initialLastPitch = 200.0f;
    static constexpr float initialLastResonance = 0.3f;
    static constexpr float initialK = 0.5f;
    static constexpr float initialResFeedback = 0.3f;
    /// Share of the feedback kept across a change of configuration (a design value).
    static constexpr float feedbackKeptOnSwitch = 0.2f;
};

inline void LadderState::restart(float feedbackKept) {
    s.fill(0.0f);
    fb = feedbackKept == 0.0f ? 0.0f : fb * feedbackKept;
    resetPending = true;
}

inline void LadderState::start() {
    restart(0.0f);
    overloadCounter = 0;
    lastPitch = initialLastPitch;
    lastResonance = initialLastResonance;
    coefficients.q[static_cast<std::size_t>(Coefficient::k)] = initialK;
    coefficients.resFeedback = initialResFeedback;
}

inline void LadderState::setSampleRate(float rate) {
    if (isFinite(rate) && rate > 0.0f) freqScale = 2.0f / rate;
}

}  // namespace vexa
