// VST3 entry point around DPF's: checks parameter changes before DPF sees them, shows Pitch in Hz, refuses a failed activation.
//
// DPF's VST3 objects keep their function tables inside each object, so this
// entry puts its own functions in front of a few of DPF's in every object a
// host reaches (the component, the audio processor and the edit controller),
// calling DPF's afterwards. In process, DPF stops reading the host's parameter
// changes at the first unknown id and turns a NaN for Poles into an int (an
// undefined conversion); here it gets only the queues of parameters that exist
// and only their points that are numbers (infinities DPF clamps to the range).
// The controller refuses unknown ids, which DPF reports as set. A state saved
// before Model rate existed reaches the component and the controller as
// "Session rate" (OlderStates.h), and the processor reports the latency of the
// resampling at high session rates. DPF's factory
// is compiled under the name dpf_GetPluginFactory (see CMakeLists.txt).
#undef GetPluginFactory

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <utility>

#include "DistrhoPluginInfo.h"
#include "FilterEngine.h"
#include "OlderStates.h"
#include "ParameterText.h"
#include "PluginParameters.h"
#include "Vst3MemoryStream.h"
#include "resampler/CoreRate.h"
#include "src/DistrhoPluginVST.hpp"
#include "travesty/audio_processor.h"
#include "travesty/component.h"
#include "travesty/edit_controller.h"
#include "travesty/factory.h"

extern "C" const void* dpf_GetPluginFactory(void);

namespace {

using namespace vexaplugin;

/// DPF numbers the plug-in's parameters after its own (the program list comes first).
constexpr v3_param_id firstPluginParameter = DISTRHO_NAMESPACE::kVst3InternalParameterCount;
constexpr v3_param_id parameterIdEnd = firstPluginParameter + parameterCount;
#if !VEXA_PLUGIN_CONTROLS_AS_CV
constexpr v3_param_id pitchId = firstPluginParameter + pitchParameter;
#endif
/// Queues of one process call passed on; a host sends one per parameter that changes.
constexpr int32_t checkedQueueCapacity = 64;
/// VST3's text fields hold 128 UTF-16 units.
constexpr std::size_t textUnits = 128;

/// DPF's functions, taken from the first object of each kind (DPF gives all the same ones).
struct DpfFunctions {
    decltype(v3_plugin_factory::create_instance) createInstance = nullptr;
    decltype(v3_funknown::query_interface) componentQuery = nullptr;
    decltype(v3_funknown::query_interface) processorQuery = nullptr;
    decltype(v3_funknown::query_interface) controllerQuery = nullptr;
    decltype(v3_component::set_active) setActive = nullptr;
    decltype(v3_component::set_state) setState = nullptr;
    decltype(v3_edit_controller::set_component_state) setComponentState = nullptr;
    decltype(v3_audio_processor::process) process = nullptr;
    decltype(v3_audio_processor::setup_processing) setupProcessing = nullptr;
    decltype(v3_audio_processor::get_latency_samples) latencySamples = nullptr;
    decltype(v3_edit_controller::get_parameter_string_for_value) stringForValue = nullptr;
    decltype(v3_edit_controller::get_parameter_value_for_string) valueForString = nullptr;
    decltype(v3_edit_controller::plain_parameter_to_normalised) plainToNormalised = nullptr;
    decltype(v3_edit_controller::get_parameter_normalised) getNormalised = nullptr;
    decltype(v3_edit_controller::set_parameter_normalised) setNormalised = nullptr;
} dpf;

template <class Object>
Object& objectOf(void* self) {
    return **static_cast<Object**>(self);
}

void guardInterface(void* object, const v3_tuid iid);

// ---------------------------------------------------------------------------------------------
// Parameter changes as DPF gets them

uint32_t V3_API staticRef(void*) { return 1; }
uint32_t V3_API staticUnref(void*) { return 0; }
v3_result V3_API noInterface(void*, const v3_tuid, void** object) {
    if (object != nullptr) *object = nullptr;
    return V3_NO_INTERFACE;
}

/// One host queue without its NaN points. `functions` first: the interface points at it.
struct CheckedQueue {
    const v3_param_value_queue_cpp* functions;
    v3_param_value_queue** host;

    static v3_param_value_queue** hostOf(void* self) { return static_cast<CheckedQueue*>(self)->host; }
    static v3_param_id V3_API id(void* self) { return v3_cpp_obj(hostOf(self))->get_param_id(hostOf(self)); }
    static int32_t V3_API pointCount(void* self) {
        v3_param_value_queue** host = hostOf(self);
        int32_t numbers = 0;
        for (int32_t i = 0, count = v3_cpp_obj(host)->get_point_count(host); i < count; ++i) {
            int32_t offset = 0;
            double value = NAN;
            if (v3_cpp_obj(host)->get_point(host, i, &offset, &value) == V3_OK && !std::isnan(value)) ++numbers;
        }
        return numbers;
    }
    static v3_result V3_API point(void* self, int32_t index, int32_t* offset, double* value) {
        v3_param_value_queue** host = hostOf(self);
        for (int32_t i = 0, numbers = 0, count = v3_cpp_obj(host)->get_point_count(host); i < count; ++i) {
            int32_t at = 0;
            double v = NAN;
            if (v3_cpp_obj(host)->get_point(host, i, &at, &v) != V3_OK || std::isnan(v)) continue;
            if (numbers++ != index) continue;
            if (offset != nullptr) *offset = at;
            if (value != nullptr) *value = v;
            return V3_OK;
        }
        return V3_INVALID_ARG;
    }
    static v3_result V3_API addPoint(void*, int32_t, double, int32_t*) { return V3_NOT_IMPLEMENTED; }
};

const v3_param_value_queue_cpp checkedQueueFunctions{
    {noInterface, staticRef, staticUnref},
    {CheckedQueue::id, CheckedQueue::pointCount, CheckedQueue::point, CheckedQueue::addPoint}};

/// A host's parameter changes with only the queues of parameters that exist. Lives on
/// the stack of the process call it is made for; allocates nothing.
struct CheckedChanges {
    const v3_param_changes_cpp* functions;
    int32_t count = 0;
    CheckedQueue queues[checkedQueueCapacity];

    explicit CheckedChanges(v3_param_changes** host);
    v3_param_changes** list() { return reinterpret_cast<v3_param_changes**>(this); }

    static int32_t V3_API queueCount(void* self) { return static_cast<CheckedChanges*>(self)->count; }
    static v3_param_value_queue** V3_API queue(void* self, int32_t index) {
        auto* changes = static_cast<CheckedChanges*>(self);
        if (index < 0 || index >= changes->count) return nullptr;
        return reinterpret_cast<v3_param_value_queue**>(&changes->queues[index]);
    }
    static v3_param_value_queue** V3_API addQueue(void*, v3_param_id*, int32_t*) { return nullptr; }
};

const v3_param_changes_cpp checkedChangesFunctions{{noInterface, staticRef, staticUnref},
                                                   {CheckedChanges::queueCount, CheckedChanges::queue,
                                                    CheckedChanges::addQueue}};

CheckedChanges::CheckedChanges(v3_param_changes** host) : functions(&checkedChangesFunctions) {
    for (int32_t i = 0, hostCount = v3_cpp_obj(host)->get_param_count(host); i < hostCount; ++i) {
        v3_param_value_queue** q = v3_cpp_obj(host)->get_param_data(host, i);
        if (q == nullptr || v3_cpp_obj(q)->get_param_id(q) >= parameterIdEnd) continue;
        if (count == checkedQueueCapacity) break;
        queues[count++] = {&checkedQueueFunctions, q};
    }
}

// ---------------------------------------------------------------------------------------------
// Our functions in front of DPF's

/// The largest state read, far above the few hundred bytes the plug-in saves.
constexpr int32_t largestState = 1 << 20;

/// The host's state, read to its end and amended for a state saved before Model rate; false when unreadable.
bool readState(v3_bstream** host, Vst3MemoryStream& into) {
    if (host == nullptr) return false;
    char buffer[512];
    for (;;) {
        int32_t read = 0;
        if (v3_cpp_obj(host)->read(host, buffer, sizeof buffer, &read) != V3_OK || read < 0) return false;
        if (read == 0) break;
        if (into.bytes.size() + static_cast<std::size_t>(read) > largestState) return false;
        into.bytes.append(buffer, static_cast<std::size_t>(read));
    }
    into.bytes = withModelRateOfOlderState(std::move(into.bytes));
    return true;
}

v3_result V3_API setState(void* self, v3_bstream** stream) {
    Vst3MemoryStream amended;
    if (!readState(stream, amended)) return V3_INVALID_ARG;
    return dpf.setState(self, amended.stream());
}

v3_result V3_API setComponentState(void* self, v3_bstream** stream) {
    Vst3MemoryStream amended;
    if (!readState(stream, amended)) return V3_INVALID_ARG;
    return dpf.setComponentState(self, amended.stream());
}

v3_result V3_API process(void* self, v3_process_data* data) {
    if (data == nullptr) return V3_INVALID_ARG;
    if (data->input_params == nullptr) return dpf.process(self, data);
    CheckedChanges checked(data->input_params);
    v3_process_data checkedData = *data;
    checkedData.input_params = checked.list();
    return dpf.process(self, &checkedData);
}

/// The latency of each processor, from the sample rate of its last setup: DPF's own latency
/// support would add a parameter before the plug-in's, moving their ids in saved projects.
class Latencies {
public:
    void set(void* processor, uint32_t samples) {
        const std::lock_guard<std::mutex> lock(guard);
        byProcessor[processor] = samples;
    }
    uint32_t of(void* processor) {
        const std::lock_guard<std::mutex> lock(guard);
        const auto found = byProcessor.find(processor);
        return found != byProcessor.end() ? found->second : 0;
    }

private:
    std::mutex guard;
    std::map<void*, uint32_t> byProcessor;
};

Latencies& latencies() {
    static Latencies instance;
    return instance;
}

v3_result V3_API setupProcessing(void* self, v3_process_setup* setup) {
    const v3_result result = dpf.setupProcessing(self, setup);
    if (result == V3_OK && setup != nullptr) {
        latencies().set(self, resampler::latencyFor(resampler::factorFor(setup->sample_rate)));
    }
    return result;
}

uint32_t V3_API latencySamples(void* self) { return latencies().of(self); }

v3_result V3_API setActive(void* self, v3_bool state) {
    const v3_result result = dpf.setActive(self, state);
    if (state == 0 || result != V3_OK || lastActivationSucceeded()) return result;
    dpf.setActive(self, 0);
    return V3_NOMEM;
}

v3_result V3_API stringForValue(void* self, v3_param_id id, double normalized, v3_str_128 output) {
#if !VEXA_PLUGIN_CONTROLS_AS_CV
    if (id == pitchId && output != nullptr && normalized >= 0.0 && normalized <= 1.0) {
        const ControlRange& range = rangeOf(Control::pitch);
        char text[textUnits];
        if (!pitchToText(range.minimumVolts + normalized * (range.maximumVolts - range.minimumVolts), text,
                         sizeof text)) {
            return V3_INVALID_ARG;
        }
        DISTRHO_NAMESPACE::strncpy_utf16(output, text, textUnits);
        return V3_OK;
    }
#endif
    return dpf.stringForValue(self, id, normalized, output);
}

v3_result V3_API valueForString(void* self, v3_param_id id, int16_t* input, double* output) {
    if (input == nullptr || output == nullptr) return V3_INVALID_ARG;
#if !VEXA_PLUGIN_CONTROLS_AS_CV
    if (id == pitchId) {
        char text[textUnits];
        std::size_t n = 0;
        for (; n + 1 < textUnits && input[n] != 0; ++n) {
            text[n] = input[n] > 0 && input[n] < 0x80 ? static_cast<char>(input[n]) : '?';
        }
        text[n] = '\0';
        const auto volts = pitchFromText(text);
        if (!volts) return V3_INVALID_ARG;
        const ControlRange& range = rangeOf(Control::pitch);
        const double held = std::fmin(std::fmax(*volts, range.minimumVolts), range.maximumVolts);
        *output = (held - range.minimumVolts) / (range.maximumVolts - range.minimumVolts);
        return V3_OK;
    }
#endif
    return dpf.valueForString(self, id, input, output);
}

double V3_API plainToNormalised(void* self, v3_param_id id, double plain) {
    // DPF would hand NaN back; a value that is not a number leaves the parameter where it is.
    if (std::isnan(plain)) return id < parameterIdEnd ? dpf.getNormalised(self, id) : 0.0;
    return dpf.plainToNormalised(self, id, plain);
}

v3_result V3_API setNormalised(void* self, v3_param_id id, double normalized) {
    // DPF reports success for an id it does not know.
    if (id >= parameterIdEnd || !(normalized >= 0.0 && normalized <= 1.0)) return V3_INVALID_ARG;
    return dpf.setNormalised(self, id, normalized);
}

template <decltype(v3_funknown::query_interface) DpfFunctions::*original>
v3_result V3_API query(void* self, const v3_tuid iid, void** object) {
    const v3_result result = (dpf.*original)(self, iid, object);
    if (result == V3_OK && object != nullptr && *object != nullptr) guardInterface(*object, iid);
    return result;
}

/// Puts `ours` in front of the function in `slot`, keeping DPF's in `saved`; idempotent.
template <class Function>
void guard(Function& slot, Function ours, Function& saved) {
    if (slot == ours) return;
    if (saved == nullptr) saved = slot;
    slot = ours;
}

void guardInterface(void* object, const v3_tuid iid) {
    if (v3_tuid_match(iid, v3_component_iid)) {
        auto& component = objectOf<v3_component_cpp>(object);
        guard(component.query_interface, query<&DpfFunctions::componentQuery>, dpf.componentQuery);
        guard(component.comp.set_active, setActive, dpf.setActive);
        guard(component.comp.set_state, setState, dpf.setState);
    } else if (v3_tuid_match(iid, v3_audio_processor_iid)) {
        auto& processor = objectOf<v3_audio_processor_cpp>(object);
        guard(processor.query_interface, query<&DpfFunctions::processorQuery>, dpf.processorQuery);
        guard(processor.proc.process, process, dpf.process);
        guard(processor.proc.setup_processing, setupProcessing, dpf.setupProcessing);
        guard(processor.proc.get_latency_samples, latencySamples, dpf.latencySamples);
    } else if (v3_tuid_match(iid, v3_edit_controller_iid)) {
        auto& controller = objectOf<v3_edit_controller_cpp>(object);
        guard(controller.query_interface, query<&DpfFunctions::controllerQuery>, dpf.controllerQuery);
        if (dpf.getNormalised == nullptr) dpf.getNormalised = controller.ctrl.get_parameter_normalised;
        guard(controller.ctrl.get_parameter_string_for_value, stringForValue, dpf.stringForValue);
        guard(controller.ctrl.get_parameter_value_for_string, valueForString, dpf.valueForString);
        guard(controller.ctrl.plain_parameter_to_normalised, plainToNormalised, dpf.plainToNormalised);
        guard(controller.ctrl.set_parameter_normalised, setNormalised, dpf.setNormalised);
        guard(controller.ctrl.set_component_state, setComponentState, dpf.setComponentState);
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

DISTRHO_PLUGIN_EXPORT const void* GetPluginFactory(void);

const void* GetPluginFactory(void) {
    const void* factory = dpf_GetPluginFactory();
    if (factory == nullptr) return nullptr;
    auto& functions = objectOf<v3_plugin_factory_cpp>(const_cast<void*>(factory));
    guard(functions.v1.create_instance, createInstance, dpf.createInstance);
    return factory;
}
