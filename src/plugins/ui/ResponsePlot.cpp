// The response panel: the axes, the filter's measured curve, its ringing and the cutoff of Pitch.
#include "ui/ResponsePlot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

#include "ParameterText.h"
#include "hostlib/ImpulseResponse.h"
#include "ui/Palette.h"

namespace vexaui {

namespace {

using layout::bottomDecibels;
using layout::highestPlottedHz;
using layout::lowestPlottedHz;
using layout::topDecibels;

/// Where the top of a self-oscillating filter's spectrum is drawn, below the top of the axes.
constexpr double ringingHeadroomDb = 6.0;

float frequencyX(double hz) {
    const double position = std::log(hz / lowestPlottedHz) / std::log(highestPlottedHz / lowestPlottedHz);
    return layout::plot.x + static_cast<float>(position) * layout::plot.width;
}

float decibelY(double decibels) {
    const double position = (topDecibels - decibels) / (topDecibels - bottomDecibels);
    return layout::plot.y + static_cast<float>(position) * layout::plot.height;
}

void drawGrid(Painter& painter) {
    NanoVG& vg = painter.vg;
    const Box& plot = layout::plot;
    vg.strokeWidth(layout::hairline);
    for (double decade = 10.0; decade <= highestPlottedHz; decade *= 10.0) {
        for (int step = 1; step <= 9; ++step) {
            const double hz = decade * step;
            if (hz < lowestPlottedHz || hz > highestPlottedHz) continue;
            vg.beginPath();
            vg.moveTo(frequencyX(hz), plot.y);
            vg.lineTo(frequencyX(hz), plot.bottom());
            vg.strokeColor(step == 1 ? palette::gridStrong : palette::grid);
            vg.stroke();
        }
    }
    const char* const frequencyLabels[] = {"20", "50", "100", "200", "500", "1k", "2k", "5k", "10k", "20k"};
    const double labelledHz[] = {20, 50, 100, 200, 500, 1000, 2000, 5000, 10000, 20000};
    for (std::size_t i = 0; i < std::size(labelledHz); ++i) {
        painter.label(frequencyX(labelledHz[i]), layout::frequencyLabelBaseline, layout::text::note, palette::dimText,
                      NanoVG::ALIGN_CENTER | NanoVG::ALIGN_BASELINE, frequencyLabels[i]);
    }
    for (float decibels = bottomDecibels; decibels <= topDecibels; decibels += layout::decibelsPerLine) {
        vg.beginPath();
        vg.moveTo(plot.x, decibelY(decibels));
        vg.lineTo(plot.right(), decibelY(decibels));
        vg.strokeColor(decibels == 0.0f ? palette::gridStrong : palette::grid);
        vg.stroke();
        char text[16];
        std::snprintf(text, sizeof text, decibels > 0 ? "+%.0f" : "%.0f", static_cast<double>(decibels));
        painter.label(layout::decibelLabelRight, decibelY(decibels), layout::text::note, palette::dimText,
                      NanoVG::ALIGN_RIGHT | NanoVG::ALIGN_MIDDLE, text);
    }
    painter.label(layout::decibelUnitX, layout::decibelUnitBaseline, layout::text::note, palette::dimText,
                  NanoVG::ALIGN_LEFT | NanoVG::ALIGN_BASELINE, "dB");
}

void drawCurve(Painter& painter, const vexaplugin::ResponseCurve& curve) {
    NanoVG& vg = painter.vg;
    const Box& plot = layout::plot;
    const std::vector<double>& hz = curve.frequencies;
    const std::vector<double>& decibels = curve.decibels;
    const std::size_t loudest =
        static_cast<std::size_t>(std::max_element(decibels.begin(), decibels.end()) - decibels.begin());
    // A ringing filter's measurement has no level of its own: its spectrum is shown below the top.
    const double shift = curve.oscillates ? topDecibels - ringingHeadroomDb - decibels[loudest] : 0.0;
    const Color& line = curve.oscillates ? palette::oscillation : palette::accent;
    const auto y = [&](std::size_t i) {
        return decibelY(std::clamp(decibels[i] + shift, bottomDecibels - layout::curveOvershootDb,
                                   topDecibels + layout::curveOvershootDb));
    };
    vg.save();
    vg.scissor(plot.x, plot.y, plot.width, plot.height);
    vg.beginPath();
    vg.moveTo(frequencyX(hz.front()), plot.bottom());
    for (std::size_t i = 0; i < hz.size(); ++i) vg.lineTo(frequencyX(hz[i]), y(i));
    vg.lineTo(frequencyX(hz.back()), plot.bottom());
    vg.closePath();
    vg.fillPaint(vg.linearGradient(0, plot.y, 0, plot.bottom(), palette::withAlpha(line, palette::curveFillTopAlpha),
                                   palette::withAlpha(line, palette::curveFillBottomAlpha)));
    vg.fill();
    vg.beginPath();
    vg.moveTo(frequencyX(hz.front()), y(0));
    for (std::size_t i = 1; i < hz.size(); ++i) vg.lineTo(frequencyX(hz[i]), y(i));
    vg.strokeColor(line);
    vg.strokeWidth(layout::curveWidth);
    vg.lineJoin(NanoVG::ROUND);
    vg.stroke();
    vg.restore();
    if (curve.oscillates) {
        const float x = frequencyX(hz[loudest]);
        painter.dashedVertical(x, layout::ringingLineTop, plot.bottom(), palette::oscillation);
        painter.tag(x, layout::ringingTagY, "self-oscillating at " + formatHz(hz[loudest]), palette::oscillation);
        painter.label(layout::ringingNoteX, layout::ringingNoteY, layout::text::note, palette::oscillation,
                      NanoVG::ALIGN_LEFT | NanoVG::ALIGN_MIDDLE, "the ringing's spectrum, scaled to fit");
    }
}

}  // namespace

void drawResponse(Painter& painter, const std::optional<vexaplugin::ResponseCurve>& curve, double modelRate,
                  float pitchVolts) {
    NanoVG& vg = painter.vg;
    const Box& plot = layout::plot;
    painter.panel(layout::response);
    drawGrid(painter);

    const double nyquistEdge = vexahost::highestMeasuredHz(modelRate);
    if (nyquistEdge < highestPlottedHz) {
        vg.beginPath();
        vg.rect(frequencyX(nyquistEdge), plot.y, plot.right() - frequencyX(nyquistEdge), plot.height);
        vg.fillColor(palette::beyondNyquist);
        vg.fill();
    }

    if (curve && !curve->frequencies.empty()) drawCurve(painter, *curve);

    const double cutoffHz = vexaplugin::nominalCutoffHz(pitchVolts);
    if (cutoffHz >= lowestPlottedHz && cutoffHz <= highestPlottedHz) {
        const float x = frequencyX(cutoffHz);
        painter.dashedVertical(x, plot.y, layout::cutoffLineBottom, palette::cutoff);
        painter.tag(x, layout::cutoffTagY, "cutoff " + formatHz(cutoffHz), palette::cutoff);
    }
}

}  // namespace vexaui
