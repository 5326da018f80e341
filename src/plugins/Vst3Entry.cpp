// VST3 entry point around DPF's: checks parameter changes before DPF sees them and hands them over at their sample, takes notes, shows Pitch in Hz, refuses a failed activation, lists the factory presets.
//
// Our functions stand in front of a few of DPF's in every object a host
// reaches (DpfAdapter.cpp puts them there), calling DPF's afterwards. In
// process, DPF stops reading the host's parameter changes at the first unknown
// id and turns a NaN for Poles into an int (an undefined conversion); here it
// gets only the queues of parameters that exist and only their points that are
// numbers (infinities DPF clamps to the range), and a bus whose channel array a
// host left null as null channels; a largest block it could not allocate is
// refused before DPF allocates it. The controller refuses unknown ids, which DPF
// reports as set, and offers the program list DPF lacks. Each process call
// reaches DPF cut at its points and note-ons (Vst3TimedChanges.h), and the
// component offers a note bus of its own, whose note-ons go to the engine of the
// component's plug-in. The state gets a version and a strict reader
// (StateCodec.h): DPF applies whatever it understands of a garbled state before
// it fails on it; a state saved before Model rate existed loads as "Session
// rate". The processor reports the latency of the resampling at high session rates.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <utility>

#include "DistrhoPluginInfo.h"
#include "DpfAdapter.h"
#include "FactoryPresets.h"
#include "FilterEngine.h"
#include "ParameterText.h"
#include "PluginParameters.h"
#include "StateCodec.h"
#include "Vst3TimedChanges.h"
#include "resampler/CoreRate.h"
#include "travesty/bstream.h"
#include "travesty/unit.h"

namespace {

using namespace vexaplugin;
using dpfadapter::dpf;

constexpr v3_param_id firstPluginParameter = dpfadapter::vst3FirstPluginParameter;
constexpr v3_param_id parameterIdEnd = firstPluginParameter + parameterCount;
#if !VEXA_PLUGIN_CONTROLS_AS_CV
constexpr v3_param_id pitchId = firstPluginParameter + pitchParameter;
#endif
/// Queues of one process call passed on; a host sends one per parameter that changes.
constexpr int32_t checkedQueueCapacity = 64;
/// VST3's text fields hold 128 UTF-16 units.
constexpr std::size_t textUnits = 128;

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

/// Takes the changes a host refuses or has no room for (the output-parameter list is
/// optional): DPF prints an assertion from the audio thread on every block without it.
v3_param_value_queue** droppedChanges();

/// The host's output-parameter changes, with a queue that takes what the host does not.
/// Lives on the stack of the process call it is made for; allocates nothing.
struct OutputChanges {
    const v3_param_changes_cpp* functions;
    v3_param_changes** host;

    v3_param_changes** list() { return reinterpret_cast<v3_param_changes**>(this); }
    static int32_t V3_API queueCount(void*) { return 0; }
    static v3_param_value_queue** V3_API queue(void*, int32_t) { return nullptr; }
    static v3_param_value_queue** V3_API addQueue(void* self, v3_param_id* id, int32_t* index) {
        v3_param_changes** host = static_cast<OutputChanges*>(self)->host;
        v3_param_value_queue** added = host != nullptr ? v3_cpp_obj(host)->add_param_data(host, id, index) : nullptr;
        return added != nullptr ? added : droppedChanges();
    }
};

const v3_param_changes_cpp outputChangesFunctions{{noInterface, staticRef, staticUnref},
                                                  {OutputChanges::queueCount, OutputChanges::queue,
                                                   OutputChanges::addQueue}};

v3_param_value_queue** droppedChanges() {
    static const v3_param_value_queue_cpp functions{
        {noInterface, staticRef, staticUnref},
        {[](void*) -> v3_param_id { return 0; }, [](void*) -> int32_t { return 0; },
         [](void*, int32_t, int32_t*, double*) -> v3_result { return V3_INVALID_ARG; },
         [](void*, int32_t, double, int32_t* index) -> v3_result {
             if (index != nullptr) *index = 0;
             return V3_OK;
         }}};
    static const v3_param_value_queue_cpp* queue = &functions;
    return reinterpret_cast<v3_param_value_queue**>(const_cast<v3_param_value_queue_cpp**>(&queue));
}

// ---------------------------------------------------------------------------------------------
// Notes: an event bus of our own, played through the engine of the component's plug-in

/// The component each processor belongs to, and the engine of each component's plug-in.
vst3changes::EngineLinks owners;
vst3changes::EngineLinks engines;

FilterEngine* engineOfProcessor(void* processor) {
    return static_cast<FilterEngine*>(const_cast<void*>(engines.linked(owners.linked(processor))));
}

bool isNoteBus(int32_t mediaType, int32_t direction) { return mediaType == V3_EVENT && direction == V3_INPUT; }

v3_result V3_API initialize(void* self, v3_funknown** context) {
    const v3_result result = dpf.initialize(self, context);
    // DPF made the component's plug-in in this call, on this thread.
    if (result == V3_OK) engines.link(self, dpfadapter::lastMadeEngine());
    return result;
}

v3_result V3_API terminate(void* self) {
    engines.unlink(self);
    return dpf.terminate(self);
}

int32_t V3_API busCount(void* self, int32_t mediaType, int32_t direction) {
    return isNoteBus(mediaType, direction) ? 1 : dpf.busCount(self, mediaType, direction);
}

v3_result V3_API busInfo(void* self, int32_t mediaType, int32_t direction, int32_t index, v3_bus_info* info) {
    if (!isNoteBus(mediaType, direction)) return dpf.busInfo(self, mediaType, direction, index, info);
    if (index != 0 || info == nullptr) return V3_INVALID_ARG;
    *info = {};
    info->media_type = V3_EVENT;
    info->direction = V3_INPUT;
    info->channel_count = 16;
    DISTRHO_NAMESPACE::strncpy_utf16(info->bus_name, "Key track", textUnits);
    info->bus_type = V3_MAIN;
    info->flags = V3_DEFAULT_ACTIVE;
    return V3_OK;
}

v3_result V3_API activateBus(void* self, int32_t mediaType, int32_t direction, int32_t index, v3_bool state) {
    if (!isNoteBus(mediaType, direction)) return dpf.activateBus(self, mediaType, direction, index, state);
    return index == 0 ? V3_OK : V3_INVALID_ARG;
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
template <decltype(v3_component::set_state) dpfadapter::Vst3Functions::*original>
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

/// DPF 1.6 drops the parameter changes of a call without samples (a host's flush, or how
/// a host sets Bypass before saving the state): they go to the plug-in's engine here.
void applyWithoutSamples(v3_param_changes** changes, FilterEngine* engine) {
    if (engine == nullptr) return;
    vst3changes::forEachPoint(changes, 1, [engine](v3_param_value_queue** queue, int32_t, double normalized) {
        const v3_param_id id = v3_cpp_obj(queue)->get_param_id(queue);
        if (id < firstPluginParameter || id >= parameterIdEnd) return;
        const ParameterInfo& entry = infoAt(id - firstPluginParameter);
        engine->setParameter(parameterIds[id - firstPluginParameter],
                             static_cast<float>(entry.minimum + normalized * (entry.maximum - entry.minimum)));
    });
}

v3_result V3_API process(void* self, v3_process_data* data) {
    // DPF prints an assertion for any sample size but 32-bit, which it declines in can_process_sample_size.
    if (data == nullptr || data->symbolic_sample_size != V3_SAMPLE_32) return V3_INVALID_ARG;
    const auto run = [self](v3_process_data& piece) { return dpf.process(self, &piece); };
    v3_process_data checkedData = *data;
    v3_audio_bus_buffers inputs{};
    v3_audio_bus_buffers outputs{};
    checkedData.inputs = withChannelArray(data->inputs, inputs);
    checkedData.outputs = withChannelArray(data->outputs, outputs);
    OutputChanges output{&outputChangesFunctions, data->output_params};
    checkedData.output_params = output.list();
    if (data->input_params == nullptr) return vst3changes::runInPieces(checkedData, engineOfProcessor(self), run);
    CheckedChanges checked(data->input_params);
    checkedData.input_params = checked.list();
    if (data->nframes <= 0) applyWithoutSamples(checkedData.input_params, engineOfProcessor(self));
    return vst3changes::runInPieces(checkedData, engineOfProcessor(self), run);
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

/// DPF allocates a buffer of the largest block a host promises without looking at it (a
/// negative or huge one ends the host): a promise the engine could not keep is refused here.
v3_result V3_API setupProcessing(void* self, v3_process_setup* setup) {
    if (setup == nullptr || setup->max_block_size <= 0 ||
        static_cast<uint32_t>(setup->max_block_size) > FilterEngine::largestBlockFrames) {
        return V3_INVALID_ARG;
    }
    const v3_result result = dpf.setupProcessing(self, setup);
    if (result == V3_OK && setup != nullptr) {
        latencies().set(self, resampler::latencyFor(resampler::factorFor(setup->sample_rate)));
    }
    return result;
}

uint32_t V3_API latencySamples(void* self) { return latencies().of(self); }

v3_result V3_API setActive(void* self, v3_bool state) {
    const v3_result result = dpf.setActive(self, state);
    if (state == 0 || result != V3_OK || dpfadapter::lastActivationSucceeded()) return result;
    dpf.setActive(self, 0);
    return V3_NOMEM;
}

v3_result V3_API stringForValue(void* self, v3_param_id id, double normalized, v3_str_128 output) {
#if !VEXA_PLUGIN_CONTROLS_AS_CV
    if (id == pitchId && output != nullptr && normalized >= 0.0 && normalized <= 1.0) {
        const ParameterInfo& range = infoOf(Control::pitch);
        char text[textUnits];
        if (!pitchToText(range.minimum + normalized * (range.maximum - range.minimum), text,
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
        const ParameterInfo& range = infoOf(Control::pitch);
        const double held = std::fmin(std::fmax(*volts, range.minimum), range.maximum);
        *output = (held - range.minimum) / (range.maximum - range.minimum);
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

// ---------------------------------------------------------------------------------------------
// The factory presets as the controller's program list (IUnitInfo), which DPF's lacks

/// The one unit (the root) and its program list, the factory presets by number as DPF's program parameter takes them.
constexpr int32_t rootUnit = 0;
constexpr int32_t noParentUnit = -1;
constexpr int32_t factoryProgramList = 1;
constexpr int32_t programCount = static_cast<int32_t>(factoryPresets.size());

/// The program list of one controller; holds a reference to it and answers its other interfaces through it.
struct ProgramUnits {
    const v3_unit_information_cpp* functions;
    v3_funknown** controller;
    std::atomic<uint32_t> references{1};

    static ProgramUnits& of(void* self) { return *static_cast<ProgramUnits*>(self); }

    static v3_result V3_API query(void* self, const v3_tuid iid, void** object) {
        if (v3_tuid_match(iid, v3_unit_information_iid) || v3_tuid_match(iid, v3_funknown_iid)) {
            ref(self);
            *object = self;
            return V3_OK;
        }
        return v3_cpp_obj_query_interface(of(self).controller, iid, reinterpret_cast<void***>(object));
    }
    static uint32_t V3_API ref(void* self) { return ++of(self).references; }
    static uint32_t V3_API unref(void* self) {
        const uint32_t left = --of(self).references;
        if (left == 0) {
            v3_cpp_obj_unref(of(self).controller);
            delete &of(self);
        }
        return left;
    }

    static int32_t V3_API unitCount(void*) { return 1; }
    static v3_result V3_API unitInfo(void*, int32_t index, v3_unit_info* info) {
        if (index != 0 || info == nullptr) return V3_INVALID_ARG;
        *info = {rootUnit, noParentUnit, {}, factoryProgramList};
        DISTRHO_NAMESPACE::strncpy_utf16(info->name, "Root", 128);
        return V3_OK;
    }
    static int32_t V3_API programListCount(void*) { return 1; }
    static v3_result V3_API programListInfo(void*, int32_t index, v3_program_list_info* info) {
        if (index != 0 || info == nullptr) return V3_INVALID_ARG;
        *info = {factoryProgramList, {}, programCount};
        DISTRHO_NAMESPACE::strncpy_utf16(info->name, "Factory presets", 128);
        return V3_OK;
    }
    static v3_result V3_API programName(void*, int32_t list, int32_t program, v3_str_128 name) {
        if (list != factoryProgramList || program < 0 || program >= programCount || name == nullptr) {
            return V3_INVALID_ARG;
        }
        DISTRHO_NAMESPACE::strncpy_utf16(name, factoryPresets[static_cast<std::size_t>(program)].name, 128);
        return V3_OK;
    }
    static v3_result V3_API programInfo(void*, int32_t, int32_t, const char*, v3_str_128) { return V3_FALSE; }
    static v3_result V3_API hasPitchNames(void*, int32_t, int32_t) { return V3_FALSE; }
    static v3_result V3_API pitchName(void*, int32_t, int32_t, int16_t, v3_str_128) { return V3_FALSE; }
    static int32_t V3_API selectedUnit(void*) { return rootUnit; }
    static v3_result V3_API selectUnit(void*, int32_t unit) { return unit == rootUnit ? V3_OK : V3_INVALID_ARG; }
    static v3_result V3_API unitByBus(void*, int32_t, int32_t, int32_t, int32_t, int32_t* unit) {
        if (unit == nullptr) return V3_INVALID_ARG;
        *unit = rootUnit;
        return V3_OK;
    }
    static v3_result V3_API programData(void*, int32_t, int32_t, v3_bstream**) { return V3_NOT_IMPLEMENTED; }
};

const v3_unit_information_cpp programUnitsFunctions{
    {ProgramUnits::query, ProgramUnits::ref, ProgramUnits::unref},
    {ProgramUnits::unitCount, ProgramUnits::unitInfo, ProgramUnits::programListCount, ProgramUnits::programListInfo,
     ProgramUnits::programName, ProgramUnits::programInfo, ProgramUnits::hasPitchNames, ProgramUnits::pitchName,
     ProgramUnits::selectedUnit, ProgramUnits::selectUnit, ProgramUnits::unitByBus, ProgramUnits::programData}};

/// The controller's interfaces DPF's lacks.
v3_result V3_API controllerInterface(void* controller, const v3_tuid iid, void** object) {
    if (object == nullptr) return V3_INVALID_ARG;
    *object = nullptr;
    if (!v3_tuid_match(iid, v3_unit_information_iid)) return V3_NO_INTERFACE;
    auto* units = new (std::nothrow) ProgramUnits{&programUnitsFunctions, static_cast<v3_funknown**>(controller)};
    if (units == nullptr) return V3_NOMEM;
    v3_cpp_obj_ref(units->controller);
    *object = units;
    return V3_OK;
}

/// A processor plays through its component's plug-in: DPF hands it out from the component.
void handedOut(void* from, const v3_tuid iid, void* object) {
    if (v3_tuid_match(iid, v3_audio_processor_iid)) owners.link(object, owners.linked(from) != nullptr ? owners.linked(from) : from);
}

}  // namespace

const vexaplugin::dpfadapter::Vst3Hooks vexaplugin::dpfadapter::vst3Hooks{
    setActive,         process,           stringForValue, valueForString, plainToNormalised, setNormalised,
    controllerInterface, initialize,      terminate,      busCount,       busInfo,           activateBus,
    handedOut,
    setStateChecked<&dpfadapter::Vst3Functions::setState>,
    setStateChecked<&dpfadapter::Vst3Functions::setComponentState>,
    setupProcessing,
    latencySamples,
    getState};
