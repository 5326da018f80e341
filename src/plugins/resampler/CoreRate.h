// Runs the filter core at its design rate (44.1 or 48 kHz) inside a session at two or four times that rate.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

#include "HalfBand.h"
#include "HalfBandCoefficients.h"

namespace vexaplugin::resampler {

constexpr std::size_t longSide = longStageTaps.size();
constexpr std::size_t shortSide = shortStageTaps.size();

/// How many session samples make one core sample: 2 at 88.2 and 96 kHz, 4 at
/// 176.4 and 192 kHz, 1 (no conversion) at any other rate.
uint32_t factorFor(double sessionRate);

/// The fixed delay of the conversion, in session samples, for a factor: each
/// stage's delay both ways (the long stage's in samples at twice the base rate),
/// plus the one sample by which a group's outputs leave after its last input
/// came. 0 for a factor of 1.
constexpr uint32_t latencyFor(uint32_t factor) {
    if (factor == 2) return 2 * stageDelay<longSide> + 1;
    if (factor == 4) return 2 * stageDelay<shortSide> + 2 * 2 * stageDelay<longSide> + 1;
    return 0;
}

/// The gain in dB of decimation and interpolation together at `hz`, for a core at
/// `coreRate` in a session `factor` times faster: 0 to 18 kHz flat, falling
/// towards the core's Nyquist frequency (0 dB for a factor of 1).
double roundTripDecibels(double hz, double coreRate, uint32_t factor);

/// Decimates each channel by the factor, lets a core filter it at the lower
/// rate, and interpolates the core's output back, delayed by latencyFor(factor).
/// Or, for a session that runs the core at its own rate, only delays the
/// output by as much, so that the latency a host was told holds either way.
/// prepare() allocates; run() and delay() allocate nothing.
class CoreRateConverter {
public:
    /// One channel's converter state and buffers for blocks up to `maxBlockFrames`.
    bool prepare(uint32_t channels, uint32_t factor, uint32_t maxBlockFrames);
    uint32_t factor() const { return groupSize; }
    uint32_t latency() const { return latencyFor(groupSize); }

    /// Core inputs for the controls: at most three, null where a control has no samples.
    using CoreControls = std::array<const float*, 3>;

    /// Converts one block of every channel; `core(in, out, coreFrames, controls)` filters
    /// the decimated block at the core's rate (coreFrames may be 0). `signals` or
    /// `outputs`, or an entry of them, may be null; an output may be its own channel's
    /// signal. Each non-null control input gives the core its sample at the end of each group.
    template <class Core>
    void run(const float* const* signals, float* const* outputs, uint32_t frames, const CoreControls& controls,
             Core&& core) {
        const uint32_t waiting = groupSize - carried;  // outputs computed in earlier blocks, not yet given out
        const uint32_t groups = (carried + frames) / groupSize;
        for (std::size_t c = 0; c < channels.size(); ++c) {
            Channel& channel = channels[c];
            const float* signal = signals != nullptr ? signals[c] : nullptr;
            float* gathered = channel.gathered.data();
            if (signal != nullptr) {
                std::memcpy(gathered + carried, signal, frames * sizeof(float));
            } else {
                std::memset(gathered + carried, 0, frames * sizeof(float));
            }
            down(channel, groups);
            std::memmove(gathered, gathered + groups * groupSize, (carried + frames - groups * groupSize) * sizeof(float));
            coreIn[c] = channel.coreIn.data();
            coreOut[c] = channel.coreOut.data();
        }
        CoreControls coreControls{};
        for (std::size_t i = 0; i < controls.size(); ++i) {
            if (controls[i] == nullptr) continue;
            float* picked = controlSamples[i].data();
            for (uint32_t g = 0; g < groups; ++g) picked[g] = controls[i][(g + 1) * groupSize - carried - 1];
            coreControls[i] = picked;
        }
        carried = (carried + frames) % groupSize;
        core(static_cast<const float* const*>(coreIn.data()), coreOut.data(), groups, coreControls);
        for (std::size_t c = 0; c < channels.size(); ++c) {
            Channel& channel = channels[c];
            float* pending = channel.pending.data();
            up(channel, groups, pending + waiting);
            // waiting + groups * groupSize = frames + groupSize - carried: enough, and that many left over.
            if (outputs != nullptr && outputs[c] != nullptr) std::memcpy(outputs[c], pending, frames * sizeof(float));
            std::memmove(pending, pending + frames, (groupSize - carried) * sizeof(float));
        }
    }

    /// Delays each non-null output by latency(), in place.
    void delay(float* const* outputs, uint32_t frames);

private:
    struct Channel {
        Decimator<longStageTaps> longDown;
        Decimator<shortStageTaps> shortDown;
        Interpolator<longStageTaps> longUp;
        Interpolator<shortStageTaps> shortUp;
        std::vector<float> gathered;  ///< the last block's incomplete group, then this block
        std::vector<float> middle;    ///< at twice the core's rate, between the two stages (factor 4)
        std::vector<float> coreIn;
        std::vector<float> coreOut;
        std::vector<float> pending;  ///< outputs not yet given out, then the block's new ones
        std::vector<float> line;     ///< the delay of a session that runs the core at its own rate
        uint32_t linePosition = 0;
    };

    void down(Channel& channel, uint32_t groups);
    /// Interpolates the core's `groups` outputs into `groups` * factor samples at `to`.
    void up(Channel& channel, uint32_t groups, float* to);

    std::vector<Channel> channels;
    std::vector<const float*> coreIn;
    std::vector<float*> coreOut;
    std::array<std::vector<float>, 3> controlSamples;
    uint32_t groupSize = 1;
    /// Samples of the incomplete group waiting in each channel's `gathered`.
    uint32_t carried = 0;
};

}  // namespace vexaplugin::resampler
