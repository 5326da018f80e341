// The knobs: the parameter each turns, where the mouse finds them, and how they are drawn.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "PluginParameters.h"
#include "ui/KnobMotion.h"
#include "ui/Painter.h"

namespace vexaui {

/// The knobs: Pitch, Resonance and Zing large (the first three parameters, so that a knob's
/// number is its parameter's), then Drive, Output, Mix and Key track small.
inline constexpr uint32_t knobCount = 7;
inline constexpr uint32_t knobParameters[knobCount] = {
    vexaplugin::pitchParameter, vexaplugin::resonanceParameter, vexaplugin::zingParameter,
    vexaplugin::driveParameter, vexaplugin::outputParameter,    vexaplugin::mixParameter,
    vexaplugin::keyTrackParameter};
static_assert(vexaplugin::pitchParameter == 0 && vexaplugin::resonanceParameter == 1 &&
              vexaplugin::zingParameter == 2);

inline uint32_t parameterOf(uint32_t knob) { return knobParameters[knob]; }
std::optional<uint32_t> knobOf(uint32_t parameter);

/// A knob that turns with the parameter's range and default.
KnobMotion knobMotionFor(uint32_t knob);

/// The knob whose area (name, knob and value) holds the design point, and the knob whose value box does.
std::optional<uint32_t> knobAt(float x, float y);
std::optional<uint32_t> knobValueAt(float x, float y);

/// Draws knob `knob` at `motion`'s value; `typed` is the text being typed into its value, if it is.
void drawKnob(Painter& painter, uint32_t knob, const KnobMotion& motion, const std::string* typed);

}  // namespace vexaui
