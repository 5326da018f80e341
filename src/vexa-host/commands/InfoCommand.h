// `vexa-host info`.
#pragma once

#include <string>

namespace vexahost {

/// Prints the module's properties, about text and pin table; throws on a bad module.
int printModuleInfo(const std::string& modulePath);

}  // namespace vexahost
