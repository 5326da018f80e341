// Where everything of the interface sits, in design pixels of its 720 x 472 layout (scaled as a whole to the window).
#pragma once

namespace vexaui {

struct Box {
    float x, y, width, height;

    constexpr float right() const { return x + width; }
    constexpr float bottom() const { return y + height; }
    constexpr float centreX() const { return x + width / 2; }
    constexpr float centreY() const { return y + height / 2; }
    constexpr bool contains(float px, float py) const { return px >= x && px < right() && py >= y && py < bottom(); }
};

namespace layout {

inline constexpr float width = 720.0f;
inline constexpr float height = 472.0f;
/// The smallest window, as a fraction of the design size each way.
inline constexpr float smallestScale = 0.75f;

/// Lines of one design pixel: panel edges, knob rims, tag and button outlines.
inline constexpr float hairline = 1.0f;
/// A hairline edge is drawn this far inside its box, so that it covers whole pixels at scale 1.
inline constexpr float hairlineInset = 0.5f;
inline constexpr float panelCornerRadius = 6.0f;
/// Type's segments and the Poles menu's entries.
inline constexpr float buttonCornerRadius = 5.0f;

/// Text sizes, in design pixels.
namespace text {
inline constexpr float title = 14.0f;         ///< the product's name in the header
inline constexpr float caption = 12.0f;       ///< a panel's or a large knob's name, the header's setting
inline constexpr float smallCaption = 11.5f;  ///< a small knob's name, the cutoff under Pitch, a menu column's title
inline constexpr float note = 10.5f;          ///< axis labels, the lines under Poles and Type, the menu's key
inline constexpr float tag = 11.0f;           ///< the tags on the curve
inline constexpr float value = 13.0f;         ///< a knob's value
inline constexpr float choice = 14.0f;        ///< Type's segments and the Poles menu's entries
inline constexpr float polesValue = 26.0f;    ///< the chosen configuration on the Poles button
}  // namespace text

/// The header: the product's name on the left, the setting and the rates on the right.
inline constexpr Box header{0, 0, width, 36};
inline constexpr float headerMargin = 20.0f;
inline constexpr float headerBaseline = 24.0f;
/// Extra space between the title's letters.
inline constexpr float titleLetterSpacing = 2.0f;

/// The response panel, and the axes' area inside it.
inline constexpr Box response{16, 38, 688, 220};
inline constexpr Box plot{response.x + 40, response.y + 12, response.width - 40 - 14, response.height - 12 - 24};
/// The axes: decibels from top to bottom, a grid line every 12 dB; frequencies 20 Hz to 20 kHz.
inline constexpr float topDecibels = 24.0f;
inline constexpr float bottomDecibels = -72.0f;
inline constexpr float decibelsPerLine = 12.0f;
inline constexpr double lowestPlottedHz = 20.0;
inline constexpr double highestPlottedHz = 20000.0;
/// The axis labels: frequencies' baseline under the plot, decibels right-aligned left of it, the unit in the corner.
inline constexpr float frequencyLabelBaseline = plot.bottom() + 15;
inline constexpr float decibelLabelRight = plot.x - 6;
inline constexpr float decibelUnitX = response.x + 8;
inline constexpr float decibelUnitBaseline = response.bottom() - 9;
/// The curve's stroke width; a curve beyond the axes is drawn this many dB past them, clipped by the plot.
inline constexpr float curveWidth = 2.0f;
inline constexpr double curveOvershootDb = 20.0;
/// The dashed vertical lines at the cutoff and the ringing: dash and gap length, stroke width.
inline constexpr float dashLength = 4.0f;
inline constexpr float dashWidth = 1.5f;
/// A tag on the curve: its height, corner radius, padding left and right of its text, and its least distance
/// from the plot's sides.
inline constexpr float tagHeight = 18.0f;
inline constexpr float tagCornerRadius = 4.0f;
inline constexpr float tagPadding = 5.0f;
inline constexpr float tagInset = 2.0f;
/// A self-oscillating curve's mark: its tag and dashed line near the top, and the note in the top-left corner.
inline constexpr float ringingTagY = plot.y + 38;
inline constexpr float ringingLineTop = plot.y + 48;
inline constexpr float ringingNoteX = plot.x + 8;
inline constexpr float ringingNoteY = plot.y + 12;
/// The cutoff's mark: its tag at the foot of its dashed line, away from the resonant peak near it.
inline constexpr float cutoffTagY = plot.bottom() - 12;
inline constexpr float cutoffLineBottom = plot.bottom() - 22;

/// The controls' row: three knobs, the Poles menu button and the Type switch.
inline constexpr float knobRadius = 27.0f;
inline constexpr float knobTrackRadius = 33.0f;
inline constexpr float knobCentreY = 322.0f;
inline constexpr float knobCentres[3] = {82.0f, 202.0f, 322.0f};
/// Where a knob takes the mouse: its name, the knob and its value below.
inline constexpr float knobHalfWidth = 56.0f;
inline constexpr float knobAreaTop = 268.0f;
inline constexpr float knobAreaHeight = 128.0f;
inline constexpr Box knobArea(int knob) {
    return {knobCentres[knob] - knobHalfWidth, knobAreaTop, 2 * knobHalfWidth, knobAreaHeight};
}
/// A knob's value, which a click opens for typing: under a large knob's track, after this gap, or beside a small one.
inline constexpr float valueWidth = 88.0f;
inline constexpr float valueHeight = 20.0f;
inline constexpr float valueGap = 4.0f;
inline constexpr Box valueBox(int knob) {
    return {knobCentres[knob] - valueWidth / 2, knobCentreY + knobTrackRadius + valueGap, valueWidth, valueHeight};
}
/// The second row: Drive, Output, Mix and Key track, small knobs with their name and value beside them.
inline constexpr Box levels{16, 404, 688, 56};
inline constexpr float levelWidth = levels.width / 4;
inline constexpr float smallKnobRadius = 14.0f;
inline constexpr float smallKnobTrackRadius = 19.0f;
/// In a small knob's quarter of the row: the knob's centre from the quarter's left, the width where it takes the
/// mouse, and its value's box, right of the centre and a pixel above the row's middle.
inline constexpr float smallKnobIndent = 30.0f;
inline constexpr float smallKnobAreaWidth = 58.0f;
inline constexpr float smallValueIndent = 28.0f;
inline constexpr float smallValueRise = 1.0f;
inline constexpr float smallValueWidth = 100.0f;

/// A knob's drawing: the track's and the pointer's stroke widths (large, small knob), the pointer
/// running from 35 % to 85 % of the radius.
inline constexpr float largeTrackWidth = 4.0f;
inline constexpr float smallTrackWidth = 3.0f;
inline constexpr float largePointerWidth = 3.0f;
inline constexpr float smallPointerWidth = 2.0f;
inline constexpr float pointerStart = 0.35f;
inline constexpr float pointerEnd = 0.85f;
/// A large knob's name, this far below the top of its area; a small knob's, this far above its centre
/// and this far right of its value's left edge.
inline constexpr float largeNameDrop = 10.0f;
inline constexpr float smallNameRise = 10.0f;
inline constexpr float smallTextIndent = 2.0f;
/// A small knob's value is drawn this far below the centre of the box that takes its click.
inline constexpr float smallValueDrop = 4.0f;
/// The box around a value being typed: its corner radius, and the text's indent in a small knob's.
inline constexpr float typingCornerRadius = 4.0f;
inline constexpr float smallTypingIndent = 4.0f;
/// Pitch's cutoff frequency, this far under its value.
inline constexpr float cutoffUnderPitch = 16.0f;

/// Where knob `knob` sits: the three large ones (Pitch, Resonance, Zing), then the four small ones.
struct KnobPlace {
    float centreX, centreY, radius, trackRadius;
    Box area;   ///< where it takes the mouse
    Box value;  ///< its value, which a click opens for typing
    bool small;

    constexpr float trackWidth() const { return small ? smallTrackWidth : largeTrackWidth; }
    constexpr float pointerWidth() const { return small ? smallPointerWidth : largePointerWidth; }
};
inline constexpr int largeKnobCount = 3;
inline constexpr KnobPlace knobPlace(int knob) {
    if (knob < largeKnobCount) {
        return {knobCentres[knob], knobCentreY, knobRadius, knobTrackRadius, knobArea(knob), valueBox(knob), false};
    }
    const float left = levels.x + levelWidth * static_cast<float>(knob - largeKnobCount);
    const float centreX = left + smallKnobIndent;
    return {centreX,
            levels.centreY(),
            smallKnobRadius,
            smallKnobTrackRadius,
            {left, levels.y, smallKnobAreaWidth, levels.height},
            {centreX + smallValueIndent, levels.centreY() - smallValueRise, smallValueWidth, valueHeight},
            true};
}

inline constexpr Box poles{412, 280, 150, 92};
inline constexpr Box type{582, 280, 122, 92};
inline constexpr Box typeLow{type.x + 10, type.y + 28, 49, 32};
inline constexpr Box typeHigh{type.x + 63, type.y + 28, 49, 32};
/// In the Poles and Type panels: the name's indent and height from the top left, and the note's
/// height above the bottom.
inline constexpr float panelCaptionIndent = 12.0f;
inline constexpr float panelCaptionY = 16.0f;
inline constexpr float panelNoteRise = 14.0f;
/// The chosen configuration's height on the Poles button.
inline constexpr float polesValueY = 46.0f;
/// The Poles button's menu arrow, pointing down: its top edge's right end from the panel's top right, its width,
/// and the tip's depth.
inline constexpr float menuArrowRightInset = 12.0f;
inline constexpr float menuArrowTopInset = 12.0f;
inline constexpr float menuArrowWidth = 10.0f;
inline constexpr float menuArrowDepth = 6.0f;

/// The Poles menu, over the response panel: one column per output pole (2 to 5), one for the differences.
inline constexpr Box menu{response.x + 6, response.y + 6, response.width - 12, response.height - 12};
inline constexpr int menuColumnCount = 5;
inline constexpr float menuColumnWidth = menu.width / menuColumnCount;
inline constexpr float menuHeaderHeight = 30.0f;
inline constexpr float menuRowHeight = 42.0f;
inline constexpr float menuFullWidth = 70.0f;
inline constexpr float menuLightWidth = 40.0f;
inline constexpr float menuCellHeight = 32.0f;
inline constexpr float menuCellGap = 4.0f;
/// A column's title, this far below the menu's top; the key, this far in from its bottom right.
inline constexpr float menuTitleY = 17.0f;
inline constexpr float menuKeyInset = 10.0f;

}  // namespace layout

}  // namespace vexaui
