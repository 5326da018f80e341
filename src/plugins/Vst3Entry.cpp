// VST3 entry point around DPF's: checks parameter changes before DPF sees them, shows Pitch in Hz, refuses a failed activation.
//
// DPF's VST3 objects keep their function tables inside each object, so this
// entry puts its own functions in front of a few of DPF's in every object a
// host reaches (the component, the audio processor and the edit controller),
// calling DPF's afterwards. In process, DPF stops reading the host's parameter
// changes at the first unknown id and turns a NaN for Poles into an int (an
// undefined conversion); here it gets only the queues of parameters that exist
// and only their points that are numbers (infinities DPF clamps to the range),
// and a bus whose channel array a host left null as null channels; a largest
// block it could not allocate is refused before DPF allocates it.
// The controller refuses unknown ids, which DPF reports as set. The state gets
// a version and a strict reader (StateCodec.h): DPF applies whatever it
// understands of a garbled state before it fails on it. DPF's factory is
// compiled under the name dpf_GetPluginFactory (see CMakeLists.txt).
#undef GetPluginFactory

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <string>

#include "DistrhoPluginInfo.h"
#include "FactoryPresets.h"
#include "FilterEngine.h"
#include "ParameterText.h"
#include "PluginParameters.h"
#include "StateCodec.h"
#include "src/DistrhoPluginVST.hpp"
#include "travesty/audio_processor.h"
#include "travesty/bstream.h"
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
    decltype(v3_audio_processor::process) process = nullptr;
    decltype(v3_audio_processor::setup_processing) setupProcessing = nullptr;
    decltype(v3_edit_controller::get_parameter_string_for_value) stringForValue = nullptr;
    decltype(v3_edit_controller::get_parameter_value_for_string) valueForString = nullptr;
    decltype(v3_edit_controller::plain_parameter_to_normalised) plainToNormalised = nullptr;
    decltype(v3_edit_controller::get_parameter_normalised) getNormalised = nullptr;
    decltype(v3_edit_controller::set_parameter_normalised) setNormalised = nullptr;
    decltype(v3_component::set_state) setState = nullptr;
    decltype(v3_component::get_state) getState = nullptr;
    decltype(v3_edit_controller::set_component_state) setComponentState = nullptr;
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
// State: versioned, and read whole and checked before DPF applies any of it

struct Bstream : v3_funknown {
    v3_bstream stream;
};

/// A stream over memory for DPF: reads `bytes` from the start, or appends to them. `functions` first.
struct MemoryStream {
    const Bstream* functions;
    std::string* bytes;
    std::size_t position = 0;

    v3_bstream** stream() { return reinterpret_cast<v3_bstream**>(this); }
    static MemoryStream& of(void* self) { return *static_cast<MemoryStream*>(self); }

    static v3_result V3_API read(void* self, void* buffer, int32_t size, int32_t* done) {
        MemoryStream& memory = of(self);
        if (buffer == nullptr || size < 0) return V3_INVALID_ARG;
        const std::size_t count = std::min<std::size_t>(static_cast<std::size_t>(size), memory.bytes->size() - memory.position);
        std::memcpy(buffer, memory.bytes->data() + memory.position, count);
        memory.position += count;
        if (done != nullptr) *done = static_cast<int32_t>(count);
        return V3_OK;
    }
    static v3_result V3_API write(void* self, void* buffer, int32_t size, int32_t* done) {
        if (buffer == nullptr || size < 0) return V3_INVALID_ARG;
        of(self).bytes->append(static_cast<const char*>(buffer), static_cast<std::size_t>(size));
        if (done != nullptr) *done = size;
        return V3_OK;
    }
    static v3_result V3_API seek(void*, int64_t, int32_t, int64_t*) { return V3_NOT_IMPLEMENTED; }
    static v3_result V3_API tell(void* self, int64_t* position) {
        if (position == nullptr) return V3_INVALID_ARG;
        *position = static_cast<int64_t>(of(self).position);
        return V3_OK;
    }
};

const Bstream memoryStreamFunctions{{noInterface, staticRef, staticUnref},
                                    {MemoryStream::read, MemoryStream::write, MemoryStream::seek, MemoryStream::tell}};

/// A host's state stream read to its end; nothing when it fails or is longer than any state.
std::optional<std::string> readAll(v3_bstream** stream) {
    std::string bytes;
    char chunk[1024];
    for (int32_t count = 0; v3_cpp_obj(stream)->read(stream, chunk, sizeof chunk, &count) == V3_OK && count != 0;
         count = 0) {
        if (count < 0 || count > static_cast<int32_t>(sizeof chunk) || bytes.size() > largestStateBytes) {
            return std::nullopt;
        }
        bytes.append(chunk, static_cast<std::size_t>(count));
    }
    return bytes;
}

/// The component's setState and the controller's setComponentState: the whole state checked, then DPF's.
template <decltype(v3_component::set_state) DpfFunctions::*original>
v3_result V3_API setStateChecked(void* self, v3_bstream** stream) {
    if (stream == nullptr) return V3_INVALID_ARG;
    const auto bytes = readAll(stream);
    const auto state = bytes ? decodeState(*bytes, filterStateParameters(), factoryPresets.size()) : std::nullopt;
    if (!state) return V3_INVALID_ARG;
    std::string dpfBytes = dpfState(*state, filterStateParameters());
    MemoryStream memory{&memoryStreamFunctions, &dpfBytes};
    return (dpf.*original)(self, memory.stream());
}

v3_result V3_API getState(void* self, v3_bstream** stream) {
    if (stream == nullptr) return V3_INVALID_ARG;
    std::string dpfBytes;
    MemoryStream memory{&memoryStreamFunctions, &dpfBytes};
    const v3_result result = dpf.getState(self, memory.stream());
    if (result != V3_OK) return result;
    const auto state = decodeDpfSave(dpfBytes, filterStateParameters(), factoryPresets.size());
    if (!state) return V3_INTERNAL_ERR;
    std::string bytes = encodeState(*state, filterStateParameters());
    for (std::size_t written = 0; written < bytes.size();) {
        int32_t count = 0;
        const auto left = static_cast<int32_t>(bytes.size() - written);
        if (v3_cpp_obj(stream)->write(stream, bytes.data() + written, left, &count) != V3_OK || count <= 0 ||
            count > left) {
            return V3_INTERNAL_ERR;
        }
        written += static_cast<std::size_t>(count);
    }
    return V3_OK;
}

// ---------------------------------------------------------------------------------------------
// Our functions in front of DPF's

/// A bus as DPF may read it: DPF reads a bus's channel array even where a host left it null,
/// and such a bus plays as null channels here (silence in, output discarded).
v3_audio_bus_buffers* withChannelArray(v3_audio_bus_buffers* bus, v3_audio_bus_buffers& own) {
    static float* nullChannels[DISTRHO_PLUGIN_NUM_OUTPUTS > DISTRHO_PLUGIN_NUM_INPUTS ? DISTRHO_PLUGIN_NUM_OUTPUTS
                                                                                     : DISTRHO_PLUGIN_NUM_INPUTS]{};
    if (bus == nullptr || bus->channel_buffers_32 != nullptr) return bus;
    own = *bus;
    own.channel_buffers_32 = nullChannels;
    return &own;
}

v3_result V3_API process(void* self, v3_process_data* data) {
    if (data == nullptr) return V3_INVALID_ARG;
    v3_process_data checkedData = *data;
    v3_audio_bus_buffers inputs{};
    v3_audio_bus_buffers outputs{};
    checkedData.inputs = withChannelArray(data->inputs, inputs);
    checkedData.outputs = withChannelArray(data->outputs, outputs);
    if (data->input_params == nullptr) return dpf.process(self, &checkedData);
    CheckedChanges checked(data->input_params);
    checkedData.input_params = checked.list();
    return dpf.process(self, &checkedData);
}

/// DPF allocates a buffer of the largest block a host promises without looking at it (a
/// negative or huge one ends the host): a promise the engine could not keep is refused here.
v3_result V3_API setupProcessing(void* self, v3_process_setup* setup) {
    if (setup == nullptr || setup->max_block_size <= 0 ||
        static_cast<uint32_t>(setup->max_block_size) > FilterEngine::largestBlockFrames) {
        return V3_INVALID_ARG;
    }
    return dpf.setupProcessing(self, setup);
}

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
        guard(component.comp.set_state, setStateChecked<&DpfFunctions::setState>, dpf.setState);
        guard(component.comp.get_state, getState, dpf.getState);
    } else if (v3_tuid_match(iid, v3_audio_processor_iid)) {
        auto& processor = objectOf<v3_audio_processor_cpp>(object);
        guard(processor.query_interface, query<&DpfFunctions::processorQuery>, dpf.processorQuery);
        guard(processor.proc.process, process, dpf.process);
        guard(processor.proc.setup_processing, setupProcessing, dpf.setupProcessing);
    } else if (v3_tuid_match(iid, v3_edit_controller_iid)) {
        auto& controller = objectOf<v3_edit_controller_cpp>(object);
        guard(controller.query_interface, query<&DpfFunctions::controllerQuery>, dpf.controllerQuery);
        if (dpf.getNormalised == nullptr) dpf.getNormalised = controller.ctrl.get_parameter_normalised;
        guard(controller.ctrl.get_parameter_string_for_value, stringForValue, dpf.stringForValue);
        guard(controller.ctrl.get_parameter_value_for_string, valueForString, dpf.valueForString);
        guard(controller.ctrl.plain_parameter_to_normalised, plainToNormalised, dpf.plainToNormalised);
        guard(controller.ctrl.set_parameter_normalised, setNormalised, dpf.setNormalised);
        guard(controller.ctrl.set_component_state, setStateChecked<&DpfFunctions::setComponentState>,
              dpf.setComponentState);
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
