// Loading a module library by its two exports (dlopen or LoadLibrary).
#include "hostlib/ModuleLibrary.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

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
#else
constexpr const char* moduleFileName = "VexaLPFilter2.so";

std::string lastError() {
    const char* message = dlerror();
    return message != nullptr ? message : "unknown error";
}
void* openLibrary(const std::string& path) { return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL); }
void* findSymbol(void* handle, const char* name) { return dlsym(handle, name); }
void closeLibrary(void* handle) { dlclose(handle); }
#endif

template <class Function>
Function lookUp(void* handle, const char* name, const std::string& path) {
    void* symbol = findSymbol(handle, name);
    if (symbol == nullptr) throw ModuleError(std::string("no export named ") + name);
    return reinterpret_cast<Function>(symbol);
}

}  // namespace

ModuleLibrary::ModuleLibrary(const std::string& path) : libraryPath(path) {
    handle = openLibrary(path);
    if (handle == nullptr) throw ModuleError("cannot be loaded: " + lastError());
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
    const auto slash = programPath.find_last_of("/\\");
    const std::string folder = slash == std::string::npos ? "." : programPath.substr(0, slash);
    return folder + "/" + moduleFileName;
}

}  // namespace vexahost
