// Coverage-guided fuzzing of the VST3 plug-ins (mono and stereo) through GetPluginFactory, as a careless host
// drives the component, its processor and the controller: the input is decoded into a host's life (setup,
// activation, blocks with parameter changes at any offset, state saved and mutated streams handed to
// setState and setComponentState, deactivation, another rate), and after every step the promises are checked.
#include <dlfcn.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "PluginFuzzing.h"
#include "plugins/HostStreams.h"
#include "travesty/audio_processor.h"
#include "travesty/component.h"
#include "travesty/edit_controller.h"
#include "travesty/factory.h"

namespace {

using namespace vexafuzz;

/// One bundle's library, loaded once for the whole run.
struct Vst3File {
    const char* path;
    int32_t channels;
    v3_plugin_factory** factory = nullptr;
};

std::array<Vst3File, 2> files{{{VEXA_VST3_MONO, 1}, {VEXA_VST3_STEREO, 2}}};

void load(Vst3File& file) {
    void* handle = dlopen(file.path, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        std::fprintf(stderr, "%s\n", dlerror());
        std::abort();
    }
    auto* enter = reinterpret_cast<bool (*)(void*)>(dlsym(handle, "ModuleEntry"));
    auto* getFactory = reinterpret_cast<const void* (*)()>(dlsym(handle, "GetPluginFactory"));
    if (enter == nullptr || !enter(handle) || getFactory == nullptr) broken("no ModuleEntry or GetPluginFactory");
    file.factory = static_cast<v3_plugin_factory**>(const_cast<void*>(getFactory()));
    if (file.factory == nullptr) broken("no factory");
}

using hoststreams::Vst3Stream;
constexpr auto noInterface = Vst3Stream::noInterface;
constexpr auto staticRef = Vst3Stream::staticRef;

/// A block's parameter changes: queues for any id, points at any offset with any value, in any order.
class FuzzChanges {
public:
    /// First: the interface pointer is this object's address.
    const v3_param_changes_cpp* functions = &changesTable;

    void make(FuzzInput& in, int32_t frames, const std::vector<v3_param_id>& ids) {
        queues.clear();
        const uint32_t queueCount = in.byte() % 12;
        for (uint32_t q = 0; q < queueCount; ++q) {
            const uint8_t idChoice = in.byte();
            Queue queue{&queueTable, idChoice < 200 ? ids[idChoice % ids.size()]
                                     : idChoice < 230 ? ids.back() + 1 + idChoice % 4
                                                      : in.word(), {}};
            for (uint32_t p = 0, points = in.byte() % 6; p < points; ++p) {
                const uint8_t timing = in.byte();
                const int32_t offset = timing < 180 ? (frames == 0 ? 0 : in.byte() * frames / 256)
                                       : timing < 220 ? frames + in.byte()
                                                      : static_cast<int32_t>(in.word());
                const uint8_t choice = in.byte();
                const double value = choice < 200 ? choice / 199.0 : pickValue(in);
                queue.points.push_back({offset, value});
            }
            queues.push_back(std::move(queue));
        }
    }
    v3_param_changes** list() { return reinterpret_cast<v3_param_changes**>(this); }

private:
    struct Queue {
        const v3_param_value_queue_cpp* functions;
        v3_param_id id;
        std::vector<std::pair<int32_t, double>> points;
    };
    static FuzzChanges& of(void* self) { return *static_cast<FuzzChanges*>(self); }
    static Queue& queueOf(void* self) { return *static_cast<Queue*>(self); }
    static const v3_param_value_queue_cpp queueTable;
    static const v3_param_changes_cpp changesTable;

    std::vector<Queue> queues;
};

const v3_param_value_queue_cpp FuzzChanges::queueTable{
    {noInterface, staticRef, staticRef},
    {[](void* q) { return queueOf(q).id; },
     [](void* q) { return static_cast<int32_t>(queueOf(q).points.size()); },
     [](void* q, int32_t i, int32_t* offset, double* value) -> v3_result {
         if (i < 0 || i >= static_cast<int32_t>(queueOf(q).points.size())) return V3_INVALID_ARG;
         *offset = queueOf(q).points[static_cast<std::size_t>(i)].first;
         *value = queueOf(q).points[static_cast<std::size_t>(i)].second;
         return V3_OK;
     },
     [](void*, int32_t, double, int32_t*) -> v3_result { return V3_NOT_IMPLEMENTED; }}};
const v3_param_changes_cpp FuzzChanges::changesTable{
    {noInterface, staticRef, staticRef},
    {[](void* c) { return static_cast<int32_t>(of(c).queues.size()); },
     [](void* c, int32_t i) -> v3_param_value_queue** {
         if (i < 0 || i >= static_cast<int32_t>(of(c).queues.size())) return nullptr;
         return reinterpret_cast<v3_param_value_queue**>(&of(c).queues[static_cast<std::size_t>(i)]);
     },
     [](void*, v3_param_id*, int32_t*) -> v3_param_value_queue** { return nullptr; }}};

/// One effect through one host life: component, processor and the controller apart.
class FuzzedVst3Host {
public:
    FuzzedVst3Host(FuzzInput& input, const Vst3File& from) : in(input), file(from) {
        v3_class_info info{};
        void* object = nullptr;
        if (v3_cpp_obj(file.factory)->get_class_info(file.factory, 0, &info) != V3_OK ||
            v3_cpp_obj(file.factory)->create_instance(file.factory, info.class_id, v3_component_iid, &object) != V3_OK) {
            broken("cannot create the component");
        }
        component = static_cast<v3_component**>(object);
        if (v3_cpp_obj_initialize(component, nullptr) != V3_OK) broken("the component does not initialize");
        v3_cpp_obj_query_interface(component, v3_audio_processor_iid, &processor);
        v3_tuid controllerClass{};
        if (processor == nullptr ||
            v3_cpp_obj(component)->get_controller_class_id(component, controllerClass) != V3_OK ||
            v3_cpp_obj(file.factory)->create_instance(file.factory, controllerClass, v3_edit_controller_iid, &object) !=
                V3_OK) {
            broken("no processor or controller");
        }
        controller = static_cast<v3_edit_controller**>(object);
        if (v3_cpp_obj_initialize(controller, nullptr) != V3_OK) broken("the controller does not initialize");
        for (int32_t i = 0, count = v3_cpp_obj(controller)->get_parameter_count(controller); i < count; ++i) {
            v3_param_info parameter{};
            if (v3_cpp_obj(controller)->get_parameter_info(controller, i, &parameter) == V3_OK) {
                ids.push_back(parameter.param_id);
            }
        }
        if (ids.empty()) broken("no parameters");
        lastSaved = save();
    }
    ~FuzzedVst3Host() {
        deactivate();
        v3_cpp_obj_terminate(controller);
        v3_cpp_obj_unref(controller);
        v3_cpp_obj_unref(processor);
        v3_cpp_obj_terminate(component);
        v3_cpp_obj_unref(component);
    }

    void step() {
        switch (in.byte() % 7) {
        case 0: activate(); break;
        case 1: deactivate(); break;
        case 2:
        case 3: process(); break;
        case 4: lastSaved = save(); checkSavedLoadsElsewhere(); break;
        case 5: loadMutated(); break;
        default: setFromController(); break;
        }
    }

private:
    void activate() {
        deactivate();
        const uint8_t choice = in.byte();
        maxFrames = choice < 200 ? choice % 64 + 1 : choice < 250 ? largestFuzzBlock : static_cast<int32_t>(in.word());
        v3_process_setup setup{V3_REALTIME, V3_SAMPLE_32, maxFrames, pickSampleRate(in)};
        const bool setUp = v3_cpp_obj(processor)->setup_processing(processor, &setup) == V3_OK;
        active = setUp && v3_cpp_obj(component)->set_active(component, 1) == V3_OK;
        rateInRange = sampleRateInRange(setup.sample_rate);
        loudestInput = 0.0f;
        if (!active && maxFrames > 0 && maxFrames <= static_cast<int32_t>(largestFuzzBlock) &&
            std::isfinite(setup.sample_rate)) {
            broken("an activation with a usable block was refused");
        }
        if (active && (maxFrames <= 0 || maxFrames > static_cast<int32_t>(largestFuzzBlock))) {
            maxFrames = static_cast<int32_t>(largestFuzzBlock);
        }
        if (active) v3_cpp_obj(processor)->set_processing(processor, 1);
    }

    void deactivate() {
        if (!active) return;
        v3_cpp_obj(processor)->set_processing(processor, 0);
        v3_cpp_obj(component)->set_active(component, 0);
        active = false;
    }

    void process() {
        if (!active) return;  // a host must not, and DPF's wrapper takes it on trust
        const uint8_t sizeChoice = in.byte();
        const auto frames = static_cast<int32_t>(sizeChoice < 16   ? 0
                                                 : sizeChoice < 32 ? maxFrames
                                                                   : in.word() % static_cast<uint32_t>(maxFrames + 1));
        buffers.make(in, static_cast<uint32_t>(file.channels), static_cast<uint32_t>(frames));
        changes.make(in, frames, ids);
        v3_audio_bus_buffers inputs{};
        inputs.num_channels = file.channels;
        inputs.channel_buffers_32 = buffers.nullChannels ? nullptr : buffers.inputChannels.data();
        v3_audio_bus_buffers outputs{};
        outputs.num_channels = file.channels;
        outputs.channel_buffers_32 = buffers.nullChannels ? nullptr : buffers.outputChannels.data();
        FuzzChanges noChanges;
        v3_process_data data{};
        data.process_mode = V3_REALTIME;
        data.symbolic_sample_size = V3_SAMPLE_32;
        data.nframes = frames;
        data.num_input_buses = data.num_output_buses = 1;
        data.inputs = &inputs;
        data.outputs = &outputs;
        data.input_params = in.byte() % 8 == 7 ? nullptr : changes.list();
        data.output_params = noChanges.list();
        gains.follow(save());
        loudestInput = std::max(loudestInput, buffers.inputPeak);
        v3_cpp_obj(processor)->process(processor, &data);
        gains.follow(save());
        buffers.check(static_cast<uint32_t>(frames), rateInRange && gains.carriesInRange(loudestInput), gains.outputBound());
    }

    void setFromController() {
        const uint8_t idChoice = in.byte();
        const v3_param_id id = idChoice < 240 ? ids[idChoice % ids.size()] : in.word();
        const uint8_t choice = in.byte();
        v3_cpp_obj(controller)->set_parameter_normalised(controller, id, choice < 200 ? choice / 199.0 : pickValue(in));
        checkController();
    }

    /// Every value the controller shows is a normalized number.
    void checkController() {
        for (const v3_param_id id : ids) {
            const double value = v3_cpp_obj(controller)->get_parameter_normalised(controller, id);
            if (!(value >= 0.0 && value <= 1.0)) broken("the controller shows a value outside 0 to 1");
        }
    }

    std::vector<double> controllerValues() {
        std::vector<double> values;
        for (const v3_param_id id : ids) values.push_back(v3_cpp_obj(controller)->get_parameter_normalised(controller, id));
        return values;
    }

    std::string save() {
        Vst3Stream stream;
        if (v3_cpp_obj(component)->get_state(component, stream.stream()) != V3_OK) broken("getState failed");
        return stream.bytes;
    }

    bool loadComponent(const std::string& bytes) {
        Vst3Stream stream{&Vst3Stream::table, bytes};
        return v3_cpp_obj(component)->set_state(component, stream.stream()) == V3_OK;
    }

    bool loadController(const std::string& bytes) {
        Vst3Stream stream{&Vst3Stream::table, bytes};
        return v3_cpp_obj(controller)->set_component_state(controller, stream.stream()) == V3_OK;
    }

    /// What a host saved loads into a fresh instance, and saves again the same.
    void checkSavedLoadsElsewhere() {
        FuzzInput nothing(nullptr, 0);
        FuzzedVst3Host other(nothing, file);
        if (!other.loadComponent(lastSaved) || !other.loadController(lastSaved)) broken("a saved state does not load");
        if (other.save() != lastSaved) broken("a loaded state saves differently");
        other.checkController();
    }

    void loadMutated() {
        const MutatedState mutated = mutateState(lastSaved, in);
        const std::string before = save();
        const std::vector<double> shownBefore = controllerValues();
        const bool loaded = loadComponent(mutated.bytes);
        const bool shown = loadController(mutated.bytes);
        if (loaded != shown) broken("the component and the controller disagree on a state");
        if (loaded && mutated.expect == MutatedState::mustRefuse) broken("a cut-short, extended or unknown state loaded");
        if (!loaded && mutated.expect == MutatedState::mustLoad) broken("a state of this or an earlier build was refused");
        if (!loaded) {
            if (save() != before) broken("a refused state changed the component");
            if (controllerValues() != shownBefore) broken("a refused state changed the controller");
            return;
        }
        checkController();
        lastSaved = save();
        if (!loadComponent(lastSaved) || save() != lastSaved) broken("a loaded state does not save and load back");
        checkSavedLoadsElsewhere();
    }

    FuzzInput& in;
    const Vst3File& file;
    v3_component** component = nullptr;
    v3_audio_processor** processor = nullptr;
    v3_edit_controller** controller = nullptr;
    std::vector<v3_param_id> ids;  ///< every parameter the controller lists, the program list among them
    bool active = false;
    bool rateInRange = false;  ///< the rate of the last activation inside the documented range
    float loudestInput = 0.0f;  ///< since the last activation
    StageGains gains;
    int32_t maxFrames = 0;
    std::string lastSaved;
    FuzzBuffers buffers;
    FuzzChanges changes;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    for (Vst3File& file : files) load(file);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    const Vst3File& file = files[in.byte() % files.size()];
    FuzzedVst3Host fuzzedHost(in, file);
    for (uint32_t i = 0; i < maxActions && !in.empty(); ++i) fuzzedHost.step();
    return 0;
}
