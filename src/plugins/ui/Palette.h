// The interface's colours (DGL), each named for what it paints.
#pragma once

#include "Color.hpp"

namespace vexaui::palette {

using DGL_NAMESPACE::Color;

inline const Color background(23, 25, 29);
inline const Color panel(31, 34, 40);
inline const Color panelEdge(46, 50, 58);
inline const Color grid(44, 48, 56);
/// The decades' lines and 0 dB.
inline const Color gridStrong(66, 71, 81);
inline const Color text(205, 210, 218);
inline const Color dimText(128, 135, 146);
/// The curve, a knob's sweep, what is chosen.
inline const Color accent(255, 179, 71);
inline const Color cutoff(94, 200, 240);
/// A self-oscillating filter's curve and its mark.
inline const Color oscillation(255, 96, 96);
/// A knob's face, lit from above.
inline const Color knobTop(70, 76, 87);
inline const Color knobBottom(38, 41, 48);
inline const Color pointer(236, 240, 245);
/// The frequencies above the filter's Nyquist frequency, darkened.
inline const Color beyondNyquist(0, 0, 0, 0.25f);
/// Behind a tag's text: the panel, a little towards the background.
inline const Color tagBacking(panel, background, 0.3f);

/// The curve's fill fades from this opacity at the top of the plot to the one at its foot.
inline constexpr float curveFillTopAlpha = 0.30f;
inline constexpr float curveFillBottomAlpha = 0.02f;
/// Type's segments while the configuration ignores Type; the open Poles menu over the curve.
inline constexpr float ignoredAlpha = 0.35f;
inline constexpr float menuAlpha = 0.97f;

inline Color withAlpha(Color colour, float alpha) {
    colour.alpha = alpha;
    return colour;
}

}  // namespace vexaui::palette
