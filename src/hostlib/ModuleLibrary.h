// A module library loaded from a file, or its entry points linked in.
#pragma once

#include <stdexcept>
#include <string>

#include "host/ModuleInterface.h"
#include "hostlib/Errors.h"

namespace vexahost {

/// The two functions a module library exports.
struct ModuleEntryPoints {
    GetModulePropertiesFunction getModuleProperties = nullptr;
    MakeModuleFunction makeModule = nullptr;
};

/// A module library loaded from a file (dlopen or LoadLibrary), as a host loads it.
class ModuleLibrary {
public:
    /// Loads the library and finds both exports by name; throws ModuleError.
    explicit ModuleLibrary(const std::string& path);
    ~ModuleLibrary();

    ModuleLibrary(const ModuleLibrary&) = delete;
    ModuleLibrary& operator=(const ModuleLibrary&) = delete;

    const ModuleEntryPoints& entryPoints() const { return entries; }
    const std::string& path() const { return libraryPath; }

    /// The build next to the running program's own file (found through the
    /// system, so that a symbolic link or a PATH search does not mislead it;
    /// `programPath` only when the system cannot say), for tools and tests.
    static std::string defaultModulePath(const std::string& programPath);

private:
    std::string libraryPath;
    void* handle = nullptr;
    ModuleEntryPoints entries;
};

}  // namespace vexahost
