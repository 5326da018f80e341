// The parameters of the filter plug-ins by index, as DPF numbers them, shared by the plug-in and its format entries.
#pragma once

#include <cstdint>

#include "DistrhoPluginInfo.h"

namespace vexaplugin {

#if VEXA_PLUGIN_CONTROLS_AS_CV
enum ParameterIndex : uint32_t { polesParameter, typeParameter, modelRateParameter, parameterCount };
#else
enum ParameterIndex : uint32_t {
    pitchParameter,
    resonanceParameter,
    zingParameter,
    polesParameter,
    typeParameter,
    modelRateParameter,
    parameterCount
};
#endif

/// Whether the plug-in's last activation on this thread prepared its filter. DPF's
/// activation returns nothing, so the CLAP and VST3 entries ask here right after it
/// and refuse an activation that failed instead of playing silence.
bool lastActivationSucceeded();

}  // namespace vexaplugin
