// What the plug-in fuzzers share: the values a hostile host sends, saved states mutated, audio buffers of every shape, and the promises checked.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "FactoryPresets.h"
#include "FuzzInput.h"
#include "ParameterTable.h"
#include "StateCodec.h"
#include "common/DocumentedRanges.h"

namespace vexafuzz {

[[noreturn]] inline void broken(const char* what) {
    std::fprintf(stderr, "plug-in broke a promise: %s\n", what);
    std::abort();
}

/// The largest block the fuzzers promise; a chosen maximum lies between 1 and this.
constexpr uint32_t largestFuzzBlock = 4096;
constexpr uint32_t maxActions = 48;

inline double pickSampleRate(FuzzInput& in) {
    static const double rates[] = {44100.0, 48000.0, 22050.0, 96000.0, 192000.0, 8000.0, 768000.0, 0.0,
                                   -48000.0, 1.0, std::numeric_limits<double>::infinity(),
                                   std::numeric_limits<double>::quiet_NaN(), 1.0e12};
    const uint8_t choice = in.byte();
    if (choice < 240) return rates[choice % std::size(rates)];
    return static_cast<double>(in.floatBits());
}

inline bool sampleRateInRange(double rate) {
    return rate >= vexatest::lowestSampleRate && rate <= vexatest::highestSampleRate;
}

/// A parameter value: mostly near the ranges, sometimes anything a float or double can be.
inline double pickValue(FuzzInput& in) {
    static const double special[] = {0.0, -0.0, 1.0, 0.5, 10.0, 50.0, 29.0, -1.0, 1e30, -1e30, 1e-300,
                                     std::numeric_limits<double>::infinity(),
                                     -std::numeric_limits<double>::infinity(),
                                     std::numeric_limits<double>::quiet_NaN(),
                                     std::numeric_limits<double>::denorm_min()};
    const uint8_t choice = in.byte();
    if (choice < 48) return special[choice % std::size(special)];
    if (choice < 64) return static_cast<double>(in.floatBits());
    return (static_cast<double>(in.byte()) + static_cast<double>(in.byte()) / 256.0) / 5.0 - 1.0;  // -1 .. 50
}

/// Audio inputs and outputs for one process call, with what the host made of them.
struct FuzzBuffers {
    std::vector<std::vector<float>> input, output;
    std::vector<float*> inputChannels, outputChannels;
    float inputPeak = 0.0f;  ///< the loudest input sample, infinite for one that is not finite
    bool nullChannels = false;

    /// `channels` each way, `frames` long; the shape (null channels, in and out aliased) and the samples from `in`.
    void make(FuzzInput& in, uint32_t channels, uint32_t frames) {
        input.assign(channels, std::vector<float>(std::max<uint32_t>(frames, 1)));
        output.assign(channels, std::vector<float>(std::max<uint32_t>(frames, 1), std::nanf("")));
        // One entry more than the channels: a host that claims a channel too many still points at something.
        inputChannels.assign(channels + 1, nullptr);
        outputChannels.assign(channels + 1, nullptr);
        const uint8_t shape = in.byte();
        const uint8_t fill = in.byte();
        const float level = (static_cast<float>(in.byte()) - 128.0f) / 12.0f;  // about ±10.7
        for (uint32_t c = 0; c < channels; ++c) {
            float* samples = input[c].data();
            for (uint32_t i = 0; i < frames; ++i) {
                switch (fill % 4) {
                case 0: samples[i] = level * static_cast<float>((i * 37 + c * 11) % 64) / 64.0f; break;
                case 1: samples[i] = i % 2 == 0 ? level : -level; break;
                case 2: samples[i] = level; break;
                default: samples[i] = i < 64 ? in.floatBits() : samples[i % 64]; break;
                }
                inputPeak = std::isfinite(samples[i]) ? std::max(inputPeak, std::fabs(samples[i]))
                                                      : std::numeric_limits<float>::infinity();
            }
            inputChannels[c] = (shape & (1u << c)) != 0 ? nullptr : input[c].data();
            // Aliased: the output written into the input's own buffer, as hosts may.
            const bool aliased = (shape & (4u << c)) != 0 && inputChannels[c] != nullptr;
            outputChannels[c] = (shape & (16u << c)) != 0 ? nullptr : aliased ? input[c].data() : output[c].data();
        }
        nullChannels = (shape & 0x40) != 0;  // no channel arrays at all
    }

    /// After a process call: every output the plug-in had to write is finite, and within
    /// `bound` while everything fed to it since its activation was in range.
    void check(uint32_t frames, bool inRange, float bound) const {
        if (nullChannels) return;
        for (std::size_t c = 0; c < output.size(); ++c) {
            const float* samples = outputChannels[c];
            if (samples == nullptr) continue;
            for (uint32_t i = 0; i < frames; ++i) {
                if (!std::isfinite(samples[i])) broken("output not finite");
                if (inRange && std::fabs(samples[i]) > bound) broken("output beyond the in-range bound");
            }
        }
    }
};

/// Drive scales the signal that reaches the filter and Output what leaves it, so the module's
/// in-range promise holds for the plug-in counted through the loudest of each this instance has
/// had (its ramps move only between values it had). A host's modulation, which no state shows,
/// counts them at the ends of their ranges.
class StageGains {
public:
    /// Follows the values in a state the plug-in has just saved.
    void follow(const std::string& state) {
        const auto decoded = vexaplugin::decodeState(state, vexaplugin::filterStateParameters(),
                                                     static_cast<uint32_t>(vexaplugin::factoryPresets.size()));
        if (!decoded) broken("a saved state does not decode");
        reach(decoded->values[index(vexaplugin::ParameterId::drive)], decoded->values[index(vexaplugin::ParameterId::output)]);
    }
    void atRangeEnds() {
        reach(vexaplugin::infoOf(vexaplugin::ParameterId::drive).maximum,
              vexaplugin::infoOf(vexaplugin::ParameterId::output).maximum);
    }
    /// True while the loudest input since activation, driven, stays in the module's signal range.
    bool carriesInRange(float loudestInput) const { return loudestInput * drive <= vexatest::signalRange.high; }
    float outputBound() const { return vexatest::inRangeBound * output; }

private:
    static std::size_t index(vexaplugin::ParameterId id) { return static_cast<std::size_t>(id); }
    void reach(float driveDecibels, float outputDecibels) {
        drive = std::max(drive, std::pow(10.0f, driveDecibels / 20.0f));
        output = std::max(output, std::pow(10.0f, outputDecibels / 20.0f));
    }
    float drive = 1.0f;
    float output = 1.0f;
};

/// A saved state as a hostile or broken session hands it back.
struct MutatedState {
    std::string bytes;
    enum Expectation { mayLoad, mustLoad, mustRefuse } expect = mayLoad;
};

/// The version pair at the front of a state of this build; empty if it has none.
inline std::size_t versionPairLength(const std::string& state) {
    const std::string key = std::string(vexaplugin::stateVersionKey) + '\0';
    if (state.compare(0, key.size(), key) != 0) return 0;
    const std::size_t end = state.find('\0', key.size());
    return end == std::string::npos ? 0 : end + 1;
}

inline MutatedState mutateState(const std::string& saved, FuzzInput& in) {
    MutatedState state{saved, MutatedState::mayLoad};
    const uint8_t kind = in.byte() % 9;
    const uint32_t at = in.word();
    switch (kind) {
    case 0: state.expect = MutatedState::mustLoad; break;
    case 1:  // cut short anywhere, even to nothing
        state.bytes.resize(saved.empty() ? 0 : at % saved.size());
        state.expect = MutatedState::mustRefuse;
        break;
    case 2:  // one byte changed
        if (!saved.empty()) state.bytes[at % saved.size()] ^= static_cast<char>(in.byte() | 1);
        break;
    case 3: {  // bytes after the end
        const uint32_t count = in.byte() % 16 + 1;
        for (uint32_t i = 0; i < count; ++i) state.bytes += static_cast<char>(in.byte());
        state.expect = MutatedState::mustRefuse;
        break;
    }
    case 4: {  // a version this build does not know
        const std::size_t pair = versionPairLength(saved);
        if (pair == 0) break;
        state.bytes = std::string(vexaplugin::stateVersionKey) + '\0' +
                      std::to_string(vexaplugin::stateVersion + 1 + at % 1000) + '\0' + saved.substr(pair);
        state.expect = MutatedState::mustRefuse;
        break;
    }
    case 5: {  // today's state without its version pair: read as version 0 (DPF's own, which sessions of
               // earlier builds hold), whose parameters are the first five; today's carry those that
               // came later, so it is refused rather than half-applied (the stored states of every
               // version load in the host tests, and are among the seeds)
        const std::size_t pair = versionPairLength(saved);
        state.bytes = saved.substr(pair);
        if (pair != 0) state.expect = MutatedState::mustRefuse;
        break;
    }
    case 6: {  // garbage
        state.bytes.clear();
        const uint32_t count = in.byte();
        for (uint32_t i = 0; i < count; ++i) state.bytes += static_cast<char>(in.byte());
        break;
    }
    case 7: {  // bytes from the input spliced in
        const std::size_t position = saved.empty() ? 0 : at % (saved.size() + 1);
        std::string inserted;
        for (uint32_t i = 0, count = in.byte() % 24 + 1; i < count; ++i) inserted += static_cast<char>(in.byte());
        state.bytes.insert(position, inserted);
        break;
    }
    default: {  // a stretch removed
        if (saved.empty()) break;
        const std::size_t position = at % saved.size();
        state.bytes.erase(position, in.byte() % 16 + 1);
        break;
    }
    }
    return state;
}

}  // namespace vexafuzz
