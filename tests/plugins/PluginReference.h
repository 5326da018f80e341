// The module's own output for the plug-in host tests: the stimulus, the reference channel and the comparison.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

#include "filter/Exports.h"
#include "hostlib/FilterChannel.h"
#include "hostlib/PinChoices.h"

namespace pluginreference {

/// The module's code, linked into the test.
inline const vexahost::ModuleEntryPoints linkedModule{getModuleProperties, makeModule};
inline constexpr double sampleRate = 48000.0;

/// The stimulus: a saw with noise, 4 V peak, as the LV2 host tests use.
inline std::vector<float> stimulus(std::size_t frames) {
    std::vector<float> samples(frames);
    uint32_t seed = 7;
    for (std::size_t i = 0; i < frames; ++i) {
        seed = seed * 1664525u + 1013904223u;
        const double noise = (static_cast<double>(seed >> 8) / (1u << 24)) * 2.0 - 1.0;
        const double phase = std::fmod(110.0 * static_cast<double>(i) / sampleRate, 1.0);
        samples[i] = static_cast<float>(0.4 * (2.0 * phase - 1.0) + 0.1 * noise);
    }
    return samples;
}

/// What the process writes to stderr while this lives (a plug-in must print nothing from the audio thread).
class PrintedToStderr {
public:
    PrintedToStderr() : file(std::tmpfile()), saved(dup(2)) {
        std::fflush(stderr);
        dup2(fileno(file), 2);
    }
    ~PrintedToStderr() { std::fclose(file); }
    std::string text() {
        std::fflush(stderr);
        dup2(saved, 2);
        close(saved);
        std::string printed;
        std::rewind(file);
        for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file)) printed += static_cast<char>(c);
        return printed;
    }

private:
    std::FILE* file;
    int saved;
};

/// What the module itself does with the same blocks, pins fed as `vexa-host render` feeds them.
class ModuleReference {
public:
    ModuleReference(int16_t polesValue, int16_t typeValue, double rate, int32_t maxBlock)
        : pins(vexahost::FilterPins::describe(linkedModule)) {
        vexahost::FilterSetup setup;
        setup.poles = polesValue;
        setup.type = typeValue;
        setup.sampleRate = static_cast<float>(rate);
        setup.blockSize = maxBlock;
        channel = std::make_unique<vexahost::FilterChannel>(linkedModule, pins, setup);
    }
    vexahost::FilterChannel& filter() { return *channel; }

    /// One block with each control given as volts per sample.
    void block(const float* in, float* out, uint32_t frames, const std::vector<double>& pitchVolts,
               const std::vector<double>& resonanceVolts, const std::vector<double>& zingVolts) {
        for (uint32_t i = 0; i < frames; ++i) {
            channel->signal()[i] = in[i];
            channel->pitch()[i] = vexahost::hostValueFromVolts(pitchVolts[i]);
            channel->resonance()[i] = vexahost::hostValueFromVolts(resonanceVolts[i]);
            channel->zing()[i] = vexahost::hostValueFromVolts(zingVolts[i]);
        }
        channel->process(static_cast<int32_t>(frames));
        std::copy_n(channel->output(), frames, out);
    }

private:
    vexahost::FilterPins pins;
    std::unique_ptr<vexahost::FilterChannel> channel;
};

/// The module's list value of Poles list position `position`.
inline int16_t polesValueAt(const vexahost::FilterPins& pins, std::size_t position) {
    return pins.poleChoices.entries().at(position).value;
}

/// Volts of each sample of a block in which a control moves from `from` to `to`: a linear ramp ending on `to`.
inline std::vector<double> rampVolts(double from, double to, uint32_t frames) {
    std::vector<double> volts(frames);
    for (uint32_t n = 0; n < frames; ++n) volts[n] = n + 1 == frames ? to : from + (to - from) / frames * (n + 1);
    return volts;
}

inline std::size_t firstDifference(const std::vector<float>& expected, const std::vector<float>& actual) {
    for (std::size_t i = 0; i < expected.size(); ++i) {
        if (std::memcmp(&expected[i], &actual[i], sizeof(float)) != 0) return i;
    }
    return expected.size();
}

}  // namespace pluginreference
