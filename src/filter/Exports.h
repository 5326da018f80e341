// The library's two entry points, for the library itself and for everyone who links it in.
#pragma once

#include <type_traits>

#include "host/ModuleInterface.h"

extern "C" {

/// Fills `properties` for module type `index`; 1 for the one type this library holds (index 0), else 0.
VEXA_EXPORT int32_t VEXA_CALL getModuleProperties(int32_t index, ModuleProperties* properties);

/// A new filter instance for module type 0 and instance type 1, or null.
VEXA_EXPORT HostModuleRecord* VEXA_CALL makeModule(int32_t index, int32_t type, HostCallback callback,
                                                   void* hostHandle);

}  // extern "C"

// A host reaches the entries through these types: they must stay what a host calls.
static_assert(std::is_same_v<decltype(&getModuleProperties), GetModulePropertiesFunction>);
static_assert(std::is_same_v<decltype(&makeModule), MakeModuleFunction>);
