// The overload envelope and the runaway guard, run after every block.
#include "BlockTail.h"

#include <array>

#include "CoefficientUpdate.h"
#include "LadderState.h"

namespace vexa {

namespace {

// The overload envelope's shape, fixed by the design: it counts blocks, not time.
constexpr float overloadThreshold = 2.0f;  // 20 V on the first sample of a block
constexpr int32_t overloadFromRest = 128;  // blocks the envelope lasts when set off from rest
constexpr int32_t overloadRetrigger = 64;  // blocks it lasts at least when set off again
constexpr float overloadHold = 0.3f;       // gain between the fades
/// Fade from the edge of the envelope inwards: the first and last six blocks.
constexpr std::array<float, 6> overloadFade = {0.9f, 0.8f, 0.7f, 0.6f, 0.5f, 0.4f};
constexpr int32_t fadeLength = static_cast<int32_t>(overloadFade.size());

/// States beyond this magnitude count as overflowed: no audio path gets near it.
constexpr float stateLimit = 1e20f;

/// The host never receives more than 10 kV. The loudest output with every input
/// in its range is about 1.4 kV ("2-3:5f", 100 V noise at Zing 50 V); a huge
/// but finite Signal would otherwise pass through almost unchanged.
constexpr float outputCeiling = 1000.0f;

float withinCeiling(float v) {
    const float above = v > -outputCeiling ? v : -outputCeiling;
    return above < outputCeiling ? above : outputCeiling;
}

bool withinLimit(float v) { return v >= -stateLimit && v <= stateLimit; }

}  // namespace

float overloadFactor(int32_t counter) {
    if (counter > overloadFromRest - fadeLength) return overloadFade[static_cast<std::size_t>(overloadFromRest - counter)];
    if (counter <= fadeLength) return overloadFade[static_cast<std::size_t>(counter - 1)];
    return overloadHold;
}

void finishBlock(LadderState& state, float* output, int32_t count) {
    int32_t counter = state.overloadCounter;
    if (output[0] > overloadThreshold) {
        if (counter == 0) {
            counter = overloadFromRest;
        } else if (counter < overloadRetrigger) {
            counter = overloadRetrigger;
        }
    }
    if (counter != 0) {
        const float factor = overloadFactor(counter);
        for (int32_t i = 0; i < count; ++i) output[i] *= factor;
        --counter;
    }
    state.overloadCounter = counter;

    // Whatever the input did, the host only ever sees finite samples within the
    // ceiling, and a state that ran away is started afresh as at a change of
    // configuration.
    for (int32_t i = 0; i < count; ++i) output[i] = withinCeiling(finiteOrZero(output[i]));
    const bool stateSound = withinLimit(state.s[0]) && withinLimit(state.s[1]) && withinLimit(state.s[2]) &&
                            withinLimit(state.s[3]) && withinLimit(state.s[4]) && withinLimit(state.fb);
    if (!stateSound) state.restart(0.0f);
}

}  // namespace vexa
