// The parameters of the filter plug-ins by index, as DPF numbers them, shared by the plug-in and its format entries.
#pragma once

#include <cstdint>

#include "DistrhoPluginInfo.h"
#include "ParameterTable.h"

namespace vexaplugin {

// New parameters go at the end: hosts keep automation and saved values by these numbers.
// Bypass comes last, where a format has it (VEXA_PLUGIN_HAS_BYPASS: VST3 and CLAP, whose hosts look
// for one; LV2 hosts bypass a plug-in themselves, and ecasound holds an lv2:enabled port at 0).
#if VEXA_PLUGIN_CONTROLS_AS_CV
enum ParameterIndex : uint32_t {
    polesParameter,
    typeParameter,
    driveParameter,
    outputParameter,
    mixParameter,
    modelRateParameter,
    parameterCount
};
inline constexpr ParameterId parameterIds[parameterCount] = {ParameterId::poles, ParameterId::type, ParameterId::drive,
                                                             ParameterId::output, ParameterId::mix,
                                                             ParameterId::modelRate};
#else
enum ParameterIndex : uint32_t {
    pitchParameter,
    resonanceParameter,
    zingParameter,
    polesParameter,
    typeParameter,
    driveParameter,
    outputParameter,
    mixParameter,
    keyTrackParameter,
    modelRateParameter,
#if VEXA_PLUGIN_HAS_BYPASS
    bypassParameter,
#endif
    parameterCount
};
inline constexpr ParameterId parameterIds[parameterCount] = {
    ParameterId::pitch, ParameterId::resonance, ParameterId::zing, ParameterId::poles,   ParameterId::type,
    ParameterId::drive, ParameterId::output,    ParameterId::mix,  ParameterId::keyTrack, ParameterId::modelRate,
#if VEXA_PLUGIN_HAS_BYPASS
    ParameterId::bypass,
#endif
};
#endif

/// The table entry of the plug-in's parameter `index` (< parameterCount).
constexpr const ParameterInfo& infoAt(uint32_t index) { return infoOf(parameterIds[index]); }

}  // namespace vexaplugin
