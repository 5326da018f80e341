// The plug-in's interface (DGL with NanoVG): the five controls and the filter's live frequency response.
//
// Everything is drawn in the 720 x 400 design layout of ui/Layout.h, scaled as
// a whole to the window, so that text and lines are drawn at the window's own
// resolution. The interface talks to the DSP only through the parameters; the
// curve is measured on a worker thread of its own (LiveResponse.h).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <optional>
#include <string>

#include "DistrhoUI.hpp"
#include "FilterEngine.h"
#include "LiveResponse.h"
#include "FactoryPresets.h"
#include "PluginParameters.h"
#include "hostlib/ImpulseResponse.h"
#include "ui/KnobMotion.h"
#include "ui/Layout.h"
#include "ui/PolesMenu.h"

START_NAMESPACE_DISTRHO

namespace {

using vexaplugin::Control;
using enum vexaplugin::ParameterIndex;
using vexaui::Box;
using vexaui::KnobMotion;
namespace layout = vexaui::layout;

/// Points of the plotted curve: 24 per octave over the ten octaves of 20 Hz to 20 kHz, about
/// three design pixels apart.
constexpr int curvePoints = 241;

/// The response axes: decibels from top to bottom, 12 dB a line; frequencies 20 Hz to 20 kHz.
constexpr float topDecibels = 24.0f;
constexpr float bottomDecibels = -72.0f;
constexpr float decibelsPerLine = 12.0f;
constexpr double lowestPlottedHz = 20.0;
constexpr double highestPlottedHz = 20000.0;
/// The key that enters a typed value (pugl gives Return as a carriage return).
constexpr uint32_t returnKey = '\r';
/// Longest value that can be typed, in characters ("-10.125").
constexpr std::size_t maximumTypedLength = 8;

/// Below this sample rate (Hz; a host that has not told its rate yet) no curve is measured.
constexpr double lowestMeasuredRate = 1000.0;
/// Where the top of a self-oscillating filter's spectrum is drawn, below the top of the axes.
constexpr double ringingHeadroomDb = 6.0;

namespace colour {
const Color background(23, 25, 29);
const Color panel(31, 34, 40);
const Color panelEdge(46, 50, 58);
const Color grid(44, 48, 56);
const Color gridStrong(66, 71, 81);
const Color text(205, 210, 218);
const Color dimText(128, 135, 146);
const Color accent(255, 179, 71);
const Color cutoff(94, 200, 240);
const Color oscillation(255, 96, 96);
const Color knobTop(70, 76, 87);
const Color knobBottom(38, 41, 48);
const Color pointer(236, 240, 245);
}  // namespace colour

/// A knob's sweep: from 7:30 to 4:30 on a clock face, in radians from 3 o'clock.
constexpr float knobStartAngle = 0.75f * std::numbers::pi_v<float>;
constexpr float knobSweep = 1.5f * std::numbers::pi_v<float>;

Color withAlpha(Color colour, float alpha) {
    colour.alpha = alpha;
    return colour;
}

/// Values as the hosts show them: volts with two decimals, decibels with one, percent whole, and the unit.
std::string formatValue(const vexaplugin::ParameterInfo& entry, float value) {
    const std::string unit = entry.unit;
    const int decimals = unit == "V" ? 2 : unit == "dB" ? 1 : 0;
    char text[32];
    std::snprintf(text, sizeof text, "%.*f %s", decimals, static_cast<double>(value), entry.unit);
    return text;
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

class VexaFilterUI : public UI {
public:
    VexaFilterUI()
        : UI(static_cast<uint>(layout::width), static_cast<uint>(layout::height)),
          knobs{knobFor(Control::pitch), knobFor(Control::resonance), knobFor(Control::zing), knobFor(Control::drive),
                knobFor(Control::output), knobFor(Control::mix), knobFor(Control::keyTrack)},
          menuColumns(vexaui::arrangePolesMenu(vexaplugin::poleChoices())),
          curves(curvePoints) {
        loadSharedResources();
        polesPosition = static_cast<uint32_t>(vexaplugin::infoOf(vexaplugin::ParameterId::poles).defaultValue);
        typePosition = static_cast<uint32_t>(vexaplugin::infoOf(vexaplugin::ParameterId::type).defaultValue);
        fitToScale(getScaleFactor());
        curveWanted = true;
    }

protected:
    // ---- From the host and the DSP: parameters, sample rate, idle time ----

    void parameterChanged(uint32_t index, float value) override {
        if (std::isnan(value)) return;
        if (const std::optional<uint32_t> knob = knobOf(index)) {
            knobs[*knob].set(value);
        } else if (index == polesParameter) {
            polesPosition = nearestPosition(value, vexaplugin::poleChoices().size());
        } else if (index == typeParameter) {
            typePosition = nearestPosition(value, vexaplugin::typeChoices().size());
        } else if (index == modelRateParameter) {
            designRate = value < 0.5f;
        } else {
            return;
        }
        requestCurve();
        repaint();
    }

#if DISTRHO_PLUGIN_WANT_PROGRAMS
    // A factory preset loaded by the host: the controls show what it set.
    void programLoaded(uint32_t index) override {
        if (index >= vexaplugin::factoryPresets.size()) return;
        for (const vexaplugin::PresetValue& preset : vexaplugin::presetValues(vexaplugin::factoryPresets[index])) {
            for (uint32_t parameter = 0; parameter < parameterCount; ++parameter) {
                if (vexaplugin::parameterIds[parameter] == preset.id) parameterChanged(parameter, preset.value);
            }
        }
    }
#endif

    void sampleRateChanged(double) override {
        requestCurve();
        repaint();
    }

#if DISTRHO_PLUGIN_WANT_STATE
    // The CLAP build's state carries the parameters only, which arrive through parameterChanged.
    void stateChanged(const char*, const char*) override {}
#endif

    void uiIdle() override {
        // One request for all the changes since the last idle call (a host
        // opening the interface sends every parameter at once).
        if (curveWanted && getSampleRate() >= lowestMeasuredRate) {
            curves.request(settings());
            curveWanted = false;
        }
        if (std::optional<vexaplugin::ResponseCurve> finished = curves.takeFinished()) {
            curve = std::move(finished);
            // What is heard at the session rate: the filter's curve through the resampling around it.
            const uint32_t factor = designRate ? vexaplugin::resampler::factorFor(getSampleRate()) : 1;
            for (std::size_t i = 0; i < curve->frequencies.size(); ++i) {
                curve->decibels[i] += vexaplugin::resampler::roundTripDecibels(curve->frequencies[i], modelRate(), factor);
            }
            repaint();
        }
    }

    void uiScaleFactorChanged(double scaleFactor) override { fitToScale(scaleFactor); }

    // ---- Drawing ----

    void onNanoDisplay() override {
        const Placement place = placement();
        beginPath();
        rect(0, 0, getWidth(), getHeight());
        fillColor(colour::background);
        fill();
        translate(place.left, place.top);
        scale(place.scale, place.scale);
        fontFace(NANOVG_DEJAVU_SANS_TTF);

        drawHeader();
        drawResponse();
        panelBox(layout::levels);
        for (int knob = 0; knob < static_cast<int>(knobCount); ++knob) drawKnob(knob);
        drawPoles();
        drawType();
        if (menuOpen) drawMenu();
    }

    // ---- Mouse and keys ----

    bool onMouse(const MouseEvent& event) override {
        const auto [x, y] = toDesign(event.pos.getX(), event.pos.getY());
        if (event.button != kMouseButtonLeft) return false;
        if (!event.press) {
            for (uint32_t knob = 0; knob < knobCount; ++knob) {
                if (knobs[knob].dragging()) {
                    knobs[knob].release();
                    editParameter(parameterOf(knob), false);
                }
            }
            return true;
        }
        if (menuOpen) {
            if (const std::optional<uint32_t> position = menuEntryAt(x, y)) choosePoles(*position);
            menuOpen = false;
            repaint();
            return true;
        }
        // A click on a knob's value opens it for typing; a click anywhere else closes it unchanged.
        const bool wasTyping = typing.has_value();
        typing.reset();
        for (uint32_t knob = 0; knob < knobCount; ++knob) {
            if (layout::knobPlace(static_cast<int>(knob)).value.contains(x, y)) {
                typing = knob;
                typed.clear();
                // The keys go to the window with the focus, which an embedded editor must take.
                getWindow().focus();
                repaint();
                return true;
            }
        }
        if (wasTyping) repaint();
        for (uint32_t knob = 0; knob < knobCount; ++knob) {
            if (!layout::knobPlace(static_cast<int>(knob)).area.contains(x, y)) continue;
            editParameter(parameterOf(knob), true);
            if (knobs[knob].press(y, event.time)) {
                setParameterValue(parameterOf(knob), knobs[knob].value());
                editParameter(parameterOf(knob), false);
                controlsMoved();
            }
            return true;
        }
        if (layout::poles.contains(x, y)) {
            menuOpen = true;
            repaint();
            return true;
        }
        if (!typeIgnored()) {
            if (layout::typeLow.contains(x, y)) chooseType(0);
            if (layout::typeHigh.contains(x, y)) chooseType(1);
        }
        return true;
    }

    bool onMotion(const MotionEvent& event) override {
        const auto [x, y] = toDesign(event.pos.getX(), event.pos.getY());
        const bool fine = (event.mod & kModifierShift) != 0;
        for (uint32_t knob = 0; knob < knobCount; ++knob) {
            if (knobs[knob].dragging() && knobs[knob].drag(y, fine)) {
                setParameterValue(parameterOf(knob), knobs[knob].value());
                controlsMoved();
                return true;
            }
        }
        const std::optional<uint32_t> hovered = menuOpen ? menuEntryAt(x, y) : std::nullopt;
        if (hovered != menuHover) {
            menuHover = hovered;
            repaint();
        }
        return false;
    }

    bool onScroll(const ScrollEvent& event) override {
        const auto [x, y] = toDesign(event.pos.getX(), event.pos.getY());
        const bool fine = (event.mod & kModifierShift) != 0;
        const auto notches = static_cast<float>(event.delta.getY());
        if (menuOpen || notches == 0.0f) return false;
        for (uint32_t knob = 0; knob < knobCount; ++knob) {
            if (!layout::knobPlace(static_cast<int>(knob)).area.contains(x, y)) continue;
            if (knobs[knob].wheel(notches, fine)) {
                editParameter(parameterOf(knob), true);
                setParameterValue(parameterOf(knob), knobs[knob].value());
                editParameter(parameterOf(knob), false);
                controlsMoved();
            }
            return true;
        }
        if (layout::poles.contains(x, y)) {
            // Up is towards the start of the list, as in a menu.
            const auto last = static_cast<int64_t>(vexaplugin::poleChoices().size()) - 1;
            const int64_t next = static_cast<int64_t>(polesPosition) + (notches > 0 ? -1 : 1);
            if (next >= 0 && next <= last) choosePoles(static_cast<uint32_t>(next));
            return true;
        }
        return false;
    }

    bool onKeyboard(const KeyboardEvent& event) override {
        if (!event.press) return false;
        if (event.key == kKeyEscape && (menuOpen || typing)) {
            menuOpen = false;
            typing.reset();
            repaint();
            return true;
        }
        if (!typing) return false;
        if (event.key == kKeyBackspace && !typed.empty()) {
            typed.pop_back();
            repaint();
        } else if (event.key == returnKey) {
            enterTyped();
        }
        return true;
    }

    bool onCharacterInput(const CharacterInputEvent& event) override {
        if (!typing) return false;
        const uint32_t c = event.character;
        // Digits and one decimal point (a comma reads as one), a minus sign first.
        const bool digit = c >= '0' && c <= '9';
        const bool point = (c == '.' || c == ',') && typed.find('.') == std::string::npos;
        const bool minus = c == '-' && typed.empty();
        if ((digit || point || minus) && typed.size() < maximumTypedLength) {
            typed += point ? '.' : static_cast<char>(c);
            repaint();
        }
        return true;
    }

private:
    /// The knobs: Pitch, Resonance and Zing large (the first three parameters, so that a knob's
    /// number is its parameter's), then Drive, Output, Mix and Key track small.
    static constexpr uint32_t knobCount = 7;
    static constexpr uint32_t knobParameters[knobCount] = {pitchParameter, resonanceParameter, zingParameter,
                                                           driveParameter, outputParameter,    mixParameter,
                                                           keyTrackParameter};
    static_assert(pitchParameter == 0 && resonanceParameter == 1 && zingParameter == 2);

    static uint32_t parameterOf(uint32_t knob) { return knobParameters[knob]; }
    static std::optional<uint32_t> knobOf(uint32_t parameter) {
        for (uint32_t knob = 0; knob < knobCount; ++knob) {
            if (knobParameters[knob] == parameter) return knob;
        }
        return std::nullopt;
    }

    struct Placement {
        float scale;
        float left;
        float top;
    };

    /// The design layout scaled to fit the window, centred where the host keeps another aspect.
    Placement placement() const {
        const float width = static_cast<float>(getWidth());
        const float height = static_cast<float>(getHeight());
        const float scale = std::min(width / layout::width, height / layout::height);
        return {scale, (width - layout::width * scale) / 2, (height - layout::height * scale) / 2};
    }

    std::pair<float, float> toDesign(double x, double y) const {
        const Placement place = placement();
        return {(static_cast<float>(x) - place.left) / place.scale, (static_cast<float>(y) - place.top) / place.scale};
    }

    /// The window at the design size times the host's or desktop's scale factor, resizable to any shape: the
    /// design keeps its aspect, centred (a window held to one aspect fights tiling window managers).
    void fitToScale(double scaleFactor) {
        const auto size = [scaleFactor](float designPixels) {
            return static_cast<uint>(std::lround(designPixels * scaleFactor));
        };
        setGeometryConstraints(size(layout::width * layout::smallestScale), size(layout::height * layout::smallestScale),
                               false, false);
        setSize(size(layout::width), size(layout::height));
    }

    KnobMotion knobFor(Control control) const {
        const vexaplugin::ParameterInfo& entry = vexaplugin::infoOf(control);
        return KnobMotion(entry.minimum, entry.maximum, entry.defaultValue);
    }

    static uint32_t nearestPosition(float value, std::size_t count) {
        const float highest = static_cast<float>(count - 1);
        return static_cast<uint32_t>(std::lround(std::clamp(value, 0.0f, highest)));
    }

    int16_t polesValue() const { return vexaplugin::poleChoices()[polesPosition].moduleValue; }
    bool typeIgnored() const { return vexaui::ignoresType(polesValue()); }

    vexaplugin::CurveSettings settings() const {
        vexaplugin::CurveSettings now;
        now.poles = polesValue();
        now.type = vexaplugin::typeChoices()[typePosition].moduleValue;
        now.pitchVolts = knobs[pitchParameter].value();
        now.resonanceVolts = knobs[resonanceParameter].value();
        now.zingVolts = knobs[zingParameter].value();
        now.sampleRate = static_cast<float>(modelRate());
        return now;
    }

    /// The rate the filter runs at, and so the rate its curve is measured at.
    double modelRate() const {
        const double session = getSampleRate();
        return designRate ? session / vexaplugin::resampler::factorFor(session) : session;
    }

    void requestCurve() { curveWanted = true; }

    /// The typed value, clamped into the knob's range as the host would, sent as one edit.
    void enterTyped() {
        const uint32_t knob = *typing;
        typing.reset();
        char* end = nullptr;
        const float value = std::strtof(typed.c_str(), &end);
        if (!typed.empty() && end == typed.c_str() + typed.size() && std::isfinite(value)) {
            knobs[knob].set(value);
            editParameter(parameterOf(knob), true);
            setParameterValue(parameterOf(knob), knobs[knob].value());
            editParameter(parameterOf(knob), false);
            requestCurve();
        }
        repaint();
    }

    void controlsMoved() {
        requestCurve();
        repaint();
    }

    void choosePoles(uint32_t position) {
        polesPosition = position;
        editParameter(polesParameter, true);
        setParameterValue(polesParameter, static_cast<float>(position));
        editParameter(polesParameter, false);
        controlsMoved();
    }

    void chooseType(uint32_t position) {
        if (position == typePosition) return;
        typePosition = position;
        editParameter(typeParameter, true);
        setParameterValue(typeParameter, static_cast<float>(position));
        editParameter(typeParameter, false);
        controlsMoved();
    }

    // ---- Drawing helpers (design pixels) ----

    void label(float x, float y, float size, const Color& colour, int align, const std::string& text) {
        fontSize(size);
        fillColor(colour);
        textAlign(align);
        this->text(x, y, text.c_str(), nullptr);
    }

    void panelBox(const Box& box, float radius = 6.0f) {
        beginPath();
        roundedRect(box.x + 0.5f, box.y + 0.5f, box.width - 1, box.height - 1, radius);
        fillColor(colour::panel);
        fill();
        strokeColor(colour::panelEdge);
        strokeWidth(1.0f);
        stroke();
    }

    void drawHeader() {
        textLetterSpacing(2.0f);
        label(20, 24, 14, colour::text, ALIGN_LEFT | ALIGN_BASELINE, "VEXA LP FILTER 2");
        textLetterSpacing(0.0f);
        std::string setting = vexaplugin::poleChoices()[polesPosition].label;
        if (!typeIgnored()) setting += " " + vexaplugin::typeChoices()[typePosition].label;
        char rate[64];
        if (modelRate() != getSampleRate()) {
            std::snprintf(rate, sizeof rate, " \xC2\xB7 %.1f kHz, filter at %.1f kHz", getSampleRate() / 1000.0,
                          modelRate() / 1000.0);
        } else {
            std::snprintf(rate, sizeof rate, " \xC2\xB7 %.1f kHz", getSampleRate() / 1000.0);
        }
        label(layout::width - 20, 24, 12, colour::dimText, ALIGN_RIGHT | ALIGN_BASELINE, setting + rate);
    }

    static float frequencyX(double hz) {
        const double position = std::log(hz / lowestPlottedHz) / std::log(highestPlottedHz / lowestPlottedHz);
        return layout::plot.x + static_cast<float>(position) * layout::plot.width;
    }

    static float decibelY(double decibels) {
        const double position = (topDecibels - decibels) / (topDecibels - bottomDecibels);
        return layout::plot.y + static_cast<float>(position) * layout::plot.height;
    }

    void drawGrid() {
        const Box& plot = layout::plot;
        strokeWidth(1.0f);
        for (double decade = 10.0; decade <= highestPlottedHz; decade *= 10.0) {
            for (int step = 1; step <= 9; ++step) {
                const double hz = decade * step;
                if (hz < lowestPlottedHz || hz > highestPlottedHz) continue;
                beginPath();
                moveTo(frequencyX(hz), plot.y);
                lineTo(frequencyX(hz), plot.bottom());
                strokeColor(step == 1 ? colour::gridStrong : colour::grid);
                stroke();
            }
        }
        const char* const frequencyLabels[] = {"20", "50", "100", "200", "500", "1k", "2k", "5k", "10k", "20k"};
        const double labelledHz[] = {20, 50, 100, 200, 500, 1000, 2000, 5000, 10000, 20000};
        for (std::size_t i = 0; i < std::size(labelledHz); ++i) {
            label(frequencyX(labelledHz[i]), plot.bottom() + 15, 10.5f, colour::dimText, ALIGN_CENTER | ALIGN_BASELINE,
                  frequencyLabels[i]);
        }
        for (float decibels = bottomDecibels; decibels <= topDecibels; decibels += decibelsPerLine) {
            beginPath();
            moveTo(plot.x, decibelY(decibels));
            lineTo(plot.right(), decibelY(decibels));
            strokeColor(decibels == 0.0f ? colour::gridStrong : colour::grid);
            stroke();
            char text[16];
            std::snprintf(text, sizeof text, decibels > 0 ? "+%.0f" : "%.0f", static_cast<double>(decibels));
            label(plot.x - 6, decibelY(decibels), 10.5f, colour::dimText, ALIGN_RIGHT | ALIGN_MIDDLE, text);
        }
        label(layout::response.x + 8, layout::response.bottom() - 9, 10.5f, colour::dimText, ALIGN_LEFT | ALIGN_BASELINE,
              "dB");
    }

    void dashedVertical(float x, float top, float bottom, const Color& colour) {
        constexpr float dash = 4.0f;
        beginPath();
        for (float y = top; y < bottom; y += 2 * dash) {
            moveTo(x, y);
            lineTo(x, std::min(y + dash, bottom));
        }
        strokeColor(colour);
        strokeWidth(1.5f);
        stroke();
    }

    /// A small label with a backing, kept inside the plot.
    void tag(float x, float y, const std::string& text, const Color& colour) {
        fontSize(11.0f);
        Rectangle<float> bounds;
        textAlign(ALIGN_LEFT | ALIGN_MIDDLE);
        textBounds(0, 0, text.c_str(), nullptr, bounds);
        const float width = bounds.getWidth() + 10;
        const float left = std::clamp(x - width / 2, layout::plot.x + 2, layout::plot.right() - width - 2);
        beginPath();
        roundedRect(left, y - 9, width, 18, 4);
        fillColor(Color(colour::panel, colour::background, 0.3f));
        fill();
        strokeColor(colour);
        strokeWidth(1.0f);
        stroke();
        label(left + 5, y, 11.0f, colour, ALIGN_LEFT | ALIGN_MIDDLE, text);
    }

    void drawResponse() {
        const Box& plot = layout::plot;
        panelBox(layout::response);
        drawGrid();

        const double sampleRate = modelRate();
        const double nyquistEdge = vexahost::highestMeasuredHz(sampleRate);
        if (nyquistEdge < highestPlottedHz) {
            beginPath();
            rect(frequencyX(nyquistEdge), plot.y, plot.right() - frequencyX(nyquistEdge), plot.height);
            fillColor(Color(0, 0, 0, 0.25f));
            fill();
        }

        if (curve && !curve->frequencies.empty()) {
            const std::vector<double>& hz = curve->frequencies;
            const std::vector<double>& decibels = curve->decibels;
            const std::size_t loudest =
                static_cast<std::size_t>(std::max_element(decibels.begin(), decibels.end()) - decibels.begin());
            // A ringing filter's measurement has no level of its own: its spectrum is shown below the top.
            const double shift = curve->oscillates ? topDecibels - ringingHeadroomDb - decibels[loudest] : 0.0;
            const Color& line = curve->oscillates ? colour::oscillation : colour::accent;
            const auto y = [&](std::size_t i) {
                return decibelY(std::clamp(decibels[i] + shift, bottomDecibels - 20.0, topDecibels + 20.0));
            };
            save();
            scissor(plot.x, plot.y, plot.width, plot.height);
            beginPath();
            moveTo(frequencyX(hz.front()), plot.bottom());
            for (std::size_t i = 0; i < hz.size(); ++i) lineTo(frequencyX(hz[i]), y(i));
            lineTo(frequencyX(hz.back()), plot.bottom());
            closePath();
            fillPaint(linearGradient(0, plot.y, 0, plot.bottom(), withAlpha(line, 0.30f), withAlpha(line, 0.02f)));
            fill();
            beginPath();
            moveTo(frequencyX(hz.front()), y(0));
            for (std::size_t i = 1; i < hz.size(); ++i) lineTo(frequencyX(hz[i]), y(i));
            strokeColor(line);
            strokeWidth(2.0f);
            lineJoin(ROUND);
            stroke();
            restore();
            if (curve->oscillates) {
                const float x = frequencyX(hz[loudest]);
                dashedVertical(x, plot.y + 48, plot.bottom(), colour::oscillation);
                tag(x, plot.y + 38, "self-oscillating at " + formatHz(hz[loudest]), colour::oscillation);
                label(plot.x + 8, plot.y + 12, 10.5f, colour::oscillation, ALIGN_LEFT | ALIGN_MIDDLE,
                      "the ringing's spectrum, scaled to fit");
            }
        }

        // The nominal cutoff of Pitch.
        const double cutoffHz = vexaplugin::nominalCutoffHz(knobs[pitchParameter].value());
        if (cutoffHz >= lowestPlottedHz && cutoffHz <= highestPlottedHz) {
            const float x = frequencyX(cutoffHz);
            // Its tag stands at the foot of the line, away from the resonant peak near it.
            dashedVertical(x, plot.y, plot.bottom() - 22, colour::cutoff);
            tag(x, plot.bottom() - 12, "cutoff " + formatHz(cutoffHz), colour::cutoff);
        }
    }

    void drawKnob(int knob) {
        const vexaplugin::ParameterInfo& entry = vexaplugin::infoAt(parameterOf(static_cast<uint32_t>(knob)));
        const KnobMotion& motion = knobs[static_cast<std::size_t>(knob)];
        const layout::KnobPlace place = layout::knobPlace(knob);
        const float cx = place.centreX;
        const float cy = place.centreY;
        const float radius = place.radius;

        // A large knob has its name above it, a small one beside it, over its value.
        if (place.small) {
            label(place.value.x + 2, cy - 10, 11.5f, colour::dimText, ALIGN_LEFT | ALIGN_MIDDLE, entry.name);
        } else {
            label(cx, place.area.y + 10, 12, colour::dimText, ALIGN_CENTER | ALIGN_MIDDLE, entry.name);
        }

        const float valueAngle = knobStartAngle + knobSweep * motion.position();
        beginPath();
        arc(cx, cy, place.trackRadius, knobStartAngle, knobStartAngle + knobSweep, CW);
        strokeColor(colour::grid);
        strokeWidth(place.small ? 3.0f : 4.0f);
        lineCap(ROUND);
        stroke();
        beginPath();
        arc(cx, cy, place.trackRadius, knobStartAngle, valueAngle, CW);
        strokeColor(colour::accent);
        stroke();

        beginPath();
        circle(cx, cy, radius);
        fillPaint(linearGradient(cx, cy - radius, cx, cy + radius, colour::knobTop, colour::knobBottom));
        fill();
        strokeColor(colour::panelEdge);
        strokeWidth(1.0f);
        stroke();

        beginPath();
        moveTo(cx + std::cos(valueAngle) * radius * 0.35f, cy + std::sin(valueAngle) * radius * 0.35f);
        lineTo(cx + std::cos(valueAngle) * radius * 0.85f, cy + std::sin(valueAngle) * radius * 0.85f);
        strokeColor(colour::pointer);
        strokeWidth(place.small ? 2.0f : 3.0f);
        lineCap(ROUND);
        stroke();

        const Box& box = place.value;
        const float valueX = place.small ? box.x + 2 : cx;
        const int align = (place.small ? ALIGN_LEFT : ALIGN_CENTER) | ALIGN_MIDDLE;
        const float valueY = box.centreY() + (place.small ? 4.0f : 0.0f);
        if (typing == static_cast<uint32_t>(knob)) {
            beginPath();
            roundedRect(box.x, box.y + (place.small ? 4.0f : 0.0f), box.width, box.height, 4);
            fillColor(colour::background);
            fill();
            strokeColor(colour::accent);
            strokeWidth(1.0f);
            stroke();
            label(valueX + (place.small ? 4.0f : 0.0f), valueY, 13, colour::text, align,
                  typed + "| " + entry.unit);
        } else {
            label(valueX, valueY, 13, colour::text, align, formatValue(entry, motion.value()));
        }
        if (knob == static_cast<int>(pitchParameter)) {
            label(cx, valueY + 16, 11.5f, colour::cutoff, ALIGN_CENTER | ALIGN_MIDDLE,
                  formatHz(vexaplugin::nominalCutoffHz(motion.value())));
        }
    }

    void drawPoles() {
        const Box& box = layout::poles;
        panelBox(box);
        label(box.x + 12, box.y + 16, 12, colour::dimText, ALIGN_LEFT | ALIGN_MIDDLE, "Poles");
        label(box.centreX(), box.y + 46, 26, menuOpen ? colour::accent : colour::text, ALIGN_CENTER | ALIGN_MIDDLE,
              vexaplugin::poleChoices()[polesPosition].label);
        // The menu's arrow.
        beginPath();
        moveTo(box.right() - 22, box.y + 12);
        lineTo(box.right() - 12, box.y + 12);
        lineTo(box.right() - 17, box.y + 18);
        closePath();
        fillColor(colour::dimText);
        fill();
        label(box.centreX(), box.bottom() - 14, 10.5f, colour::dimText, ALIGN_CENTER | ALIGN_MIDDLE,
              vexaui::describeConfiguration(polesValue()));
    }

    void segment(const Box& box, const std::string& text, bool selected, float alpha) {
        beginPath();
        roundedRect(box.x, box.y, box.width, box.height, 5);
        fillColor(selected ? withAlpha(colour::accent, alpha) : withAlpha(colour::background, alpha));
        fill();
        strokeColor(withAlpha(colour::panelEdge, alpha));
        strokeWidth(1.0f);
        stroke();
        label(box.centreX(), box.centreY(), 14, selected ? withAlpha(colour::background, alpha) : withAlpha(colour::text, alpha),
              ALIGN_CENTER | ALIGN_MIDDLE, text);
    }

    void drawType() {
        const Box& box = layout::type;
        panelBox(box);
        const bool ignored = typeIgnored();
        label(box.x + 12, box.y + 16, 12, colour::dimText, ALIGN_LEFT | ALIGN_MIDDLE, "Type");
        const float alpha = ignored ? 0.35f : 1.0f;
        segment(layout::typeLow, vexaplugin::typeChoices()[0].label, typePosition == 0, alpha);
        segment(layout::typeHigh, vexaplugin::typeChoices()[1].label, typePosition == 1, alpha);
        if (ignored) {
            label(box.centreX(), box.bottom() - 14, 10.5f, colour::dimText, ALIGN_CENTER | ALIGN_MIDDLE,
                  "not used by " + vexaplugin::poleChoices()[polesPosition].label);
        }
    }

    /// Where one menu entry sits: the full configuration of a row, or its light variant beside it.
    static Box menuCell(std::size_t column, std::size_t row, bool light) {
        const float columnLeft = layout::menu.x + layout::menuColumnWidth * static_cast<float>(column);
        const float pairWidth = layout::menuFullWidth + layout::menuCellGap + layout::menuLightWidth;
        const float left = columnLeft + (layout::menuColumnWidth - pairWidth) / 2;
        const float top = layout::menu.y + layout::menuHeaderHeight + layout::menuRowHeight * static_cast<float>(row);
        if (light) return {left + layout::menuFullWidth + layout::menuCellGap, top, layout::menuLightWidth, layout::menuCellHeight};
        return {left, top, layout::menuFullWidth, layout::menuCellHeight};
    }

    std::optional<uint32_t> menuEntryAt(float x, float y) const {
        for (std::size_t column = 0; column < menuColumns.size(); ++column) {
            const auto& rows = menuColumns[column].rows;
            for (std::size_t row = 0; row < rows.size(); ++row) {
                if (menuCell(column, row, false).contains(x, y)) return rows[row].full;
                if (rows[row].light && menuCell(column, row, true).contains(x, y)) return rows[row].light;
            }
        }
        return std::nullopt;
    }

    void menuEntry(const Box& box, const std::string& text, uint32_t position) {
        const bool current = position == polesPosition;
        const bool hovered = menuHover == position;
        beginPath();
        roundedRect(box.x, box.y, box.width, box.height, 5);
        fillColor(current ? colour::accent : hovered ? colour::panelEdge : colour::background);
        fill();
        strokeColor(colour::panelEdge);
        strokeWidth(1.0f);
        stroke();
        label(box.centreX(), box.centreY(), 14, current ? colour::background : colour::text, ALIGN_CENTER | ALIGN_MIDDLE,
              text);
    }

    void drawMenu() {
        beginPath();
        roundedRect(layout::menu.x, layout::menu.y, layout::menu.width, layout::menu.height, 6);
        fillColor(withAlpha(colour::panel, 0.97f));
        fill();
        strokeColor(colour::accent);
        strokeWidth(1.0f);
        stroke();
        const auto& choices = vexaplugin::poleChoices();
        for (std::size_t column = 0; column < menuColumns.size(); ++column) {
            const float centre = layout::menu.x + layout::menuColumnWidth * (static_cast<float>(column) + 0.5f);
            label(centre, layout::menu.y + 17, 11.5f, colour::dimText, ALIGN_CENTER | ALIGN_MIDDLE,
                  menuColumns[column].title);
            const auto& rows = menuColumns[column].rows;
            for (std::size_t row = 0; row < rows.size(); ++row) {
                menuEntry(menuCell(column, row, false), choices[rows[row].full].label, rows[row].full);
                if (rows[row].light) menuEntry(menuCell(column, row, true), "f", *rows[row].light);
            }
        }
        label(layout::menu.right() - 10, layout::menu.bottom() - 10, 10.5f, colour::dimText, ALIGN_RIGHT | ALIGN_BASELINE,
              "a:b = output after pole a, feedback after pole b; f = light (only the first pole saturates)");
    }

    /// The module's lists and defaults, as the DSP describes its parameters.
    KnobMotion knobs[knobCount];
    const std::array<vexaui::PolesMenuColumn, vexaui::polesMenuColumns> menuColumns;
    uint32_t polesPosition = 0;
    uint32_t typePosition = 0;
    bool designRate = true;  ///< Model rate: the filter at its design rate in a session at two or four times it
    bool menuOpen = false;
    std::optional<uint32_t> menuHover;
    /// The knob whose value is being typed, and what has been typed.
    std::optional<uint32_t> typing;
    std::string typed;

    vexaplugin::CurveWorker curves;
    bool curveWanted = false;
    std::optional<vexaplugin::ResponseCurve> curve;

    DISTRHO_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(VexaFilterUI)
};

}  // namespace

UI* createUI() { return new VexaFilterUI(); }

END_NAMESPACE_DISTRHO
