// The list controls drawn: the Poles button, its menu of configurations, and the Type switch.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "ui/Painter.h"
#include "ui/PolesMenu.h"

namespace vexaui {

/// The button showing configuration `polesPosition` (a list position) and what it is; lit while its menu is open.
void drawPolesButton(Painter& painter, uint32_t polesPosition, bool menuOpen);

/// The LP/HP switch at `typePosition`, dimmed with a note where configuration `polesPosition` ignores it.
void drawTypeSwitch(Painter& painter, uint32_t typePosition, uint32_t polesPosition);

/// The open menu over the response panel, the current configuration lit and the one under the pointer marked.
void drawPolesMenu(Painter& painter, const std::array<PolesMenuColumn, polesMenuColumns>& columns,
                   uint32_t polesPosition, std::optional<uint32_t> hovered);

}  // namespace vexaui
