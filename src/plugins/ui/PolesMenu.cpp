// The Poles menu's arrangement, read from the module's list and its configuration table, and its entries' places.
#include "ui/PolesMenu.h"

#include "dsp/PoleConfigs.h"

namespace vexaui {

namespace {

constexpr std::size_t differenceColumn = polesMenuColumns - 1;
/// The first column holds the configurations with their output after pole 2.
constexpr std::size_t firstOutputPole = 2;

const vexa::PoleConfig* configOf(int16_t moduleValue) {
    if (moduleValue < 0 || static_cast<std::size_t>(moduleValue) >= vexa::poleConfigCount) return nullptr;
    return &vexa::poleConfigs[static_cast<std::size_t>(moduleValue)];
}

bool isLight(const std::string& label) { return !label.empty() && label.back() == 'f'; }

}  // namespace

bool ignoresType(int16_t moduleValue) {
    const vexa::PoleConfig* config = configOf(moduleValue);
    return config != nullptr && config->routing.output == vexa::OutputForm::difference;
}

std::array<PolesMenuColumn, polesMenuColumns> arrangePolesMenu(const std::vector<vexaplugin::Choice>& choices) {
    std::array<PolesMenuColumn, polesMenuColumns> columns{{
        {"Output 2", {}}, {"Output 3", {}}, {"Output 4", {}}, {"Output 5", {}}, {"Difference", {}}}};
    for (std::size_t position = 0; position < choices.size(); ++position) {
        const vexa::PoleConfig* config = configOf(choices[position].moduleValue);
        if (config == nullptr || isLight(choices[position].label)) continue;
        std::size_t column = differenceColumn;
        if (!ignoresType(choices[position].moduleValue)) {
            column = std::min(config->tap() - firstOutputPole, differenceColumn - 1);
        }
        PolesMenuRow row{static_cast<uint32_t>(position), std::nullopt};
        for (std::size_t other = 0; other < choices.size(); ++other) {
            if (choices[other].label == choices[position].label + "f") row.light = static_cast<uint32_t>(other);
        }
        columns[column].rows.push_back(row);
    }
    return columns;
}

Box polesMenuCell(std::size_t column, std::size_t row, bool light) {
    const float columnLeft = layout::menu.x + layout::menuColumnWidth * static_cast<float>(column);
    const float pairWidth = layout::menuFullWidth + layout::menuCellGap + layout::menuLightWidth;
    const float left = columnLeft + (layout::menuColumnWidth - pairWidth) / 2;
    const float top = layout::menu.y + layout::menuHeaderHeight + layout::menuRowHeight * static_cast<float>(row);
    if (light) {
        return {left + layout::menuFullWidth + layout::menuCellGap, top, layout::menuLightWidth, layout::menuCellHeight};
    }
    return {left, top, layout::menuFullWidth, layout::menuCellHeight};
}

std::optional<uint32_t> polesMenuEntryAt(const std::array<PolesMenuColumn, polesMenuColumns>& columns, float x,
                                         float y) {
    for (std::size_t column = 0; column < columns.size(); ++column) {
        const std::vector<PolesMenuRow>& rows = columns[column].rows;
        for (std::size_t row = 0; row < rows.size(); ++row) {
            if (polesMenuCell(column, row, false).contains(x, y)) return rows[row].full;
            if (rows[row].light && polesMenuCell(column, row, true).contains(x, y)) return rows[row].light;
        }
    }
    return std::nullopt;
}

std::string describeConfiguration(int16_t moduleValue) {
    const vexa::PoleConfig* config = configOf(moduleValue);
    if (config == nullptr) return {};
    const std::string feedback = "feedback " + std::to_string(config->feedbackPole());
    const std::string name(config->name());
    const std::string weight = isLight(name) ? " \xC2\xB7 light" : "";
    if (ignoresType(moduleValue)) return "difference \xC2\xB7 " + feedback + weight;
    return "output " + std::to_string(config->tap()) + " \xC2\xB7 " + feedback + weight;
}

}  // namespace vexaui
