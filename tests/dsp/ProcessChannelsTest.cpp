// Several channels through one loop against each channel alone: the same bits, sample for sample, on every build.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "PoleConfigs.h"
#include "ProcessBlock.h"
#include "ProcessChannels.h"

namespace vexatest {
namespace {

using namespace vexa;

constexpr int32_t length = 2048;
constexpr std::array<int32_t, 3> blockSizes = {1, 37, 512};
constexpr std::array<float, 2> sampleRates = {44100.0f, 96000.0f};
/// The block before which one channel is restarted alone, as the runaway guard does.
constexpr int32_t loneRestartAt = 1100;

/// Uniform in -1 .. 1, exact in single precision.
class Noise {
public:
    explicit Noise(uint32_t seed) : state(seed) {}
    float next() {
        state = state * 1664525u + 1013904223u;
        return static_cast<float>(static_cast<int32_t>(state >> 8) - (1 << 23)) * (1.0f / (1 << 23));
    }

private:
    uint32_t state;
};

/// 0 .. 1 .. 0 over `period` samples.
float triangle(int32_t i, int32_t period) {
    const float phase = static_cast<float>(i % period) / static_cast<float>(period);
    return phase < 0.5f ? 2.0f * phase : 2.0f - 2.0f * phase;
}

struct Stimulus {
    std::array<std::vector<float>, maxChannelsPerLoop> signals;
    std::vector<float> pitch, resonance, zing;
};

/// A different signal per channel (saws of their own period with noise; the
/// second gets a 100 V burst that sets off its overload envelope alone, the
/// fourth falls silent); Pitch -2 .. 11.5 V with noise on every sample,
/// Resonance and Zing moving through their negative ranges too.
Stimulus makeStimulus() {
    Stimulus s;
    Noise noise(20261210u);
    for (std::size_t ch = 0; ch < maxChannelsPerLoop; ++ch) {
        Noise own(7u + static_cast<uint32_t>(ch));
        float phase = 0.0f;
        for (int32_t i = 0; i < length; ++i) {
            phase += 1.0f / (61.0f + 17.0f * static_cast<float>(ch));
            if (phase >= 1.0f) phase -= 1.0f;
            float x = 0.5f * (2.0f * phase - 1.0f) + 0.05f * own.next();
            if (ch == 1 && i >= 600 && i < 650) x *= 20.0f;
            if (ch == 3 && i >= 1500) x = 0.0f;
            s.signals[ch].push_back(x);
        }
    }
    for (int32_t i = 0; i < length; ++i) {
        s.pitch.push_back(-0.2f + 1.35f * triangle(i, 1024) + 0.01f * noise.next());
        s.resonance.push_back(2.2f * triangle(i, 700) - 1.2f);
        s.zing.push_back(i < 1000 ? 0.01f + 0.49f * triangle(i, 333) : -1.2f + 1.2f * triangle(i, 333));
    }
    return s;
}

LadderState freshState(float rate) {
    LadderState state;
    state.setSampleRate(rate);
    state.start();
    return state;
}

/// Each of `channels` channels alone through processBlock, block by block.
std::vector<std::vector<float>> eachAlone(const Stimulus& s, std::size_t channels, const BlockConfig& config,
                                          int32_t blockSize, float rate) {
    std::vector<std::vector<float>> outputs;
    for (std::size_t ch = 0; ch < channels; ++ch) {
        LadderState state = freshState(rate);
        std::vector<float> out(length);
        for (int32_t start = 0; start < length; start += blockSize) {
            const auto n = static_cast<std::size_t>(std::min(blockSize, length - start));
            if (ch == 1 && start >= loneRestartAt && start < loneRestartAt + blockSize) state.restart(0.0f);
            processBlock(state, config,
                         {{s.signals[ch].data() + start, n}, {s.pitch.data() + start, n},
                          {s.resonance.data() + start, n}, {s.zing.data() + start, n}, {out.data() + start, n}});
        }
        outputs.push_back(std::move(out));
    }
    return outputs;
}

/// The channels together through processChannels; the first channel filters in place.
std::vector<std::vector<float>> together(const Stimulus& s, std::size_t channels, const BlockConfig& config,
                                         int32_t blockSize, float rate) {
    std::vector<LadderState> states(channels, freshState(rate));
    std::vector<std::vector<float>> outputs(channels, std::vector<float>(length));
    std::copy(s.signals[0].begin(), s.signals[0].end(), outputs[0].begin());
    for (int32_t start = 0; start < length; start += blockSize) {
        const auto n = static_cast<std::size_t>(std::min(blockSize, length - start));
        if (channels > 1 && start >= loneRestartAt && start < loneRestartAt + blockSize) states[1].restart(0.0f);
        std::array<const float*, maxChannelsPerLoop> in{};
        std::array<float*, maxChannelsPerLoop> out{};
        for (std::size_t ch = 0; ch < channels; ++ch) {
            in[ch] = ch == 0 ? outputs[0].data() + start : s.signals[ch].data() + start;
            out[ch] = outputs[ch].data() + start;
        }
        processChannels(states, config,
                        {{in.data(), channels}, {out.data(), channels}, {s.pitch.data() + start, n},
                         {s.resonance.data() + start, n}, {s.zing.data() + start, n}});
    }
    return outputs;
}

TEST(ProcessChannels, EveryChannelIsBitIdenticalWithItsChannelAlone) {
    const Stimulus stimulus = makeStimulus();
    for (std::size_t poles = 0; poles < poleConfigCount; ++poles) {
        for (const bool highPass : {false, true}) {
            const BlockConfig config{static_cast<int32_t>(poles), highPass};
            for (const int32_t blockSize : blockSizes) {
                for (const float rate : sampleRates) {
                    const auto alone = eachAlone(stimulus, maxChannelsPerLoop, config, blockSize, rate);
                    for (std::size_t channels = 1; channels <= maxChannelsPerLoop; ++channels) {
                        const auto both = together(stimulus, channels, config, blockSize, rate);
                        for (std::size_t ch = 0; ch < channels; ++ch) {
                            EXPECT_EQ(0, std::memcmp(both[ch].data(), alone[ch].data(), length * sizeof(float)))
                                << "Poles " << poles << (highPass ? " HP" : " LP") << ", blocks of " << blockSize
                                << ", " << rate << " Hz, channel " << ch << " of " << channels;
                        }
                    }
                }
            }
        }
    }
}

}  // namespace
}  // namespace vexatest
