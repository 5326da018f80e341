// The plug-ins' audio core: parameters to pin values, host blocks to module blocks.
#include "FilterEngine.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "hostlib/PinChoices.h"
#include "host/ModuleInterface.h"

extern "C" int32_t VEXA_CALL getModuleProperties(int32_t index, ModuleProperties* properties);
extern "C" HostModuleRecord* VEXA_CALL makeModule(int32_t index, int32_t type, HostCallback callback,
                                                   void* hostHandle);

namespace vexaplugin {

namespace {

const vexahost::ModuleEntryPoints moduleEntries{getModuleProperties, makeModule};

constexpr std::array<ControlRange, controlCount> controlRanges{{
    {"Pitch", "pitch", 0.0f, 10.5f},
    {"Resonance", "resonance", 0.0f, 10.0f},
    {"Zing", "zing", 0.1f, 50.0f},
}};

std::vector<Choice> choicesOf(const vexahost::ListChoices& list) {
    std::vector<Choice> choices;
    for (const auto& entry : list.entries()) choices.push_back({entry.label, entry.value});
    return choices;
}

uint32_t positionOf(const std::vector<Choice>& choices, int16_t moduleValue) {
    for (std::size_t i = 0; i < choices.size(); ++i) {
        if (choices[i].moduleValue == moduleValue) return static_cast<uint32_t>(i);
    }
    return 0;
}

/// Nearest list position, clamped to the list; NaN keeps `current`.
uint32_t roundedPosition(float position, std::size_t count, uint32_t current) {
    if (std::isnan(position) || count == 0) return current;
    const float highest = static_cast<float>(count - 1);
    return static_cast<uint32_t>(std::lround(std::clamp(position, 0.0f, highest)));
}

}  // namespace

const ControlRange& rangeOf(Control control) { return controlRanges[static_cast<std::size_t>(control)]; }

const vexahost::ModuleEntryPoints& linkedModule() { return moduleEntries; }

FilterEngine::FilterEngine() : pins(vexahost::FilterPins::describe(moduleEntries)) {
    poles = choicesOf(pins.poleChoices);
    types = choicesOf(pins.typeChoices);
    polesDefaultPosition = positionOf(poles, pins.polesDefault.value);
    typeDefaultPosition = positionOf(types, pins.typeDefault.value);
    defaults = {static_cast<float>(pins.pitchDefaultVolts), static_cast<float>(pins.resonanceDefaultVolts),
                static_cast<float>(pins.zingDefaultVolts)};
    targets = defaults;
    heard = defaults;
    polesCurrent = polesApplied = polesDefaultPosition;
    typeCurrent = typeApplied = typeDefaultPosition;
}

void FilterEngine::prepare(double sampleRate, uint32_t maxBlockFrames) {
    channel.reset();
    capacity = 0;
    const uint32_t frames = std::max<uint32_t>(maxBlockFrames, 1);
    vexahost::FilterSetup setup;
    setup.poles = poles[polesCurrent].moduleValue;
    setup.type = types[typeCurrent].moduleValue;
    setup.sampleRate = static_cast<float>(sampleRate);
    setup.blockSize = static_cast<int32_t>(std::min<uint32_t>(frames, INT32_MAX));
    try {
        channel = std::make_unique<vexahost::FilterChannel>(moduleEntries, pins, setup);
    } catch (...) {
        // No filter: process() writes silence.
        return;
    }
    capacity = static_cast<uint32_t>(setup.blockSize);
    polesApplied = polesCurrent;
    typeApplied = typeCurrent;
    heard = targets;
    bufferIsConstant.fill(false);
    started = false;
}

void FilterEngine::setControl(Control control, float volts) {
    if (std::isnan(volts)) return;
    const ControlRange& range = rangeOf(control);
    targets[index(control)] = std::clamp(volts, range.minimumVolts, range.maximumVolts);
}

void FilterEngine::setPolesPosition(float position) {
    polesCurrent = roundedPosition(position, poles.size(), polesCurrent);
}

void FilterEngine::setTypePosition(float position) { typeCurrent = roundedPosition(position, types.size(), typeCurrent); }

void FilterEngine::applyLists() {
    if (polesCurrent != polesApplied) {
        channel->selectPoles(poles[polesCurrent].moduleValue);
        polesApplied = polesCurrent;
    }
    if (typeCurrent != typeApplied) {
        channel->selectType(types[typeCurrent].moduleValue);
        typeApplied = typeCurrent;
    }
}

void FilterEngine::process(const float* signal, float* output, uint32_t frames,
                           const std::array<const float*, controlCount>& cv) {
    if (channel == nullptr) {
        if (output != nullptr) std::fill(output, output + frames, 0.0f);
        return;
    }
    // A host that keeps its promise of the largest block gets exactly one module block per call.
    for (uint32_t done = 0; done < frames;) {
        const uint32_t count = std::min(capacity, frames - done);
        std::array<const float*, controlCount> piece{};
        for (std::size_t i = 0; i < controlCount; ++i) piece[i] = cv[i] != nullptr ? cv[i] + done : nullptr;
        runBlock(signal != nullptr ? signal + done : nullptr, output != nullptr ? output + done : nullptr, count,
                 piece);
        done += count;
    }
}

void FilterEngine::runBlock(const float* signal, float* output, uint32_t frames,
                            const std::array<const float*, controlCount>& cv) {
    if (frames == 0) return;
    if (!started) {
        // Values set before anything was heard start the filter as they are, as a render's would.
        heard = targets;
        started = true;
    }
    applyLists();

    float* const controlBuffers[controlCount] = {channel->pitch(), channel->resonance(), channel->zing()};
    for (std::size_t i = 0; i < controlCount; ++i) {
        float* buffer = controlBuffers[i];
        if (cv[i] != nullptr) {
            std::memcpy(buffer, cv[i], frames * sizeof(float));
            bufferIsConstant[i] = false;
        } else if (targets[i] != heard[i]) {
            // Linear ramp ending exactly on the new value at the block's last sample.
            const double from = heard[i];
            const double step = (static_cast<double>(targets[i]) - from) / frames;
            for (uint32_t n = 0; n + 1 < frames; ++n) buffer[n] = vexahost::hostValueFromVolts(from + step * (n + 1));
            buffer[frames - 1] = vexahost::hostValueFromVolts(targets[i]);
            heard[i] = targets[i];
            bufferIsConstant[i] = false;
        } else if (!bufferIsConstant[i]) {
            std::fill(buffer, buffer + capacity, vexahost::hostValueFromVolts(heard[i]));
            bufferIsConstant[i] = true;
        }
    }

    float* in = channel->signal();
    if (signal != nullptr) {
        std::memcpy(in, signal, frames * sizeof(float));
    } else {
        std::fill(in, in + frames, 0.0f);
    }
    channel->process(static_cast<int32_t>(frames));
    if (output != nullptr) std::memcpy(output, channel->output(), frames * sizeof(float));
}

}  // namespace vexaplugin
