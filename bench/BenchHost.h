// A filter instance set up for timing: stimulus scenarios and one timed pass.
#pragma once

#include <cmath>
#include <memory>
#include <random>
#include <string>

#include "filter/PinLayout.h"
#include "hostlib/FilterChannel.h"
#include "hostlib/HostInstance.h"
#include "hostlib/ModuleLibrary.h"

namespace vexabench {

using enum vexa::FilterPin;

/// How many pole configurations a built module has: the length of its Poles list.
inline int16_t configurationCount(const vexahost::ModuleEntryPoints& entries) {
    return static_cast<int16_t>(vexahost::FilterPins::describe(entries).poleChoices.entries().size());
}

enum class Scenario {
    constantControls,   ///< Pitch, Resonance and Zing held
    modulatedPitch,     ///< Pitch changes every sample: the update runs every twelve samples
    decayingSignal,     ///< a faint burst, then Signal streams zeros and the states decay through denormal numbers
};

inline const char* scenarioName(Scenario scenario) {
    switch (scenario) {
    case Scenario::constantControls: return "constant";
    case Scenario::modulatedPitch: return "pitch-mod";
    case Scenario::decayingSignal: return "decaying";
    }
    return "?";
}

/// Samples each timed pass processes, in blocks of the size under test.
inline constexpr int32_t samplesPerPass = 4096;
/// The decaying scenario: a short burst at the level a note's tail reaches
/// after a while, then silence. At 110 Hz the poles take about a thousand
/// samples to fall through the denormal range, so most of each pass is spent
/// there; a normal signal at the same pitch is its yardstick.
inline constexpr int32_t burstLength = 64;
inline constexpr float burstLevel = 1e-36f;
inline constexpr float decayPitch = 0.3f;  // 3 V, 110 Hz
inline constexpr double benchmarkRate = 48000.0;


/// One module instance, driven through the library's exports as a host does.
inline std::unique_ptr<vexahost::HostInstance> makeBenchInstance(const vexahost::ModuleEntryPoints& entries,
                                                                 int16_t poles, Scenario scenario) {
    vexahost::HostInstance::Options options;
    options.bufferCapacity = samplesPerPass;
    auto host = std::make_unique<vexahost::HostInstance>(entries, options);
    host->setSampleRate(static_cast<float>(benchmarkRate));
    host->setListValue(polesPin, poles);
    host->fill(resonancePin, 0.5f);
    host->fill(zingPin, 1.0f);
    std::minstd_rand random(1);
    std::uniform_real_distribution<float> noise(-0.5f, 0.5f);
    const bool decaying = scenario == Scenario::decayingSignal;
    for (int32_t i = 0; i < samplesPerPass; ++i) {
        const float level = decaying ? (i < burstLength ? burstLevel : 0.0f) : 1.0f;
        host->buffer(signalPin)[i] = level * noise(random);
        host->buffer(pitchPin)[i] = scenario == Scenario::modulatedPitch
                                        ? 0.5f + 0.2f * std::sin(0.01f * static_cast<float>(i))
                                        : (decaying ? decayPitch : 0.5f);
    }
    host->open();
    host->sendStatus(signalPin, 2);
    return host;
}

/// One pass over the prepared buffers in blocks of `blockSize`, as the host calls it.
inline void runPass(vexahost::HostInstance& host, int32_t blockSize) {
    const HostModuleRecord* record = host.record();
    for (int32_t start = 0; start < samplesPerPass; start += blockSize) {
        record->subProcess(record->object, start, blockSize);
    }
}

}  // namespace vexabench
