// The one place that knows DPF's private details: how our VST3 and CLAP entries get in front of DPF's (DpfAdapter.h).
#include "DpfAdapter.h"

#if defined(VEXA_DPF_VST3)
// DPF's factory, compiled under another name (DpfAdapter.cmake): ours is in front of it.
#undef GetPluginFactory
extern "C" const void* dpf_GetPluginFactory(void);

namespace vexaplugin::dpfadapter {

Vst3Functions dpf;

namespace {

// DPF offers no way to extend or check what its VST3 objects do: they keep their
// function tables inside each object, writable, so we put our functions in a
// few of their slots in every object a host reaches (the component, the audio
// processor and the edit controller), keeping DPF's to call afterwards.

template <class Object>
Object& objectOf(void* self) {
    return **static_cast<Object**>(self);
}

void guardInterface(void* object, const v3_tuid iid);

/// Puts `ours` in front of the function in `slot`, keeping DPF's in `saved`; idempotent.
template <class Function>
void guard(Function& slot, Function ours, Function& saved) {
    if (slot == ours) return;
    if (saved == nullptr) saved = slot;
    slot = ours;
}

/// Every interface DPF hands out gets our functions too; DPF's controller has no
/// IUnitInfo (the program list a host shows), which the VST3 entry adds.
template <decltype(v3_funknown::query_interface) Vst3Functions::*original>
v3_result V3_API query(void* self, const v3_tuid iid, void** object) {
    const v3_result result = (dpf.*original)(self, iid, object);
    if (result == V3_OK && object != nullptr && *object != nullptr) {
        guardInterface(*object, iid);
        vst3Hooks.handedOut(self, iid, *object);
    }
    if (result == static_cast<v3_result>(V3_NO_INTERFACE) && original == &Vst3Functions::controllerQuery) {
        return vst3Hooks.controllerInterface(self, iid, object);
    }
    return result;
}

void guardInterface(void* object, const v3_tuid iid) {
    if (v3_tuid_match(iid, v3_component_iid)) {
        auto& component = objectOf<v3_component_cpp>(object);
        guard(component.query_interface, query<&Vst3Functions::componentQuery>, dpf.componentQuery);
        guard(component.comp.set_active, vst3Hooks.setActive, dpf.setActive);
        // DPF's component has no note input of its own (its VST3 MIDI input would put
        // thousands of hidden parameters before ours): the entry adds an event bus.
        guard(component.base.initialize, vst3Hooks.initialize, dpf.initialize);
        guard(component.base.terminate, vst3Hooks.terminate, dpf.terminate);
        guard(component.comp.get_bus_count, vst3Hooks.busCount, dpf.busCount);
        guard(component.comp.get_bus_info, vst3Hooks.busInfo, dpf.busInfo);
        guard(component.comp.activate_bus, vst3Hooks.activateBus, dpf.activateBus);
        // DPF's state has no version, and its reader applies what it understands of a garbled one.
        guard(component.comp.set_state, vst3Hooks.setState, dpf.setState);
        guard(component.comp.get_state, vst3Hooks.getState, dpf.getState);
    } else if (v3_tuid_match(iid, v3_audio_processor_iid)) {
        auto& processor = objectOf<v3_audio_processor_cpp>(object);
        guard(processor.query_interface, query<&Vst3Functions::processorQuery>, dpf.processorQuery);
        guard(processor.proc.process, vst3Hooks.process, dpf.process);
        // DPF's own latency support would put a parameter before the plug-in's.
        guard(processor.proc.setup_processing, vst3Hooks.setupProcessing, dpf.setupProcessing);
        guard(processor.proc.get_latency_samples, vst3Hooks.latencySamples, dpf.latencySamples);
    } else if (v3_tuid_match(iid, v3_edit_controller_iid)) {
        auto& controller = objectOf<v3_edit_controller_cpp>(object);
        guard(controller.query_interface, query<&Vst3Functions::controllerQuery>, dpf.controllerQuery);
        if (dpf.getNormalised == nullptr) dpf.getNormalised = controller.ctrl.get_parameter_normalised;
        guard(controller.ctrl.get_parameter_string_for_value, vst3Hooks.stringForValue, dpf.stringForValue);
        guard(controller.ctrl.get_parameter_value_for_string, vst3Hooks.valueForString, dpf.valueForString);
        guard(controller.ctrl.plain_parameter_to_normalised, vst3Hooks.plainToNormalised, dpf.plainToNormalised);
        guard(controller.ctrl.set_parameter_normalised, vst3Hooks.setNormalised, dpf.setNormalised);
        guard(controller.ctrl.set_component_state, vst3Hooks.setComponentState, dpf.setComponentState);
    }
}

v3_result V3_API createInstance(void* self, const v3_tuid classId, const v3_tuid iid, void** instance) {
    const v3_result result = dpf.createInstance(self, classId, iid, instance);
    // DPF makes the component (asked for as itself or as FUnknown) and, for a plug-in
    // with an editor, the controller apart from it, asked for as a controller.
    if (result == V3_OK && instance != nullptr && *instance != nullptr) {
        guardInterface(*instance, v3_tuid_match(iid, v3_edit_controller_iid) ? v3_edit_controller_iid : v3_component_iid);
    }
    return result;
}

}  // namespace
}  // namespace vexaplugin::dpfadapter

DISTRHO_PLUGIN_EXPORT const void* GetPluginFactory(void);

const void* GetPluginFactory(void) {
    using namespace vexaplugin::dpfadapter;
    const void* factory = dpf_GetPluginFactory();
    if (factory == nullptr) return nullptr;
    auto& functions = objectOf<v3_plugin_factory_cpp>(const_cast<void*>(factory));
    guard(functions.v1.create_instance, createInstance, dpf.createInstance);
    return factory;
}
#endif
