// Half-band FIR stages that halve or double a sample rate, one channel each, in their polyphase form.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace vexaplugin::resampler {

// Each stage takes its taps as a template argument: a std::array of the S nonzero
// taps left of the centre of a symmetric half-band FIR of 4 * S - 1 taps,
// outermost first; the centre tap is 1/2, every second tap is zero.
//
// A block is filtered one tap at a time over all its samples (the inner loop
// runs along the block, which the compiler turns into vector instructions);
// each output still sums its taps in the same order. The samples a block needs
// from before it are kept in front of the block's own, in one line per phase.

/// Delay of one stage in samples of its faster rate: half its length.
template <std::size_t S>
constexpr uint32_t stageDelay = 2 * S - 1;

/// A line of `history` past samples followed by room for a block: `now()` is
/// where the block goes, `now()[-k]` the sample k before the block's first.
class DelayLine {
public:
    void prepare(std::size_t history, std::size_t maxFrames) {
        kept = history;
        samples.assign(history + maxFrames, 0.0f);
    }
    float* now() { return samples.data() + kept; }
    /// After a block of `frames`: its last `history` samples become the past.
    void advance(std::size_t frames) { std::memmove(samples.data(), samples.data() + frames, kept * sizeof(float)); }

private:
    std::vector<float> samples;
    std::size_t kept = 0;
};

/// Adds to `sums[m]`, for each m below `frames`, the symmetric taps' weighing of
/// the line `now` around m: taps[j] * (now[m - j] + now[m - (2S - 1 - j)]),
/// taps in order (each weighs two samples, added first).
template <std::size_t S>
void addSymmetricTaps(const std::array<float, S>& taps, const float* now, float* sums, uint32_t frames) {
    for (std::size_t j = 0; j < S; ++j) {
        const float tap = taps[j];
        const float* newer = now - j;
        const float* older = now - (2 * S - 1 - j);
        for (uint32_t m = 0; m < frames; ++m) sums[m] += tap * (newer[m] + older[m]);
    }
}

/// Halves the rate: every two input samples make one output sample.
template <const auto& taps>
class Decimator {
    static constexpr std::size_t S = taps.size();

public:
    /// Allocates for blocks of up to `maxOutFrames` outputs.
    void prepare(uint32_t maxOutFrames) {
        odd.prepare(2 * S - 1, maxOutFrames);
        even.prepare(S - 1, maxOutFrames);
    }

    /// `in` holds 2 * `outFrames` samples.
    void process(const float* in, float* out, uint32_t outFrames) {
        float* const o = odd.now();
        float* const e = even.now();
        for (uint32_t m = 0; m < outFrames; ++m) {
            e[m] = in[2 * m];
            o[m] = in[2 * m + 1];
        }
        const float* centre = e - (S - 1);
        for (uint32_t m = 0; m < outFrames; ++m) out[m] = 0.5f * centre[m];
        addSymmetricTaps(taps, o, out, outFrames);
        odd.advance(outFrames);
        even.advance(outFrames);
    }

private:
    DelayLine odd;   ///< the second sample of each pair
    DelayLine even;  ///< the first sample of each pair
};

/// Doubles the rate: every input sample makes two output samples, the second of
/// them the input itself, delayed (the centre tap, times the 2 that keeps the level).
template <const auto& taps>
class Interpolator {
    static constexpr std::size_t S = taps.size();

public:
    /// Allocates for blocks of up to `maxInFrames` inputs.
    void prepare(uint32_t maxInFrames) {
        past.prepare(2 * S - 1, maxInFrames);
        sums.assign(maxInFrames, 0.0f);
    }

    /// `out` takes 2 * `inFrames` samples.
    void process(const float* in, float* out, uint32_t inFrames) {
        float* const p = past.now();
        std::memcpy(p, in, inFrames * sizeof(float));
        float* const sum = sums.data();
        std::memset(sum, 0, inFrames * sizeof(float));
        addSymmetricTaps(taps, p, sum, inFrames);
        const float* centre = p - (S - 1);
        for (uint32_t m = 0; m < inFrames; ++m) {
            out[2 * m] = 2.0f * sum[m];
            out[2 * m + 1] = centre[m];
        }
        past.advance(inFrames);
    }

private:
    DelayLine past;
    std::vector<float> sums;  ///< the even outputs, halved
};

}  // namespace vexaplugin::resampler
