// The parameters of the filter plug-ins by index, as DPF numbers them, shared by the plug-in and its format entries.
#pragma once

#include <cstdint>

#include "DistrhoPluginInfo.h"

namespace vexaplugin {

#if VEXA_PLUGIN_CONTROLS_AS_CV
enum ParameterIndex : uint32_t { polesParameter, typeParameter, parameterCount };
#else
enum ParameterIndex : uint32_t {
    pitchParameter,
    resonanceParameter,
    zingParameter,
    polesParameter,
    typeParameter,
    parameterCount
};
#endif

}  // namespace vexaplugin
