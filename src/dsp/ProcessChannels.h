// The core's entry for several channels: one block through channels that share their controls and configuration.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "LadderState.h"
#include "ProcessBlock.h"

namespace vexa {

/// Most channels carried side by side in one sample loop; more run in groups of at most this many.
inline constexpr std::size_t maxChannelsPerLoop = 4;

/// One block of several channels: each its own signal and output, all with
/// the same controls (1.0 = 10 V). Every buffer holds `pitch.size()` samples.
struct ChannelsIo {
    std::span<const float* const> signals;  ///< one per channel
    std::span<float* const> outputs;        ///< one per channel; may be its own channel's signal
    std::span<const float> pitch;           ///< 1 V/octave, 440 Hz at 0.5
    std::span<const float> resonance;       ///< 0 to 1
    std::span<const float> zing;            ///< read at its first sample only
};

/// True when two channels' states agree on everything the coefficient update
/// reads and writes (its last inputs, its coefficients, the sample rate, a
/// pending reset), so that one update serves both. Channels started and
/// restarted together stay so; one restarted alone by the runaway guard
/// rejoins at the next update that sees the same inputs.
bool sharesUpdate(const LadderState& a, const LadderState& b);

/// Filters one block of every channel (`states[c]` with `io.signals[c]` into
/// `io.outputs[c]`): each channel's output and state end exactly as
/// processBlock leaves them for that channel alone. Channels whose states
/// share their update run together, one coefficient update for all and their
/// chains side by side in one loop; the others, and every channel when an
/// output overlaps another channel's buffers, run one after another.
void processChannels(std::span<LadderState> states, const BlockConfig& config, const ChannelsIo& io);

}  // namespace vexa
