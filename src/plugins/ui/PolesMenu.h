// The pole configurations arranged for the Poles menu: one column per output pole, the light "f" beside the full one,
// and where each entry sits.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ParameterTable.h"
#include "ui/Layout.h"

namespace vexaui {

/// One row of a column: a full configuration and its light variant, by list position.
struct PolesMenuRow {
    uint32_t full;
    std::optional<uint32_t> light;
};

struct PolesMenuColumn {
    const char* title;
    std::vector<PolesMenuRow> rows;
};

/// Output after pole 2, 3, 4 and 5, and the difference outputs.
inline constexpr std::size_t polesMenuColumns = layout::menuColumnCount;

/// The columns for the module's list, in its order within each column. A
/// label ending in "f" is the light variant of the label without it.
std::array<PolesMenuColumn, polesMenuColumns> arrangePolesMenu(const std::vector<vexaplugin::Choice>& choices);

/// Where one entry sits (design pixels): the full configuration of a row, or its light variant beside it.
Box polesMenuCell(std::size_t column, std::size_t row, bool light);

/// The list position of the entry at the design point, if one is there.
std::optional<uint32_t> polesMenuEntryAt(const std::array<PolesMenuColumn, polesMenuColumns>& columns, float x,
                                         float y);

/// The configuration's output form, for the line under the Poles label:
/// "output pole 2 · feedback 4 · light", "difference · feedback 5".
std::string describeConfiguration(int16_t moduleValue);

/// Whether the configuration gives the same output whatever the Type (its output is a difference of two poles).
bool ignoresType(int16_t moduleValue);

}  // namespace vexaui
