// `vexa-host response`: options and run.
#pragma once

#include <CLI/CLI.hpp>

#include "vexa-host/measure/Response.h"

namespace vexahost {

/// Adds `response` with its options, which fill `request`.
CLI::App* addResponseCommand(CLI::App& parent, ResponseRequest& request);
int runResponseCommand(const ResponseRequest& request);

}  // namespace vexahost
