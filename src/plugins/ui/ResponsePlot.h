// The response panel: the axes, the filter's measured curve, its ringing and the cutoff of Pitch.
#pragma once

#include <optional>

#include "LiveResponse.h"
#include "ui/Painter.h"

namespace vexaui {

/// Points of the plotted curve: 24 per octave over the ten octaves of 20 Hz to 20 kHz, about
/// three design pixels apart.
inline constexpr int curvePoints = 241;

/// Draws the panel for a filter running at `modelRate` (Hz) with Pitch at `pitchVolts`; the
/// curve, once measured, is already corrected for the resampling around the filter.
void drawResponse(Painter& painter, const std::optional<vexaplugin::ResponseCurve>& curve, double modelRate,
                  float pitchVolts);

}  // namespace vexaui
