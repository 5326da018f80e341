// Half-band FIR stages that halve or double a sample rate, one channel each, in their polyphase form.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace vexaplugin::resampler {

// Each stage takes its taps as a template argument: a std::array of the S nonzero
// taps left of the centre of a symmetric half-band FIR of 4 * S - 1 taps,
// outermost first; the centre tap is 1/2, every second tap is zero.

/// Delay of one stage in samples of its faster rate: half its length.
template <std::size_t S>
constexpr uint32_t stageDelay = 2 * S - 1;

/// Keeps the newest `length` values, each readable as a contiguous window
/// (stored twice, so that no read wraps).
template <std::size_t length>
class History {
public:
    void clear() { values.fill(0.0f); position = 0; }
    void push(float value) {
        position = position == 0 ? length - 1 : position - 1;
        values[position] = value;
        values[position + length] = value;
    }
    /// The value pushed `age` pushes ago (0: the newest), for age < length.
    float operator[](std::size_t age) const { return values[position + age]; }

private:
    std::array<float, 2 * length> values{};
    std::size_t position = 0;
};

/// Halves the rate: every two input samples make one output sample.
template <const auto& taps>
class Decimator {
    static constexpr std::size_t S = taps.size();

public:
    void clear() { odd.clear(); even.clear(); }

    /// `in` holds 2 * `outFrames` samples; `out` may be the same buffer.
    void process(const float* in, float* out, uint32_t outFrames) {
        for (uint32_t m = 0; m < outFrames; ++m) {
            even.push(in[2 * m]);
            odd.push(in[2 * m + 1]);
            // Symmetric taps: each one weighs two samples, added first.
            float sum = 0.5f * even[S - 1];
            for (std::size_t j = 0; j < S; ++j) sum += taps[j] * (odd[j] + odd[2 * S - 1 - j]);
            out[m] = sum;
        }
    }

private:
    History<2 * S> odd;  ///< the second sample of each pair
    History<S> even;     ///< the first sample of each pair
};

/// Doubles the rate: every input sample makes two output samples, the second of
/// them the input itself, delayed (the centre tap, times the 2 that keeps the level).
template <const auto& taps>
class Interpolator {
    static constexpr std::size_t S = taps.size();

public:
    void clear() { past.clear(); }

    /// `out` takes 2 * `inFrames` samples and must not overlap `in`.
    void process(const float* in, float* out, uint32_t inFrames) {
        for (uint32_t m = 0; m < inFrames; ++m) {
            past.push(in[m]);
            float sum = 0.0f;
            for (std::size_t j = 0; j < S; ++j) sum += taps[j] * (past[j] + past[2 * S - 1 - j]);
            out[2 * m] = 2.0f * sum;
            out[2 * m + 1] = past[S - 1];
        }
    }

private:
    History<2 * S> past;
};

}  // namespace vexaplugin::resampler
