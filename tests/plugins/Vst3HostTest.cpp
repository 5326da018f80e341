// A small VST3 host of our own: loads the built .vst3 bundle through DPF's VST3 ABI headers and compares with the module.
//
//   vst3_host_tests --plugin=PATH/VexaLPFilter2.vst3 --stereo-plugin=PATH/VexaLPFilter2Stereo.vst3 [gtest options]
//
// It does what a VST3 host does with an effect: the factory, the component
// with its processor and controller, process setup and activation, blocks
// with parameter changes; the reference is the module's own code linked in.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "FactoryPresets.h"
#include "ParameterTable.h"
#include "HostStreams.h"
#include "PluginReference.h"
#include "Smoothing.h"
#include "VexaVersion.h"
#include "resampler/CoreRate.h"
#include "travesty/audio_processor.h"
#include "travesty/component.h"
#include "travesty/edit_controller.h"
#include "travesty/events.h"
#include "travesty/factory.h"
#include "travesty/unit.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

using namespace pluginreference;

std::string bundlePath;
std::string stereoBundlePath;
/// A state saved by the plug-in as it was before Model rate existed.
std::string olderStatePath;

/// The parameters in the order the plug-in lists them: the program list first, then the plug-in's own.
enum Id : v3_param_id {
    program, pitch, resonance, zing, poles, type, drive, output, mix, keyTrack, modelRate, bypass, idCount };
/// The Poles list's last position ("5:5f").
constexpr double lastPolesPosition = static_cast<double>(vexa::poleConfigCount - 1);

/// The VST3 id of the program list: DPF numbers its own parameters first, and a
/// plug-in with an editor has two more of them (its controller lives apart).
v3_param_id programListId = 0;

/// The VST3 id (and index) of a parameter in that order; ids past it, unknown ones, stay as they are.
v3_param_id vst3Id(v3_param_id id) { return id <= idCount ? programListId + id : id; }
struct Range {
    double minimum, maximum;
};
/// The program list's, then the parameter table's.
Range rangeOf(Id id) {
    if (id == program) return {0.0, static_cast<double>(vexaplugin::factoryPresets.size() - 1)};
    const vexaplugin::ParameterInfo& entry = vexaplugin::parameterTable[id - 1];
    return {entry.minimum, entry.maximum};
}
const Range ranges[idCount] = {rangeOf(program), rangeOf(pitch),    rangeOf(resonance), rangeOf(zing),
                               rangeOf(poles),   rangeOf(type),     rangeOf(drive),     rangeOf(output),
                               rangeOf(mix),     rangeOf(keyTrack), rangeOf(modelRate), rangeOf(bypass)};

double normalized(Id id, double plain) { return (plain - ranges[id].minimum) / (ranges[id].maximum - ranges[id].minimum); }
/// The plain value DPF makes of a normalized one (in double, kept as a float).
float plainOf(Id id, double norm) {
    return static_cast<float>(norm * (ranges[id].maximum - ranges[id].minimum) + ranges[id].minimum);
}

std::string ascii(const int16_t* text) {
    std::string result;
    for (std::size_t i = 0; i < 128 && text[i] != 0; ++i) result += static_cast<char>(text[i]);
    return result;
}

/// The bundle's library, loaded once; its factory.
class Vst3Library {
public:
    explicit Vst3Library(const std::string& bundle) {
        // The binary inside is named as the bundle: PATH/Name.vst3/Contents/<architecture>/Name.
        std::string name = bundle.substr(bundle.find_last_of("/\\") + 1);
        name = name.substr(0, name.rfind(".vst3"));
#if defined(_WIN32)
        const std::string path = bundle + "/Contents/x86_64-win/" + name + ".vst3";
        handle = LoadLibraryA(path.c_str());
        if (handle == nullptr) throw std::runtime_error("cannot load " + path);
        auto symbol = [&](const char* name) { return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name)); };
        auto* enter = reinterpret_cast<bool (*)()>(symbol("InitDll"));
        if (enter == nullptr || !enter()) throw std::runtime_error("InitDll failed");
#else
        const std::string path = bundle + "/Contents/x86_64-linux/" + name + ".so";
        handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) throw std::runtime_error(dlerror());
        auto symbol = [&](const char* name) { return dlsym(handle, name); };
        auto* enter = reinterpret_cast<bool (*)(void*)>(symbol("ModuleEntry"));
        if (enter == nullptr || !enter(handle)) throw std::runtime_error("ModuleEntry failed");
#endif
        auto* getFactory = reinterpret_cast<v3_plugin_factory** (*)()>(symbol("GetPluginFactory"));
        if (getFactory == nullptr) throw std::runtime_error("no GetPluginFactory");
        factory = getFactory();
        if (factory == nullptr) throw std::runtime_error("no factory");
    }

    v3_plugin_factory** factory = nullptr;

private:
    void* handle = nullptr;
};

Vst3Library& library() {
    static Vst3Library loaded(bundlePath);
    return loaded;
}

Vst3Library& stereoLibrary() {
    static Vst3Library loaded(stereoBundlePath);
    return loaded;
}

/// One value change in a block: a parameter id and its normalized points (offset, value).
struct Change {
    v3_param_id id;
    std::vector<std::pair<int32_t, double>> points;
};

/// The host's parameter changes for one process call, as the VST3 interfaces a plug-in reads.
class ParamChanges {
public:
    explicit ParamChanges(const std::vector<Change>& changes) {
        for (const Change& change : changes) queues.push_back({&queueFunctions, vst3Id(change.id), change.points});
    }
    v3_param_changes** list() { return reinterpret_cast<v3_param_changes**>(this); }

private:
    struct Queue {
        const v3_param_value_queue_cpp* functions;
        v3_param_id id;
        std::vector<std::pair<int32_t, double>> points;
    };
    static ParamChanges* of(void* self) { return static_cast<ParamChanges*>(self); }
    static Queue* queueOf(void* self) { return static_cast<Queue*>(self); }
    static v3_result V3_API query(void*, const v3_tuid, void**) { return V3_NO_INTERFACE; }
    static uint32_t V3_API ref(void*) { return 1; }

    static const v3_param_value_queue_cpp queueFunctions;
    static const v3_param_changes_cpp changesFunctions;

    // The interface pointer is this object's address: the function table comes first.
    const v3_param_changes_cpp* functions = &changesFunctions;
    std::vector<Queue> queues;
};

const v3_param_value_queue_cpp ParamChanges::queueFunctions{
    {query, ref, ref},
    {[](void* q) { return queueOf(q)->id; },
     [](void* q) { return static_cast<int32_t>(queueOf(q)->points.size()); },
     [](void* q, int32_t i, int32_t* offset, double* value) -> v3_result {
         if (i < 0 || i >= static_cast<int32_t>(queueOf(q)->points.size())) return V3_INVALID_ARG;
         *offset = queueOf(q)->points[static_cast<std::size_t>(i)].first;
         *value = queueOf(q)->points[static_cast<std::size_t>(i)].second;
         return V3_OK;
     },
     [](void*, int32_t, double, int32_t*) -> v3_result { return V3_NOT_IMPLEMENTED; }}};
const v3_param_changes_cpp ParamChanges::changesFunctions{
    {query, ref, ref},
    {[](void* c) { return static_cast<int32_t>(of(c)->queues.size()); },
     [](void* c, int32_t i) -> v3_param_value_queue** {
         return reinterpret_cast<v3_param_value_queue**>(&of(c)->queues.at(static_cast<std::size_t>(i)));
     },
     [](void*, v3_param_id*, int32_t*) -> v3_param_value_queue** { return nullptr; }}};

/// The host's note events for one process call.
class EventList {
public:
    explicit EventList(const std::vector<v3_event>& list) : events(list) {}
    v3_event_list** list() { return reinterpret_cast<v3_event_list**>(this); }

private:
    static EventList* of(void* self) { return static_cast<EventList*>(self); }
    static v3_result V3_API query(void*, const v3_tuid, void**) { return V3_NO_INTERFACE; }
    static uint32_t V3_API ref(void*) { return 1; }
    static const v3_event_list_cpp functions;

    const v3_event_list_cpp* table = &functions;  // first: the interface points at it
    std::vector<v3_event> events;
};

const v3_event_list_cpp EventList::functions{
    {query, ref, ref},
    {[](void* l) { return static_cast<uint32_t>(of(l)->events.size()); },
     [](void* l, int32_t i, v3_event* event) -> v3_result {
         if (i < 0 || i >= static_cast<int32_t>(of(l)->events.size())) return V3_INVALID_ARG;
         *event = of(l)->events[static_cast<std::size_t>(i)];
         return V3_OK;
     },
     [](void*, v3_event*) -> v3_result { return V3_NOT_IMPLEMENTED; }}};

v3_event noteOn(int16_t key, int32_t offset) {
    v3_event event{};
    event.sample_offset = offset;
    event.type = V3_EVENT_NOTE_ON;
    event.note_on.pitch = key;
    event.note_on.velocity = 0.8f;
    event.note_on.note_id = -1;
    return event;
}

/// One effect instance: component, processor and controller, as a host holds them.
class Vst3Instance {
public:
    explicit Vst3Instance(Vst3Library& from = library()) {
        EXPECT_EQ(v3_cpp_obj(from.factory)->get_class_info(from.factory, 0, &info), V3_OK);
        void* object = nullptr;
        if (v3_cpp_obj(from.factory)->create_instance(from.factory, info.class_id, v3_component_iid, &object) != V3_OK) {
            throw std::runtime_error("cannot create the component");
        }
        component = static_cast<v3_component**>(object);
        EXPECT_EQ(v3_cpp_obj_initialize(component, nullptr), V3_OK);
        v3_cpp_obj_query_interface(component, v3_audio_processor_iid, &processor);
        v3_cpp_obj_query_interface(component, v3_edit_controller_iid, &controller);
        if (controller == nullptr) {
            // A plug-in with an editor keeps its controller apart: made from the class the component names.
            v3_tuid controllerClass{};
            if (v3_cpp_obj(component)->get_controller_class_id(component, controllerClass) == V3_OK &&
                v3_cpp_obj(from.factory)->create_instance(from.factory, controllerClass, v3_edit_controller_iid,
                                                          &object) == V3_OK) {
                controller = static_cast<v3_edit_controller**>(object);
            }
        }
        if (processor == nullptr || controller == nullptr) throw std::runtime_error("no processor or controller");
        EXPECT_EQ(v3_cpp_obj_initialize(controller, nullptr), V3_OK);
        const int32_t count = v3_cpp_obj(controller)->get_parameter_count(controller);
        for (int32_t i = 0; i < count; ++i) {
            v3_param_info parameter{};
            if (v3_cpp_obj(controller)->get_parameter_info(controller, i, &parameter) == V3_OK &&
                (parameter.flags & V3_PARAM_PROGRAM_CHANGE) != 0) {
                programListId = parameter.param_id;
            }
        }
    }
    ~Vst3Instance() {
        if (active) {
            v3_cpp_obj(processor)->set_processing(processor, 0);
            v3_cpp_obj(component)->set_active(component, 0);
        }
        v3_cpp_obj_terminate(controller);
        v3_cpp_obj_unref(controller);
        v3_cpp_obj_unref(processor);
        v3_cpp_obj_terminate(component);
        v3_cpp_obj_unref(component);
    }
    Vst3Instance(const Vst3Instance&) = delete;
    Vst3Instance& operator=(const Vst3Instance&) = delete;

    v3_result activate(int32_t maxFrames, double rate = sampleRate) {
        v3_process_setup setup{V3_REALTIME, V3_SAMPLE_32, maxFrames, rate};
        // A largest block the plug-in cannot allocate is refused here or at activation.
        const v3_result setUp = v3_cpp_obj(processor)->setup_processing(processor, &setup);
        if (setUp != V3_OK) return setUp;
        const v3_result result = v3_cpp_obj(component)->set_active(component, 1);
        if (result == V3_OK) {
            active = true;
            v3_cpp_obj(processor)->set_processing(processor, 1);
        }
        return result;
    }

    void process(const float* in, float* out, int32_t frames, const std::vector<Change>& changes,
                 const std::vector<v3_event>& notes = {}) {
        float* inChannels[] = {const_cast<float*>(in)};
        float* outChannels[] = {out};
        process(inChannels, outChannels, 1, frames, changes, notes);
    }
    /// One process call on a bus of `channels` channels each way.
    void process(float** in, float** out, int32_t channels, int32_t frames, const std::vector<Change>& changes,
                 const std::vector<v3_event>& notes = {}) {
        v3_audio_bus_buffers inputs{};
        inputs.num_channels = channels;
        inputs.channel_buffers_32 = in;
        v3_audio_bus_buffers outputs{};
        outputs.num_channels = channels;
        outputs.channel_buffers_32 = out;
        ParamChanges parameterChanges(changes);
        ParamChanges outputChanges({});
        v3_process_data data{};
        data.process_mode = V3_REALTIME;
        data.symbolic_sample_size = V3_SAMPLE_32;
        data.nframes = frames;
        data.num_input_buses = data.num_output_buses = 1;
        data.inputs = &inputs;
        data.outputs = &outputs;
        data.input_params = parameterChanges.list();
        data.output_params = withOutputChanges ? outputChanges.list() : nullptr;
        EventList events(notes);
        data.input_events = events.list();
        EXPECT_EQ(v3_cpp_obj(processor)->process(processor, &data), V3_OK);
    }

    /// Blocks of `frames` samples; `changes` arrive with the first one.
    std::vector<float> run(const std::vector<float>& in, int32_t frames, const std::vector<Change>& changes) {
        std::vector<float> out(in.size(), NAN);
        for (std::size_t done = 0; done < in.size(); done += static_cast<std::size_t>(frames)) {
            process(in.data() + done, out.data() + done, frames, done == 0 ? changes : std::vector<Change>{});
        }
        return out;
    }

    std::string text(v3_param_id id, double norm) {
        v3_str_128 text{};
        if (v3_cpp_obj(controller)->get_parameter_string_for_value(controller, vst3Id(id), norm, text) != V3_OK) return "(refused)";
        return ascii(text);
    }

    v3_class_info info{};
    v3_component** component = nullptr;
    v3_audio_processor** processor = nullptr;
    v3_edit_controller** controller = nullptr;
    /// The output-parameter list is optional: a host may pass none.
    bool withOutputChanges = true;

private:
    bool active = false;
};

/// The module with constant controls from the first sample, in blocks of `frames`.
std::vector<float> moduleRun(const std::vector<float>& in, int32_t frames, float pitchVolts, float resonanceVolts,
                             float zingVolts, std::size_t polesPosition, int16_t typeValue) {
    const vexahost::FilterPins pins = vexahost::FilterPins::describe(linkedModule);
    ModuleReference reference(polesValueAt(pins, polesPosition), typeValue, sampleRate, frames);
    std::vector<float> out(in.size());
    const auto n = static_cast<uint32_t>(frames);
    for (std::size_t done = 0; done < in.size(); done += n) {
        reference.block(in.data() + done, out.data() + done, n, std::vector<double>(n, pitchVolts),
                        std::vector<double>(n, resonanceVolts), std::vector<double>(n, zingVolts));
    }
    return out;
}

Change setTo(Id id, double plain) { return {id, {{0, normalized(id, plain)}}}; }

TEST(Vst3Description, EveryClassCarriesTheProjectVersion) {
    for (Vst3Library* bundle : {&library(), &stereoLibrary()}) {
        v3_plugin_factory_2** factory = nullptr;
        ASSERT_EQ(v3_cpp_obj_query_interface(bundle->factory, v3_plugin_factory_2_iid, &factory), V3_OK);
        const int32_t classes = v3_cpp_obj(bundle->factory)->num_classes(bundle->factory);
        ASSERT_GT(classes, 0);
        for (int32_t i = 0; i < classes; ++i) {
            v3_class_info_2 info{};
            ASSERT_EQ(v3_cpp_obj(factory)->get_class_info_2(factory, i, &info), V3_OK);
            EXPECT_STREQ(info.version, VEXA_VERSION) << info.name;
        }
        v3_cpp_obj_unref(factory);
    }
}

TEST(Vst3Processing, ParametersFromTheHostMatchTheModule) {
    const std::vector<float> in = stimulus(512 * 60);
    struct Setting {
        double pitch, resonance, zing;
        std::size_t poles;
        int16_t type;
    };
    for (const Setting& s : {Setting{6.5, 7.25, 20, 18, 1}, Setting{7.75, 8.5, 10, 8, 0}, Setting{4.5, 2.5, 0.5, vexa::poleConfigCount - 1, 1}}) {
        SCOPED_TRACE("Poles position " + std::to_string(s.poles));
        Vst3Instance instance;
        ASSERT_EQ(instance.activate(512), V3_OK);
        const std::vector<Change> changes = {setTo(pitch, s.pitch), setTo(resonance, s.resonance), setTo(zing, s.zing),
                                             setTo(poles, static_cast<double>(s.poles)), setTo(type, s.type)};
        const std::vector<float> out = instance.run(in, 512, changes);
        const std::vector<float> expected =
            moduleRun(in, 512, plainOf(pitch, normalized(pitch, s.pitch)), plainOf(resonance, normalized(resonance, s.resonance)),
                      plainOf(zing, normalized(zing, s.zing)), s.poles, s.type);
        EXPECT_EQ(firstDifference(expected, out), out.size());
    }
}

TEST(Vst3Stereo, OneStereoBusEachChannelTheModuleOnThatChannelAlone) {
    Vst3Instance mono;
    Vst3Instance instance(stereoLibrary());
    EXPECT_STREQ(instance.info.name, "Vexa LP Filter 2 Stereo");
    EXPECT_NE(std::memcmp(instance.info.class_id, mono.info.class_id, sizeof(v3_tuid)), 0) << "the same class id as the mono one";
    for (const int32_t direction : {V3_INPUT, V3_OUTPUT}) {
        EXPECT_EQ(v3_cpp_obj(instance.component)->get_bus_count(instance.component, V3_AUDIO, direction), 1);
        v3_bus_info bus{};
        ASSERT_EQ(v3_cpp_obj(instance.component)->get_bus_info(instance.component, V3_AUDIO, direction, 0, &bus), V3_OK);
        EXPECT_EQ(bus.channel_count, 2);
    }
    // The right signal is the left one played backwards: a channel filtered with the
    // other's state, or the two swapped, shows at once.
    constexpr int32_t frames = 512;
    std::vector<float> left = stimulus(frames * 40);
    std::vector<float> right(left.rbegin(), left.rend());
    std::vector<float> outLeft(left.size(), NAN);
    std::vector<float> outRight(left.size(), NAN);
    ASSERT_EQ(instance.activate(frames), V3_OK);
    const std::vector<Change> changes = {setTo(pitch, 6.5), setTo(resonance, 7.25), setTo(zing, 20), setTo(poles, 18),
                                         setTo(type, 1)};
    for (std::size_t done = 0; done < left.size(); done += frames) {
        float* in[] = {left.data() + done, right.data() + done};
        float* out[] = {outLeft.data() + done, outRight.data() + done};
        instance.process(in, out, 2, frames, done == 0 ? changes : std::vector<Change>{});
    }
    const float pitchVolts = plainOf(pitch, normalized(pitch, 6.5));
    const float resonanceVolts = plainOf(resonance, normalized(resonance, 7.25));
    const float zingVolts = plainOf(zing, normalized(zing, 20));
    EXPECT_EQ(firstDifference(moduleRun(left, frames, pitchVolts, resonanceVolts, zingVolts, 18, 1), outLeft), left.size());
    EXPECT_EQ(firstDifference(moduleRun(right, frames, pitchVolts, resonanceVolts, zingVolts, 18, 1), outRight), left.size());
}

TEST(Vst3BadInput, UnknownIdsAndNaNAreIgnoredAndTheChangesAfterThemStillApply) {
    const std::vector<float> in = stimulus(256 * 40);
    Vst3Instance instance;
    ASSERT_EQ(instance.activate(256), V3_OK);
    // Unknown ids (the largest, one past the last, a wild one) and NaN before real changes.
    const std::vector<Change> changes = {{0xFFFFFFFFu, {{0, 0.5}}},   {idCount, {{0, 0.5}}}, {9999, {{0, 0.5}}},
                                         {pitch, {{0, NAN}}},         {poles, {{0, NAN}}},   setTo(resonance, 8.5),
                                         {type, {{0, INFINITY}}},     setTo(poles, 18)};
    const std::vector<float> out = instance.run(in, 256, changes);
    EXPECT_EQ(firstDifference(moduleRun(in, 256, 5.0f, plainOf(resonance, normalized(resonance, 8.5)), 10.0f, 18, 1), out),
              out.size());
    auto* ctrl = v3_cpp_obj(instance.controller);
    v3_param_info info{};
    for (const v3_param_id id : {0xFFFFFFFFu, static_cast<v3_param_id>(idCount), 9999u}) {
        EXPECT_NE(ctrl->set_parameter_normalised(instance.controller, vst3Id(id), 0.5), V3_OK);
        EXPECT_NE(ctrl->get_parameter_info(instance.controller, static_cast<int32_t>(vst3Id(id)), &info), V3_OK);
        EXPECT_EQ(instance.text(id, 0.5), "(refused)");
    }
    EXPECT_NE(ctrl->set_parameter_normalised(instance.controller, vst3Id(pitch), NAN), V3_OK);
    EXPECT_EQ(instance.text(poles, NAN), "(refused)");
    EXPECT_TRUE(std::isfinite(ctrl->plain_parameter_to_normalised(instance.controller, vst3Id(pitch), NAN)));
}

TEST(Vst3Controller, PitchInHzAndTheFactoryPresetsAsAProgramList) {
    Vst3Instance instance;
    EXPECT_EQ(instance.text(pitch, normalized(pitch, 6.0)), "6.00 V (880 Hz)");
    EXPECT_EQ(instance.text(poles, normalized(poles, 18)), "4:4");
    auto* ctrl = v3_cpp_obj(instance.controller);
    const std::u16string typed = u"880 Hz";
    std::vector<int16_t> input(typed.begin(), typed.end());
    input.push_back(0);
    double norm = NAN;
    ASSERT_EQ(ctrl->get_parameter_value_for_string(instance.controller, vst3Id(pitch), input.data(), &norm), V3_OK);
    EXPECT_NEAR(norm, normalized(pitch, 6.0), 1e-12);

    v3_param_info info{};
    ASSERT_EQ(ctrl->get_parameter_info(instance.controller, vst3Id(program), &info), V3_OK);
    EXPECT_NE(info.flags & V3_PARAM_PROGRAM_CHANGE, 0);
    const auto count = vexaplugin::factoryPresets.size();
    ASSERT_EQ(info.step_count, static_cast<int32_t>(count - 1));
    // The list a host shows: the program parameter's unit names it.
    v3_unit_information** units = nullptr;
    ASSERT_EQ(v3_cpp_obj_query_interface(instance.controller, v3_unit_information_iid, &units), V3_OK);
    auto* unitInfo = v3_cpp_obj(units);
    v3_unit_info unit{};
    ASSERT_EQ(unitInfo->get_unit_count(units), 1);
    ASSERT_EQ(unitInfo->get_unit_info(units, 0, &unit), V3_OK);
    EXPECT_EQ(unit.id, info.unit_id);
    ASSERT_EQ(unitInfo->get_program_list_count(units), 1);
    v3_program_list_info list{};
    ASSERT_EQ(unitInfo->get_program_list_info(units, 0, &list), V3_OK);
    EXPECT_EQ(list.id, unit.program_list_id);
    EXPECT_EQ(list.programCount, static_cast<int32_t>(count));
    const vexahost::FilterPins pins = vexahost::FilterPins::describe(linkedModule);
    for (std::size_t i = 0; i < count; ++i) {
        const vexaplugin::FactoryPreset& preset = vexaplugin::factoryPresets[i];
        const double programValue = static_cast<double>(i) / static_cast<double>(count - 1);
        EXPECT_EQ(instance.text(program, programValue), preset.name);
        v3_str_128 name{};
        ASSERT_EQ(unitInfo->get_program_name(units, list.id, static_cast<int32_t>(i), name), V3_OK);
        EXPECT_EQ(ascii(name), preset.name);
        ASSERT_EQ(ctrl->set_parameter_normalised(instance.controller, vst3Id(program), programValue), V3_OK);
        EXPECT_NEAR(ctrl->get_parameter_normalised(instance.controller, vst3Id(pitch)), normalized(pitch, preset.pitchVolts), 1e-6);
        EXPECT_NEAR(ctrl->get_parameter_normalised(instance.controller, vst3Id(zing)), normalized(zing, preset.zingVolts), 1e-6);
        const double position = std::round(ctrl->get_parameter_normalised(instance.controller, vst3Id(poles)) * lastPolesPosition);
        EXPECT_EQ(pins.poleChoices.entries().at(static_cast<std::size_t>(position)).label, preset.poles) << preset.name;
    }
    v3_cpp_obj_unref(units);
}

TEST(Vst3BadInput, AHostWithoutAnOutputParameterListHearsTheSameAndNothingIsPrinted) {
    const std::vector<float> in = stimulus(256 * 16);
    Vst3Instance instance;
    instance.withOutputChanges = false;
    ASSERT_EQ(instance.activate(256), V3_OK);
    PrintedToStderr printed;
    const std::vector<float> out = instance.run(in, 256, {setTo(resonance, 8.5), setTo(poles, 18)});
    EXPECT_EQ(printed.text(), "");
    EXPECT_EQ(firstDifference(moduleRun(in, 256, 5.0f, plainOf(resonance, normalized(resonance, 8.5)), 10.0f, 18, 0), out),
              out.size());
}

// A change at sample 300 of a 512-sample block is heard from sample 300 on: the samples
// before it are those of a run without it.
TEST(Vst3Timing, AChangeIsHeardFromItsOwnSample) {
    constexpr int32_t frames = 512;
    const std::vector<float> in = stimulus(frames * 8);
    const auto runWith = [&](const std::vector<Change>& atBlockTwo) {
        Vst3Instance instance;
        EXPECT_EQ(instance.activate(frames), V3_OK);
        std::vector<float> out(in.size(), NAN);
        for (std::size_t done = 0, block = 0; done < in.size(); done += frames, ++block) {
            instance.process(in.data() + done, out.data() + done, frames, block == 2 ? atBlockTwo : std::vector<Change>{});
        }
        return out;
    };
    const std::vector<float> unchanged = runWith({});
    // Pitch there and back within the block: each point at its own sample.
    const std::vector<float> changed =
        runWith({{pitch, {{300, normalized(pitch, 8.0)}, {450, normalized(pitch, 5.0)}}}});
    // The filter takes a new Pitch at its next coefficient update, at most 12 samples on.
    constexpr std::size_t changeAt = 2 * frames + 300;
    constexpr std::size_t controlRate = 12;
    EXPECT_GE(firstDifference(unchanged, changed), changeAt);
    EXPECT_LT(firstDifference(unchanged, changed), changeAt + controlRate);
}

// Notes arrive on the event bus; with Key track at 100 % a note three octaves above
// middle C at sample 300 sounds as Pitch moved up 3 V at that sample.
TEST(Vst3Notes, ANoteMovesPitchFromItsOwnSample) {
    constexpr int32_t frames = 512;
    Vst3Instance instance;
    EXPECT_EQ(v3_cpp_obj(instance.component)->get_bus_count(instance.component, V3_EVENT, V3_INPUT), 1);
    const std::vector<float> in = stimulus(frames * 6);
    const auto runWith = [&](const std::vector<Change>& changes, const std::vector<v3_event>& notes) {
        Vst3Instance player;
        EXPECT_EQ(player.activate(frames), V3_OK);
        std::vector<float> out(in.size(), NAN);
        for (std::size_t done = 0, block = 0; done < in.size(); done += frames, ++block) {
            player.process(in.data() + done, out.data() + done, frames, block == 0 ? std::vector<Change>{setTo(keyTrack, 100)} : block == 2 ? changes : std::vector<Change>{},
                           block == 2 ? notes : std::vector<v3_event>{});
        }
        return out;
    };
    const std::vector<float> moved = runWith({{pitch, {{300, normalized(pitch, 8.0)}}}}, {});
    const std::vector<float> played = runWith({}, {noteOn(96, 300)});
    EXPECT_EQ(firstDifference(moved, played), moved.size());
    EXPECT_NE(firstDifference(moved, runWith({}, {})), moved.size());
}

// The bypass parameter VST3 hosts look for: the input passes through, bit for bit once
// the crossfade is over, with no latency.
TEST(Vst3Bypass, TheBypassParameterPassesTheInputThrough) {
    Vst3Instance instance;
    v3_param_info info{};
    ASSERT_EQ(v3_cpp_obj(instance.controller)->get_parameter_info(instance.controller, static_cast<int32_t>(vst3Id(bypass)), &info),
              V3_OK);
    EXPECT_NE(info.flags & V3_PARAM_IS_BYPASS, 0);
    ASSERT_EQ(instance.activate(512), V3_OK);
    const std::vector<float> in = stimulus(512 * 8);
    std::vector<float> out(in.size(), NAN);
    for (std::size_t done = 0; done < in.size(); done += 512) {
        instance.process(in.data() + done, out.data() + done, 512, done == 512 ? std::vector<Change>{setTo(bypass, 1)} : std::vector<Change>{});
    }
    const std::size_t settled = 1024 + vexaplugin::framesOf(vexaplugin::smoothingSeconds, sampleRate);
    EXPECT_EQ(firstDifference(std::vector<float>(in.begin() + settled, in.end()), std::vector<float>(out.begin() + settled, out.end())),
              in.size() - settled);
    EXPECT_NE(firstDifference(std::vector<float>(in.begin(), in.begin() + 512), std::vector<float>(out.begin(), out.begin() + 512)), 512u);
}

TEST(Vst3BadInput, AnActivationWhoseFilterCannotBeMadeIsRefused) {
    Vst3Instance instance;
    EXPECT_NE(instance.activate(0x7FFFFFFF), V3_OK);
    ASSERT_EQ(instance.activate(512), V3_OK);
    const std::vector<float> in = stimulus(512 * 8);
    EXPECT_EQ(firstDifference(moduleRun(in, 512, 5.0f, 5.0f, 10.0f, 5, 0), instance.run(in, 512, {})), in.size());
}

// A state saved before Model rate existed (DPF writes the same state text in the
// CLAP and VST3 builds; the file is the CLAP's) reaches the component and the
// controller as "Session rate"; the host is told the resampling's latency.
TEST(Vst3ModelRate, AnOlderStateLoadsAsSessionRateAndTheLatencyIsReported) {
    ASSERT_FALSE(olderStatePath.empty()) << "--older-state=PATH is needed";
    std::ifstream file(olderStatePath, std::ios::binary);
    const std::string older{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    ASSERT_FALSE(older.empty()) << olderStatePath;

    Vst3Instance instance;
    hoststreams::Vst3Stream toComponent{&hoststreams::Vst3Stream::table, older};
    hoststreams::Vst3Stream toController{&hoststreams::Vst3Stream::table, older};
    ASSERT_EQ(v3_cpp_obj(instance.component)->set_state(instance.component, toComponent.stream()), V3_OK);
    ASSERT_EQ(v3_cpp_obj(instance.controller)->set_component_state(instance.controller, toController.stream()), V3_OK);
    auto* ctrl = v3_cpp_obj(instance.controller);
    EXPECT_DOUBLE_EQ(ctrl->get_parameter_normalised(instance.controller, vst3Id(modelRate)), 1.0);
    EXPECT_NEAR(ctrl->get_parameter_normalised(instance.controller, vst3Id(pitch)), normalized(pitch, 6.0), 1e-6);
    hoststreams::Vst3Stream saved;
    ASSERT_EQ(v3_cpp_obj(instance.component)->get_state(instance.component, saved.stream()), V3_OK);
    EXPECT_NE(saved.bytes.find(std::string("model_rate\0" "1\0", 13)), std::string::npos);

    for (const double rate : {48000.0, 96000.0, 192000.0}) {
        Vst3Instance at;
        ASSERT_EQ(at.activate(256, rate), V3_OK);
        const uint32_t expected = rate == 48000.0 ? 0 : vexaplugin::resampler::latencyFor(rate == 96000.0 ? 2 : 4);
        EXPECT_EQ(v3_cpp_obj(at.processor)->get_latency_samples(at.processor), expected) << rate;
    }
}

// ---------------------------------------------------------------------------------------------
// State: what a host keeps in its session, and the stored states of earlier builds

using hoststreams::Vst3Stream;

std::string saveState(Vst3Instance& instance) {
    Vst3Stream stream;
    EXPECT_EQ(v3_cpp_obj(instance.component)->get_state(instance.component, stream.stream()), V3_OK);
    return stream.bytes;
}

/// The state into the component and, as hosts do, into the controller; true when both take it.
bool loadState(Vst3Instance& instance, const std::string& bytes) {
    Vst3Stream forComponent{&Vst3Stream::table, bytes};
    Vst3Stream forController{&Vst3Stream::table, bytes};
    const bool component = v3_cpp_obj(instance.component)->set_state(instance.component, forComponent.stream()) == V3_OK;
    const bool controller =
        v3_cpp_obj(instance.controller)->set_component_state(instance.controller, forController.stream()) == V3_OK;
    EXPECT_EQ(component, controller) << "the component and the controller disagree on a state";
    return component && controller;
}

std::vector<double> controllerValues(Vst3Instance& instance) {
    std::vector<double> values;
    for (v3_param_id id = pitch; id < idCount; ++id) {
        values.push_back(v3_cpp_obj(instance.controller)->get_parameter_normalised(instance.controller, vst3Id(id)));
    }
    return values;
}

const std::vector<Change> savedSetting = {setTo(pitch, 6.5), setTo(resonance, 7.25), setTo(zing, 20), setTo(poles, 18),
                                          setTo(type, 1)};

TEST(Vst3State, ACutShortExtendedOrNewerStateIsRefusedAndChangesNothing) {
    Vst3Instance source;
    ASSERT_EQ(source.activate(64), V3_OK);
    source.run(stimulus(64), 64, savedSetting);
    const std::string saved = saveState(source);
    Vst3Instance instance;
    const std::string before = saveState(instance);
    const std::vector<double> shownBefore = controllerValues(instance);
    std::vector<std::string> broken;
    for (std::size_t length = 0; length < saved.size(); ++length) broken.push_back(saved.substr(0, length));
    broken.push_back(saved + saved);
    const std::size_t versionEnd = saved.find('\0', saved.find('\0') + 1) + 1;
    broken.push_back(std::string("vexa_state_version\0003\0", 21) + saved.substr(versionEnd));
    for (const std::string& bytes : broken) {
        EXPECT_FALSE(loadState(instance, bytes)) << "loaded a state of " << bytes.size() << " bytes";
        EXPECT_EQ(saveState(instance), before);
        EXPECT_EQ(controllerValues(instance), shownBefore);
    }
    ASSERT_TRUE(loadState(instance, saved));
    EXPECT_EQ(saveState(instance), saved);
    EXPECT_NEAR(controllerValues(instance)[pitch - 1], normalized(pitch, 6.5), 1e-6);
}

std::string statesDir;      ///< --states=DIR: the stored states
std::string saveStatesDir;  ///< --save-states=DIR: write this build's states there instead

/// The stored states: saved before the state had a version (DPF's own layout), by the builds that gave it
/// versions 1 and 2, and a session Ardour 7 saved with the filter on a track (the state inside its chunk).
struct StoredState {
    const char* file;
    bool stereo;
};
const StoredState storedStates[] = {{"vst3-v0-mono.state", false},   {"vst3-v1-mono.state", false},
                                    {"vst3-v1-stereo.state", true},  {"vst3-v2-mono.state", false},
                                    {"vst3-v2-stereo.state", true},  {"ardour7-vst3-mono.ardour", false}};

bool isArdourSession(const std::string& file) { return file.size() > 7 && file.substr(file.size() - 7) == ".ardour"; }

std::string base64Decoded(const std::string& text) {
    static const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string bytes;
    uint32_t bits = 0;
    int count = 0;
    for (const char c : text) {
        const std::size_t digit = alphabet.find(c);
        if (digit == std::string::npos) continue;  // padding and line breaks
        bits = (bits << 6) | static_cast<uint32_t>(digit);
        if ((count += 6) >= 8) bytes.push_back(static_cast<char>((bits >> (count -= 8)) & 0xFF));
    }
    return bytes;
}

template <typename T>
T littleEndianAt(const std::string& bytes, std::size_t at) {
    T value{};
    if (at + sizeof(T) <= bytes.size()) std::memcpy(&value, bytes.data() + at, sizeof(T));
    return value;
}

/// What a session of Ardour 7 keeps of the filter on its track: the first VST3 processor's chunk, a VST3
/// preset ("VST3", version, the class id as 32 hex digits, where the chunk list starts; the list names
/// each chunk's id, offset and size), taken apart into the class id and the component's state.
struct ArdourChunk {
    std::string classId;
    std::string componentState;
};
ArdourChunk ardourChunk(const std::string& session) {
    const std::size_t processor = session.find("type=\"vst3\"");
    const std::size_t open = session.find("<chunk>", processor);
    const std::size_t close = session.find("</chunk>", open);
    if (processor == std::string::npos || open == std::string::npos || close == std::string::npos) return {};
    const std::string preset = base64Decoded(session.substr(open + 7, close - open - 7));
    constexpr std::size_t classIdAt = 8, classIdSize = 32, listOffsetAt = classIdAt + classIdSize;
    if (preset.compare(0, 4, "VST3") != 0) return {};
    ArdourChunk chunk{preset.substr(classIdAt, classIdSize), {}};
    const auto list = littleEndianAt<int64_t>(preset, listOffsetAt);
    if (list < 0 || preset.compare(static_cast<std::size_t>(list), 4, "List") != 0) return chunk;
    constexpr std::size_t entrySize = 4 + 8 + 8;
    const auto entries = littleEndianAt<int32_t>(preset, list + 4);
    for (int32_t i = 0; i < entries; ++i) {
        const std::size_t entry = static_cast<std::size_t>(list) + 8 + i * entrySize;
        if (preset.compare(entry, 4, "Comp") != 0) continue;
        const auto offset = littleEndianAt<int64_t>(preset, entry + 4);
        const auto size = littleEndianAt<int64_t>(preset, entry + 12);
        if (offset >= 0 && size >= 0 && static_cast<std::size_t>(offset + size) <= preset.size()) {
            chunk.componentState = preset.substr(offset, size);
        }
    }
    return chunk;
}

/// The class id as a VST3 preset spells it: its 16 bytes as hex digits.
std::string hexOf(const v3_tuid& id) {
    std::string text;
    char digits[3];
    for (const char byte : id) {
        std::snprintf(digits, sizeof digits, "%02X", static_cast<unsigned char>(byte));
        text += digits;
    }
    return text;
}

int saveStoredStates() {
    for (const StoredState& stored : storedStates) {
        if (isArdourSession(stored.file)) continue;  // Ardour's own to write
        Vst3Instance instance(stored.stereo ? stereoLibrary() : library());
        instance.activate(64);
        std::vector<float> silence(64);
        float* channels[] = {silence.data(), silence.data()};
        instance.process(channels, channels, stored.stereo ? 2 : 1, 64, savedSetting);
        std::string bytes = saveState(instance);
        // Version 0 is the same fields without the version pair ("%.12g", DPF's text, is the shortest for these).
        if (std::string(stored.file).find("-v0-") != std::string::npos) {
            bytes.erase(0, bytes.find('\0', bytes.find('\0') + 1) + 1);
        }
        std::ofstream(saveStatesDir + "/" + stored.file, std::ios::binary) << bytes;
    }
    return 0;
}

TEST(Vst3SavedSessions, EveryStoredStateLoadsToItsParametersAndSoundsAsTheModule) {
    const std::vector<float> in = stimulus(256 * 48);
    const float pitchVolts = plainOf(pitch, normalized(pitch, 6.5));
    const float resonanceVolts = plainOf(resonance, normalized(resonance, 7.25));
    const float zingVolts = plainOf(zing, normalized(zing, 20));
    const std::vector<float> expected = moduleRun(in, 256, pitchVolts, resonanceVolts, zingVolts, 18, 1);
    for (const StoredState& stored : storedStates) {
        SCOPED_TRACE(stored.file);
        std::ifstream file(statesDir + "/" + stored.file, std::ios::binary);
        ASSERT_TRUE(file) << "missing " << statesDir << "/" << stored.file;
        std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        Vst3Instance instance(stored.stereo ? stereoLibrary() : library());
        if (isArdourSession(stored.file)) {
            // Ardour finds the plug-in again by the class id it kept.
            const ArdourChunk chunk = ardourChunk(bytes);
            EXPECT_EQ(chunk.classId, hexOf(instance.info.class_id));
            bytes = chunk.componentState;
        }
        ASSERT_TRUE(loadState(instance, bytes));
        const std::vector<double> shown = controllerValues(instance);
        for (const auto& [id, plain] : {std::pair{pitch, 6.5}, {resonance, 7.25}, {zing, 20.0}, {poles, 18.0}, {type, 1.0}}) {
            EXPECT_NEAR(shown[id - 1], normalized(id, plain), 1e-6) << "parameter " << id;
        }
        ASSERT_EQ(instance.activate(256), V3_OK);
        std::vector<float> left(in.size(), NAN);
        std::vector<float> right(in.size(), NAN);
        for (std::size_t done = 0; done < in.size(); done += 256) {
            float* input[] = {const_cast<float*>(in.data()) + done, const_cast<float*>(in.data()) + done};
            float* output[] = {left.data() + done, right.data() + done};
            instance.process(input, output, stored.stereo ? 2 : 1, 256, {});
        }
        EXPECT_EQ(firstDifference(expected, left), in.size());
        if (stored.stereo) {
            EXPECT_EQ(firstDifference(expected, right), in.size());
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument.rfind("--plugin=", 0) == 0) bundlePath = argument.substr(9);
        if (argument.rfind("--stereo-plugin=", 0) == 0) stereoBundlePath = argument.substr(16);
        if (argument.rfind("--older-state=", 0) == 0) olderStatePath = argument.substr(14);
        if (argument.rfind("--states=", 0) == 0) statesDir = argument.substr(9);
        if (argument.rfind("--save-states=", 0) == 0) saveStatesDir = argument.substr(14);
    }
    if (bundlePath.empty() || stereoBundlePath.empty() || (statesDir.empty() && saveStatesDir.empty())) {
        std::fprintf(stderr,
                     "usage: %s --plugin=PATH.vst3 --stereo-plugin=PATH.vst3 --states=DIR [gtest options]\n"
                     "       %s --plugin=PATH.vst3 --stereo-plugin=PATH.vst3 --save-states=DIR\n",
                     argv[0], argv[0]);
        return 2;
    }
    if (!saveStatesDir.empty()) return saveStoredStates();
    return RUN_ALL_TESTS();
}
