// The plug-ins' audio core: parameters to control samples, host blocks to blocks of the filter core, and the gains around it.
#include "FilterEngine.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <span>

#include "filter/Exports.h"
#include "hostlib/PinChoices.h"

namespace vexaplugin {

namespace {

const vexahost::ModuleEntryPoints moduleEntries{getModuleProperties, makeModule};

/// The keyboard's centre: the key at which tracking leaves Pitch where it is.
constexpr int middleKey = 60;
constexpr double keysPerOctave = 12.0;
constexpr double percent = 100.0;
/// A dry sample is held to the core's own output ceiling (10 kV); NaN counts as silence.
constexpr float dryCeiling = 1000.0f;

/// Nearest list position, clamped to the list; NaN keeps `current`.
uint32_t roundedPosition(float position, std::size_t count, uint32_t current) {
    if (std::isnan(position) || count == 0) return current;
    const float highest = static_cast<float>(count - 1);
    return static_cast<uint32_t>(std::lround(std::clamp(position, 0.0f, highest)));
}

float heldToRange(Control control, double value) {
    const ParameterInfo& entry = infoOf(control);
    return static_cast<float>(std::clamp(value, static_cast<double>(entry.minimum), static_cast<double>(entry.maximum)));
}

double gainOfDecibels(double decibels) { return std::pow(10.0, decibels / 20.0); }

float heldDry(float v) {
    if (v >= -dryCeiling && v <= dryCeiling) return v;
    if (v > dryCeiling) return dryCeiling;
    return v < -dryCeiling ? -dryCeiling : 0.0f;
}

/// Whether a ramp stands still at `at` for the whole block.
bool standsAt(const LinearRamp& ramp, double at) { return !ramp.moving() && ramp.value() == at; }

void fill(LinearRamp& ramp, float* samples, uint32_t frames) {
    for (uint32_t n = 0; n < frames; ++n) samples[n] = static_cast<float>(ramp.next());
}

}  // namespace

const vexahost::ModuleEntryPoints& linkedModule() { return moduleEntries; }

FilterEngine::FilterEngine(uint32_t channels)
    : states(std::max<uint32_t>(channels, 1)),
      channelSignals(states.size()),
      channelOutputs(states.size()),
      fadedOutputs(states.size()),
      outgoing(states.size()) {
    for (std::size_t i = 0; i < controlCount; ++i) values[i] = infoOf(static_cast<Control>(i)).defaultValue;
    polesCurrent = polesApplied = static_cast<uint32_t>(infoOf(ParameterId::poles).defaultValue);
    typeCurrent = typeApplied = static_cast<uint32_t>(infoOf(ParameterId::type).defaultValue);
    retarget();
    for (LinearRamp& ramp : ramps) ramp.jumpTo(ramp.target());
}

bool FilterEngine::prepare(double sampleRate, uint32_t maxBlockFrames) {
    capacity = 0;
    if (maxBlockFrames > largestBlockFrames) return false;
    const uint32_t frames = std::max<uint32_t>(maxBlockFrames, 1);
    try {
        for (auto& buffer : controlBuffers) buffer.assign(frames, 0.0f);
        for (auto* buffer : {&driveGains, &outputGains, &mixShares, &bypassShares, &silence, &discard}) {
            buffer->assign(frames, 0.0f);
        }
        // One stretch of `frames` per channel: the core runs every channel at once.
        for (auto* buffer : {&input, &dry, &fadedOut}) buffer->assign(std::size_t{frames} * channelCount(), 0.0f);
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
    // Ramps and crossfades count the core's samples.
    fadeLength = framesOf(smoothingSeconds, rate);
    fadeDone = fadeLength;
    for (vexa::LadderState& state : states) {
        state = vexa::LadderState{};
        state.setSampleRate(rate);
        state.start();
    }
    config = {poleChoices()[polesCurrent].moduleValue, typeChoices()[typeCurrent].moduleValue != 0};
    polesApplied = polesCurrent;
    typeApplied = typeCurrent;
    modulation.fill(0.0f);
    bufferIsConstant.fill(false);
    started = false;
    return true;
}

void FilterEngine::retarget() {
    const uint32_t frames = started ? fadeLength : 0;
    const auto effective = [this](Control control) {
        return heldToRange(control, static_cast<double>(values[index(control)]) + modulation[index(control)]);
    };
    const double keyOffsetVolts = effective(Control::keyTrack) / percent * (lastKey - middleKey) / keysPerOctave;
    ramps[index(Control::pitch)].moveTo(heldToRange(Control::pitch, effective(Control::pitch) + keyOffsetVolts), frames);
    ramps[index(Control::resonance)].moveTo(effective(Control::resonance), frames);
    ramps[index(Control::zing)].moveTo(effective(Control::zing), frames);
    ramps[index(Control::drive)].moveTo(gainOfDecibels(effective(Control::drive)), frames);
    ramps[index(Control::output)].moveTo(gainOfDecibels(effective(Control::output)), frames);
    ramps[index(Control::mix)].moveTo(effective(Control::mix) / percent, frames);
    bypassShare.moveTo(bypassOn ? 1.0 : 0.0, frames);
}

void FilterEngine::setParameter(ParameterId id, float value) {
    switch (id) {
    case ParameterId::poles: setPolesPosition(value); return;
    case ParameterId::type: setTypePosition(value); return;
    case ParameterId::modelRate:
        if (!std::isnan(value)) setDesignRate(value < 0.5f);
        return;
    case ParameterId::bypass:
        if (!std::isnan(value)) setBypass(value > 0.5f);
        return;
    default: setControl(controlOf(id), value); return;
    }
}

float FilterEngine::parameter(ParameterId id) const {
    switch (id) {
    case ParameterId::poles: return static_cast<float>(polesCurrent);
    case ParameterId::type: return static_cast<float>(typeCurrent);
    case ParameterId::modelRate: return designRate ? 0.0f : 1.0f;
    case ParameterId::bypass: return bypassOn ? 1.0f : 0.0f;
    default: return values[index(controlOf(id))];
    }
}

void FilterEngine::setControl(Control control, float value) {
    if (std::isnan(value)) return;
    values[index(control)] = heldToRange(control, value);
    retarget();
}

void FilterEngine::setModulation(Control control, float amount) {
    if (std::isnan(amount)) return;
    modulation[index(control)] = amount;
    retarget();
}

void FilterEngine::setBypass(bool on) {
    bypassOn = on;
    retarget();
}

void FilterEngine::noteOn(uint8_t key) {
    lastKey = std::min<uint8_t>(key, 127);
    retarget();
}

void FilterEngine::setPolesPosition(float position) {
    polesCurrent = roundedPosition(position, poleChoices().size(), polesCurrent);
}

void FilterEngine::setTypePosition(float position) {
    typeCurrent = roundedPosition(position, typeChoices().size(), typeCurrent);
}

void FilterEngine::applyLists() {
    // A switch waits for the crossfade before it: one old configuration at a time.
    if ((polesCurrent == polesApplied && typeCurrent == typeApplied) || fadeDone < fadeLength) return;
    outgoing = states;
    outgoingConfig = config;
    fadeDone = 0;
    if (polesCurrent != polesApplied) {
        // A change of configuration while running, as the module makes it.
        config.poles = poleChoices()[polesCurrent].moduleValue;
        for (vexa::LadderState& state : states) state.restart(vexa::LadderState::feedbackKeptOnSwitch);
        polesApplied = polesCurrent;
    }
    if (typeCurrent != typeApplied) {
        config.highPass = typeChoices()[typeCurrent].moduleValue != 0;
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
    // Ramps and crossfades count the core's samples; one under way ends at the new length.
    const bool crossfading = fadeDone < fadeLength;
    fadeLength = framesOf(smoothingSeconds, rate);
    fadeDone = crossfading ? std::min(fadeDone, fadeLength) : fadeLength;
}

void FilterEngine::process(const float* const* signals, float* const* outputs, uint32_t frames,
                           const std::array<const float*, moduleControlCount>& cv) {
    if (capacity == 0) {
        for (uint32_t c = 0; outputs != nullptr && c < channelCount(); ++c) {
            if (outputs[c] != nullptr) std::fill(outputs[c], outputs[c] + frames, 0.0f);
        }
        return;
    }
    // A host that keeps its promise of the largest block gets exactly one block per call.
    for (uint32_t done = 0; done < frames;) {
        const uint32_t count = std::min(capacity, frames - done);
        std::array<const float*, moduleControlCount> piece{};
        for (std::size_t i = 0; i < moduleControlCount; ++i) piece[i] = cv[i] != nullptr ? cv[i] + done : nullptr;
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
                                 const std::array<const float*, moduleControlCount>& controls) {
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
                            const std::array<const float*, moduleControlCount>& cv) {
    if (frames == 0) return;
    if (!started) {
        // Values set before anything was heard start the filter as they are, as a render's would.
        for (LinearRamp& ramp : ramps) ramp.jumpTo(ramp.target());
        bypassShare.jumpTo(bypassShare.target());
        started = true;
        applyLists();
        fadeDone = fadeLength;
    } else {
        applyLists();
    }

    for (std::size_t i = 0; i < moduleControlCount; ++i) {
        float* buffer = controlBuffers[i].data();
        LinearRamp& ramp = ramps[i];
        if (cv[i] != nullptr) {
            // Copied: a host may hand the same buffer to a CV input and an output.
            std::memcpy(buffer, cv[i], frames * sizeof(float));
            bufferIsConstant[i] = false;
        } else if (ramp.moving()) {
            for (uint32_t n = 0; n < frames; ++n) buffer[n] = vexahost::hostValueFromVolts(ramp.next());
            bufferIsConstant[i] = false;
        } else if (!bufferIsConstant[i]) {
            std::fill(buffer, buffer + capacity, vexahost::hostValueFromVolts(ramp.value()));
            bufferIsConstant[i] = true;
        }
    }

    // The stages around the core run only where they change something: at the defaults the core's output is the output.
    LinearRamp& drive = ramps[index(Control::drive)];
    LinearRamp& output = ramps[index(Control::output)];
    LinearRamp& mix = ramps[index(Control::mix)];
    const bool driving = !standsAt(drive, 1.0);
    const bool mixing = !standsAt(output, 1.0) || !standsAt(mix, 1.0) || !standsAt(bypassShare, 0.0);
    const uint32_t fading = std::min(frames, fadeLength - fadeDone);
    if (driving) fill(drive, driveGains.data(), frames);
    if (mixing) {
        fill(output, outputGains.data(), frames);
        fill(mix, mixShares.data(), frames);
        fill(bypassShare, bypassShares.data(), frames);
    }

    const std::span<const float> pitch(controlBuffers[index(Control::pitch)].data(), frames);
    const std::span<const float> resonance(controlBuffers[index(Control::resonance)].data(), frames);
    const std::span<const float> zing(controlBuffers[index(Control::zing)].data(), frames);
    for (uint32_t c = 0; c < channelCount(); ++c) {
        const float* signal = signals != nullptr && signals[c] != nullptr ? signals[c] + done : silence.data();
        channelOutputs[c] = outputs != nullptr && outputs[c] != nullptr ? outputs[c] + done : discard.data();
        float* const channelDry = dry.data() + std::size_t{c} * capacity;
        float* const channelInput = input.data() + std::size_t{c} * capacity;
        if (mixing) {
            for (uint32_t n = 0; n < frames; ++n) channelDry[n] = heldDry(signal[n]);
        }
        // The core's input: its own copy when the output may overwrite it before the outgoing configuration reads it.
        channelSignals[c] = signal;
        if (driving) {
            for (uint32_t n = 0; n < frames; ++n) channelInput[n] = signal[n] * driveGains[n];
            channelSignals[c] = channelInput;
        } else if (fading != 0) {
            std::copy_n(signal, frames, channelInput);
            channelSignals[c] = channelInput;
        }
    }
    // Every channel through the core in one loop, and during a switch the outgoing configuration too.
    vexa::processChannels(states, config, {channelSignals, channelOutputs, pitch, resonance, zing});
    if (fading != 0) {
        for (uint32_t c = 0; c < channelCount(); ++c) fadedOutputs[c] = fadedOut.data() + std::size_t{c} * capacity;
        vexa::processChannels(outgoing, outgoingConfig,
                              {channelSignals, fadedOutputs, pitch.first(fading), resonance.first(fading),
                               zing.first(fading)});
        for (uint32_t c = 0; c < channelCount(); ++c) {
            float* const out = channelOutputs[c];
            for (uint32_t n = 0; n < fading; ++n) {
                const float share = static_cast<float>(static_cast<double>(fadeDone + n + 1) / fadeLength);
                out[n] = fadedOutputs[c][n] + share * (out[n] - fadedOutputs[c][n]);
            }
        }
    }
    if (mixing) {
        for (uint32_t c = 0; c < channelCount(); ++c) {
            float* const out = channelOutputs[c];
            const float* const channelDry = dry.data() + std::size_t{c} * capacity;
            for (uint32_t n = 0; n < frames; ++n) {
                // Shares of 0 and 1 give each side exactly: a bypassed channel passes its input bit for bit.
                const float mixed = outputGains[n] * ((1.0f - mixShares[n]) * channelDry[n] + mixShares[n] * out[n]);
                out[n] = (1.0f - bypassShares[n]) * mixed + bypassShares[n] * channelDry[n];
            }
        }
    }
    fadeDone += fading;
}

}  // namespace vexaplugin
