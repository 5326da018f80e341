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

/// The first bytes of a library built for the other platform, for a message
/// that says what the file is instead of the loader's "invalid ELF header".
std::string foreignLibraryNote(const std::string& path) {
    unsigned char start[2] = {};
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return {};
    const std::size_t got = std::fread(start, 1, sizeof start, file);
    std::fclose(file);
    if (got < sizeof start) return {};
#if defined(_WIN32)
    if (start[0] == 0x7f && start[1] == 'E') {
        return "it is a Linux library (ELF); load it with the native host, build/linux/vexa-host";
    }
#else
    if (start[0] == 'M' && start[1] == 'Z') {
        return "it is a Windows DLL; load it with the Windows host under Wine "
               "(wine build/win32/vexa-host.exe for build/win32, /usr/lib/wine/wine64 build/win64/vexa-host.exe "
               "for build/win64)";
    }
#endif
    return {};
}

template <class Function>
Function lookUp(void* handle, const char* name, const std::string& path) {
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
        entries.getModuleProperties = lookUp<GetModulePropertiesFunction>(handle, "getModuleProperties", path);
        entries.makeModule = lookUp<MakeModuleFunction>(handle, "makeModule", path);
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
