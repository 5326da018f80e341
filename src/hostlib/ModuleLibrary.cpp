// Loading a module library by its two exports (dlopen or LoadLibrary).
#include "hostlib/ModuleLibrary.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

#include <cstdio>
#include <vector>

namespace vexahost {

namespace {

#if defined(_WIN32)
constexpr const char* moduleFileName = "VexaLPFilter2.sep";

std::string lastError() { return "error " + std::to_string(GetLastError()); }
void* openLibrary(const std::string& path) { return reinterpret_cast<void*>(LoadLibraryA(path.c_str())); }
void* findSymbol(void* handle, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
}
void closeLibrary(void* handle) { FreeLibrary(static_cast<HMODULE>(handle)); }

/// The running program's own file, whatever name started it; empty when unknown.
std::string runningProgramPath() {
    std::vector<char> path(MAX_PATH + 1, '\0');
    const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    return length > 0 && length < path.size() ? std::string(path.data(), length) : std::string();
}
#else
constexpr const char* moduleFileName = "VexaLPFilter2.so";

std::string lastError() {
    const char* message = dlerror();
    return message != nullptr ? message : "unknown error";
}
void* openLibrary(const std::string& path) { return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL); }
void* findSymbol(void* handle, const char* name) { return dlsym(handle, name); }
void closeLibrary(void* handle) { dlclose(handle); }

/// Longest program path read from the kernel.
constexpr std::size_t longestProgramPath = 4096;

/// The running program's own file, symbolic links resolved, whatever name or
/// PATH entry started it; empty when unknown.
std::string runningProgramPath() {
    std::vector<char> path(longestProgramPath, '\0');
    const ssize_t length = readlink("/proc/self/exe", path.data(), path.size() - 1);
    return length > 0 ? std::string(path.data(), static_cast<std::size_t>(length)) : std::string();
}
#endif

// Where a Windows DLL keeps the offset of its PE header, and the machine codes found there.
constexpr long peHeaderOffsetAt = 0x3c;
constexpr unsigned peMachineI386 = 0x14c;
constexpr unsigned peMachineAmd64 = 0x8664;

/// What a library built for the other platform is, for a message that says so
/// instead of the loader's "invalid ELF header"; empty for anything else.
std::string foreignLibraryNote(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return {};
    unsigned char start[2] = {};
    const bool read = std::fread(start, 1, sizeof start, file) == sizeof start;
#if defined(_WIN32)
    std::fclose(file);
    if (read && start[0] == 0x7f && start[1] == 'E') {
        return "it is a Linux library (ELF); load it with the native host, build/linux/vexa-host";
    }
#else
    unsigned char header[4 + 4 + 2] = {};  // the offset, then "PE\0\0" and the machine
    bool machineRead = false;
    if (read && std::fseek(file, peHeaderOffsetAt, SEEK_SET) == 0 && std::fread(header, 1, 4, file) == 4) {
        const long offset = header[0] | header[1] << 8 | header[2] << 16 | static_cast<long>(header[3]) << 24;
        machineRead = std::fseek(file, offset, SEEK_SET) == 0 && std::fread(header + 4, 1, 6, file) == 6 &&
                      header[4] == 'P' && header[5] == 'E';
    }
    std::fclose(file);
    if (read && start[0] == 'M' && start[1] == 'Z') {
        const unsigned machine = machineRead ? (header[8] | header[9] << 8) : 0;
        if (machine == peMachineI386) {
            return "it is a 32-bit Windows DLL; load it with the 32-bit Windows host under Wine: "
                   "/usr/lib/wine/wine build/win32/vexa-host.exe";
        }
        if (machine == peMachineAmd64) {
            return "it is a 64-bit Windows DLL; load it with the 64-bit Windows host under Wine: "
                   "/usr/lib/wine/wine64 build/win64/vexa-host.exe";
        }
        return "it is a Windows DLL; load it with a Windows host under Wine (build/win32 or build/win64 vexa-host.exe)";
    }
#endif
    return {};
}

template <class Function>
Function lookUp(void* handle, const char* name) {
    void* symbol = findSymbol(handle, name);
    if (symbol == nullptr) throw ModuleError(std::string("no export named ") + name);
    return reinterpret_cast<Function>(symbol);
}

}  // namespace

ModuleLibrary::ModuleLibrary(const std::string& path) : libraryPath(path) {
    handle = openLibrary(path);
    if (handle == nullptr) {
        const std::string loaderMessage = lastError();
        const std::string note = foreignLibraryNote(path);
        throw ModuleError("cannot be loaded: " + (note.empty() ? loaderMessage : note));
    }
    try {
        entries.getModuleProperties = lookUp<GetModulePropertiesFunction>(handle, "getModuleProperties");
        entries.makeModule = lookUp<MakeModuleFunction>(handle, "makeModule");
    } catch (...) {
        closeLibrary(handle);
        throw;
    }
}

ModuleLibrary::~ModuleLibrary() { closeLibrary(handle); }

std::string ModuleLibrary::defaultModulePath(const std::string& programPath) {
    const std::string running = runningProgramPath();
    const std::string& program = running.empty() ? programPath : running;
    const auto slash = program.find_last_of("/\\");
    const std::string folder = slash == std::string::npos ? "." : program.substr(0, slash);
    return folder + "/" + moduleFileName;
}

}  // namespace vexahost
