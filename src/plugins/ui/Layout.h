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

inline constexpr Box header{0, 0, width, 36};
/// The response panel, and the axes' area inside it.
inline constexpr Box response{16, 38, 688, 220};
inline constexpr Box plot{response.x + 40, response.y + 12, response.width - 40 - 14, response.height - 12 - 24};

/// The controls' row: three knobs, the Poles menu button and the Type switch.
inline constexpr float knobRadius = 27.0f;
inline constexpr float knobTrackRadius = 33.0f;
inline constexpr float knobCentreY = 322.0f;
inline constexpr float knobCentres[3] = {82.0f, 202.0f, 322.0f};
/// Where a knob takes the mouse: its name, the knob and its value below.
inline constexpr float knobHalfWidth = 56.0f;
inline constexpr Box knobArea(int knob) {
    return {knobCentres[knob] - knobHalfWidth, 268, 2 * knobHalfWidth, 128};
}
/// A knob's value under it, which a click opens for typing.
inline constexpr Box valueBox(int knob) { return {knobCentres[knob] - 44, knobCentreY + knobTrackRadius + 4, 88, 20}; }
/// The second row: Drive, Output, Mix and Key track, small knobs with their name and value beside them.
inline constexpr Box levels{16, 404, 688, 56};
inline constexpr float levelWidth = levels.width / 4;
inline constexpr float smallKnobRadius = 14.0f;
inline constexpr float smallKnobTrackRadius = 19.0f;

/// Where knob `knob` sits: the three large ones (Pitch, Resonance, Zing), then the four small ones.
struct KnobPlace {
    float centreX, centreY, radius, trackRadius;
    Box area;   ///< where it takes the mouse
    Box value;  ///< its value, which a click opens for typing
    bool small;
};
inline constexpr int largeKnobCount = 3;
inline constexpr KnobPlace knobPlace(int knob) {
    if (knob < largeKnobCount) {
        return {knobCentres[knob], knobCentreY, knobRadius, knobTrackRadius, knobArea(knob), valueBox(knob), false};
    }
    const float left = levels.x + levelWidth * static_cast<float>(knob - largeKnobCount);
    const float centreX = left + 30;
    return {centreX, levels.centreY(), smallKnobRadius, smallKnobTrackRadius, {left, levels.y, 58, levels.height},
            {centreX + 28, levels.centreY() - 1, 100, 20}, true};
}

inline constexpr Box poles{412, 280, 150, 92};
inline constexpr Box type{582, 280, 122, 92};
inline constexpr Box typeLow{type.x + 10, type.y + 28, 49, 32};
inline constexpr Box typeHigh{type.x + 63, type.y + 28, 49, 32};

/// The Poles menu, over the response panel: one column per output pole.
inline constexpr Box menu{response.x + 6, response.y + 6, response.width - 12, response.height - 12};
inline constexpr float menuColumnWidth = menu.width / 5;
inline constexpr float menuHeaderHeight = 30.0f;
inline constexpr float menuRowHeight = 42.0f;
inline constexpr float menuFullWidth = 70.0f;
inline constexpr float menuLightWidth = 40.0f;
inline constexpr float menuCellHeight = 32.0f;
inline constexpr float menuCellGap = 4.0f;

}  // namespace layout

}  // namespace vexaui
