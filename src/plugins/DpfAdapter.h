// The one place that knows DPF's private details: what our format entries put in front of DPF, and how.
//
// Written for DPF 1.6 as Debian's dpf-source 1.6+ds-2 ships it; DpfAdapter.cmake
// refuses to configure against any other (a fingerprint of the DPF files read
// here). Each workaround says what DPF lacks. The format entries (Vst3Entry.cpp,
// ClapEntry.cpp, Lv2Entry.cpp) hold only our own behaviour, over the public
// VST3, CLAP and LV2 interfaces. A target gets the VST3 or CLAP half of this
// adapter with VEXA_DPF_VST3 or VEXA_DPF_CLAP (DpfAdapter.cmake sets them).
#pragma once

#include <cstdint>

namespace vexaplugin::dpfadapter {

/// DPF's Plugin::activate() returns nothing, so a plug-in cannot refuse an
/// activation: the plug-in reports here whether it prepared its filter, and the
/// CLAP and VST3 entries read it right after DPF's activation, on the same thread,
/// and refuse one that failed instead of playing silence. Initial-exec: a
/// plug-in's own thread-local storage would otherwise link it to the dynamic
/// loader (__tls_get_addr), which an LV2 binary should not.
#if defined(__ELF__)
inline thread_local bool activationSucceeded __attribute__((tls_model("initial-exec"))) = true;
#else
inline thread_local bool activationSucceeded = true;
#endif
inline void reportActivation(bool succeeded) { activationSucceeded = succeeded; }
inline bool lastActivationSucceeded() { return activationSucceeded; }

}  // namespace vexaplugin::dpfadapter

namespace vexaplugin {
class FilterEngine;
}

namespace vexaplugin::dpfadapter {

/// DPF's wrappers give a format entry no way to reach the plug-in they made, so
/// the plug-in reports its engine here when it is made, and the CLAP and VST3
/// entries take it right after DPF made one, on the same thread, to hand it what
/// DPF does not pass on (modulation, notes, and changes at their sample).
#if defined(__ELF__)
inline thread_local FilterEngine* engineMadeLast __attribute__((tls_model("initial-exec"))) = nullptr;
#else
inline thread_local FilterEngine* engineMadeLast = nullptr;
#endif
inline void reportEngineMade(FilterEngine* engine) { engineMadeLast = engine; }
inline void reportEngineGone(FilterEngine* engine) {
    if (engineMadeLast == engine) engineMadeLast = nullptr;
}
inline FilterEngine* lastMadeEngine() { return engineMadeLast; }

}  // namespace vexaplugin::dpfadapter

#if defined(VEXA_DPF_VST3)
#include "src/DistrhoPluginVST.hpp"
#include "travesty/audio_processor.h"
#include "travesty/component.h"
#include "travesty/edit_controller.h"
#include "travesty/factory.h"

namespace vexaplugin::dpfadapter {

/// DPF numbers its own parameters (the program list; with an editor, whose
/// controller lives apart, the buffer size and sample rate before it) ahead of
/// the plug-in's.
constexpr v3_param_id vst3FirstPluginParameter = DISTRHO_NAMESPACE::kVst3InternalParameterCount;

/// DPF's own functions, taken from the first object of each kind (DPF gives all the same ones).
struct Vst3Functions {
    decltype(v3_plugin_factory::create_instance) createInstance = nullptr;
    decltype(v3_funknown::query_interface) componentQuery = nullptr;
    decltype(v3_funknown::query_interface) processorQuery = nullptr;
    decltype(v3_funknown::query_interface) controllerQuery = nullptr;
    decltype(v3_component::set_active) setActive = nullptr;
    decltype(v3_plugin_base::initialize) initialize = nullptr;
    decltype(v3_plugin_base::terminate) terminate = nullptr;
    decltype(v3_component::get_bus_count) busCount = nullptr;
    decltype(v3_component::get_bus_info) busInfo = nullptr;
    decltype(v3_component::activate_bus) activateBus = nullptr;
    decltype(v3_component::set_state) setState = nullptr;
    decltype(v3_component::get_state) getState = nullptr;
    decltype(v3_audio_processor::process) process = nullptr;
    decltype(v3_audio_processor::setup_processing) setupProcessing = nullptr;
    decltype(v3_audio_processor::get_latency_samples) latencySamples = nullptr;
    decltype(v3_edit_controller::set_component_state) setComponentState = nullptr;
    decltype(v3_edit_controller::get_parameter_string_for_value) stringForValue = nullptr;
    decltype(v3_edit_controller::get_parameter_value_for_string) valueForString = nullptr;
    decltype(v3_edit_controller::plain_parameter_to_normalised) plainToNormalised = nullptr;
    decltype(v3_edit_controller::get_parameter_normalised) getNormalised = nullptr;
    decltype(v3_edit_controller::set_parameter_normalised) setNormalised = nullptr;
};
/// Filled as the host reaches DPF's objects; our functions call these after their own checks.
extern Vst3Functions dpf;

/// Our functions in front of DPF's (the VST3 entry defines them). `controllerInterface`
/// answers for the controller an interface DPF's does not have (its result as query_interface's);
/// `handedOut` hears of every interface DPF hands out, `object` asked of `from`.
struct Vst3Hooks {
    decltype(v3_component::set_active) setActive;
    decltype(v3_audio_processor::process) process;
    decltype(v3_edit_controller::get_parameter_string_for_value) stringForValue;
    decltype(v3_edit_controller::get_parameter_value_for_string) valueForString;
    decltype(v3_edit_controller::plain_parameter_to_normalised) plainToNormalised;
    decltype(v3_edit_controller::set_parameter_normalised) setNormalised;
    decltype(v3_funknown::query_interface) controllerInterface;
    decltype(v3_plugin_base::initialize) initialize;
    decltype(v3_plugin_base::terminate) terminate;
    decltype(v3_component::get_bus_count) busCount;
    decltype(v3_component::get_bus_info) busInfo;
    decltype(v3_component::activate_bus) activateBus;
    void (*handedOut)(void* from, const v3_tuid iid, void* object);
    decltype(v3_component::set_state) setState;
    decltype(v3_edit_controller::set_component_state) setComponentState;
    decltype(v3_audio_processor::setup_processing) setupProcessing;
    decltype(v3_audio_processor::get_latency_samples) latencySamples;
    decltype(v3_component::get_state) getState;
};
extern const Vst3Hooks vst3Hooks;

}  // namespace vexaplugin::dpfadapter
#endif

#if defined(VEXA_DPF_CLAP)
#undef clap_entry
#include "clap/entry.h"
#include "clap/plugin.h"

/// DPF's CLAP entry, compiled under this name (DpfAdapter.cmake): ours is in front of it.
extern "C" const clap_plugin_entry_t dpf_clap_entry;

#endif

#if defined(VEXA_DPF_LV2)
#undef lv2_descriptor
#include <lv2/core/lv2.h>

/// DPF's LV2 entry, compiled under this name (DpfAdapter.cmake): ours is in front of it.
extern "C" const LV2_Descriptor* dpf_lv2_descriptor(uint32_t index);
#endif
