// The interface's drawing pieces on NanoVG, in design pixels: text, panels, tags and dashed lines.
#pragma once

#include <string>

#include "NanoVG.hpp"
#include "ui/Layout.h"

namespace vexaui {

using DGL_NAMESPACE::Color;
using DGL_NAMESPACE::NanoVG;

/// Draws on the editor's NanoVG context, which the caller has scaled to the design layout.
/// Each piece leaves the stroke width and colours as it set them, as NanoVG does.
class Painter {
public:
    explicit Painter(NanoVG& canvas) : vg(canvas) {}

    NanoVG& vg;

    void label(float x, float y, float size, const Color& colour, int align, const std::string& text);
    /// A panel: the panel colour, a hairline edge, rounded corners.
    void panel(const Box& box, float radius = layout::panelCornerRadius);
    /// A small label with a backing, centred on `x` and kept inside the plot.
    void tag(float x, float y, const std::string& text, const Color& colour);
    void dashedVertical(float x, float top, float bottom, const Color& colour);
};

/// A frequency as the interface writes it: "440 Hz", "1.24 kHz".
std::string formatHz(double hz);

}  // namespace vexaui
