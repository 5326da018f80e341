// `vexa-host render`: options and run.
#pragma once

#include <CLI/CLI.hpp>

#include "vexa-host/render/Render.h"

namespace vexahost {

/// Adds `render` with its options, which fill `request`.
CLI::App* addRenderCommand(CLI::App& parent, RenderRequest& request);
/// Renders with a progress bar (on a terminal) and prints a one-line summary.
int runRenderCommand(const RenderRequest& request);

}  // namespace vexahost
