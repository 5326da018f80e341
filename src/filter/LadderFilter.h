// The filter module: its pins, state and choice of block routine.
#pragma once

#include <cstdint>

#include "filter/PinLayout.h"
#include "host/ModuleBase.h"

namespace vexa {

/// The resonant ladder filter module: seven pins, the filter state, and the
/// choice of block routine (one per pole configuration, or silence).
class LadderFilter : public ModuleBase {
public:
    LadderFilter(HostCallback callback, void* hostHandle);
    ~LadderFilter() override;

    void onPinStatusChange(Pin* pin) override;
    void open() override;
    bool getPinProperties(int32_t index, PinProperties* properties) override;

    static LadderFilter& fromObject(void* object) {
        return static_cast<LadderFilter&>(*ModuleBase::fromObject(object));
    }

    /// Clears the pole states, optionally keeping a fraction of the feedback,
    /// and makes the next processed sample start afresh.
    void resetState(float feedbackKept);
    /// freqScale from the host's sample rate, if that rate is usable.
    void updateFreqScale();

    // Pin variables, written by the host.
    float* signalIn = nullptr;     ///< Signal buffer (1.0 = 10 V)
    float* pitchIn = nullptr;      ///< Pitch buffer, 1 V/octave, 440 Hz at 0.5
    float* resonanceIn = nullptr;  ///< Resonance buffer, 0 to 1
    float* zingIn = nullptr;       ///< Zing buffer, read once per block
    int16_t poles = 0;             ///< Poles list value, 0 to 29
    int16_t type = 0;              ///< 0 low-pass, anything else high-pass
    float* output = nullptr;       ///< Output buffer

    // Filter state, worked on by the block routines.
    float outGain = 0.0f;
    int32_t silenceCountdown = 0;  ///< samples of silence left before sleep is requested
    float s1 = 0.0f, s2 = 0.0f, s3 = 0.0f, s4 = 0.0f, s5 = 0.0f;
    float fb = 0.0f;               ///< feedback carried to the next sample
    int32_t lastPoles = 0;
    float k = 0.0f, kA = 0.0f, kC = 0.0f, kB = 0.0f;
    float resFeedback = 0.0f;
    float lastPitch = 0.0f, lastResonance = 0.0f;
    float lastZing = 0.0f;  ///< Zing seen by the last coefficient update
    bool resetPending = true;
    float freqScale = 2.0f / 44100.0f;  ///< 2 / sample rate
    int32_t overloadCounter = 0;        ///< blocks left in the overload envelope

    bool buffersBound() const {
        return signalIn != nullptr && pitchIn != nullptr && resonanceIn != nullptr && zingIn != nullptr &&
               output != nullptr;
    }
};

/// Block routine while Signal is not streaming: zeros out, state held at reset.
extern "C" void VEXA_CALL silenceProcess(void* object, int32_t start, int32_t count);

}  // namespace vexa
