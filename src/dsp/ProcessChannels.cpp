// Several channels through one sample loop: the loops for two to four channels, instantiated from the table, and the grouping.
#include "ProcessChannels.h"

#include <algorithm>
#include <array>
#include <bit>
#include <utility>

#include "Kernel.h"

namespace vexa {

namespace {

using ChannelsFunction = void (*)(LadderState* states, const float* const* signals, float* const* outputs,
                                  const float* pitch, const float* resonance, const float* zing, int32_t count);

template <std::size_t Poles, bool HighPass, std::size_t Channels>
void channelsEntry(LadderState* states, const float* const* signals, float* const* outputs, const float* pitch,
                   const float* resonance, const float* zing, int32_t count) {
    ChannelBuffers<Channels> io{{}, {}, pitch, resonance, zing, count};
    std::copy_n(signals, Channels, io.signal.begin());
    std::copy_n(outputs, Channels, io.output.begin());
    runChannels<Poles, HighPass, Channels>(states, io);
}

/// Low-pass and high-pass loops for `Channels` channels, indexed by the Poles value.
template <std::size_t Channels, std::size_t... Poles>
constexpr std::array<std::array<ChannelsFunction, 2>, sizeof...(Poles)> makeChannelsTable(
    std::index_sequence<Poles...>) {
    return {{{channelsEntry<Poles, false, Channels>, channelsEntry<Poles, true, Channels>}...}};
}

/// Indexed by the number of channels less two.
template <std::size_t... Extra>
constexpr auto makeTables(std::index_sequence<Extra...>) {
    return std::array{makeChannelsTable<Extra + 2>(std::make_index_sequence<poleConfigCount>{})...};
}

constexpr auto channelsTable = makeTables(std::make_index_sequence<maxChannelsPerLoop - 1>{});

bool sameBits(float a, float b) { return std::bit_cast<uint32_t>(a) == std::bit_cast<uint32_t>(b); }

/// Whether `a` and `b`, `count` samples each, share a sample.
bool overlap(const float* a, const float* b, std::size_t count) {
    const auto start = [](const float* p) { return reinterpret_cast<uintptr_t>(p); };
    const uintptr_t bytes = count * sizeof(float);
    return start(a) < start(b) + bytes && start(b) < start(a) + bytes;
}

/// Whether some channel's output shares a sample with another channel's signal or output.
bool outputsOverlap(const ChannelsIo& io, std::size_t channels, std::size_t count) {
    for (std::size_t c = 0; c < channels; ++c) {
        for (std::size_t d = 0; d < channels; ++d) {
            if (d == c) continue;
            if (overlap(io.outputs[c], io.signals[d], count) || overlap(io.outputs[c], io.outputs[d], count)) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace

bool sharesUpdate(const LadderState& a, const LadderState& b) {
    bool same = sameBits(a.lastPitch, b.lastPitch) && sameBits(a.lastResonance, b.lastResonance) &&
                sameBits(a.lastZing, b.lastZing) && sameBits(a.freqScale, b.freqScale) &&
                sameBits(a.coefficients.resFeedback, b.coefficients.resFeedback) && a.resetPending == b.resetPending;
    for (std::size_t i = 0; i < coefficientCount; ++i) same = same && sameBits(a.coefficients.q[i], b.coefficients.q[i]);
    return same;
}

void processChannels(std::span<LadderState> states, const BlockConfig& config, const ChannelsIo& io) {
    const std::size_t count = io.pitch.size();
    const std::size_t channels = std::min({states.size(), io.signals.size(), io.outputs.size()});
    if (count == 0 || channels == 0) return;
    const BlockFunction alone = blockFunction(config);
    const auto blockOf = [&](std::size_t c) {
        return BlockIo{{io.signals[c], count}, io.pitch, io.resonance, io.zing, {io.outputs[c], count}};
    };
    if (outputsOverlap(io, channels, count)) {
        for (std::size_t c = 0; c < channels; ++c) alone(states[c], blockOf(c));
        return;
    }
    const bool inTable = config.poles >= 0 && config.poles < static_cast<int32_t>(poleConfigCount);
    const std::size_t poles = inTable ? static_cast<std::size_t>(config.poles) : 0;
    const std::size_t type = config.highPass ? 1 : 0;
    for (std::size_t first = 0; first < channels;) {
        std::size_t group = 1;
        while (group < maxChannelsPerLoop && first + group < channels &&
               sharesUpdate(states[first], states[first + group])) {
            ++group;
        }
        if (group == 1) {
            alone(states[first], blockOf(first));
        } else {
            channelsTable[group - 2][poles][type](&states[first], &io.signals[first], &io.outputs[first],
                                                  io.pitch.data(), io.resonance.data(), io.zing.data(),
                                                  static_cast<int32_t>(count));
        }
        first += group;
    }
}

}  // namespace vexa
