// The filter as a DPF plug-in: parameters, ports and the process call, for every plug-in variant (mono, stereo, CV).
#include <cmath>

#include "DistrhoPlugin.hpp"
#include "FactoryPresets.h"
#include "FilterEngine.h"
#include "PluginParameters.h"

namespace vexaplugin {

namespace {
thread_local bool activationSucceeded = true;
}

bool lastActivationSucceeded() { return activationSucceeded; }

}  // namespace vexaplugin

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

/// Model rate's choices: the core at its design rate, resampled around it, or at the session's rate.
const std::vector<Choice> modelRateChoices{{"Design rate", 0}, {"Session rate", 1}};
constexpr uint32_t designRatePosition = 0;

/// Version 2.0.0, as the module's about text names version 2.
constexpr uint32_t pluginVersion = d_version(2, 0, 0);

class VexaFilterPlugin : public Plugin {
public:
    VexaFilterPlugin() : Plugin(parameterCount, programCount, 0), engine(channelCount) {
        engine.prepare(getSampleRate(), getBufferSize());
    }

protected:
    const char* getLabel() const override { return VEXA_PLUGIN_LABEL; }
    const char* getDescription() const override {
        return "Resonant ladder filter after Stilson and Smith, with an extra resonance pole: thirty pole "
               "configurations, low-pass or high-pass, 1 V/octave pitch, resonance and Zing (how strongly "
               "resonance follows the cutoff).";
    }
    const char* getMaker() const override { return "Vexa audio team"; }
    const char* getLicense() const override { return "Free to use in any work, commercial or not"; }
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
        const ControlRange& range = rangeOf(cvInputs[index - 1]);
        port.groupId = kPortGroupNone;
        port.hints = kAudioPortIsCV | kCVPortIsOptional;
        port.name = range.name;
        port.symbol = range.symbol;
    }

    void initParameter(uint32_t index, Parameter& parameter) override {
        parameter.hints = kParameterIsAutomatable;
        switch (index) {
#if !VEXA_PLUGIN_CONTROLS_AS_CV
        case pitchParameter: describeControl(parameter, Control::pitch); return;
        case resonanceParameter: describeControl(parameter, Control::resonance); return;
        case zingParameter: describeControl(parameter, Control::zing); return;
#endif
        case polesParameter:
            describeList(parameter, "Poles", "poles", engine.poleChoices(), engine.defaultPolesPosition());
            // Hosts that show a port's comment (LV2) say which numbering the number is.
            parameter.description = "The configuration by its position in the list (0 is 2:2, 18 is 4:4, 29 is 5:5f); "
                                    "vexa-host --poles takes the module's own values, another numbering";
            return;
        case typeParameter:
            describeList(parameter, "Type", "type", engine.typeChoices(), engine.defaultTypePosition());
            return;
        case modelRateParameter:
            describeList(parameter, "Model rate", "model_rate", modelRateChoices, designRatePosition);
            parameter.description = "At 88.2 to 192 kHz: the filter at its design rate (44.1 or 48 kHz), the same in "
                                    "every session, or at the session's rate, as before this choice existed";
            return;
        default: return;
        }
    }

    float getParameterValue(uint32_t index) const override {
        switch (index) {
#if !VEXA_PLUGIN_CONTROLS_AS_CV
        case pitchParameter: return engine.control(Control::pitch);
        case resonanceParameter: return engine.control(Control::resonance);
        case zingParameter: return engine.control(Control::zing);
#endif
        case polesParameter: return static_cast<float>(engine.polesPosition());
        case typeParameter: return static_cast<float>(engine.typePosition());
        case modelRateParameter: return engine.runsAtDesignRate() ? 0.0f : 1.0f;
        default: return 0.0f;
        }
    }

    void setParameterValue(uint32_t index, float value) override {
        switch (index) {
#if !VEXA_PLUGIN_CONTROLS_AS_CV
        case pitchParameter: engine.setControl(Control::pitch, value); return;
        case resonanceParameter: engine.setControl(Control::resonance, value); return;
        case zingParameter: engine.setControl(Control::zing, value); return;
#endif
        case polesParameter: engine.setPolesPosition(value); return;
        case typeParameter: engine.setTypePosition(value); return;
        case modelRateParameter:
            if (!std::isnan(value)) engine.setDesignRate(value < 0.5f);
            return;
        default: return;
        }
    }

#if DISTRHO_PLUGIN_WANT_PROGRAMS
    void initProgramName(uint32_t index, String& programName) override {
        if (index < programCount) programName = factoryPresets[index].name;
    }

    void loadProgram(uint32_t index) override {
        if (index >= programCount) return;
        const FactoryPreset& preset = factoryPresets[index];
        engine.setControl(Control::pitch, preset.pitchVolts);
        engine.setControl(Control::resonance, preset.resonanceVolts);
        engine.setControl(Control::zing, preset.zingVolts);
        engine.setPolesPosition(static_cast<float>(positionOf(engine.poleChoices(), preset.poles)));
        engine.setTypePosition(static_cast<float>(positionOf(engine.typeChoices(), preset.type)));
    }
#endif

    // The latency is the session rate's alone (resampler::latencyFor): each format's entry reports it.
    void activate() override { activationSucceeded = engine.prepare(getSampleRate(), getBufferSize()); }

    void run(const float** inputs, float** outputs, uint32_t frames) override {
        std::array<const float*, controlCount> cv{};
#if VEXA_PLUGIN_CONTROLS_AS_CV
        for (std::size_t i = 0; i < controlCount; ++i) {
            cv[static_cast<std::size_t>(cvInputs[i])] = inputs != nullptr ? inputs[i + 1] : nullptr;
        }
#endif
        engine.process(inputs, outputs, frames, cv);
    }

private:
    void describeControl(Parameter& parameter, Control control) {
        const ControlRange& range = rangeOf(control);
        parameter.name = range.name;
        parameter.symbol = range.symbol;
        parameter.unit = "V";
        parameter.ranges.min = range.minimumVolts;
        parameter.ranges.max = range.maximumVolts;
        parameter.ranges.def = engine.defaultVolts(control);
    }

    static void describeList(Parameter& parameter, const char* name, const char* symbol,
                             const std::vector<Choice>& choices, uint32_t defaultPosition) {
        parameter.hints |= kParameterIsInteger;
        parameter.name = name;
        parameter.symbol = symbol;
        parameter.ranges.min = 0.0f;
        parameter.ranges.max = static_cast<float>(choices.size() - 1);
        parameter.ranges.def = static_cast<float>(defaultPosition);
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
