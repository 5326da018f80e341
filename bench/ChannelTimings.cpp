// Cost per frame of one, two and four channels through the core in one run, for the ratios stereo / mono and 4 channels / mono.
#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "PoleConfigs.h"
#include "ProcessBlock.h"
#include "ProcessChannels.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int32_t blockSize = 512;
constexpr int32_t framesPerPass = 8 * blockSize;
constexpr float rate = 48000.0f;
/// Timed runs per configuration, the channel counts and scenarios taking
/// turns so that all see the same machine; the fastest run of each counts.
constexpr int repetitions = 15;
constexpr int passesPerRun = 4;
constexpr std::array<std::size_t, 3> channelCounts = {1, 2, 4};
constexpr std::size_t mostChannels = 4;

/// Pitch held at 5 V, or moving every sample (the update runs at every candidate position).
enum class Scenario { constantControls, modulatedPitch };
constexpr std::array<Scenario, 2> scenarios = {Scenario::constantControls, Scenario::modulatedPitch};

struct Buffers {
    std::array<std::vector<float>, mostChannels> signals, outputs;
    std::vector<float> pitch, resonance, zing;
};

/// A saw with noise at 5 V per channel, each its own period and noise.
Buffers makeBuffers(Scenario scenario) {
    Buffers b;
    uint32_t noise = 1;
    for (std::size_t ch = 0; ch < mostChannels; ++ch) {
        float phase = 0.0f;
        for (int32_t i = 0; i < framesPerPass; ++i) {
            phase += 1.0f / (109.0f + 13.0f * static_cast<float>(ch));
            if (phase >= 1.0f) phase -= 1.0f;
            noise = noise * 1664525u + 1013904223u;
            const float n = static_cast<float>(noise >> 8) / static_cast<float>(1 << 24) - 0.5f;
            b.signals[ch].push_back(0.5f * (2.0f * phase - 1.0f) + 0.05f * n);
        }
        b.outputs[ch].assign(framesPerPass, 0.0f);
    }
    for (int32_t i = 0; i < framesPerPass; ++i) {
        b.pitch.push_back(scenario == Scenario::modulatedPitch ? 0.5f + 0.2f * std::sin(0.01f * static_cast<float>(i))
                                                               : 0.5f);
    }
    b.resonance.assign(framesPerPass, 0.5f);
    b.zing.assign(framesPerPass, 1.0f);
    return b;
}

/// One pass in 512-frame blocks: one channel through processBlock, more through processChannels.
void runPass(std::vector<vexa::LadderState>& states, const vexa::BlockConfig& config, Buffers& b) {
    const std::size_t channels = states.size();
    for (int32_t start = 0; start < framesPerPass; start += blockSize) {
        const auto n = static_cast<std::size_t>(blockSize);
        const std::span<const float> pitch(b.pitch.data() + start, n);
        const std::span<const float> resonance(b.resonance.data() + start, n);
        const std::span<const float> zing(b.zing.data() + start, n);
        if (channels == 1) {
            vexa::processBlock(states[0], config,
                               {{b.signals[0].data() + start, n}, pitch, resonance, zing, {b.outputs[0].data() + start, n}});
            continue;
        }
        std::array<const float*, mostChannels> in{};
        std::array<float*, mostChannels> out{};
        for (std::size_t ch = 0; ch < channels; ++ch) {
            in[ch] = b.signals[ch].data() + start;
            out[ch] = b.outputs[ch].data() + start;
        }
        vexa::processChannels(states, config, {{in.data(), channels}, {out.data(), channels}, pitch, resonance, zing});
    }
}

}  // namespace

int main() {
    std::array<Buffers, scenarios.size()> buffers{makeBuffers(scenarios[0]), makeBuffers(scenarios[1])};
    std::printf("poles mono-constant-ns stereo-constant-ns 4ch-constant-ns mono-pitch-mod-ns stereo-pitch-mod-ns "
                "4ch-pitch-mod-ns (per frame)\n");
    for (std::size_t poles = 0; poles < vexa::poleConfigCount; ++poles) {
        const vexa::BlockConfig config{static_cast<int32_t>(poles), false};
        double best[scenarios.size()][channelCounts.size()];
        std::vector<vexa::LadderState> states[scenarios.size()][channelCounts.size()];
        for (std::size_t s = 0; s < scenarios.size(); ++s) {
            for (std::size_t c = 0; c < channelCounts.size(); ++c) {
                vexa::LadderState fresh;
                fresh.setSampleRate(rate);
                fresh.start();
                states[s][c].assign(channelCounts[c], fresh);
                best[s][c] = 1e30;
            }
        }
        for (int run = 0; run < repetitions; ++run) {
            for (std::size_t s = 0; s < scenarios.size(); ++s) {
                for (std::size_t c = 0; c < channelCounts.size(); ++c) {
                    const auto started = Clock::now();
                    for (int pass = 0; pass < passesPerRun; ++pass) runPass(states[s][c], config, buffers[s]);
                    const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
                    best[s][c] = std::min(best[s][c], seconds * 1e9 / (passesPerRun * framesPerPass));
                }
            }
        }
        std::printf("%zu", poles);
        for (std::size_t s = 0; s < scenarios.size(); ++s) {
            for (std::size_t c = 0; c < channelCounts.size(); ++c) std::printf(" %.3f", best[s][c]);
        }
        std::printf("\n");
    }
    return 0;
}
