// The plug-ins' parameter indices, shared by the DSP and the interface (DPF numbers parameters from 0).
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
