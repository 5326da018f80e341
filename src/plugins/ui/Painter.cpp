// The interface's drawing pieces on NanoVG: text, panels, tags and dashed lines.
#include "ui/Painter.h"

#include <algorithm>
#include <cstdio>

#include "ui/Palette.h"

namespace vexaui {

void Painter::label(float x, float y, float size, const Color& colour, int align, const std::string& text) {
    vg.fontSize(size);
    vg.fillColor(colour);
    vg.textAlign(align);
    vg.text(x, y, text.c_str(), nullptr);
}

void Painter::panel(const Box& box, float radius) {
    vg.beginPath();
    vg.roundedRect(box.x + layout::hairlineInset, box.y + layout::hairlineInset, box.width - 2 * layout::hairlineInset,
                   box.height - 2 * layout::hairlineInset, radius);
    vg.fillColor(palette::panel);
    vg.fill();
    vg.strokeColor(palette::panelEdge);
    vg.strokeWidth(layout::hairline);
    vg.stroke();
}

void Painter::tag(float x, float y, const std::string& text, const Color& colour) {
    vg.fontSize(layout::text::tag);
    DGL_NAMESPACE::Rectangle<float> bounds;
    vg.textAlign(NanoVG::ALIGN_LEFT | NanoVG::ALIGN_MIDDLE);
    vg.textBounds(0, 0, text.c_str(), nullptr, bounds);
    const float width = bounds.getWidth() + 2 * layout::tagPadding;
    const float left = std::clamp(x - width / 2, layout::plot.x + layout::tagInset,
                                  layout::plot.right() - width - layout::tagInset);
    vg.beginPath();
    vg.roundedRect(left, y - layout::tagHeight / 2, width, layout::tagHeight, layout::tagCornerRadius);
    vg.fillColor(palette::tagBacking);
    vg.fill();
    vg.strokeColor(colour);
    vg.strokeWidth(layout::hairline);
    vg.stroke();
    label(left + layout::tagPadding, y, layout::text::tag, colour, NanoVG::ALIGN_LEFT | NanoVG::ALIGN_MIDDLE, text);
}

void Painter::dashedVertical(float x, float top, float bottom, const Color& colour) {
    vg.beginPath();
    for (float y = top; y < bottom; y += 2 * layout::dashLength) {
        vg.moveTo(x, y);
        vg.lineTo(x, std::min(y + layout::dashLength, bottom));
    }
    vg.strokeColor(colour);
    vg.strokeWidth(layout::dashWidth);
    vg.stroke();
}

std::string formatHz(double hz) {
    char text[32];
    if (hz >= 1000.0) {
        std::snprintf(text, sizeof text, "%.2f kHz", hz / 1000.0);
    } else {
        std::snprintf(text, sizeof text, "%.0f Hz", hz);
    }
    return text;
}

}  // namespace vexaui
