// The plug-ins' parameters, one entry each: names, symbols, units, ranges, defaults, steps and modulation, for every format, the editor and the tests.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "dsp/PoleConfigs.h"
#include "filter/PinDescriptions.h"

namespace vexaplugin {

/// Every parameter any variant has, in the order hosts number them (the CV
/// variant leaves out the first three and Key track; PluginParameters.h).
/// Hosts keep automation by number: new parameters go at the end.
enum class ParameterId : uint8_t { pitch, resonance, zing, poles, type, drive, output, mix, keyTrack, modelRate, bypass };
inline constexpr std::size_t parameterIdCount = 11;

/// The continuous controls, which smooth and take modulation; the first three feed the module's sample inputs.
enum class Control : uint8_t { pitch, resonance, zing, drive, output, mix, keyTrack };
inline constexpr std::size_t controlCount = 7;
inline constexpr std::size_t moduleControlCount = 3;

enum class ParameterKind : uint8_t { continuous, list, toggle };

struct ParameterInfo {
    const char* name;
    const char* symbol;
    const char* unit;  ///< "V", "dB", "%" or empty
    float minimum;
    float maximum;
    float defaultValue;
    ParameterKind kind;
    bool modulatable;  ///< CLAP modulation adds to it
    const char* description;
};

namespace detail {

/// A pin default as the module writes it ("5", "10", "0.5"), read at compile time.
constexpr float numberIn(const char* text) {
    float value = 0.0f;
    float scale = 0.0f;
    for (; *text != '\0'; ++text) {
        if (*text == '.') {
            scale = 1.0f;
        } else {
            value = value * 10.0f + static_cast<float>(*text - '0');
            scale *= 10.0f;
        }
    }
    return scale > 0.0f ? value / scale : value;
}

constexpr const vexa::PinDescription& pin(vexa::FilterPin which) {
    return vexa::pinDescriptions[static_cast<std::size_t>(which)];
}

constexpr float moduleDefault(vexa::FilterPin which) { return numberIn(pin(which).defaultText); }

/// Poles is offered by list position; the module's default names a configuration by its value.
constexpr float defaultPolesPosition() {
    const auto value = static_cast<std::size_t>(moduleDefault(vexa::polesPin));
    return static_cast<float>(vexa::poleConfigs[value].list.position);
}

}  // namespace detail

// Pitch, Resonance and Zing take the module's names and defaults; the ranges are
// what a plug-in user reaches (the module accepts wider ones from patch cables).
inline constexpr std::array<ParameterInfo, parameterIdCount> parameterTable{{
    {detail::pin(vexa::pitchPin).name, "pitch", "V", 0.0f, 10.5f, detail::moduleDefault(vexa::pitchPin),
     ParameterKind::continuous, true, "1 V/octave, 440 Hz at 5 V"},
    {detail::pin(vexa::resonancePin).name, "resonance", "V", 0.0f, 10.0f, detail::moduleDefault(vexa::resonancePin),
     ParameterKind::continuous, true, "Resonance; near 10 V many configurations sing"},
    {detail::pin(vexa::zingPin).name, "zing", "V", 0.1f, 50.0f, detail::moduleDefault(vexa::zingPin),
     ParameterKind::continuous, true, "How strongly resonance follows the cutoff"},
    {detail::pin(vexa::polesPin).name, "poles", "", 0.0f, static_cast<float>(vexa::poleConfigCount - 1),
     detail::defaultPolesPosition(), ParameterKind::list, false,
     "The configuration by its position in the module's list, from 2:2 at 0 (the Poles menu names them all); "
     "vexa-host --poles takes the module's own values, another numbering"},
    {detail::pin(vexa::typePin).name, "type", "", 0.0f, 1.0f, detail::moduleDefault(vexa::typePin),
     ParameterKind::list, false, "Low-pass or high-pass output"},
    {"Drive", "drive", "dB", -12.0f, 36.0f, 0.0f, ParameterKind::continuous, true,
     "Input gain: full scale is 10 V, the stages saturate from about 50 V"},
    {"Output", "output_gain", "dB", -24.0f, 24.0f, 0.0f, ParameterKind::continuous, true,
     "Gain after the filter and the mix"},
    {"Mix", "mix", "%", 0.0f, 100.0f, 100.0f, ParameterKind::continuous, true, "Filtered share of the output"},
    {"Key track", "key_track", "%", 0.0f, 100.0f, 0.0f, ParameterKind::continuous, true,
     "How far the last note moves Pitch: 100 % is 1 V/octave from middle C (key 60)"},
    {"Model rate", "model_rate", "", 0.0f, 1.0f, 0.0f, ParameterKind::list, false,
     "At 88.2 to 192 kHz: the filter at its design rate (44.1 or 48 kHz), the same in every session, or at the "
     "session's rate, as before this choice existed"},
    {"Bypass", "bypass", "", 0.0f, 1.0f, 0.0f, ParameterKind::toggle, false,
     "Passes the input through, crossfaded, with no latency"},
}};

constexpr const ParameterInfo& infoOf(ParameterId id) { return parameterTable[static_cast<std::size_t>(id)]; }

constexpr ParameterId idOf(Control control) {
    constexpr std::array<ParameterId, controlCount> ids{ParameterId::pitch,  ParameterId::resonance, ParameterId::zing,
                                                        ParameterId::drive,  ParameterId::output,    ParameterId::mix,
                                                        ParameterId::keyTrack};
    return ids[static_cast<std::size_t>(control)];
}

constexpr const ParameterInfo& infoOf(Control control) { return infoOf(idOf(control)); }

/// The control behind a continuous parameter (Key track for the others, which have none).
constexpr Control controlOf(ParameterId id) {
    switch (id) {
    case ParameterId::pitch: return Control::pitch;
    case ParameterId::resonance: return Control::resonance;
    case ParameterId::zing: return Control::zing;
    case ParameterId::drive: return Control::drive;
    case ParameterId::output: return Control::output;
    case ParameterId::mix: return Control::mix;
    default: return Control::keyTrack;
    }
}

/// One entry of an enumerated parameter: the label shown and the module's list value behind it.
struct Choice {
    std::string label;
    int16_t moduleValue;
};

/// Poles and Type entries in the order of the module's own list texts (read once, on first use).
const std::vector<Choice>& poleChoices();
const std::vector<Choice>& typeChoices();
/// Model rate's entries: the core at its design rate, resampled around it, or at the session's rate.
const std::vector<Choice>& modelRateChoices();

/// List position of the entry labelled `label` (the module's own labels), or 0.
uint32_t positionOf(const std::vector<Choice>& choices, const char* label);

}  // namespace vexaplugin
