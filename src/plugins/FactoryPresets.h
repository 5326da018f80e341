// The factory presets: one row per preset, the single table every plug-in format takes them from.
#pragma once

#include <array>
#include <cstddef>

#include "ParameterTable.h"

namespace vexaplugin {

/// One factory preset: controls in volts, Poles by its label, Type as "LP" or "HP", then the
/// controls around the filter, which a row may leave at their defaults (a preset sets them all).
/// Values are exact in 32-bit floats, so that a host that stores floats keeps them.
struct FactoryPreset {
    const char* name;
    const char* description;
    float pitchVolts;
    float resonanceVolts;
    float zingVolts;
    const char* poles;
    const char* type;
    float keyTrackPercent = 0.0f;
    float driveDecibels = 0.0f;
    float outputDecibels = 0.0f;
    float mixPercent = 100.0f;
};

/// Named for what they sound like; the first is what a fresh instance sounds like.
/// Hosts keep a preset by its row (CLAP load key, VST3 program number): add rows at the end.
inline constexpr std::array<FactoryPreset, 11> factoryPresets{{
    {"Default Light Ladder", "The module's own start: the light four-pole loop, tapped after pole 2", 5.0f, 5.0f,
     10.0f, "2:4f", "LP"},
    {"Gentle Two-Pole", "A soft 12 dB roll-off with little resonance, for taming bright sources", 7.0f, 2.0f, 10.0f,
     "2:2", "LP"},
    {"Classic Ladder", "The four-pole ladder with a moderate peak", 6.0f, 5.0f, 10.0f, "4:4", "LP"},
    {"Acid Squelch", "Four poles, high resonance that follows the cutoff hard: sweep Pitch", 5.5f, 8.5f, 20.0f,
     "4:4", "LP"},
    {"Singing Light Ladder", "The light four-pole near self-oscillation: a whistling peak", 6.5f, 9.5f, 10.0f,
     "4:4f", "LP"},
    {"Deep Five-Pole", "Five poles: a steep, dark low-pass for sub bass", 4.5f, 6.0f, 10.0f, "5:5", "LP"},
    {"Hollow Three-Pole Loop", "Output after pole 5 of a three-pole loop: a hollow, nasal peak", 6.0f, 7.0f, 15.0f,
     "5:3", "LP"},
    {"Nasal Difference", "The difference of poles 2 and 3: a band-like, vocal tone", 6.5f, 6.0f, 10.0f, "2-3:5",
     "LP"},
    {"Thin High-Pass", "The four-pole ladder as a high-pass: takes the body out, keeps the edge", 5.0f, 4.0f, 10.0f,
     "4:4", "HP"},
    {"Dark Rumble", "Four poles closed down low: muffled and round", 4.0f, 3.0f, 10.0f, "4:4", "LP"},
    {"Keyboard Whistle", "Four poles tapped after pole 5, singing on their own at full resonance and played from "
     "the keyboard (Key track 100 %): the whistle moves an octave with each octave of the keys", 5.0f, 10.0f, 10.0f,
     "4:5", "LP", 100.0f, 0.0f, -12.0f, 100.0f},
}};

/// One parameter a loaded preset sets, in the parameter's unit (Poles and Type by list position).
struct PresetValue {
    ParameterId id;
    float value;
};
inline constexpr std::size_t presetValueCount = 9;

/// What loading `preset` sets, every control, then Poles and Type: the plug-in applies
/// these and its editor shows them.
std::array<PresetValue, presetValueCount> presetValues(const FactoryPreset& preset);

}  // namespace vexaplugin
