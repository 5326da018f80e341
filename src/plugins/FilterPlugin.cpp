// The filter as a DPF plug-in: parameters, ports and the process call, for every plug-in variant (mono, stereo, CV).
#include <algorithm>
#include <cmath>

#include "DistrhoPlugin.hpp"
#include "DpfAdapter.h"
#include "FactoryPresets.h"
#include "FilterEngine.h"
#include "PluginParameters.h"
#include "VexaVersion.h"

START_NAMESPACE_DISTRHO

namespace {

using namespace vexaplugin;

#if DISTRHO_PLUGIN_WANT_PROGRAMS
constexpr uint32_t programCount = static_cast<uint32_t>(factoryPresets.size());
#else
constexpr uint32_t programCount = 0;
#endif

/// Audio inputs after Signal carry these controls, in this order (CV variant only).
constexpr Control cvInputs[] = {Control::pitch, Control::resonance, Control::zing};

/// One filter per audio output, all driven by the same parameters; inputs after the signals are CV.
constexpr uint32_t channelCount = DISTRHO_PLUGIN_NUM_OUTPUTS;
static_assert(channelCount == 1 || (channelCount == 2 && !VEXA_PLUGIN_CONTROLS_AS_CV), "mono, mono with CV, or stereo");

/// The project's version (the module's about text names its major version).
constexpr uint32_t pluginVersion = d_version(VEXA_VERSION_MAJOR, VEXA_VERSION_MINOR, VEXA_VERSION_PATCH);

class VexaFilterPlugin : public Plugin {
public:
    VexaFilterPlugin() : Plugin(parameterCount, programCount, 0), engine(channelCount) {
        engine.prepare(getSampleRate(), getBufferSize());
        dpfadapter::reportEngineMade(&engine);
    }
    ~VexaFilterPlugin() override { dpfadapter::reportEngineGone(&engine); }

protected:
    const char* getLabel() const override { return VEXA_PLUGIN_LABEL; }
    const char* getDescription() const override {
        return "Resonant ladder filter after Stilson and Smith, with an extra resonance pole: two to five poles, "
               "the output and the feedback taken after any of them, low-pass or high-pass, 1 V/octave pitch, "
               "resonance and Zing (how strongly resonance follows the cutoff).";
    }
    const char* getMaker() const override { return "Vexa audio team"; }
    // The LICENSE file's; DPF turns the SPDX name into the licence's URI in the LV2 description.
    const char* getLicense() const override { return "ISC"; }
    uint32_t getVersion() const override { return pluginVersion; }
    int64_t getUniqueId() const override { return d_cconst(VEXA_PLUGIN_UNIQUE_ID); }

    void initAudioPort(bool input, uint32_t index, AudioPort& port) override {
        if (channelCount == 2) {
            // Left and right: each channel's signal and output, in one stereo bus per direction.
            port.groupId = kPortGroupStereo;
            const bool left = index == 0;
            port.name = input ? (left ? "Signal L" : "Signal R") : (left ? "Output L" : "Output R");
            port.symbol = input ? (left ? "signal_l" : "signal_r") : (left ? "output_l" : "output_r");
            return;
        }
        port.groupId = kPortGroupMono;
        if (!input) {
            port.name = "Output";
            port.symbol = "output";
            return;
        }
        if (index == 0) {
            port.name = "Signal";
            port.symbol = "signal";
            return;
        }
        // CV inputs: samples in the module's convention, 1.0 = 10 V; unconnected reads as the default.
        const ParameterInfo& entry = infoOf(cvInputs[index - 1]);
        port.groupId = kPortGroupNone;
        port.hints = kAudioPortIsCV | kCVPortIsOptional;
        port.name = entry.name;
        port.symbol = entry.symbol;
    }

    void initParameter(uint32_t index, Parameter& parameter) override {
        if (index >= parameterCount) return;
        const ParameterInfo& entry = infoAt(index);
        if (parameterIds[index] == ParameterId::bypass) {
            // DPF marks it as the format's own bypass (VST3's and CLAP's bypass flag).
            parameter.initDesignation(kParameterDesignationBypass);
            return;
        }
        parameter.hints = kParameterIsAutomatable;
        parameter.name = entry.name;
        parameter.symbol = entry.symbol;
        parameter.unit = entry.unit;
        parameter.description = entry.description;
        parameter.ranges.min = entry.minimum;
        parameter.ranges.max = entry.maximum;
        parameter.ranges.def = entry.defaultValue;
        if (parameterIds[index] == ParameterId::poles) describeList(parameter, poleChoices());
        if (parameterIds[index] == ParameterId::type) describeList(parameter, typeChoices());
        if (parameterIds[index] == ParameterId::modelRate) describeList(parameter, modelRateChoices());
    }

    float getParameterValue(uint32_t index) const override {
        return index < parameterCount ? engine.parameter(parameterIds[index]) : 0.0f;
    }

    void setParameterValue(uint32_t index, float value) override {
        if (index < parameterCount) engine.setParameter(parameterIds[index], value);
    }

#if DISTRHO_PLUGIN_WANT_PROGRAMS
    void initProgramName(uint32_t index, String& programName) override {
        if (index < programCount) programName = factoryPresets[index].name;
    }

    void loadProgram(uint32_t index) override {
        if (index >= programCount) return;
        for (const PresetValue& preset : presetValues(factoryPresets[index])) {
            engine.setParameter(preset.id, preset.value);
        }
    }
#endif

    void activate() override { dpfadapter::reportActivation(engine.prepare(getSampleRate(), getBufferSize())); }

#if DISTRHO_PLUGIN_WANT_MIDI_INPUT
    /// Each note-on is heard from its own frame: the block runs in pieces between them.
    void run(const float** inputs, float** outputs, uint32_t frames, const MidiEvent* events, uint32_t eventCount) override {
        constexpr uint8_t noteOnStatus = 0x90;
        uint32_t done = 0;
        for (uint32_t i = 0; i < eventCount; ++i) {
            const MidiEvent& event = events[i];
            if (event.size != 3 || (event.data[0] & 0xF0) != noteOnStatus || event.data[2] == 0) continue;
            const uint32_t at = std::clamp(event.frame, done, frames);
            runPiece(inputs, outputs, done, at - done);
            done = at;
            engine.noteOn(event.data[1]);
        }
        runPiece(inputs, outputs, done, frames - done);
    }

    void runPiece(const float** inputs, float** outputs, uint32_t offset, uint32_t frames) {
        const float* pieceInputs[channelCount];
        float* pieceOutputs[channelCount];
        for (uint32_t c = 0; c < channelCount; ++c) {
            pieceInputs[c] = inputs != nullptr && inputs[c] != nullptr ? inputs[c] + offset : nullptr;
            pieceOutputs[c] = outputs != nullptr && outputs[c] != nullptr ? outputs[c] + offset : nullptr;
        }
        engine.process(pieceInputs, pieceOutputs, frames);
    }
#else
    void run(const float** inputs, float** outputs, uint32_t frames) override {
        std::array<const float*, moduleControlCount> cv{};
#if VEXA_PLUGIN_CONTROLS_AS_CV
        for (std::size_t i = 0; i < moduleControlCount; ++i) {
            cv[static_cast<std::size_t>(cvInputs[i])] = inputs != nullptr ? inputs[i + 1] : nullptr;
        }
#endif
        engine.process(inputs, outputs, frames, cv);
    }
#endif

private:
    static void describeList(Parameter& parameter, const std::vector<Choice>& choices) {
        parameter.hints |= kParameterIsInteger;
        auto* values = new ParameterEnumerationValue[choices.size()];
        for (std::size_t i = 0; i < choices.size(); ++i) {
            values[i].value = static_cast<float>(i);
            values[i].label = choices[i].label.c_str();
        }
        parameter.enumValues.count = static_cast<uint8_t>(choices.size());
        parameter.enumValues.restrictedMode = true;
        parameter.enumValues.values = values;
    }

    FilterEngine engine;

    DISTRHO_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(VexaFilterPlugin)
};

}  // namespace

Plugin* createPlugin() { return new VexaFilterPlugin(); }

END_NAMESPACE_DISTRHO
