// The library's two exports and its entry function.
#include "filter/Exports.h"

#include <new>

#include "filter/LadderFilter.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {

const char moduleId[] = "Vexa LP Filter 2";
const char moduleName[] = "Vexa LP Filter 2";
const char aboutText[] =
    "Vexa LP Filter 2\n"
    "by the Vexa audio team\n"
    "\n"
    "You may use this module freely in any patch, commercial or not.\n"
    "\n"
    "Filter after Stilson and Smith: https://ccrma.stanford.edu/~stilti/papers/moogvcf.pdf\n"
    "3 or 4 pole Stilson/Smith Moog with extra res pole, with adjustable f->Q,\n"
    "denormal, input protection and gradual saturation\n"
    "\n"
    " * Pitch: 0-10V (2 - 10.5V) \n"
    " * Resonance: 0 - 10 V\n"
    " * Zing (F->Q): 0.1V -50V (10V default)\n"
    " * Poles: various\n"
    " * Type: LP (Low pass), HP (High Pass)\n"
    "\n"
    "Version 2 J";

}  // namespace

extern "C" {

int32_t VEXA_CALL getModuleProperties(int32_t index, ModuleProperties* properties) {
    properties->interfaceVersion = ModuleInterfaceVersion;
    if (index != 0) return 0;
    properties->id = moduleId;
    properties->name = moduleName;
    properties->about = aboutText;
    return 1;
}

HostModuleRecord* VEXA_CALL makeModule(int32_t index, int32_t type, HostCallback callback, void* hostHandle) {
    if (index != 0 || type != AudioInstanceType) return nullptr;
    auto* filter = new (std::nothrow) vexa::LadderFilter(callback, hostHandle);
    return filter == nullptr ? nullptr : filter->hostRecord();
}

}  // extern "C"

// A library that links the module in (the plug-ins) has an entry function of its own.
#if defined(_WIN32) && !defined(VEXA_MODULE_LINKED_IN)
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
#endif
