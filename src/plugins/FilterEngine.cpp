// The plug-ins' audio core: parameters to control samples, host blocks to blocks of the filter core.
#include "FilterEngine.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <span>

#include "hostlib/PinChoices.h"
#include "filter/Exports.h"


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

FilterEngine::FilterEngine(uint32_t channels)
    : pins(vexahost::FilterPins::describe(moduleEntries)), states(std::max<uint32_t>(channels, 1)) {
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

bool FilterEngine::prepare(double sampleRate, uint32_t maxBlockFrames) {
    capacity = 0;
    if (maxBlockFrames > largestBlockFrames) return false;
    const uint32_t frames = std::max<uint32_t>(maxBlockFrames, 1);
    try {
        for (auto& buffer : controlBuffers) buffer.assign(frames, 0.0f);
        silence.assign(frames, 0.0f);
        discard.assign(frames, 0.0f);
        pieceSignals.assign(states.size(), nullptr);
        pieceOutputs.assign(states.size(), nullptr);
    } catch (...) {
        return false;
    }
    if (!converter.prepare(channelCount(), resampler::factorFor(sampleRate), frames)) return false;
    capacity = frames;
    // As the module starts at Open: the rate taken if usable, the state at its reset point.
    sessionRate = static_cast<float>(sampleRate);
    designRateApplied = designRate;
    const float rate = designRate ? sessionRate / static_cast<float>(converter.factor()) : sessionRate;
    for (vexa::LadderState& state : states) {
        state = vexa::LadderState{};
        state.setSampleRate(rate);
        state.start();
    }
    config = {poles[polesCurrent].moduleValue, types[typeCurrent].moduleValue != 0};
    polesApplied = polesCurrent;
    typeApplied = typeCurrent;
    heard = targets;
    bufferIsConstant.fill(false);
    started = false;
    return true;
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
        // A change of configuration while running, as the module makes it.
        config.poles = poles[polesCurrent].moduleValue;
        for (vexa::LadderState& state : states) state.restart(vexa::LadderState::feedbackKeptOnSwitch);
        polesApplied = polesCurrent;
    }
    if (typeCurrent != typeApplied) {
        config.highPass = types[typeCurrent].moduleValue != 0;
        typeApplied = typeCurrent;
    }
}

void FilterEngine::applyModelRate() {
    if (designRate == designRateApplied) return;
    designRateApplied = designRate;
    const float rate = designRate ? sessionRate / static_cast<float>(converter.factor()) : sessionRate;
    for (vexa::LadderState& state : states) {
        // The filter keeps its state; its coefficients follow the new rate from the next sample on.
        state.setSampleRate(rate);
        state.lastPitch = vexa::LadderState::initialLastPitch;
    }
}

void FilterEngine::process(const float* const* signals, float* const* outputs, uint32_t frames,
                           const std::array<const float*, controlCount>& cv) {
    if (capacity == 0) {
        for (uint32_t c = 0; outputs != nullptr && c < channelCount(); ++c) {
            if (outputs[c] != nullptr) std::fill(outputs[c], outputs[c] + frames, 0.0f);
        }
        return;
    }
    // A host that keeps its promise of the largest block gets exactly one block per call.
    for (uint32_t done = 0; done < frames;) {
        const uint32_t count = std::min(capacity, frames - done);
        std::array<const float*, controlCount> piece{};
        for (std::size_t i = 0; i < controlCount; ++i) piece[i] = cv[i] != nullptr ? cv[i] + done : nullptr;
        if (converter.factor() == 1) {
            runBlock(signals, outputs, done, count, piece);
            done += count;
            continue;
        }
        applyModelRate();
        for (uint32_t c = 0; c < channelCount(); ++c) {
            pieceSignals[c] = signals != nullptr && signals[c] != nullptr ? signals[c] + done : nullptr;
            pieceOutputs[c] = outputs != nullptr && outputs[c] != nullptr ? outputs[c] + done : nullptr;
        }
        if (designRateApplied) {
            converter.run(pieceSignals.data(), pieceOutputs.data(), count, piece,
                          [this](const float* const* in, float* const* out, uint32_t coreFrames,
                                 const std::array<const float*, controlCount>& controls) {
                              runBlock(in, out, 0, coreFrames, controls);
                          });
        } else {
            runBlock(signals, outputs, done, count, piece);
            converter.delay(pieceOutputs.data(), count);
        }
        done += count;
    }
}

void FilterEngine::runBlock(const float* const* signals, float* const* outputs, uint32_t done, uint32_t frames,
                            const std::array<const float*, controlCount>& cv) {
    if (frames == 0) return;
    if (!started) {
        // Values set before anything was heard start the filter as they are, as a render's would.
        heard = targets;
        started = true;
    }
    applyLists();

    for (std::size_t i = 0; i < controlCount; ++i) {
        float* buffer = controlBuffers[i].data();
        if (cv[i] != nullptr) {
            // Copied: a host may hand the same buffer to a CV input and an output.
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

    const std::span<const float> pitch(controlBuffers[index(Control::pitch)].data(), frames);
    const std::span<const float> resonance(controlBuffers[index(Control::resonance)].data(), frames);
    const std::span<const float> zing(controlBuffers[index(Control::zing)].data(), frames);
    for (uint32_t c = 0; c < channelCount(); ++c) {
        const float* signal = signals != nullptr && signals[c] != nullptr ? signals[c] + done : silence.data();
        float* output = outputs != nullptr && outputs[c] != nullptr ? outputs[c] + done : discard.data();
        vexa::processBlock(states[c], config, {{signal, frames}, pitch, resonance, zing, {output, frames}});
    }
}

}  // namespace vexaplugin
