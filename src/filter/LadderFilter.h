// The filter module: the ladder core behind the host interface, with its pins, status and choice of block routine.
#pragma once

#include <cstdint>

#include "dsp/LadderState.h"
#include "dsp/ProcessBlock.h"
#include "filter/PinLayout.h"
#include "host/ModuleBase.h"

namespace vexa {

/// The resonant ladder filter module: seven pins, one filter state, and the
/// choice of block routine (one per pole configuration, or silence). The
/// sound is the core's (dsp/); this class is what the host sees of it.
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

    /// The state's freqScale from the host's sample rate, if that rate is usable.
    void updateFreqScale() { state.setSampleRate(getSampleRate()); }

    // Pin variables, written by the host.
    float* signalIn = nullptr;     ///< Signal buffer (1.0 = 10 V)
    float* pitchIn = nullptr;      ///< Pitch buffer, 1 V/octave, 440 Hz at 0.5
    float* resonanceIn = nullptr;  ///< Resonance buffer, 0 to 1
    float* zingIn = nullptr;       ///< Zing buffer, read once per block
    int16_t poles = 0;             ///< Poles list value: a row of the configuration table
    int16_t type = 0;              ///< 0 low-pass, anything else high-pass
    float* output = nullptr;       ///< Output buffer

    LadderState state;             ///< worked on by the block routines
    int32_t silenceCountdown = 0;  ///< samples of silence left before sleep is requested
    int32_t lastPoles = 0;         ///< the Poles value the state was last reset for

    bool buffersBound() const {
        return signalIn != nullptr && pitchIn != nullptr && resonanceIn != nullptr && zingIn != nullptr &&
               output != nullptr;
    }

    /// The pin buffers' samples `start` to `start + count - 1` (count above 0).
    BlockIo blockAt(int32_t start, int32_t count) const {
        const auto n = static_cast<std::size_t>(count);
        return {{signalIn + start, n}, {pitchIn + start, n}, {resonanceIn + start, n}, {zingIn + start, n},
                {output + start, n}};
    }
};

/// The block routine of a Poles value; values outside the table run the first configuration.
SubProcess selectKernel(int32_t poles);

/// Block routine while Signal is not streaming: zeros out, state held at reset.
extern "C" void VEXA_CALL silenceProcess(void* object, int32_t start, int32_t count);

}  // namespace vexa
