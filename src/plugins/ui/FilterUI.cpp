// The plug-in's interface (DGL with NanoVG): lays out and wires its parts, the controls and the live frequency response.
//
// Everything is drawn in the 720 x 472 design layout of ui/Layout.h, scaled as
// a whole to the window, so that text and lines are drawn at the window's own
// resolution. The interface talks to the DSP only through the parameters; the
// curve is measured on a worker thread of its own (LiveResponse.h). The parts
// draw themselves: ui/ResponsePlot (the response panel), ui/Knobs, ui/ListControls
// (Poles, its menu, Type), on the pieces of ui/Painter in the colours of ui/Palette.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "DistrhoUI.hpp"
#include "FactoryPresets.h"
#include "FilterEngine.h"
#include "LiveResponse.h"
#include "PluginParameters.h"
#include "ui/Knobs.h"
#include "ui/Layout.h"
#include "ui/ListControls.h"
#include "ui/Painter.h"
#include "ui/Palette.h"
#include "ui/PolesMenu.h"
#include "ui/ResponsePlot.h"

START_NAMESPACE_DISTRHO

namespace {

using enum vexaplugin::ParameterIndex;
using vexaui::KnobMotion;
using vexaui::knobCount;
using vexaui::parameterOf;
namespace layout = vexaui::layout;
namespace palette = vexaui::palette;

/// The key that enters a typed value (pugl gives Return as a carriage return).
constexpr uint32_t returnKey = '\r';
/// Longest value that can be typed, in characters ("-10.125").
constexpr std::size_t maximumTypedLength = 8;
/// Below this sample rate (Hz; a host that has not told its rate yet) no curve is measured.
constexpr double lowestMeasuredRate = 1000.0;

class VexaFilterUI : public UI {
public:
    VexaFilterUI()
        : UI(static_cast<uint>(layout::width), static_cast<uint>(layout::height)),
          knobs{vexaui::knobMotionFor(0), vexaui::knobMotionFor(1), vexaui::knobMotionFor(2), vexaui::knobMotionFor(3),
                vexaui::knobMotionFor(4), vexaui::knobMotionFor(5), vexaui::knobMotionFor(6)},
          menuColumns(vexaui::arrangePolesMenu(vexaplugin::poleChoices())),
          curves(vexaui::curvePoints) {
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
        if (const std::optional<uint32_t> knob = vexaui::knobOf(index)) {
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
        fillColor(palette::background);
        fill();
        translate(place.left, place.top);
        scale(place.scale, place.scale);
        fontFace(NANOVG_DEJAVU_SANS_TTF);

        vexaui::Painter painter(*this);
        drawHeader(painter);
        vexaui::drawResponse(painter, curve, modelRate(), knobs[pitchParameter].value());
        painter.panel(layout::levels);
        for (uint32_t knob = 0; knob < knobCount; ++knob) {
            vexaui::drawKnob(painter, knob, knobs[knob], typing == knob ? &typed : nullptr);
        }
        vexaui::drawPolesButton(painter, polesPosition, menuOpen);
        vexaui::drawTypeSwitch(painter, typePosition, polesPosition);
        if (menuOpen) vexaui::drawPolesMenu(painter, menuColumns, polesPosition, menuHover);
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
            if (const std::optional<uint32_t> position = vexaui::polesMenuEntryAt(menuColumns, x, y)) choosePoles(*position);
            menuOpen = false;
            repaint();
            return true;
        }
        // A click on a knob's value opens it for typing; a click anywhere else closes it unchanged.
        const bool wasTyping = typing.has_value();
        typing.reset();
        if (const std::optional<uint32_t> knob = vexaui::knobValueAt(x, y)) {
            typing = knob;
            typed.clear();
            // The keys go to the window with the focus, which an embedded editor must take.
            getWindow().focus();
            repaint();
            return true;
        }
        if (wasTyping) repaint();
        if (const std::optional<uint32_t> knob = vexaui::knobAt(x, y)) {
            editParameter(parameterOf(*knob), true);
            if (knobs[*knob].press(y, event.time)) {
                setParameterValue(parameterOf(*knob), knobs[*knob].value());
                editParameter(parameterOf(*knob), false);
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
        const std::optional<uint32_t> hovered = menuOpen ? vexaui::polesMenuEntryAt(menuColumns, x, y) : std::nullopt;
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
        if (const std::optional<uint32_t> knob = vexaui::knobAt(x, y)) {
            if (knobs[*knob].wheel(notches, fine)) {
                editParameter(parameterOf(*knob), true);
                setParameterValue(parameterOf(*knob), knobs[*knob].value());
                editParameter(parameterOf(*knob), false);
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

    /// The product's name; the setting and the rates, the session's and, where they differ, the filter's.
    void drawHeader(vexaui::Painter& painter) {
        textLetterSpacing(layout::titleLetterSpacing);
        painter.label(layout::headerMargin, layout::headerBaseline, layout::text::title, palette::text,
                      ALIGN_LEFT | ALIGN_BASELINE, "VEXA LP FILTER 2");
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
        painter.label(layout::width - layout::headerMargin, layout::headerBaseline, layout::text::caption,
                      palette::dimText, ALIGN_RIGHT | ALIGN_BASELINE, setting + rate);
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
