// The core's entry: one block of audio through one filter channel in one configuration.
#pragma once

#include <cstdint>
#include <span>

#include "LadderState.h"

namespace vexa {

/// One block's samples, all of the same length (1.0 = 10 V). The output may be
/// the same buffer as any input: each position is read before it is written.
struct BlockIo {
    std::span<const float> signal;
    std::span<const float> pitch;      ///< 1 V/octave, 440 Hz at 0.5
    std::span<const float> resonance;  ///< 0 to 1
    std::span<const float> zing;       ///< read at its first sample only
    std::span<float> output;
};

/// The configuration a block runs in.
struct BlockConfig {
    int32_t poles = 0;      ///< a row of poleConfigs; any other value runs the first configuration
    bool highPass = false;  ///< ignored by the difference taps
};

using BlockFunction = void (*)(LadderState& state, const BlockIo& io);

/// The block function of a configuration: its sample loop, then the overload
/// envelope and the runaway guard. Chosen once per block, never per sample.
BlockFunction blockFunction(const BlockConfig& config);

/// Filters one block: `io.output` gets the filtered `io.signal`, `state` moves on.
inline void processBlock(LadderState& state, const BlockConfig& config, const BlockIo& io) {
    blockFunction(config)(state, io);
}

}  // namespace vexa
