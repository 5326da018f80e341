// The list controls drawn: the Poles button, its menu of configurations, and the Type switch.
#include "ui/ListControls.h"

#include <string>
#include <vector>

#include "ParameterTable.h"
#include "ui/Palette.h"

namespace vexaui {

namespace {

constexpr int centred = NanoVG::ALIGN_CENTER | NanoVG::ALIGN_MIDDLE;

int16_t polesValueAt(uint32_t polesPosition) { return vexaplugin::poleChoices()[polesPosition].moduleValue; }

void panelCaption(Painter& painter, const Box& box, const char* name) {
    painter.label(box.x + layout::panelCaptionIndent, box.y + layout::panelCaptionY, layout::text::caption,
                  palette::dimText, NanoVG::ALIGN_LEFT | NanoVG::ALIGN_MIDDLE, name);
}

void panelNote(Painter& painter, const Box& box, const std::string& note) {
    painter.label(box.centreX(), box.bottom() - layout::panelNoteRise, layout::text::note, palette::dimText, centred,
                  note);
}

/// A rounded button with its text centred: `fill` behind, `ink` for the text.
void button(Painter& painter, const Box& box, const std::string& text, const Color& fill, const Color& edge,
            const Color& ink) {
    NanoVG& vg = painter.vg;
    vg.beginPath();
    vg.roundedRect(box.x, box.y, box.width, box.height, layout::buttonCornerRadius);
    vg.fillColor(fill);
    vg.fill();
    vg.strokeColor(edge);
    vg.strokeWidth(layout::hairline);
    vg.stroke();
    painter.label(box.centreX(), box.centreY(), layout::text::choice, ink, centred, text);
}

void segment(Painter& painter, const Box& box, const std::string& text, bool selected, float alpha) {
    button(painter, box, text,
           selected ? palette::withAlpha(palette::accent, alpha) : palette::withAlpha(palette::background, alpha),
           palette::withAlpha(palette::panelEdge, alpha),
           selected ? palette::withAlpha(palette::background, alpha) : palette::withAlpha(palette::text, alpha));
}

void menuEntry(Painter& painter, const Box& box, const std::string& text, bool current, bool hovered) {
    button(painter, box, text, current ? palette::accent : hovered ? palette::panelEdge : palette::background,
           palette::panelEdge, current ? palette::background : palette::text);
}

}  // namespace

void drawPolesButton(Painter& painter, uint32_t polesPosition, bool menuOpen) {
    NanoVG& vg = painter.vg;
    const Box& box = layout::poles;
    painter.panel(box);
    panelCaption(painter, box, "Poles");
    painter.label(box.centreX(), box.y + layout::polesValueY, layout::text::polesValue,
                  menuOpen ? palette::accent : palette::text, centred,
                  vexaplugin::poleChoices()[polesPosition].label);
    // The menu's arrow, pointing down.
    const float arrowRight = box.right() - layout::menuArrowRightInset;
    const float arrowTop = box.y + layout::menuArrowTopInset;
    vg.beginPath();
    vg.moveTo(arrowRight - layout::menuArrowWidth, arrowTop);
    vg.lineTo(arrowRight, arrowTop);
    vg.lineTo(arrowRight - layout::menuArrowWidth / 2, arrowTop + layout::menuArrowDepth);
    vg.closePath();
    vg.fillColor(palette::dimText);
    vg.fill();
    panelNote(painter, box, describeConfiguration(polesValueAt(polesPosition)));
}

void drawTypeSwitch(Painter& painter, uint32_t typePosition, uint32_t polesPosition) {
    const Box& box = layout::type;
    painter.panel(box);
    const bool ignored = ignoresType(polesValueAt(polesPosition));
    panelCaption(painter, box, "Type");
    const float alpha = ignored ? palette::ignoredAlpha : 1.0f;
    segment(painter, layout::typeLow, vexaplugin::typeChoices()[0].label, typePosition == 0, alpha);
    segment(painter, layout::typeHigh, vexaplugin::typeChoices()[1].label, typePosition == 1, alpha);
    if (ignored) panelNote(painter, box, "not used by " + vexaplugin::poleChoices()[polesPosition].label);
}

void drawPolesMenu(Painter& painter, const std::array<PolesMenuColumn, polesMenuColumns>& columns,
                   uint32_t polesPosition, std::optional<uint32_t> hovered) {
    NanoVG& vg = painter.vg;
    const Box& menu = layout::menu;
    vg.beginPath();
    vg.roundedRect(menu.x, menu.y, menu.width, menu.height, layout::panelCornerRadius);
    vg.fillColor(palette::withAlpha(palette::panel, palette::menuAlpha));
    vg.fill();
    vg.strokeColor(palette::accent);
    vg.strokeWidth(layout::hairline);
    vg.stroke();
    const auto entry = [&](const Box& box, const std::string& text, uint32_t position) {
        menuEntry(painter, box, text, position == polesPosition, hovered == position);
    };
    const std::vector<vexaplugin::Choice>& choices = vexaplugin::poleChoices();
    for (std::size_t column = 0; column < columns.size(); ++column) {
        const float centre = menu.x + layout::menuColumnWidth * (static_cast<float>(column) + 0.5f);
        painter.label(centre, menu.y + layout::menuTitleY, layout::text::smallCaption, palette::dimText, centred,
                      columns[column].title);
        const std::vector<PolesMenuRow>& rows = columns[column].rows;
        for (std::size_t row = 0; row < rows.size(); ++row) {
            entry(polesMenuCell(column, row, false), choices[rows[row].full].label, rows[row].full);
            if (rows[row].light) entry(polesMenuCell(column, row, true), "f", *rows[row].light);
        }
    }
    painter.label(menu.right() - layout::menuKeyInset, menu.bottom() - layout::menuKeyInset, layout::text::note,
                  palette::dimText, NanoVG::ALIGN_RIGHT | NanoVG::ALIGN_BASELINE,
                  "a:b = output after pole a, feedback after pole b; f = light (only the first pole saturates)");
}

}  // namespace vexaui
