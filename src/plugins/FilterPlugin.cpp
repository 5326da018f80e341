// The filter as a DPF plug-in: parameters, ports and the process call, for both plug-in variants.
#include <cmath>

#include "DistrhoPlugin.hpp"
#include "FilterEngine.h"
#include "Parameters.h"

START_NAMESPACE_DISTRHO

namespace {

using vexaplugin::Control;
using enum vexaplugin::ParameterIndex;

/// Audio inputs after Signal carry these controls, in this order (CV variant only).
constexpr Control cvInputs[] = {Control::pitch, Control::resonance, Control::zing};

/// Version 2.0.0, as the module's about text names version 2.
constexpr uint32_t pluginVersion = d_version(2, 0, 0);

class VexaFilterPlugin : public Plugin {
public:
    VexaFilterPlugin() : Plugin(parameterCount, 0, 0) { engine.prepare(getSampleRate(), getBufferSize()); }

protected:
    const char* getLabel() const override { return VEXA_PLUGIN_CONTROLS_AS_CV ? "VexaLPFilter2CV" : "VexaLPFilter2"; }
    const char* getDescription() const override {
        return "Resonant ladder filter after Stilson and Smith, with an extra resonance pole: thirty pole "
               "configurations, low-pass or high-pass, 1 V/octave pitch, resonance and Zing (how strongly "
               "resonance follows the cutoff).";
    }
    const char* getMaker() const override { return "Vexa audio team"; }
    const char* getLicense() const override { return "Free to use in any work, commercial or not"; }
    uint32_t getVersion() const override { return pluginVersion; }
    int64_t getUniqueId() const override {
        return VEXA_PLUGIN_CONTROLS_AS_CV ? d_cconst('V', 'x', 'L', 'c') : d_cconst('V', 'x', 'L', '2');
    }

    void initAudioPort(bool input, uint32_t index, AudioPort& port) override {
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
        const vexaplugin::ControlRange& range = vexaplugin::rangeOf(cvInputs[index - 1]);
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
            return;
        case typeParameter:
            describeList(parameter, "Type", "type", engine.typeChoices(), engine.defaultTypePosition());
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
        default: return;
        }
    }

    void activate() override { engine.prepare(getSampleRate(), getBufferSize()); }

    void run(const float** inputs, float** outputs, uint32_t frames) override {
        std::array<const float*, vexaplugin::controlCount> cv{};
#if VEXA_PLUGIN_CONTROLS_AS_CV
        for (std::size_t i = 0; i < vexaplugin::controlCount; ++i) {
            cv[static_cast<std::size_t>(cvInputs[i])] = inputs != nullptr ? inputs[i + 1] : nullptr;
        }
#endif
        engine.process(inputs != nullptr ? inputs[0] : nullptr, outputs != nullptr ? outputs[0] : nullptr, frames,
                       cv);
    }

private:
    void describeControl(Parameter& parameter, Control control) {
        const vexaplugin::ControlRange& range = vexaplugin::rangeOf(control);
        parameter.name = range.name;
        parameter.symbol = range.symbol;
        parameter.unit = "V";
        parameter.ranges.min = range.minimumVolts;
        parameter.ranges.max = range.maximumVolts;
        parameter.ranges.def = engine.defaultVolts(control);
    }

    static void describeList(Parameter& parameter, const char* name, const char* symbol,
                             const std::vector<vexaplugin::Choice>& choices, uint32_t defaultPosition) {
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

    vexaplugin::FilterEngine engine;

    DISTRHO_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(VexaFilterPlugin)
};

}  // namespace

Plugin* createPlugin() { return new VexaFilterPlugin(); }

END_NAMESPACE_DISTRHO
