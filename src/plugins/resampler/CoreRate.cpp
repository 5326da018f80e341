// The design-rate converter's preparation, its two stage chains and the plain delay of a session-rate core.
#include "CoreRate.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace vexaplugin::resampler {

namespace {

/// The rates run at their family's base rate, and by how much they exceed it.
struct HighRate {
    double hz;
    uint32_t factor;
};
constexpr HighRate highRates[] = {{88200.0, 2}, {96000.0, 2}, {176400.0, 4}, {192000.0, 4}};

}  // namespace

uint32_t factorFor(double sessionRate) {
    for (const HighRate& rate : highRates) {
        if (std::fabs(sessionRate - rate.hz) < 0.5) return rate.factor;
    }
    return 1;
}

namespace {

/// |H| of a half-band stage at `normalized` (Hz over the stage's faster rate).
template <std::size_t S>
double stageGain(const std::array<float, S>& taps, double normalized) {
    double sum = 0.5;
    for (std::size_t j = 0; j < S; ++j) {
        const auto offset = static_cast<double>(2 * S - 1 - 2 * j);
        sum += 2.0 * taps[j] * std::cos(2.0 * std::numbers::pi * normalized * offset);
    }
    return std::fabs(sum);
}

}  // namespace

double roundTripDecibels(double hz, double coreRate, uint32_t factor) {
    if (factor == 1) return 0.0;
    double gain = stageGain(longStageTaps, hz / (2.0 * coreRate));
    if (factor == 4) gain *= stageGain(shortStageTaps, hz / (4.0 * coreRate));
    // Each stage works twice, once on the way down and once on the way up.
    return 40.0 * std::log10(std::max(gain, 1e-15));
}

bool CoreRateConverter::prepare(uint32_t channelCount, uint32_t factor, uint32_t maxBlockFrames) {
    groupSize = factor;
    carried = 0;
    const std::size_t coreFrames = maxBlockFrames / factor + 1;
    try {
        channels.assign(factor > 1 ? channelCount : 0, Channel{});
        for (Channel& channel : channels) {
            channel.longDown.prepare(static_cast<uint32_t>(coreFrames));
            channel.longUp.prepare(static_cast<uint32_t>(coreFrames));
            if (factor == 4) {
                channel.shortDown.prepare(static_cast<uint32_t>(2 * coreFrames));
                channel.shortUp.prepare(static_cast<uint32_t>(2 * coreFrames));
            }
            channel.gathered.assign(maxBlockFrames + factor, 0.0f);
            channel.middle.assign(factor == 4 ? 2 * coreFrames : 0, 0.0f);
            channel.coreIn.assign(coreFrames, 0.0f);
            channel.coreOut.assign(coreFrames, 0.0f);
            // `factor` samples of silence wait at the start: the group the first core sample needs.
            channel.pending.assign(maxBlockFrames + 2 * factor, 0.0f);
            channel.line.assign(latencyFor(factor), 0.0f);
        }
        coreIn.assign(channels.size(), nullptr);
        coreOut.assign(channels.size(), nullptr);
        for (auto& samples : controlSamples) samples.assign(factor > 1 ? coreFrames : 0, 0.0f);
    } catch (...) {
        channels.clear();
        groupSize = 1;
        return false;
    }
    return true;
}

void CoreRateConverter::down(Channel& channel, uint32_t groups) {
    if (groupSize == 4) {
        channel.shortDown.process(channel.gathered.data(), channel.middle.data(), 2 * groups);
        channel.longDown.process(channel.middle.data(), channel.coreIn.data(), groups);
    } else {
        channel.longDown.process(channel.gathered.data(), channel.coreIn.data(), groups);
    }
}

void CoreRateConverter::up(Channel& channel, uint32_t groups, float* to) {
    if (groupSize == 4) {
        channel.longUp.process(channel.coreOut.data(), channel.middle.data(), groups);
        channel.shortUp.process(channel.middle.data(), to, 2 * groups);
    } else {
        channel.longUp.process(channel.coreOut.data(), to, groups);
    }
}

void CoreRateConverter::delay(float* const* outputs, uint32_t frames) {
    for (std::size_t c = 0; c < channels.size(); ++c) {
        if (outputs == nullptr || outputs[c] == nullptr) continue;
        Channel& channel = channels[c];
        float* line = channel.line.data();
        const auto length = static_cast<uint32_t>(channel.line.size());
        uint32_t position = channel.linePosition;
        float* output = outputs[c];
        for (uint32_t n = 0; n < frames; ++n) {
            const float delayed = line[position];
            line[position] = output[n];
            output[n] = delayed;
            position = position + 1 == length ? 0 : position + 1;
        }
        channel.linePosition = position;
    }
}

}  // namespace vexaplugin::resampler
