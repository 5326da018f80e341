// The knobs: the parameter each turns, where the mouse finds them, and how they are drawn.
#include "ui/Knobs.h"

#include <cmath>
#include <cstdio>
#include <numbers>

#include "ParameterText.h"
#include "ui/Palette.h"

namespace vexaui {

namespace {

/// A knob's sweep: from 7:30 to 4:30 on a clock face, in radians from 3 o'clock.
constexpr float knobStartAngle = 0.75f * std::numbers::pi_v<float>;
constexpr float knobSweep = 1.5f * std::numbers::pi_v<float>;

/// Values as the hosts show them: volts with two decimals, decibels with one, percent whole, and the unit.
std::string formatValue(const vexaplugin::ParameterInfo& entry, float value) {
    const std::string unit = entry.unit;
    const int decimals = unit == "V" ? 2 : unit == "dB" ? 1 : 0;
    char text[32];
    std::snprintf(text, sizeof text, "%.*f %s", decimals, static_cast<double>(value), entry.unit);
    return text;
}

}  // namespace

std::optional<uint32_t> knobOf(uint32_t parameter) {
    for (uint32_t knob = 0; knob < knobCount; ++knob) {
        if (knobParameters[knob] == parameter) return knob;
    }
    return std::nullopt;
}

KnobMotion knobMotionFor(uint32_t knob) {
    const vexaplugin::ParameterInfo& entry = vexaplugin::infoAt(parameterOf(knob));
    return KnobMotion(entry.minimum, entry.maximum, entry.defaultValue);
}

std::optional<uint32_t> knobAt(float x, float y) {
    for (uint32_t knob = 0; knob < knobCount; ++knob) {
        if (layout::knobPlace(static_cast<int>(knob)).area.contains(x, y)) return knob;
    }
    return std::nullopt;
}

std::optional<uint32_t> knobValueAt(float x, float y) {
    for (uint32_t knob = 0; knob < knobCount; ++knob) {
        if (layout::knobPlace(static_cast<int>(knob)).value.contains(x, y)) return knob;
    }
    return std::nullopt;
}

void drawKnob(Painter& painter, uint32_t knob, const KnobMotion& motion, const std::string* typed) {
    NanoVG& vg = painter.vg;
    const vexaplugin::ParameterInfo& entry = vexaplugin::infoAt(parameterOf(knob));
    const layout::KnobPlace place = layout::knobPlace(static_cast<int>(knob));
    const float cx = place.centreX;
    const float cy = place.centreY;
    const float radius = place.radius;

    // A large knob has its name above it, a small one beside it, over its value.
    if (place.small) {
        painter.label(place.value.x + layout::smallTextIndent, cy - layout::smallNameRise, layout::text::smallCaption,
                      palette::dimText, NanoVG::ALIGN_LEFT | NanoVG::ALIGN_MIDDLE, entry.name);
    } else {
        painter.label(cx, place.area.y + layout::largeNameDrop, layout::text::caption, palette::dimText,
                      NanoVG::ALIGN_CENTER | NanoVG::ALIGN_MIDDLE, entry.name);
    }

    const float valueAngle = knobStartAngle + knobSweep * motion.position();
    vg.beginPath();
    vg.arc(cx, cy, place.trackRadius, knobStartAngle, knobStartAngle + knobSweep, NanoVG::CW);
    vg.strokeColor(palette::grid);
    vg.strokeWidth(place.trackWidth());
    vg.lineCap(NanoVG::ROUND);
    vg.stroke();
    vg.beginPath();
    vg.arc(cx, cy, place.trackRadius, knobStartAngle, valueAngle, NanoVG::CW);
    vg.strokeColor(palette::accent);
    vg.stroke();

    vg.beginPath();
    vg.circle(cx, cy, radius);
    vg.fillPaint(vg.linearGradient(cx, cy - radius, cx, cy + radius, palette::knobTop, palette::knobBottom));
    vg.fill();
    vg.strokeColor(palette::panelEdge);
    vg.strokeWidth(layout::hairline);
    vg.stroke();

    vg.beginPath();
    vg.moveTo(cx + std::cos(valueAngle) * radius * layout::pointerStart,
              cy + std::sin(valueAngle) * radius * layout::pointerStart);
    vg.lineTo(cx + std::cos(valueAngle) * radius * layout::pointerEnd,
              cy + std::sin(valueAngle) * radius * layout::pointerEnd);
    vg.strokeColor(palette::pointer);
    vg.strokeWidth(place.pointerWidth());
    vg.lineCap(NanoVG::ROUND);
    vg.stroke();

    const Box& box = place.value;
    const float valueX = place.small ? box.x + layout::smallTextIndent : cx;
    const int align = (place.small ? NanoVG::ALIGN_LEFT : NanoVG::ALIGN_CENTER) | NanoVG::ALIGN_MIDDLE;
    const float drop = place.small ? layout::smallValueDrop : 0.0f;
    const float valueY = box.centreY() + drop;
    if (typed != nullptr) {
        vg.beginPath();
        vg.roundedRect(box.x, box.y + drop, box.width, box.height, layout::typingCornerRadius);
        vg.fillColor(palette::background);
        vg.fill();
        vg.strokeColor(palette::accent);
        vg.strokeWidth(layout::hairline);
        vg.stroke();
        painter.label(valueX + (place.small ? layout::smallTypingIndent : 0.0f), valueY, layout::text::value,
                      palette::text, align, *typed + "| " + entry.unit);
    } else {
        painter.label(valueX, valueY, layout::text::value, palette::text, align, formatValue(entry, motion.value()));
    }
    if (knob == vexaplugin::pitchParameter) {
        painter.label(cx, valueY + layout::cutoffUnderPitch, layout::text::smallCaption, palette::cutoff,
                      NanoVG::ALIGN_CENTER | NanoVG::ALIGN_MIDDLE,
                      formatHz(vexaplugin::nominalCutoffHz(motion.value())));
    }
}

}  // namespace vexaui
