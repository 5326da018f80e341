// A small CLAP host of our own: loads the built .clap, runs it as a host does and compares with the module.
//
//   clap_host_tests --plugin=PATH/VexaLPFilter2.clap --stereo-plugin=PATH/VexaLPFilter2Stereo.clap [gtest options]
//
// The reference is the module's own code linked in, driven through our host
// library's filter channel the way `vexa-host render` drives it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <fstream>
#include <iterator>
#include <numbers>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "clap/entry.h"
#include "clap/ext/audio-ports.h"
#include "clap/ext/latency.h"
#include "clap/ext/params.h"
#include "clap/ext/state.h"
#include "clap/plugin-factory.h"
#include "ClapPresetAbi.h"
#include "FactoryPresets.h"
#include "FilterEngine.h"
#include "ParameterTable.h"
#include "Smoothing.h"
#include "HostStreams.h"
#include "filter/Exports.h"
#include "filter/PinLayout.h"
#include "hostlib/FilterChannel.h"
#include "hostlib/HostInstance.h"
#include "hostlib/ImpulseResponse.h"
#include "hostlib/PinChoices.h"
#include "PluginReference.h"
#include "VexaVersion.h"

#include <chrono>
#include <cstdio>
#include <functional>
#include <numbers>
#include <cstdlib>
#include <thread>

#include "clap/ext/gui.h"
#include "clap/ext/timer-support.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <dlfcn.h>
#endif


namespace {

std::string pluginPath;
std::string stereoPluginPath;
/// A state saved by the plug-in as it was before Model rate existed.
std::string olderStatePath;
using namespace pluginreference;

/// The plug-in's parameters by index (DPF gives each its index as id).
enum Param : clap_id { pitch, resonance, zing, poles, type, drive, output, mix, keyTrack, modelRate, bypass, paramCount };
/// Model rate's positions.
enum ModelRate { designRate, sessionRate };
/// The Poles list's last position ("5:5f").
constexpr double lastPolesPosition = static_cast<double>(vexa::poleConfigCount - 1);

/// The .clap file, loaded once for the whole run.
class ClapLibrary {
public:
    explicit ClapLibrary(const std::string& path) {
#if defined(_WIN32)
        handle = LoadLibraryA(path.c_str());
        if (handle == nullptr) throw std::runtime_error("cannot load " + path);
        entry = reinterpret_cast<const clap_plugin_entry_t*>(GetProcAddress(static_cast<HMODULE>(handle), "clap_entry"));
#else
        handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) throw std::runtime_error(dlerror());
        entry = static_cast<const clap_plugin_entry_t*>(dlsym(handle, "clap_entry"));
#endif
        if (entry == nullptr) throw std::runtime_error("no clap_entry in " + path);
        if (!entry->init(path.c_str())) throw std::runtime_error("clap_entry.init failed");
        factory = static_cast<const clap_plugin_factory_t*>(entry->get_factory(CLAP_PLUGIN_FACTORY_ID));
        if (factory == nullptr) throw std::runtime_error("no plug-in factory");
    }
    ~ClapLibrary() { entry->deinit(); }

    const clap_plugin_entry_t* entry = nullptr;
    const clap_plugin_factory_t* factory = nullptr;

private:
    void* handle = nullptr;
};

ClapLibrary& library() {
    static ClapLibrary loaded(pluginPath);
    return loaded;
}

ClapLibrary& stereoLibrary() {
    static ClapLibrary loaded(stereoPluginPath);
    return loaded;
}

const void* CLAP_ABI noExtension(const clap_host_t*, const char*) { return nullptr; }
void CLAP_ABI noRequest(const clap_host_t*) {}

const clap_host_t testHost{CLAP_VERSION_INIT, nullptr, "vexa clap test host", "Vexa", "", "1",
                           noExtension, noRequest, noRequest, noRequest};

/// Parameter changes, modulation and notes for one process call, in the order added.
class EventList {
public:
    void add(clap_id id, double value, uint32_t time = 0) {
        clap_event_param_value_t event{};
        event.header = {sizeof event, time, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, 0};
        event.param_id = id;
        event.note_id = -1;
        event.port_index = event.channel = event.key = -1;
        event.value = value;
        events.emplace_back().value = event;
    }
    void modulate(clap_id id, double amount, uint32_t time = 0) {
        clap_event_param_mod_t event{};
        event.header = {sizeof event, time, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_MOD, 0};
        event.param_id = id;
        event.note_id = -1;
        event.port_index = event.channel = event.key = -1;
        event.amount = amount;
        events.emplace_back().mod = event;
    }
    /// A note-on in CLAP's own dialect, or as MIDI bytes.
    void noteOn(int16_t key, uint32_t time, bool asMidi = false) {
        if (asMidi) {
            clap_event_midi_t event{};
            event.header = {sizeof event, time, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_MIDI, 0};
            event.data[0] = 0x90;
            event.data[1] = static_cast<uint8_t>(key);
            event.data[2] = 100;
            events.emplace_back().midi = event;
            return;
        }
        clap_event_note_t event{};
        event.header = {sizeof event, time, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_NOTE_ON, 0};
        event.note_id = -1;
        event.port_index = 0;
        event.channel = 0;
        event.key = key;
        event.velocity = 0.8;
        events.emplace_back().note = event;
    }
    void clear() { events.clear(); }
    const clap_input_events_t* list() {
        input = {this, &EventList::size, &EventList::get};
        return &input;
    }

private:
    static uint32_t CLAP_ABI size(const clap_input_events_t* list) {
        return static_cast<uint32_t>(static_cast<EventList*>(list->ctx)->events.size());
    }
    static const clap_event_header_t* CLAP_ABI get(const clap_input_events_t* list, uint32_t index) {
        return &static_cast<EventList*>(list->ctx)->events[index].value.header;
    }
    union Event {
        clap_event_param_value_t value;
        clap_event_param_mod_t mod;
        clap_event_note_t note;
        clap_event_midi_t midi;
    };
    std::vector<Event> events;
    clap_input_events_t input{};
};

bool CLAP_ABI dropEvent(const clap_output_events_t*, const clap_event_header_t*) { return true; }
const clap_output_events_t noOutput{nullptr, dropEvent};

/// One plug-in instance, activated and processing.
class ClapInstance {
public:
    explicit ClapInstance(const clap_host_t* host = &testHost, ClapLibrary& from = library(),
                          const char* id = "vexa.lp-filter-2") {
        plugin = from.factory->create_plugin(from.factory, host, id);
        if (plugin == nullptr || !plugin->init(plugin)) throw std::runtime_error("cannot create the plug-in");
        params = static_cast<const clap_plugin_params_t*>(plugin->get_extension(plugin, CLAP_EXT_PARAMS));
        state = static_cast<const clap_plugin_state_t*>(plugin->get_extension(plugin, CLAP_EXT_STATE));
        presets = static_cast<const clap_plugin_preset_load_t*>(plugin->get_extension(plugin, CLAP_EXT_PRESET_LOAD));
    }
    ~ClapInstance() {
        if (active) {
            plugin->stop_processing(plugin);
            plugin->deactivate(plugin);
        }
        plugin->destroy(plugin);
    }
    ClapInstance(const ClapInstance&) = delete;
    ClapInstance& operator=(const ClapInstance&) = delete;

    bool tryActivate(double rate, uint32_t maxFrames) { return plugin->activate(plugin, rate, 1, maxFrames); }
    void activate(double rate, uint32_t maxFrames) {
        ASSERT_TRUE(tryActivate(rate, maxFrames));
        ASSERT_TRUE(plugin->start_processing(plugin));
        active = true;
    }

    /// One process call: `events` first, then `frames` samples. `in` or `out` may be null;
    /// what the plug-in sends back goes to `sent` (dropped by default).
    clap_process_status process(const float* in, float* out, uint32_t frames, EventList& events,
                                const clap_output_events_t* sent = &noOutput) {
        float* inChannels[] = {const_cast<float*>(in)};
        float* outChannels[] = {out};
        return process(inChannels, outChannels, 1, frames, events, sent);
    }
    /// One process call on a bus of `channels` channels each way.
    clap_process_status process(float* const* in, float* const* out, uint32_t channels, uint32_t frames,
                                EventList& events, const clap_output_events_t* sent = &noOutput) {
        const clap_audio_buffer_t inputs{const_cast<float**>(in), nullptr, channels, 0, 0};
        clap_audio_buffer_t outputs{const_cast<float**>(out), nullptr, channels, 0, 0};
        clap_process_t call{};
        call.steady_time = -1;
        call.frames_count = frames;
        call.audio_inputs = &inputs;
        call.audio_outputs = &outputs;
        call.audio_inputs_count = 1;
        call.audio_outputs_count = 1;
        call.in_events = events.list();
        call.out_events = sent;
        return plugin->process(plugin, &call);
    }

    double value(clap_id id) const {
        double v = NAN;
        params->get_value(plugin, id, &v);
        return v;
    }

    const clap_plugin_t* plugin = nullptr;
    const clap_plugin_params_t* params = nullptr;
    const clap_plugin_state_t* state = nullptr;
    const clap_plugin_preset_load_t* presets = nullptr;

private:
    bool active = false;
};

TEST(ClapDescription, OnePluginWithTheTableParametersAndTheirRanges) {
    ASSERT_EQ(library().factory->get_plugin_count(library().factory), 1u);
    const clap_plugin_descriptor_t* descriptor = library().factory->get_plugin_descriptor(library().factory, 0);
    EXPECT_STREQ(descriptor->id, "vexa.lp-filter-2");
    EXPECT_STREQ(descriptor->name, "Vexa LP Filter 2");
    EXPECT_STREQ(descriptor->version, VEXA_VERSION);

    ClapInstance instance;
    EXPECT_STREQ(instance.plugin->desc->version, VEXA_VERSION);
    ASSERT_NE(instance.params, nullptr);
    ASSERT_EQ(instance.params->count(instance.plugin), static_cast<uint32_t>(paramCount));
    ASSERT_EQ(vexaplugin::parameterTable.size(), static_cast<std::size_t>(paramCount));
    for (uint32_t i = 0; i < paramCount; ++i) {
        const vexaplugin::ParameterInfo& entry = vexaplugin::parameterTable[i];
        clap_param_info_t info{};
        ASSERT_TRUE(instance.params->get_info(instance.plugin, i, &info));
        EXPECT_EQ(info.id, i);
        EXPECT_STREQ(info.name, entry.name);
        EXPECT_FLOAT_EQ(info.min_value, entry.minimum) << info.name;
        EXPECT_FLOAT_EQ(info.max_value, entry.maximum) << info.name;
        EXPECT_FLOAT_EQ(info.default_value, entry.defaultValue) << info.name;
        EXPECT_EQ((info.flags & CLAP_PARAM_IS_STEPPED) != 0, entry.kind != vexaplugin::ParameterKind::continuous) << info.name;
        EXPECT_EQ((info.flags & CLAP_PARAM_IS_MODULATABLE) != 0, entry.modulatable) << info.name;
        EXPECT_EQ((info.flags & CLAP_PARAM_IS_BYPASS) != 0, i == bypass) << info.name;
    }
    // The table against the module's own pin defaults and a user's expectations.
    EXPECT_FLOAT_EQ(vexaplugin::parameterTable[pitch].defaultValue, 5.0f);
    EXPECT_FLOAT_EQ(vexaplugin::parameterTable[zing].defaultValue, 10.0f);
    EXPECT_EQ(vexahost::FilterPins::describe(linkedModule).poleChoices.entries()
                  [static_cast<std::size_t>(vexaplugin::parameterTable[poles].defaultValue)].label,
              "2:4f");
}

TEST(ClapDescription, PolesAndTypeShowTheModulesLabelsInItsListOrder) {
    ClapInstance instance;
    const vexahost::FilterPins pins = vexahost::FilterPins::describe(linkedModule);
    const auto& labels = pins.poleChoices.entries();
    ASSERT_EQ(labels.size(), vexa::poleConfigCount);
    char text[CLAP_NAME_SIZE];
    for (std::size_t position = 0; position < labels.size(); ++position) {
        ASSERT_TRUE(instance.params->value_to_text(instance.plugin, poles, static_cast<double>(position), text,
                                                   sizeof text));
        EXPECT_EQ(std::string(text), labels[position].label) << "position " << position;
    }
    // Spot checks against the module's list text: "4-1:5" follows "2:5f", "5:5f" closes it.
    EXPECT_EQ(labels[8].label, "4-1:5");
    EXPECT_EQ(labels.back().label, "5:5f");
    ASSERT_TRUE(instance.params->value_to_text(instance.plugin, type, 1.0, text, sizeof text));
    EXPECT_STREQ(text, "HP");
}

/// Where the controls stand: volts, Poles as a list position, Type 0 (LP) or 1 (HP).
struct Controls {
    double pitch = 5.0;
    double resonance = 5.0;
    double zing = 10.0;
    double poles = 5.0;
    double type = 0.0;
    double drive = 0.0;
    double output = 0.0;
    double mix = 100.0;

    /// All but Key track and Bypass, which the tests that use these leave at their defaults.
    void set(clap_id id, double value) {
        double* fields[] = {&pitch, &resonance, &zing, &poles, &type, &drive, &output, &mix};
        ASSERT_LT(id, std::size(fields));
        *fields[id] = value;
    }
};

/// One host block: its length and the parameter changes that come with it.
struct HostBlock {
    uint32_t frames;
    std::vector<std::pair<clap_id, double>> changes;
    /// All changes at the block's first sample rather than spread over it.
    bool atStart = false;
};

/// Where runPlugin puts change `i` of a block.
uint32_t changeTime(std::size_t i, const HostBlock& block) {
    return block.frames == 0 || block.atStart ? 0 : std::min(static_cast<uint32_t>(i), block.frames - 1);
}

/// Every channel of `in` through one bus of the plug-in, in the given blocks.
std::vector<std::vector<float>> runPlugin(ClapInstance& instance, std::vector<std::vector<float>> in,
                                          const std::vector<HostBlock>& blocks) {
    std::vector<std::vector<float>> out(in.size(), std::vector<float>(in[0].size(), NAN));
    std::vector<float*> inChannels(in.size());
    std::vector<float*> outChannels(in.size());
    EventList events;
    std::size_t done = 0;
    for (const HostBlock& block : blocks) {
        events.clear();
        for (std::size_t i = 0; i < block.changes.size(); ++i) {
            // Spread over the block: each is heard from its own sample on.
            events.add(block.changes[i].first, block.changes[i].second, changeTime(i, block));
        }
        for (std::size_t c = 0; c < in.size(); ++c) {
            inChannels[c] = in[c].data() + done;
            outChannels[c] = out[c].data() + done;
        }
        EXPECT_EQ(instance.process(inChannels.data(), outChannels.data(), static_cast<uint32_t>(in.size()), block.frames,
                                   events),
                  CLAP_PROCESS_CONTINUE);
        done += block.frames;
    }
    for (std::vector<float>& channel : out) channel.resize(done);
    return out;
}

std::vector<float> runPlugin(ClapInstance& instance, const std::vector<float>& in, const std::vector<HostBlock>& blocks) {
    return runPlugin(instance, std::vector<std::vector<float>>{in}, blocks)[0];
}


/// The module with the same blocks, cut where the changes come: values set before the
/// first sample start the filter as they are; a later change moves its control in a
/// straight line over the plug-in's smoothing time from its own sample; a list change
/// switches the module at the next cut once the crossfade before it is over. Drive
/// scales the module's input, Mix blends its output with the input, Output scales both.
/// `crossfades` gets the samples each switch's crossfade covers, which the module,
/// with no old configuration beside it, cannot give.
std::vector<float> runModule(const std::vector<float>& in, const std::vector<HostBlock>& blocks, uint32_t maxFrames,
                             std::vector<std::pair<std::size_t, std::size_t>>* crossfades = nullptr) {
    const vexahost::FilterPins pins = vexahost::FilterPins::describe(linkedModule);
    const uint32_t fadeLength = vexaplugin::framesOf(vexaplugin::smoothingSeconds, sampleRate);
    std::vector<float> out(in.size(), NAN);
    std::unique_ptr<ModuleReference> reference;
    Controls target;
    Controls applied;
    vexaplugin::LinearRamp ramps[6];
    uint32_t fadeLeft = 0;
    std::size_t done = 0;
    const auto gain = [](double decibels) { return std::pow(10.0, static_cast<float>(decibels) / 20.0); };
    const auto retarget = [&](uint32_t frames) {
        ramps[0].moveTo(static_cast<float>(target.pitch), frames);
        ramps[1].moveTo(static_cast<float>(target.resonance), frames);
        ramps[2].moveTo(static_cast<float>(target.zing), frames);
        ramps[3].moveTo(gain(target.drive), frames);
        ramps[4].moveTo(gain(target.output), frames);
        ramps[5].moveTo(static_cast<float>(target.mix) / 100.0, frames);
    };
    for (const HostBlock& block : blocks) {
        std::size_t next = 0;
        for (uint32_t start = 0; start < block.frames || next < block.changes.size();) {
            while (next < block.changes.size() && changeTime(next, block) == start) {
                target.set(block.changes[next].first, block.changes[next].second);
                ++next;
            }
            retarget(reference != nullptr ? fadeLength : 0);
            const uint32_t end = next < block.changes.size() ? changeTime(next, block) : block.frames;
            if (end == start) break;  // a zero-length call
            const auto polesValue = polesValueAt(pins, static_cast<std::size_t>(target.poles));
            const auto typeValue = static_cast<int16_t>(target.type);
            if (reference == nullptr) {
                reference = std::make_unique<ModuleReference>(polesValue, typeValue, sampleRate, static_cast<int32_t>(maxFrames));
                applied = target;
            }
            if ((target.poles != applied.poles || target.type != applied.type) && fadeLeft == 0) {
                if (target.poles != applied.poles) reference->filter().selectPoles(polesValue);
                if (target.type != applied.type) reference->filter().selectType(typeValue);
                applied.poles = target.poles;
                applied.type = target.type;
                fadeLeft = fadeLength;
                if (crossfades != nullptr) crossfades->push_back({done + start, done + start + fadeLength});
            }
            const uint32_t frames = end - start;
            std::vector<double> values[6];
            for (int c = 0; c < 6; ++c) {
                for (uint32_t n = 0; n < frames; ++n) values[c].push_back(ramps[c].next());
            }
            const float* dry = in.data() + done + start;
            float* wet = out.data() + done + start;
            std::vector<float> driven(frames);
            for (uint32_t n = 0; n < frames; ++n) driven[n] = dry[n] * static_cast<float>(values[3][n]);
            reference->block(driven.data(), wet, frames, values[0], values[1], values[2]);
            // At unity Output and full Mix the module's output is the output, bit for bit (-0 included).
            const auto unity = [](const std::vector<double>& v) {
                return std::all_of(v.begin(), v.end(), [](double x) { return x == 1.0; });
            };
            for (uint32_t n = 0; n < frames && !(unity(values[4]) && unity(values[5])); ++n) {
                const auto mix = static_cast<float>(values[5][n]);
                wet[n] = static_cast<float>(values[4][n]) * ((1.0f - mix) * dry[n] + mix * wet[n]);
            }
            fadeLeft -= std::min(fadeLeft, frames);
            start = end;
        }
        done += block.frames;
    }
    out.resize(done);
    return out;
}

void expectSame(const std::vector<float>& expected, const std::vector<float>& actual) {
    ASSERT_EQ(actual.size(), expected.size());
    const std::size_t first = firstDifference(expected, actual);
    EXPECT_EQ(first, expected.size()) << "first difference at sample " << first << ": expected "
                                      << expected[std::min(first, expected.size() - 1)] << ", got "
                                      << actual[std::min(first, actual.size() - 1)];
    double peak = 0.0;
    for (const float v : expected) peak = std::max(peak, std::fabs(static_cast<double>(v)));
    EXPECT_GT(peak, 0.01) << "the comparison is of silence";
}

/// Samples inside a crossfade set to 0 in both: there the plug-in sounds both configurations.
void maskCrossfades(std::vector<float>& a, std::vector<float>& b, const std::vector<std::pair<std::size_t, std::size_t>>& fades) {
    for (const auto& [from, to] : fades) {
        for (std::size_t i = from; i < std::min(to, a.size()); ++i) a[i] = b[i] = 0.0f;
    }
}

/// `out`, the plug-in's output for `in` in `blocks`, against the module's but for the crossfades.
void expectSameAsModule(const std::vector<float>& in, std::vector<float> out, const std::vector<HostBlock>& blocks,
                        uint32_t maxFrames) {
    std::vector<std::pair<std::size_t, std::size_t>> fades;
    std::vector<float> expected = runModule(in, blocks, maxFrames, &fades);
    maskCrossfades(expected, out, fades);
    expectSame(expected, out);
}

void expectSameAsModule(const std::vector<HostBlock>& blocks, uint32_t maxFrames) {
    std::size_t total = 0;
    for (const HostBlock& block : blocks) total += block.frames;
    const std::vector<float> in = stimulus(total);
    ClapInstance instance;
    instance.activate(sampleRate, maxFrames);
    expectSameAsModule(in, runPlugin(instance, in, blocks), blocks, maxFrames);
}

/// Block lengths a host may use, the odd ones and a zero-length call included.
const uint32_t blockPattern[] = {1, 2, 3, 64, 511, 512, 100, 7, 0, 256, 1, 333, 512, 48, 0, 129};

std::vector<HostBlock> blocksOf(std::size_t count, std::vector<std::pair<clap_id, double>> first) {
    std::vector<HostBlock> blocks;
    for (std::size_t i = 0; i < count; ++i) blocks.push_back({blockPattern[i % std::size(blockPattern)], {}});
    blocks.front().changes = std::move(first);
    return blocks;
}

/// `count` blocks as blocksOf makes them, after a call with no samples that sets `first`.
std::vector<HostBlock> settledBlocks(std::size_t count, std::vector<std::pair<clap_id, double>> first) {
    std::vector<HostBlock> blocks = blocksOf(count, {});
    blocks.insert(blocks.begin(), HostBlock{0, std::move(first)});
    return blocks;
}

TEST(ClapProcessing, ConstantParametersMatchTheModuleAtAnyBlockSizes) {
    const std::vector<std::vector<std::pair<clap_id, double>>> settings = {
        {},
        {{poles, 18}, {type, 1}, {pitch, 6.5}, {resonance, 7.25}, {zing, 20}},
        {{poles, 8}, {pitch, 7.75}, {resonance, 8.5}},
        {{poles, lastPolesPosition}, {type, 1}, {pitch, 4.5}, {resonance, 2.5}, {zing, 0.5}},
        {{poles, 16}, {pitch, 8.25}, {resonance, 9.75}, {zing, 42}},
        {{poles, 25}, {pitch, 3.5}, {resonance, 6}, {zing, 15}},
    };
    for (const auto& setting : settings) {
        SCOPED_TRACE("setting with " + std::to_string(setting.size()) + " changes, Poles position " +
                     (setting.empty() ? std::string("default") : std::to_string(setting[0].second)));
        expectSameAsModule(blocksOf(160, setting), 512);
    }
}

/// Changes of every kind: in odd blocks, in zero-length calls, lists with ramps, many in a row.
std::vector<HostBlock> changingBlocks() {
    std::vector<HostBlock> blocks = blocksOf(200, {{poles, 18}, {resonance, 7}});
    blocks[3].changes = {{pitch, 7.5}};
    blocks[4].changes = {{pitch, 2.25}, {resonance, 9}, {zing, 30}};
    blocks[7].changes = {{pitch, 8.5}};              // a 7-sample block
    blocks[8].changes = {{zing, 0.25}, {zing, 4}};   // two values in a zero-length call: the last one counts
    blocks[14].changes = {{pitch, 10.5}};            // a zero-length call: it ramps from the next sample
    blocks[20].changes = {{poles, 20}, {pitch, 6}};  // a new configuration while the pitch moves
    blocks[33].changes = {{type, 1}};
    blocks[40].changes = {{poles, 8}, {type, 0}, {resonance, 3}};
    blocks[41].changes = {{pitch, 6}};               // the value it already has: no ramp
    for (std::size_t i = 60; i < 200; i += 3) blocks[i].changes = {{pitch, 3.0 + 0.25 * static_cast<double>(i % 25)}};
    return blocks;
}

TEST(ClapProcessing, ChangesRampFromTheirOwnSampleOverAFixedTime) { expectSameAsModule(changingBlocks(), 512); }

TEST(ClapStereo, OneStereoBusEachChannelTheModuleOnThatChannelAlone) {
    ClapLibrary& stereo = stereoLibrary();
    ASSERT_EQ(stereo.factory->get_plugin_count(stereo.factory), 1u);
    const clap_plugin_descriptor_t* descriptor = stereo.factory->get_plugin_descriptor(stereo.factory, 0);
    EXPECT_STREQ(descriptor->id, "vexa.lp-filter-2-stereo");
    EXPECT_STREQ(descriptor->name, "Vexa LP Filter 2 Stereo");
    ClapInstance instance(&testHost, stereo, "vexa.lp-filter-2-stereo");
    EXPECT_EQ(instance.params->count(instance.plugin), static_cast<uint32_t>(paramCount));
    // One bus each way, typed (DPF's own answer leaves the type out), the mono plug-in's too.
    ClapInstance mono;
    for (const auto* plugin : {instance.plugin, mono.plugin}) {
        const uint32_t channels = plugin == instance.plugin ? 2 : 1;
        const auto* ports = static_cast<const clap_plugin_audio_ports_t*>(plugin->get_extension(plugin, CLAP_EXT_AUDIO_PORTS));
        ASSERT_NE(ports, nullptr);
        for (const bool input : {true, false}) {
            ASSERT_EQ(ports->count(plugin, input), 1u);
            clap_audio_port_info_t info{};
            ASSERT_TRUE(ports->get(plugin, 0, input, &info));
            EXPECT_EQ(info.channel_count, channels);
            EXPECT_STREQ(info.port_type, channels == 2 ? CLAP_PORT_STEREO : CLAP_PORT_MONO);
        }
    }

    // Two different signals (the right one is the left played backwards): a channel run
    // on the other's filter state, or the two swapped, shows in the first samples.
    const std::vector<HostBlock> blocks = changingBlocks();
    std::size_t total = 0;
    for (const HostBlock& block : blocks) total += block.frames;
    const std::vector<float> left = stimulus(total);
    const std::vector<float> right(left.rbegin(), left.rend());
    instance.activate(sampleRate, 512);
    std::vector<std::vector<float>> out = runPlugin(instance, {left, right}, blocks);
    std::vector<std::pair<std::size_t, std::size_t>> fades;
    std::vector<float> expectedLeft = runModule(left, blocks, 512, &fades);
    std::vector<float> expectedRight = runModule(right, blocks, 512);
    maskCrossfades(expectedLeft, out[0], fades);
    maskCrossfades(expectedRight, out[1], fades);
    expectSame(expectedLeft, out[0]);
    expectSame(expectedRight, out[1]);
}

TEST(ClapProcessing, OneSampleBlocksAndTheLargestBlock) {
    std::vector<HostBlock> ones(3000, HostBlock{1, {}});
    ones[0].changes = {{poles, 12}, {pitch, 7}};
    ones[1000].changes = {{pitch, 4}};
    expectSameAsModule(ones, 1);
    std::vector<HostBlock> large(12, HostBlock{8192, {}});
    large[5].changes = {{resonance, 8}, {poles, 23}};
    expectSameAsModule(large, 8192);
}

/// The plug-in over `blocks` host blocks of `frames`, `events` filling block `at`'s list.
std::vector<float> runWithEvents(const std::vector<float>& in, uint32_t frames, std::size_t at,
                                 const std::function<void(EventList&)>& events) {
    ClapInstance instance;
    instance.activate(sampleRate, frames);
    std::vector<float> out(in.size(), NAN);
    EventList list;
    for (std::size_t done = 0, block = 0; done < in.size(); done += frames, ++block) {
        list.clear();
        if (block == at) events(list);
        instance.process(in.data() + done, out.data() + done, frames, list);
    }
    return out;
}

// A change at sample 300 of a 512-sample block is heard from sample 300 on, and the
// same whether it comes as a value, as modulation, or as a note with Key track
// at 100 % (three octaves up: 3 V). Only the samples before it stay as they were.
TEST(ClapTiming, AChangeIsHeardFromItsOwnSampleAsValueModulationOrNote) {
    constexpr uint32_t frames = 512;
    constexpr uint32_t offset = 300;
    constexpr std::size_t block = 2;
    constexpr std::size_t changeAt = block * frames + offset;
    const std::vector<float> in = stimulus(frames * 8);
    const std::vector<float> unchanged = runWithEvents(in, frames, block, [](EventList&) {});
    const std::vector<float> changed = runWithEvents(in, frames, block, [](EventList& e) { e.add(pitch, 8.0, offset); });
    // The filter takes a new Pitch at its next coefficient update, at most 12 samples on.
    constexpr std::size_t controlRate = 12;
    EXPECT_GE(firstDifference(unchanged, changed), changeAt);
    EXPECT_LT(firstDifference(unchanged, changed), changeAt + controlRate);

    const std::vector<float> modulated =
        runWithEvents(in, frames, block, [](EventList& e) { e.modulate(pitch, 3.0, offset); });
    EXPECT_EQ(firstDifference(changed, modulated), changed.size()) << "modulation";
    for (const bool asMidi : {false, true}) {
        const std::vector<float> played = runWithEvents(in, frames, block, [asMidi](EventList& e) {
            e.add(keyTrack, 100.0, 0);  // no note yet: key 60, no offset
            e.noteOn(96, offset, asMidi);
        });
        EXPECT_EQ(firstDifference(changed, played), changed.size()) << (asMidi ? "MIDI note" : "CLAP note");
    }

    // The same change in blocks of 64 and of 2048 at the same sample sounds the same, but for
    // where the filter's coefficient updates fall (every 12 samples counted from a block's end).
    const std::vector<float> small = runWithEvents(in, 64, changeAt / 64, [](EventList& e) { e.add(pitch, 8.0, changeAt % 64); });
    const std::vector<float> large = runWithEvents(in, 2048, 0, [](EventList& e) { e.add(pitch, 8.0, changeAt); });
    double peak = 0.0;
    double apart = 0.0;
    for (std::size_t i = 0; i < changed.size(); ++i) {
        peak = std::max(peak, std::fabs(static_cast<double>(changed[i])));
        apart = std::max({apart, std::fabs(static_cast<double>(small[i]) - large[i])});
    }
    std::printf("64- against 2048-sample blocks: %.2g of the peak apart\n", apart / peak);
    EXPECT_LT(apart, 0.02 * peak);
    EXPECT_EQ(firstDifference(small, large), changeAt + std::min(firstDifference(small, large) - changeAt, controlRate));
}

TEST(ClapModulation, AddsOnTopOfTheValueAndLeavesValueAndStateAlone) {
    const auto saved = [](ClapInstance& instance) {
        std::vector<uint8_t> bytes;
        clap_ostream_t stream{&bytes, [](const clap_ostream_t* s, const void* data, uint64_t size) -> int64_t {
                                  auto* b = static_cast<std::vector<uint8_t>*>(s->ctx);
                                  b->insert(b->end(), static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
                                  return static_cast<int64_t>(size);
                              }};
        EXPECT_TRUE(instance.state->save(instance.plugin, &stream));
        return bytes;
    };
    const std::vector<float> in = stimulus(8192);
    ClapInstance plain;
    plain.activate(sampleRate, 512);
    const std::vector<uint8_t> plainState = saved(plain);
    const std::vector<float> set = runPlugin(plain, in, settledBlocks(16, {{pitch, 7.0}, {resonance, 9.0}, {drive, 6.0}}));

    ClapInstance modulated;
    modulated.activate(sampleRate, 512);
    EventList events;
    events.modulate(pitch, 2.0);
    events.modulate(resonance, 4.0);
    events.modulate(drive, 6.0);
    events.modulate(poles, 7.0);  // not modulatable: nothing happens
    modulated.process(nullptr, nullptr, 0, events);
    EXPECT_EQ(firstDifference(set, runPlugin(modulated, in, settledBlocks(16, {}))), set.size());
    EXPECT_DOUBLE_EQ(modulated.value(pitch), 5.0);
    EXPECT_DOUBLE_EQ(modulated.value(poles), 5.0);
    EXPECT_EQ(saved(modulated), plainState);
}

/// The largest step from one sample to the next in [from, to).
double largestStep(const std::vector<float>& samples, std::size_t from, std::size_t to) {
    double step = 0.0;
    for (std::size_t i = std::max<std::size_t>(from, 1); i < to; ++i) {
        step = std::max(step, std::fabs(static_cast<double>(samples[i]) - samples[i - 1]));
    }
    return step;
}

// A 110 Hz sine at 5 V through the plug-in in 512-sample blocks; a switch at a block
// start. The largest step in the 1,024 samples after it, against the steady signal's
// largest step before it or once settled (whichever is larger), stays within 3 times.
TEST(ClapSwitching, PolesTypeAndBypassCrossfadeWithoutAClick) {
    constexpr uint32_t frames = 512;
    constexpr std::size_t switchBlock = 48;
    constexpr std::size_t window = 1024;
    constexpr std::size_t steady = 9600;
    std::vector<float> sine(frames * 120);
    for (std::size_t i = 0; i < sine.size(); ++i) sine[i] = static_cast<float>(0.5 * std::sin(2.0 * std::numbers::pi * 110.0 * static_cast<double>(i) / sampleRate));
    struct Case {
        const char* name;
        std::vector<std::pair<clap_id, double>> before, at;
        double allowed;
    };
    const Case cases[] = {
        {"Poles 2:4f -> 4:4", {}, {{poles, 18}}, 3.0},
        {"Type LP -> HP", {{poles, 18}}, {{type, 1}}, 3.0},
        {"Type HP -> LP", {{poles, 18}, {type, 1}}, {{type, 0}}, 3.0},
        {"Bypass on", {}, {{bypass, 1}}, 3.0},
        {"Bypass off", {{bypass, 1}}, {{bypass, 0}}, 3.0},
        {"Pitch 3 -> 8 V", {{pitch, 3}}, {{pitch, 8}}, 3.0},
        {"Resonance 0 -> 10 V", {{resonance, 0}}, {{resonance, 10}}, 3.0},
    };
    for (const Case& c : cases) {
        std::vector<HostBlock> blocks(sine.size() / frames, HostBlock{frames, {}});
        blocks[0].changes = c.before;
        blocks[switchBlock].changes = c.at;
        ClapInstance instance;
        instance.activate(sampleRate, frames);
        const std::vector<float> out = runPlugin(instance, sine, blocks);
        const std::size_t at = switchBlock * frames;
        const double before = largestStep(out, at - steady, at);
        const double after = largestStep(out, out.size() - steady, out.size());
        const double ratio = largestStep(out, at, at + window) / std::max(before, after);
        std::printf("switch %-20s largest step %.2f times the steady signal's\n", c.name, ratio);
        EXPECT_LE(ratio, c.allowed) << c.name;
        EXPECT_GT(std::max(before, after), 1e-4) << c.name << ": the measurement is of silence";
    }
}

// Drive into the module, then Mix against the dry input and Output after it.
TEST(ClapLevels, DriveOutputAndMixAroundTheModule) {
    const std::vector<float> in = stimulus(8192);
    ClapInstance instance;
    instance.activate(sampleRate, 512);
    const std::vector<float> out = runPlugin(instance, in, settledBlocks(16, {{drive, 12.0}, {output, -6.0}, {mix, 25.0}}));
    const auto driveGain = static_cast<float>(std::pow(10.0, 12.0 / 20.0));
    const auto outputGain = static_cast<float>(std::pow(10.0, -6.0 / 20.0));
    std::vector<float> driven(in.size());
    for (std::size_t i = 0; i < in.size(); ++i) driven[i] = in[i] * driveGain;
    std::vector<float> expected = runModule(driven, settledBlocks(16, {}), 512);
    for (std::size_t i = 0; i < in.size(); ++i) expected[i] = outputGain * ((1.0f - 0.25f) * in[i] + 0.25f * expected[i]);
    expectSame(expected, out);
    // Moved while playing, each from its own sample.
    std::vector<HostBlock> moving = blocksOf(60, {});
    moving[5].changes = {{drive, 24.0}, {mix, 60.0}};
    moving[12].changes = {{output, 9.0}, {drive, -6.0}, {pitch, 7.0}};
    moving[30].changes = {{mix, 0.0}};
    expectSameAsModule(moving, 512);
}

/// The instance's state, as the plug-in saves it.
std::vector<uint8_t> savedState(ClapInstance& instance) {
    std::vector<uint8_t> saved;
    clap_ostream_t stream{&saved, [](const clap_ostream_t* s, const void* data, uint64_t size) -> int64_t {
                              auto* bytes = static_cast<std::vector<uint8_t>*>(s->ctx);
                              const auto* begin = static_cast<const uint8_t*>(data);
                              bytes->insert(bytes->end(), begin, begin + size);
                              return static_cast<int64_t>(size);
                          }};
    EXPECT_TRUE(instance.state->save(instance.plugin, &stream));
    return saved;
}

/// Loads `saved` into the instance, read by the plug-in in pieces as a host's stream gives it.
bool loadState(ClapInstance& instance, const std::vector<uint8_t>& saved) {
    struct Reader {
        const std::vector<uint8_t>* bytes;
        std::size_t position;
    } reader{&saved, 0};
    clap_istream_t stream{&reader, [](const clap_istream_t* s, void* data, uint64_t size) -> int64_t {
                              auto* r = static_cast<Reader*>(s->ctx);
                              const std::size_t count = std::min<std::size_t>(size, r->bytes->size() - r->position);
                              std::memcpy(data, r->bytes->data() + r->position, count);
                              r->position += count;
                              return static_cast<int64_t>(count);
                          }};
    return instance.state->load(instance.plugin, &stream);
}

/// The plug-in's state as a host saves and loads it.
std::string saveState(ClapInstance& instance) {
    std::string bytes;
    EXPECT_TRUE(hoststreams::saveClapState(instance.plugin, instance.state, bytes));
    return bytes;
}

bool loadState(ClapInstance& instance, const std::string& bytes) {
    return hoststreams::loadClapState(instance.plugin, instance.state, bytes);
}

TEST(ClapState, SavedParametersComeBackInANewInstance) {
    std::string saved;
    const std::vector<std::pair<clap_id, double>> setting = {
        {pitch, 7.25}, {resonance, 8.5}, {zing, 33}, {poles, 24}, {type, 1}};
    std::vector<float> first;
    const std::vector<float> in = stimulus(48000);
    const std::vector<HostBlock> blocks(375, HostBlock{128, {}});
    {
        ClapInstance instance;
        instance.activate(sampleRate, 128);
        EventList events;
        for (const auto& [id, value] : setting) events.add(id, value);
        float scratch[1]{};
        instance.process(scratch, scratch, 0, events);
        ASSERT_NE(instance.state, nullptr);
        saved = saveState(instance);
        first = runPlugin(instance, in, blocks);
    }
    ASSERT_FALSE(saved.empty());

    ClapInstance restored;
    ASSERT_TRUE(loadState(restored, saved));
    for (const auto& [id, value] : setting) EXPECT_DOUBLE_EQ(restored.value(id), value) << "parameter " << id;
    restored.activate(sampleRate, 128);
    const std::vector<float> second = runPlugin(restored, in, blocks);
    EXPECT_EQ(firstDifference(first, second), first.size());
}

std::vector<double> values(const ClapInstance& instance) {
    std::vector<double> v;
    for (clap_id id = 0; id < paramCount; ++id) v.push_back(instance.value(id));
    return v;
}

TEST(ClapState, ACutShortExtendedGarbledOrNewerStateIsRefusedAndChangesNothing) {
    ClapInstance source;
    ASSERT_TRUE(source.presets->from_location(source.plugin, CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr, "3"));
    const std::string saved = saveState(source);
    ClapInstance instance;
    const std::vector<double> before = values(instance);
    const std::string savedBefore = saveState(instance);
    std::vector<std::string> broken;
    for (std::size_t length = 0; length < saved.size(); ++length) broken.push_back(saved.substr(0, length));
    broken.push_back(saved + '\0');
    broken.push_back(saved + saved);
    const std::size_t versionEnd = saved.find('\0', saved.find('\0') + 1) + 1;
    broken.push_back(std::string("vexa_state_version\0003\0", 21) + saved.substr(versionEnd));
    // An unknown parameter, a value out of range, a value that is not a number (preset 3: Pitch 5.5, Poles 4:4).
    const auto replaced = [&](std::string_view from, std::string_view to) {
        std::string garbled = saved;
        const std::size_t at = garbled.find(from);
        EXPECT_NE(at, std::string::npos) << "no field to garble in the saved state";
        return at == std::string::npos ? std::string() : garbled.replace(at, from.size(), to);
    };
    broken.push_back(replaced(std::string_view("resonance\0", 10), std::string_view("resonancf\0", 10)));
    broken.push_back(replaced(std::string_view("poles\00018\0", 9), std::string_view("poles\00030\0", 9)));
    broken.push_back(replaced(std::string_view("pitch\0005.5\0", 10), std::string_view("pitch\000nan\0", 10)));
    for (const std::string& bytes : broken) {
        EXPECT_FALSE(loadState(instance, bytes)) << "loaded a state of " << bytes.size() << " bytes";
        EXPECT_EQ(values(instance), before);
        EXPECT_EQ(saveState(instance), savedBefore);
    }
    ASSERT_TRUE(loadState(instance, saved));
    EXPECT_EQ(values(instance), values(source));
}

// ---------------------------------------------------------------------------------------------
// Saved sessions: the states kept in tests/plugins/states load to the same parameters and sound

std::string statesDir;      ///< --states=DIR: the stored states
std::string saveStatesDir;  ///< --save-states=DIR: write this build's states there instead (see the folder's README)

/// A stored state: its file, the plug-in, and what it was saved with (a factory preset's row, or controls).
struct StoredState {
    std::string file;
    bool stereo;
    int preset;
    Controls controls;
};

std::vector<StoredState> storedStates() {
    const vexahost::FilterPins pins = vexahost::FilterPins::describe(linkedModule);
    // Saved before the state had a version (DPF's own layout), and by the build that gave it version 1.
    // Version 2 added the stages around the filter: its states set them off their defaults.
    std::vector<StoredState> states = {{"clap-v0-mono.state", false, -1, {7.25, 8.5, 33, 24, 1}},
                                       {"clap-v1-mono.state", false, -1, {7.25, 8.5, 33, 24, 1}},
                                       {"clap-v1-stereo.state", true, -1, {6.5, 7.25, 20, 18, 1}},
                                       {"clap-v2-mono.state", false, -1, {7.25, 8.5, 33, 24, 1, 6, -3, 75}},
                                       {"clap-v2-stereo.state", true, -1, {6.5, 7.25, 20, 18, 1, -6, 3, 50}}};
    // The factory presets of each build, loaded and saved: version 1 had the first ten.
    const auto presetState = [&](int version, std::size_t i) {
        const vexaplugin::FactoryPreset& preset = vexaplugin::factoryPresets[i];
        std::size_t position = 0;
        while (pins.poleChoices.entries().at(position).label != preset.poles) ++position;
        states.push_back({"clap-v" + std::to_string(version) + "-preset-" + std::to_string(i) + ".state", false,
                          static_cast<int>(i),
                          {preset.pitchVolts, preset.resonanceVolts, preset.zingVolts, static_cast<double>(position),
                           preset.type == std::string("HP") ? 1.0 : 0.0, preset.driveDecibels, preset.outputDecibels,
                           preset.mixPercent}});
    };
    constexpr std::size_t presetsAtVersionOne = 10;
    for (std::size_t i = 0; i < presetsAtVersionOne; ++i) presetState(1, i);
    presetState(2, presetsAtVersionOne);
    return states;
}

std::unique_ptr<ClapInstance> instanceFor(const StoredState& stored) {
    return stored.stereo ? std::make_unique<ClapInstance>(&testHost, stereoLibrary(), "vexa.lp-filter-2-stereo")
                         : std::make_unique<ClapInstance>();
}

/// --save-states: this build's states, each saved from an instance set as the table says.
int saveStoredStates() {
    for (const StoredState& stored : storedStates()) {
        auto instance = instanceFor(stored);
        if (stored.preset >= 0) {
            instance->presets->from_location(instance->plugin, CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr,
                                             std::to_string(stored.preset).c_str());
        } else {
            EventList events;
            const Controls& c = stored.controls;
            for (const auto& [id, value] : {std::pair{pitch, c.pitch}, {resonance, c.resonance}, {zing, c.zing},
                                            {poles, c.poles}, {type, c.type}, {drive, c.drive}, {output, c.output},
                                            {mix, c.mix}}) {
                events.add(id, value);
            }
            instance->params->flush(instance->plugin, events.list(), &noOutput);
        }
        std::string bytes = saveState(*instance);
        // Version 0 is the same fields without the version pair: DPF wrote "%.12g", which for
        // these values is the shortest text this build writes.
        if (stored.file.find("-v0-") != std::string::npos) bytes.erase(0, bytes.find('\0', bytes.find('\0') + 1) + 1);
        std::ofstream(saveStatesDir + "/" + stored.file, std::ios::binary) << bytes;
    }
    return 0;
}

TEST(ClapSavedSessions, EveryStoredStateLoadsToItsParametersAndSoundsAsTheModule) {
    const std::vector<float> in = stimulus(256 * 48);
    const std::vector<HostBlock> pluginBlocks(48, HostBlock{256, {}});
    for (const StoredState& stored : storedStates()) {
        SCOPED_TRACE(stored.file);
        std::ifstream file(statesDir + "/" + stored.file, std::ios::binary);
        ASSERT_TRUE(file) << "missing " << statesDir << "/" << stored.file;
        const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        auto instance = instanceFor(stored);
        ASSERT_TRUE(loadState(*instance, bytes));
        const Controls& c = stored.controls;
        std::vector<double> expectedValues{static_cast<float>(c.pitch), static_cast<float>(c.resonance),
                                           static_cast<float>(c.zing), c.poles, c.type, c.drive, c.output, c.mix};
        // What the stored states of versions 0 and 1 lack keeps their sound: the stages around
        // the filter at rest (their Controls' defaults), and the filter at the session's rate.
        const bool beforeModelRate = stored.file.find("-v2-") == std::string::npos;
        expectedValues.push_back(stored.preset >= 0 && !beforeModelRate
                                     ? vexaplugin::factoryPresets[stored.preset].keyTrackPercent
                                     : vexaplugin::infoOf(vexaplugin::ParameterId::keyTrack).defaultValue);
        expectedValues.push_back(beforeModelRate ? sessionRate : designRate);
        expectedValues.push_back(vexaplugin::infoOf(vexaplugin::ParameterId::bypass).defaultValue);
        EXPECT_EQ(values(*instance), expectedValues);
        std::vector<HostBlock> moduleBlocks = pluginBlocks;
        // (Key track moves Pitch only from a note, and these runs play none.)
        moduleBlocks[0].changes = {{pitch, static_cast<float>(c.pitch)}, {resonance, static_cast<float>(c.resonance)},
                                   {zing, static_cast<float>(c.zing)}, {poles, c.poles}, {type, c.type},
                                   {drive, c.drive}, {output, c.output}, {mix, c.mix}};
        moduleBlocks[0].atStart = true;  // the state set them all before the first sample
        instance->activate(sampleRate, 256);
        const std::vector<float> expected = runModule(in, moduleBlocks, 256);
        const std::vector<std::vector<float>> out =
            runPlugin(*instance, std::vector<std::vector<float>>(stored.stereo ? 2 : 1, in), pluginBlocks);
        for (const std::vector<float>& channel : out) expectSame(expected, channel);
    }
}

bool allFinite(const std::vector<float>& samples) {
    return std::all_of(samples.begin(), samples.end(), [](float v) { return std::isfinite(v); });
}

TEST(ClapBadInput, UnusableSampleRatesGiveFiniteOutput) {
    for (const double rate : {0.0, -48000.0, 1.0e6, 1.0}) {
        SCOPED_TRACE("sample rate " + std::to_string(rate));
        ClapInstance instance;
        instance.activate(rate, 256);
        const std::vector<float> in = stimulus(4096);
        const std::vector<float> out = runPlugin(instance, in, std::vector<HostBlock>(16, HostBlock{256, {}}));
        EXPECT_TRUE(allFinite(out));
    }
}

TEST(ClapBadInput, ValuesOutOfRangeAreClampedAndNaNIsIgnored) {
    ClapInstance instance;
    instance.activate(sampleRate, 256);
    EventList events;
    events.add(pitch, 1.0e9);
    events.add(resonance, -50.0);
    events.add(zing, NAN);
    events.add(poles, 99.0);
    events.add(type, 0.6);
    const std::vector<float> in = stimulus(2048);
    std::vector<float> out(in.size());
    instance.process(in.data(), out.data(), 256, events);
    EXPECT_DOUBLE_EQ(instance.value(pitch), 10.5);
    EXPECT_DOUBLE_EQ(instance.value(resonance), 0.0);
    EXPECT_DOUBLE_EQ(instance.value(zing), 10.0);
    EXPECT_DOUBLE_EQ(instance.value(poles), lastPolesPosition);
    EXPECT_DOUBLE_EQ(instance.value(type), 1.0);
    events.clear();
    events.add(poles, -7.0);
    events.add(pitch, -INFINITY);
    events.add(type, NAN);
    instance.process(in.data() + 256, out.data() + 256, 256, events);
    EXPECT_DOUBLE_EQ(instance.value(poles), 0.0);
    EXPECT_DOUBLE_EQ(instance.value(pitch), 0.0);
    EXPECT_DOUBLE_EQ(instance.value(type), 1.0);
    EXPECT_TRUE(allFinite(std::vector<float>(out.begin(), out.begin() + 512)));

    // The same values, clamped by hand, give the same sound.
    std::vector<HostBlock> blocks = {{256, {{pitch, 1.0e9}, {resonance, -50}, {zing, NAN}, {poles, 99}, {type, 0.6}}},
                                     {256, {{poles, -7}, {pitch, -INFINITY}, {type, NAN}}}};
    // (Each change in the same place of its block: a change is heard from its own sample.)
    std::vector<HostBlock> clamped = {{256, {{pitch, 10.5}, {resonance, 0}, {zing, 10}, {poles, lastPolesPosition}, {type, 1}}},
                                      {256, {{poles, 0}, {pitch, 0}, {type, 1}}}};
    ClapInstance a;
    a.activate(sampleRate, 256);
    ClapInstance b;
    b.activate(sampleRate, 256);
    const std::vector<float> wild = runPlugin(a, in, blocks);
    const std::vector<float> tame = runPlugin(b, in, clamped);
    EXPECT_EQ(firstDifference(tame, wild), tame.size());
}

TEST(ClapBadInput, MissingBuffersZeroFramesInPlaceAndOversizedBlocks) {
    const std::vector<float> in = stimulus(4096);
    EventList none;
    {
        ClapInstance instance;
        instance.activate(sampleRate, 512);
        std::vector<float> out(512, NAN);
        instance.process(nullptr, out.data(), 512, none);  // no input: silence in
        EXPECT_TRUE(allFinite(out));
        instance.process(in.data(), nullptr, 512, none);  // no output: nothing written
        instance.process(in.data(), out.data(), 0, none);
        float* noChannels = nullptr;
        clap_audio_buffer_t empty{&noChannels, nullptr, 0, 0, 0};
        clap_process_t call{};
        call.frames_count = 64;
        call.audio_inputs = &empty;
        call.audio_outputs = &empty;
        call.in_events = none.list();
        call.out_events = &noOutput;
        PrintedToStderr printed;
        for (const uint32_t buses : {0u, 1u}) {  // no buses, or buses without channels: refused, nothing touched
            call.audio_inputs_count = call.audio_outputs_count = buses;
            EXPECT_EQ(instance.plugin->process(instance.plugin, &call), CLAP_PROCESS_ERROR);
        }
        EXPECT_EQ(printed.text(), "");
    }
    // In place: the host's input buffer is also its output.
    std::vector<HostBlock> blocks(8, HostBlock{512, {}});
    blocks[0].changes = {{poles, 14}, {pitch, 7}};
    ClapInstance separate;
    separate.activate(sampleRate, 512);
    const std::vector<float> expected = runPlugin(separate, in, blocks);
    ClapInstance inPlace;
    inPlace.activate(sampleRate, 512);
    std::vector<float> buffer = in;
    EventList events;
    for (std::size_t b = 0; b < blocks.size(); ++b) {
        events.clear();
        for (std::size_t i = 0; i < blocks[b].changes.size(); ++i) {
            events.add(blocks[b].changes[i].first, blocks[b].changes[i].second, changeTime(i, blocks[b]));
        }
        inPlace.process(buffer.data() + b * 512, buffer.data() + b * 512, 512, events);
    }
    EXPECT_EQ(firstDifference(expected, buffer), expected.size());

    // A host that breaks its promise of the largest block still gets finite output.
    ClapInstance small;
    small.activate(sampleRate, 64);
    std::vector<float> out(in.size());
    small.process(in.data(), out.data(), 4096, none);
    EXPECT_TRUE(allFinite(out));
}

TEST(ClapBadInput, UnknownIdsAndNaNNeverReachTheParameters) {
    // A corrupted automation lane: unknown ids (the largest, one past the last, a wild one),
    // NaN, a value from another event space and a truncated event. None may write anywhere.
    const clap_id unknown[] = {0xFFFFFFFFu, paramCount, 9999};
    std::vector<HostBlock> wild(24, HostBlock{256, {}});
    for (std::size_t b = 0; b < wild.size(); ++b) {
        for (const clap_id id : unknown) wild[b].changes.push_back({id, 7.0});
        wild[b].changes.push_back({static_cast<clap_id>(b % paramCount), NAN});
    }
    ClapInstance instance;
    instance.activate(sampleRate, 256);
    const std::vector<float> in = stimulus(256 * wild.size());
    const std::vector<float> out = runPlugin(instance, in, wild);
    EventList odd;
    clap_event_param_value_t foreign{};
    foreign.header = {sizeof foreign, 0, CLAP_CORE_EVENT_SPACE_ID + 1, CLAP_EVENT_PARAM_VALUE, 0};
    foreign.param_id = 9999;
    clap_event_param_value_t truncated = foreign;
    truncated.header.space_id = CLAP_CORE_EVENT_SPACE_ID;
    truncated.header.size = sizeof(clap_event_header_t);
    struct Raw {
        const clap_event_header_t* events[2];
    } raw{{&foreign.header, &truncated.header}};
    const clap_input_events_t rawList{&raw, [](const clap_input_events_t*) -> uint32_t { return 2; },
                                      [](const clap_input_events_t* l, uint32_t i) {
                                          return static_cast<const Raw*>(l->ctx)->events[i];
                                      }};
    instance.params->flush(instance.plugin, &rawList, &noOutput);
    EventList flushed;
    for (const clap_id id : unknown) flushed.add(id, 1.0);
    flushed.add(pitch, NAN);
    instance.params->flush(instance.plugin, flushed.list(), &noOutput);
    for (clap_id id = 0; id < paramCount; ++id) {
        EXPECT_DOUBLE_EQ(instance.value(id), vexaplugin::parameterTable[id].defaultValue) << "parameter " << id;
    }
    // The output is that of a run without the wild events.
    ClapInstance clean;
    clean.activate(sampleRate, 256);
    EXPECT_EQ(firstDifference(runPlugin(clean, in, std::vector<HostBlock>(wild.size(), HostBlock{256, {}})), out),
              out.size());

    // The calls that take an id refuse an unknown one; text needs a number.
    char text[CLAP_NAME_SIZE];
    double value = 0.0;
    clap_param_info_t info{};
    for (const clap_id id : unknown) {
        EXPECT_FALSE(instance.params->get_info(instance.plugin, id, &info));
        EXPECT_FALSE(instance.params->get_value(instance.plugin, id, &value));
        EXPECT_FALSE(instance.params->value_to_text(instance.plugin, id, 1.0, text, sizeof text));
        EXPECT_FALSE(instance.params->text_to_value(instance.plugin, id, "1", &value));
    }
    for (clap_id id = 0; id < paramCount; ++id) {
        EXPECT_FALSE(instance.params->value_to_text(instance.plugin, id, NAN, text, sizeof text)) << id;
    }
    // Poles far out of range shows the nearest end of the list, never an overflowed number.
    ASSERT_TRUE(instance.params->value_to_text(instance.plugin, poles, 1e30, text, sizeof text));
    EXPECT_STREQ(text, "5:5f");
    ASSERT_TRUE(instance.params->value_to_text(instance.plugin, poles, -INFINITY, text, sizeof text));
    EXPECT_STREQ(text, "2:2");
    // Text that reads as NaN (where the C library reads it at all) gives no value.
    EXPECT_TRUE(!instance.params->text_to_value(instance.plugin, zing, "nan", &value) || std::isfinite(value));
}

TEST(ClapParameterText, PitchShowsItsNominalCutoffInHzAndTakesHz) {
    ClapInstance instance;
    char text[CLAP_NAME_SIZE];
    const std::pair<double, const char*> shown[] = {
        {6.0, "6.00 V (880 Hz)"}, {5.0, "5.00 V (440 Hz)"}, {2.0, "2.00 V (55 Hz)"},
        {1.0, "1.00 V (55 Hz)"},  // below 2 V the cutoff holds at its floor
        {10.5, "10.50 V (19912 Hz)"}, {INFINITY, "10.50 V (19912 Hz)"}};
    for (const auto& [volts, expected] : shown) {
        ASSERT_TRUE(instance.params->value_to_text(instance.plugin, pitch, volts, text, sizeof text));
        EXPECT_STREQ(text, expected);
    }
    const std::pair<const char*, double> typed[] = {
        {"6.00 V (880 Hz)", 6.0}, {"7.25", 7.25}, {"880 Hz", 6.0}, {"1.76 kHz", 7.0}, {"1e6 Hz", 10.5}};
    for (const auto& [input, volts] : typed) {
        double value = NAN;
        ASSERT_TRUE(instance.params->text_to_value(instance.plugin, pitch, input, &value)) << input;
        EXPECT_NEAR(value, volts, 1e-9) << input;
    }
    double value = 0.0;
    for (const char* nonsense : {"", "Hz", "-5 Hz", "inf"}) {
        EXPECT_FALSE(instance.params->text_to_value(instance.plugin, pitch, nonsense, &value)) << nonsense;
    }
}

TEST(ClapPresets, TheFactoryPresetsAreListedAndEachSetsItsParameters) {
    const auto* discovery = static_cast<const clap_preset_discovery_factory_t*>(
        library().entry->get_factory(CLAP_PRESET_DISCOVERY_FACTORY_ID));
    ASSERT_NE(discovery, nullptr);
    ASSERT_EQ(discovery->count(discovery), 1u);
    struct Index {
        std::vector<clap_preset_discovery_location_t> locations;
        std::vector<std::pair<std::string, std::string>> presets;  // name, load key
    } found;
    clap_preset_discovery_indexer_t indexer{CLAP_VERSION_INIT, "vexa test indexer", "", "", "", &found,
                                            [](const clap_preset_discovery_indexer_t*, const clap_preset_discovery_filetype_t*) { return true; },
                                            [](const clap_preset_discovery_indexer_t* i, const clap_preset_discovery_location_t* l) {
                                                static_cast<Index*>(i->indexer_data)->locations.push_back(*l);
                                                return true;
                                            },
                                            [](const clap_preset_discovery_indexer_t*, const clap_preset_discovery_soundpack_t*) { return true; },
                                            [](const clap_preset_discovery_indexer_t*, const char*) -> const void* { return nullptr; }};
    const clap_preset_discovery_provider_t* provider =
        discovery->create(discovery, &indexer, discovery->get_descriptor(discovery, 0)->id);
    ASSERT_NE(provider, nullptr);
    ASSERT_TRUE(provider->init(provider));
    ASSERT_EQ(found.locations.size(), 1u);
    EXPECT_EQ(found.locations[0].kind, static_cast<uint32_t>(CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN));
    clap_preset_discovery_metadata_receiver_t receiver{};
    receiver.receiver_data = &found;
    receiver.begin_preset = [](const clap_preset_discovery_metadata_receiver_t* r, const char* name, const char* key) {
        static_cast<Index*>(r->receiver_data)->presets.emplace_back(name, key);
        return true;
    };
    receiver.add_plugin_id = [](const clap_preset_discovery_metadata_receiver_t*, const clap_universal_plugin_id_t* id) {
        EXPECT_STREQ(id->id, "vexa.lp-filter-2");
    };
    receiver.set_flags = [](const clap_preset_discovery_metadata_receiver_t*, uint32_t) {};
    receiver.set_description = [](const clap_preset_discovery_metadata_receiver_t*, const char*) {};
    ASSERT_TRUE(provider->get_metadata(provider, CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr, &receiver));
    provider->destroy(provider);
    ASSERT_EQ(found.presets.size(), vexaplugin::factoryPresets.size());
    ASSERT_GE(found.presets.size(), 8u);

    const vexahost::FilterPins pins = vexahost::FilterPins::describe(linkedModule);
    const auto& labels = pins.poleChoices.entries();
    ClapInstance instance;
    ASSERT_NE(instance.presets, nullptr);
    for (std::size_t i = 0; i < found.presets.size(); ++i) {
        const vexaplugin::FactoryPreset& preset = vexaplugin::factoryPresets[i];
        SCOPED_TRACE(preset.name);
        EXPECT_EQ(found.presets[i].first, preset.name);
        ASSERT_TRUE(instance.presets->from_location(instance.plugin, CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr,
                                                    found.presets[i].second.c_str()));
        EXPECT_DOUBLE_EQ(instance.value(pitch), preset.pitchVolts);
        EXPECT_DOUBLE_EQ(instance.value(resonance), preset.resonanceVolts);
        EXPECT_DOUBLE_EQ(instance.value(zing), preset.zingVolts);
        EXPECT_EQ(labels.at(static_cast<std::size_t>(instance.value(poles))).label, preset.poles);
        EXPECT_EQ(instance.value(type), std::string(preset.type) == "HP" ? 1.0 : 0.0);
    }
    const std::string pastTheLast = std::to_string(vexaplugin::factoryPresets.size());
    for (const char* badKey : {pastTheLast.c_str(), "-1", "x", "", "99999999999999999999"}) {
        EXPECT_FALSE(instance.presets->from_location(instance.plugin, CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr,
                                                     badKey)) << badKey;
    }
    EXPECT_FALSE(instance.presets->from_location(instance.plugin, CLAP_PRESET_DISCOVERY_LOCATION_FILE, "/x", "1"));

    // A loaded preset sounds as its values set by hand do.
    ClapInstance loaded;
    ASSERT_TRUE(loaded.presets->from_location(loaded.plugin, CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr, "3"));
    loaded.activate(sampleRate, 512);
    const vexaplugin::FactoryPreset& acid = vexaplugin::factoryPresets[3];
    std::vector<HostBlock> byHand(40, HostBlock{512, {}});
    byHand.insert(byHand.begin(), HostBlock{0, {{pitch, acid.pitchVolts}, {resonance, acid.resonanceVolts},
                                                {zing, acid.zingVolts}, {poles, 18}, {type, 0}}});
    ASSERT_EQ(labels[18].label, acid.poles);
    const std::vector<float> in = stimulus(512 * 40);
    const std::vector<float> fromPreset = runPlugin(loaded, in, std::vector<HostBlock>(40, HostBlock{512, {}}));
    ClapInstance manual;
    manual.activate(sampleRate, 512);
    EXPECT_EQ(firstDifference(runPlugin(manual, in, byHand), fromPreset), fromPreset.size());
}

TEST(ClapBadInput, AnActivationWhoseFilterCannotBeMadeIsRefused) {
    ClapInstance instance;
    EXPECT_FALSE(instance.tryActivate(sampleRate, 0x7FFFFFFFu));
    EXPECT_FALSE(instance.tryActivate(sampleRate, vexaplugin::FilterEngine::largestBlockFrames + 1));
    // A usable activation afterwards plays the module's sound.
    instance.activate(sampleRate, 512);
    const std::vector<float> in = stimulus(512 * 8);
    const std::vector<float> out = runPlugin(instance, in, std::vector<HostBlock>(8, HostBlock{512, {}}));
    EXPECT_EQ(firstDifference(runModule(in, std::vector<HostBlock>(8, HostBlock{512, {}}), 512), out), out.size());
}

// The editor, opened in a window of ours as a host embeds it, driven by the
// window system's pointer input while the host processes, and redrawn for the
// host's automation. On X11 the input comes through the X server (xdotool);
// on Windows (under Wine) as the window messages the system would post.

/// The host's side of the editor: one timer, size requests granted.
struct EditorHostState {
    clap_id timer = CLAP_INVALID_ID;
} editorHostState;

const clap_host_gui_t editorHostGui{
    [](const clap_host_t*) {},
    [](const clap_host_t*, uint32_t, uint32_t) { return true; },
    [](const clap_host_t*) { return true; },
    [](const clap_host_t*) { return true; },
    [](const clap_host_t*, bool) {},
};
const clap_host_timer_support_t editorHostTimer{
    [](const clap_host_t*, uint32_t, clap_id* id) {
        editorHostState.timer = *id = 1;
        return true;
    },
    [](const clap_host_t*, clap_id) {
        editorHostState.timer = CLAP_INVALID_ID;
        return true;
    },
};
const void* CLAP_ABI editorExtension(const clap_host_t*, const char* id) {
    if (std::strcmp(id, CLAP_EXT_GUI) == 0) return &editorHostGui;
    if (std::strcmp(id, CLAP_EXT_TIMER_SUPPORT) == 0) return &editorHostTimer;
    return nullptr;
}
const clap_host_t editorHost{CLAP_VERSION_INIT, nullptr, "vexa clap test host", "Vexa", "", "1",
                             editorExtension, noRequest, noRequest, noRequest};

/// What the plug-in sends the host from one process call.
class SentEvents {
public:
    std::vector<std::pair<clap_id, double>> values;
    std::vector<std::pair<uint16_t, clap_id>> gestures;
    const clap_output_events_t* list() { return &output; }

private:
    static bool CLAP_ABI push(const clap_output_events_t* list, const clap_event_header_t* event) {
        auto* self = static_cast<SentEvents*>(list->ctx);
        if (event->type == CLAP_EVENT_PARAM_VALUE) {
            const auto* value = reinterpret_cast<const clap_event_param_value_t*>(event);
            self->values.emplace_back(value->param_id, value->value);
        } else if (event->type == CLAP_EVENT_PARAM_GESTURE_BEGIN || event->type == CLAP_EVENT_PARAM_GESTURE_END) {
            self->gestures.emplace_back(event->type, reinterpret_cast<const clap_event_param_gesture_t*>(event)->param_id);
        }
        return true;
    }
    clap_output_events_t output{this, push};
};

/// The host's window the editor goes into, and the pointer over it (in window pixels).
class HostWindow {
public:
#if defined(_WIN32)
    static constexpr const char* api = CLAP_WINDOW_API_WIN32;

    HostWindow(uint32_t width, uint32_t height) {
        WNDCLASSA type{};
        type.lpfnWndProc = DefWindowProcA;
        type.hInstance = GetModuleHandleA(nullptr);
        type.lpszClassName = "VexaClapTestHost";
        RegisterClassA(&type);
        RECT frame{0, 0, static_cast<LONG>(width), static_cast<LONG>(height)};
        AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
        window = CreateWindowA("VexaClapTestHost", "vexa clap test host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                               frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, type.hInstance, nullptr);
    }
    ~HostWindow() { DestroyWindow(window); }
    bool opened() const { return window != nullptr; }
    clap_window_t clapWindow() const {
        clap_window_t clap{};
        clap.api = api;
        clap.win32 = window;
        return clap;
    }
    /// The host's message loop, which also runs the editor's own timer.
    void pump() {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    void wheelUp(int x, int y) {
        POINT screen{x, y};
        ClientToScreen(editor(), &screen);
        PostMessageA(editor(), WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), MAKELPARAM(screen.x, screen.y));
    }
    void click(int x, int y, int times = 1) {
        for (int i = 0; i < times; ++i) {
            PostMessageA(editor(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
            PostMessageA(editor(), WM_LBUTTONUP, 0, MAKELPARAM(x, y));
        }
    }
    void type(int x, int y, const std::string& text) {
        click(x, y);
        for (const char c : text) PostMessageA(editor(), WM_CHAR, static_cast<WPARAM>(c), 1);
        PostMessageA(editor(), WM_KEYDOWN, VK_RETURN, 1);
        PostMessageA(editor(), WM_KEYUP, VK_RETURN, 1);
    }
    void dragUp(int x, int y, int pixels, bool shift) {
        pump();
        // The modifiers are read from the thread's keyboard state, which this thread shares with the editor.
        BYTE keys[256];
        GetKeyboardState(keys);
        keys[VK_SHIFT] = shift ? 0x80 : 0;
        SetKeyboardState(keys);
        PostMessageA(editor(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
        PostMessageA(editor(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x, y - pixels));
        PostMessageA(editor(), WM_LBUTTONUP, 0, MAKELPARAM(x, y - pixels));
        pump();
        keys[VK_SHIFT] = 0;
        SetKeyboardState(keys);
    }
    /// Not read back on Windows: under Wine, even a screenshot of the whole X
    /// screen shows nothing of the editor's OpenGL child window.
    static constexpr bool readsPictures = false;
    std::vector<unsigned long> picture() const { return {}; }

private:
    HWND editor() const { return FindWindowExA(window, nullptr, nullptr, nullptr); }
    HWND window = nullptr;
#else
    static constexpr const char* api = CLAP_WINDOW_API_X11;

    HostWindow(uint32_t width, uint32_t height) : width(width), height(height), display(XOpenDisplay(nullptr)) {
        if (display == nullptr) return;
        window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, width, height, 0, 0, 0);
        XMapWindow(display, window);
        XSync(display, False);
    }
    ~HostWindow() {
        if (display == nullptr) return;
        XDestroyWindow(display, window);
        XCloseDisplay(display);
    }
    bool opened() const { return display != nullptr; }
    clap_window_t clapWindow() const {
        clap_window_t clap{};
        clap.api = api;
        clap.x11 = window;
        return clap;
    }
    /// The editor reads its events on a connection of its own.
    void pump() {}
    void wheelUp(int x, int y) { xdotool(x, y, "click 4"); }
    void click(int x, int y, int times = 1) { xdotool(x, y, "click --repeat " + std::to_string(times) + " --delay 60 1"); }
    void type(int x, int y, const std::string& text) {
        xdotool(x, y, "click 1 type --delay 20 " + text);  // `type` takes every word after it as text
        xdotool(x, y, "key Return");
    }
    void dragUp(int x, int y, int pixels, bool shift) {
        const std::string drag = "mousedown 1 mousemove_relative -- 0 -" + std::to_string(pixels) + " mouseup 1";
        xdotool(x, y, shift ? "keydown shift " + drag + " keyup shift" : drag);
    }
    static constexpr bool readsPictures = true;
    std::vector<unsigned long> picture() const {
        XImage* image = XGetImage(display, window, 0, 0, width, height, AllPlanes, ZPixmap);
        std::vector<unsigned long> pixels;
        for (uint32_t y = 0; image != nullptr && y < height; ++y) {
            for (uint32_t x = 0; x < width; ++x) pixels.push_back(XGetPixel(image, static_cast<int>(x), static_cast<int>(y)));
        }
        if (image != nullptr) XDestroyImage(image);
        return pixels;
    }

private:
    void xdotool(int x, int y, const std::string& actions) {
        const std::string command = "xdotool mousemove --window " + std::to_string(window) + " " + std::to_string(x) +
                                    " " + std::to_string(y) + " " + actions;
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
    }
    uint32_t width;
    uint32_t height;
    Display* display;
    Window window = 0;
#endif
};

TEST(ClapEditor, PointerInputReachesTheDspAndAutomationMovesTheEditor) {
    ClapInstance instance(&editorHost);
    constexpr uint32_t blockFrames = 256;
    instance.activate(sampleRate, blockFrames);
    const auto* gui = static_cast<const clap_plugin_gui_t*>(instance.plugin->get_extension(instance.plugin, CLAP_EXT_GUI));
    const auto* timer = static_cast<const clap_plugin_timer_support_t*>(
        instance.plugin->get_extension(instance.plugin, CLAP_EXT_TIMER_SUPPORT));
    ASSERT_NE(gui, nullptr);
    ASSERT_TRUE(gui->is_api_supported(instance.plugin, HostWindow::api, false));
    ASSERT_TRUE(gui->create(instance.plugin, HostWindow::api, false));
    uint32_t width = 0, height = 0;
    // 720 x 472 times the host's scale factor.
    ASSERT_TRUE(gui->set_scale(instance.plugin, 2.0));
    ASSERT_TRUE(gui->get_size(instance.plugin, &width, &height));
    EXPECT_EQ(width, 1440u);
    EXPECT_EQ(height, 944u);
    ASSERT_TRUE(gui->set_scale(instance.plugin, 1.0));
    ASSERT_TRUE(gui->get_size(instance.plugin, &width, &height));
    EXPECT_EQ(width, 720u);
    EXPECT_EQ(height, 472u);

    HostWindow host(width, height);
    ASSERT_TRUE(host.opened()) << "no display; tests/plugins/with-xvfb.sh gives one";
    const clap_window_t window = host.clapWindow();
    ASSERT_TRUE(gui->set_parent(instance.plugin, &window));
    ASSERT_TRUE(gui->show(instance.plugin));
    // Resizable to any shape, not held to one aspect ratio (DPF makes the editor at set_parent).
    clap_gui_resize_hints_t hints{};
    EXPECT_TRUE(gui->get_resize_hints(instance.plugin, &hints));
    EXPECT_TRUE(hints.can_resize_horizontally && hints.can_resize_vertically);
    EXPECT_FALSE(hints.preserve_aspect_ratio);
#if !defined(_WIN32)
    ASSERT_NE(editorHostState.timer, CLAP_INVALID_ID);  // on Windows the editor keeps its own timer
#endif

    // The host's loop: the editor's timer, then one block, the plug-in's events recorded with it.
    const std::vector<float> in = stimulus(48000 * 60);
    std::vector<float> out;
    std::vector<HostBlock> ran;
    std::vector<std::pair<uint16_t, clap_id>> gestures;
    auto hostCycle = [&](std::vector<std::pair<clap_id, double>> automation = {}) {
        if (editorHostState.timer != CLAP_INVALID_ID) timer->on_timer(instance.plugin, editorHostState.timer);
        host.pump();
        SentEvents sent;
        EventList events;
        for (const auto& [id, value] : automation) events.add(id, value);
        out.resize(out.size() + blockFrames);
        const std::size_t done = ran.size() * blockFrames;
        instance.process(in.data() + done, out.data() + done, blockFrames, events, sent.list());
        automation.insert(automation.end(), sent.values.begin(), sent.values.end());
        ran.push_back({blockFrames, automation, true});
        gestures.insert(gestures.end(), sent.gestures.begin(), sent.gestures.end());
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    };
    for (int i = 0; i < 40; ++i) hostCycle();  // the editor maps and draws

    // Pointer input at a point of the editor (design pixels = window pixels at scale 1), then cycles until
    // the DSP holds `expected` for `id` (at most 10 s, for a loaded machine).
    auto expectArrival = [&](const char* what, clap_id id, double expected) {
        for (int i = 0; i < 2000 && std::fabs(instance.value(id) - expected) > 1e-4; ++i) hostCycle();
        EXPECT_NEAR(instance.value(id), expected, 1e-4) << what;
    };
    host.wheelUp(82, 322);
    expectArrival("a wheel notch on Pitch: 1% of 10.5 V", pitch, 5.105);
    host.click(82, 322, 2);
    expectArrival("a double-click on Pitch: the default", pitch, 5.0);
    host.dragUp(202, 322, 24, false);
    expectArrival("Resonance dragged up 24 pixels: 1 V", resonance, 6.0);
    host.type(202, 369, "7.25");
    expectArrival("7.25 typed into Resonance's value", resonance, 7.25);
    host.dragUp(322, 322, 24, true);
    expectArrival("Zing dragged up 24 pixels with Shift: a tenth as far", zing, 10.0 + 0.01 * 49.9);
    host.wheelUp(46, 432);
    expectArrival("a wheel notch on Drive: 1% of its 48 dB", drive, 0.48);
    host.type(270, 441, "6");
    expectArrival("6 typed into Output's value", output, 6.0);
    host.click(669, 324);
    expectArrival("a click on HP", type, 1.0);
    EXPECT_NE(std::find(gestures.begin(), gestures.end(), std::make_pair<uint16_t, clap_id>(CLAP_EVENT_PARAM_GESTURE_BEGIN, pitch)),
              gestures.end());
    EXPECT_NE(std::find(gestures.begin(), gestures.end(), std::make_pair<uint16_t, clap_id>(CLAP_EVENT_PARAM_GESTURE_END, zing)),
              gestures.end());

    // Automation from the host moves the editor: the response is redrawn, Poles and Type stay as they are.
    auto picture = [&] { return host.picture(); };
    auto changedIn = [&](const std::vector<unsigned long>& a, const std::vector<unsigned long>& b, uint32_t left,
                         uint32_t top, uint32_t right, uint32_t bottom) {
        std::size_t changed = 0;
        for (uint32_t y = top; y < bottom; ++y) {
            for (uint32_t x = left; x < right; ++x) changed += a.at(y * width + x) != b.at(y * width + x);
        }
        return changed;
    };
    // Until the picture has held still for 20 cycles: the last curve measured and drawn.
    auto settledPicture = [&] {
        std::vector<unsigned long> last = picture();
        for (int i = 0, still = 0; i < 2000 && still < 20; ++i) {
            hostCycle();
            std::vector<unsigned long> now = picture();
            still = now == last ? still + 1 : 0;
            last = std::move(now);
        }
        return last;
    };
    const std::vector<unsigned long> before = settledPicture();
    hostCycle({{pitch, 8.0}});
    const std::vector<unsigned long> after = settledPicture();
    constexpr std::size_t redrawnResponse = 3000;  // of the response panel's 151360 pixels
    if (HostWindow::readsPictures) {
        EXPECT_GE(changedIn(before, after, 16, 38, 704, 258), redrawnResponse);
        EXPECT_GT(changedIn(before, after, 26, 268, 138, 396), 0u) << "the Pitch knob";
        EXPECT_EQ(changedIn(before, after, 412, 280, 704, 372), 0u) << "Poles and Type";
    }
    EXPECT_DOUBLE_EQ(instance.value(pitch), 8.0);

    // The sound is the module's with the same changes arriving as automation in the same blocks.
    expectSameAsModule(std::vector<float>(in.begin(), in.begin() + out.size()), out, ran, blockFrames);

    gui->hide(instance.plugin);
    gui->destroy(instance.plugin);
}


// The host library's list changes between blocks, which the plug-ins rely on.
TEST(FilterChannelBetweenBlocks, APolesChangeAfterSilenceStartsLikeAFreshChannel) {
    // A change of configuration resets the filter as Open does, so after a block of silence
    // the switched channel continues as a channel opened with that configuration starts.
    const vexahost::FilterPins pins = vexahost::FilterPins::describe(linkedModule);
    const std::vector<float> in = stimulus(4096);
    const std::vector<double> volts5(256, 5.0), volts10(256, 10.0), pitchVolts(256, 6.5);
    const std::vector<float> silence(256, 0.0f);
    auto run = [&](ModuleReference& reference) {
        std::vector<float> out(in.size());
        for (std::size_t b = 0; b < in.size() / 256; ++b) {
            reference.block(in.data() + b * 256, out.data() + b * 256, 256, pitchVolts, volts5, volts10);
        }
        return out;
    };
    const int16_t fourFour = polesValueAt(pins, 18);
    ModuleReference switched(polesValueAt(pins, 5), 0, sampleRate, 256);
    std::vector<float> scratch(256);
    switched.block(silence.data(), scratch.data(), 256, pitchVolts, volts5, volts10);
    switched.filter().selectPoles(fourFour);
    switched.filter().selectType(1);
    const std::vector<float> afterSwitch = run(switched);
    ModuleReference fresh(fourFour, 1, sampleRate, 256);
    const std::vector<float> direct = run(fresh);
    EXPECT_EQ(firstDifference(direct, afterSwitch), direct.size());
    // And the change is heard: the default configuration sounds otherwise.
    ModuleReference unchanged(polesValueAt(pins, 5), 0, sampleRate, 256);
    EXPECT_NE(firstDifference(direct, run(unchanged)), direct.size());
}

TEST(FilterChannelBetweenBlocks, AHostCanLeaveStatusReportsUnrecorded) {
    vexahost::HostInstance::Options quiet;
    quiet.keepStatusReports = false;
    vexahost::HostInstance silent(linkedModule, quiet);
    vexahost::HostInstance recording(linkedModule);
    for (vexahost::HostInstance* host : {&silent, &recording}) {
        host->open();
        host->sendStatus(vexa::signalPin, PinStatusStreaming);
        host->sendStatus(vexa::polesPin, PinStatusChangedOnce);
    }
    EXPECT_TRUE(silent.statusReports.empty());
    EXPECT_EQ(recording.statusReports.size(), 2u);
}

// ---------------------------------------------------------------------------------------------
// Model rate: the filter at its design rate in sessions at two and four times it

/// What the host is told through CLAP's latency extension.
uint32_t reportedLatency(ClapInstance& instance) {
    const auto* latency =
        static_cast<const clap_plugin_latency_t*>(instance.plugin->get_extension(instance.plugin, CLAP_EXT_LATENCY));
    return latency != nullptr ? latency->get(instance.plugin) : UINT32_MAX;
}

/// Each high session rate and the base rate of its family.
struct RatePair {
    double high, base;
};
constexpr RatePair ratePairs[] = {{88200.0, 44100.0}, {96000.0, 48000.0}, {176400.0, 44100.0}, {192000.0, 48000.0}};

/// Long enough for every configuration's response at Resonance 5 V to die away (checked).
constexpr double responseSeconds = 0.5;
/// Where both the plug-in's and the host library's measurements put the impulse, in samples.
constexpr double impulseSample = 1.0;

/// The plug-in's small-signal impulse response at `rate` (a 0.1 V impulse after
/// one zero sample, as `vexa-host response` measures), Resonance 5 V, Zing at its default.
vexahost::ImpulseResponse pluginResponse(double rate, double polesPosition, double pitchVolts, ModelRate model) {
    constexpr uint32_t block = 512;
    ClapInstance instance;
    instance.activate(rate, block);
    vexahost::ImpulseResponse response;
    response.sampleRate = rate;
    response.impulse = 0.1 / 10.0;
    const auto frames = static_cast<std::size_t>(rate * responseSeconds);
    std::vector<float> in(frames, 0.0f), out(frames, NAN);
    in[static_cast<std::size_t>(impulseSample)] = static_cast<float>(response.impulse);
    EventList events;
    for (const auto& [id, value] : std::initializer_list<std::pair<clap_id, double>>{
             {pitch, pitchVolts}, {resonance, 5.0}, {poles, polesPosition}, {modelRate, model}}) {
        events.add(id, value);
    }
    for (std::size_t done = 0; done < frames; done += block) {
        const auto n = static_cast<uint32_t>(std::min<std::size_t>(block, frames - done));
        instance.process(in.data() + done, out.data() + done, n, events);
        events.clear();
    }
    response.samples.assign(out.begin(), out.end());
    // The last 20 ms hold nothing above -140 dB of the impulse: the response is whole.
    const auto tail = static_cast<std::ptrdiff_t>(rate * 0.02);
    response.settled = std::all_of(out.end() - tail, out.end(), [&](float v) { return std::fabs(v) < 1e-7 * response.impulse; });
    return response;
}

// The same settings sound the same at every session rate: the small-signal
// response of every configuration at Pitch 3, 5 and 7 V, at each high rate
// against its family's base rate, within 0.5 dB from 30 Hz to 16 kHz wherever
// the base rate's response is above -60 dB.
TEST(ClapModelRate, EveryConfigurationSoundsAsAtTheBaseRate) {
    const std::vector<double> hz = vexahost::logSpacedFrequencies(30.0, 16000.0, 60);
    const std::size_t configurations = vexahost::FilterPins::describe(linkedModule).poleChoices.entries().size();
    double worst[std::size(ratePairs)] = {};
    for (std::size_t position = 0; position < configurations; ++position) {
        for (const double pitchVolts : {3.0, 5.0, 7.0}) {
            std::vector<double> base44, base48;
            for (std::size_t r = 0; r < std::size(ratePairs); ++r) {
                const RatePair& pair = ratePairs[r];
                std::vector<double>& base = pair.base == 44100.0 ? base44 : base48;
                if (base.empty()) {
                    const vexahost::ImpulseResponse response = pluginResponse(pair.base, position, pitchVolts, designRate);
                    ASSERT_TRUE(response.settled) << "position " << position << ", " << pitchVolts << " V";
                    base = vexahost::magnitudesAt(response, hz);
                }
                const vexahost::ImpulseResponse response = pluginResponse(pair.high, position, pitchVolts, designRate);
                ASSERT_TRUE(response.settled) << "position " << position << ", " << pitchVolts << " V";
                const std::vector<double> high = vexahost::magnitudesAt(response, hz);
                for (std::size_t i = 0; i < hz.size(); ++i) {
                    if (vexahost::toDecibels(base[i]) <= -60.0) continue;
                    const double difference = std::fabs(vexahost::toDecibels(high[i]) - vexahost::toDecibels(base[i]));
                    worst[r] = std::max(worst[r], difference);
                    EXPECT_LT(difference, 0.5) << pair.high << " Hz against " << pair.base << " Hz, position "
                                               << position << ", Pitch " << pitchVolts << " V, at " << hz[i] << " Hz";
                }
            }
        }
    }
    for (std::size_t r = 0; r < std::size(ratePairs); ++r) {
        std::printf("%.1f against %.1f kHz: largest difference %.3f dB\n", ratePairs[r].high / 1000.0,
                    ratePairs[r].base / 1000.0, worst[r]);
    }
}

/// Group delay at `hz` in seconds after the impulse, from the phase of the response a hertz either side.
double groupDelaySeconds(const vexahost::ImpulseResponse& response, double hz) {
    const auto phase = [&](double f) {
        std::complex<double> sum;
        for (std::size_t n = 0; n < response.samples.size(); ++n) {
            sum += response.samples[n] * std::polar(1.0, -2.0 * std::numbers::pi * f * n / response.sampleRate);
        }
        return std::arg(sum);
    };
    constexpr double step = 1.0;
    const double turn = std::remainder(phase(hz + step) - phase(hz - step), 2.0 * std::numbers::pi);
    return -turn / (2.0 * std::numbers::pi * 2.0 * step) - impulseSample / response.sampleRate;
}

// The latency the host is told is the delay the resampling adds: the group
// delay at 1 kHz against the base rate's, within a sample; 0 at the base rates.
TEST(ClapModelRate, ReportedLatencyIsTheMeasuredGroupDelay) {
    constexpr double pitchVolts = 5.0;
    constexpr double polesPosition = 18.0;  // 4:4
    for (const RatePair& pair : ratePairs) {
        ClapInstance instance;
        instance.activate(pair.high, 512);
        const uint32_t latency = reportedLatency(instance);
        const double added = groupDelaySeconds(pluginResponse(pair.high, polesPosition, pitchVolts, designRate), 1000.0) -
                             groupDelaySeconds(pluginResponse(pair.base, polesPosition, pitchVolts, designRate), 1000.0);
        std::printf("%.1f kHz: latency %u, measured group delay added at 1 kHz %.3f samples\n", pair.high / 1000.0,
                    latency, added * pair.high);
        EXPECT_NEAR(added * pair.high, latency, 1.0) << pair.high;
        // A session-rate filter is delayed as much, so that the latency holds at either setting.
        const double sessionAdded =
            groupDelaySeconds(pluginResponse(pair.high, polesPosition, pitchVolts, sessionRate), 1000.0) -
            groupDelaySeconds(vexahost::recordImpulseResponse(
                                  linkedModule, vexahost::FilterPins::describe(linkedModule),
                                  {polesValueAt(vexahost::FilterPins::describe(linkedModule), 18), 0, pitchVolts, 5.0,
                                   10.0, static_cast<float>(pair.high), 512}),
                              1000.0);
        EXPECT_NEAR(sessionAdded * pair.high, latency, 1.0) << pair.high;
    }
    for (const double rate : {44100.0, 48000.0}) {
        ClapInstance instance;
        instance.activate(rate, 512);
        EXPECT_EQ(reportedLatency(instance), 0u) << rate;
    }
}

// At 44.1 and 48 kHz the plug-in is the module, sample for sample, at either Model rate.
TEST(ClapModelRate, AtTheBaseRatesNothingChanges) {
    const vexahost::FilterPins pins = vexahost::FilterPins::describe(linkedModule);
    const std::vector<float> in = stimulus(12000);
    for (const double rate : {44100.0, 48000.0}) {
        for (const ModelRate model : {designRate, sessionRate}) {
            ClapInstance instance;
            instance.activate(rate, 256);
            std::vector<HostBlock> blocks(in.size() / 250, HostBlock{250, {}});
            blocks.front().changes = {{modelRate, model}, {pitch, 6.0}, {resonance, 7.0}, {poles, 18.0}};
            blocks.front().atStart = true;
            const std::vector<float> out = runPlugin(instance, in, blocks);
            ModuleReference reference(polesValueAt(pins, 18), 0, rate, 256);
            std::vector<float> expected(out.size());
            for (std::size_t done = 0; done < out.size(); done += 250) {
                reference.block(in.data() + done, expected.data() + done, 250, std::vector<double>(250, 6.0),
                                std::vector<double>(250, 7.0), std::vector<double>(250, 10.0));
            }
            SCOPED_TRACE(std::to_string(rate) + " Hz, Model rate " + std::to_string(model));
            expectSame(expected, out);
        }
    }
}

// A state saved before Model rate existed (by the plug-in as it was, kept as a
// file) loads as "Session rate" with its settings, and sounds at 96 kHz as the
// module at 96 kHz, delayed by the latency; a state saved now keeps its Model rate.
TEST(ClapModelRate, AnOlderStateLoadsAsItSounded) {
    ASSERT_FALSE(olderStatePath.empty()) << "--older-state=PATH is needed";
    std::ifstream file(olderStatePath, std::ios::binary);
    const std::vector<uint8_t> older{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    ASSERT_FALSE(older.empty()) << olderStatePath;

    ClapInstance instance;
    ASSERT_TRUE(loadState(instance, older));
    // As it was saved: Pitch 6 V, Resonance 6.5 V, Zing 20 V, 4:4, LP.
    const std::pair<clap_id, double> saved[] = {{pitch, 6.0}, {resonance, 6.5}, {zing, 20.0}, {poles, 18.0}, {type, 0.0}};
    for (const auto& [id, value] : saved) EXPECT_DOUBLE_EQ(instance.value(id), value) << "parameter " << id;
    EXPECT_EQ(instance.value(modelRate), sessionRate);

    constexpr double rate = 96000.0;
    instance.activate(rate, 512);
    const uint32_t latency = reportedLatency(instance);
    const std::vector<float> in = stimulus(24000);
    const std::vector<float> out = runPlugin(instance, in, std::vector<HostBlock>(in.size() / 500, HostBlock{500, {}}));
    ModuleReference reference(polesValueAt(vexahost::FilterPins::describe(linkedModule), 18), 0, rate, 512);
    std::vector<float> expected(in.size());
    for (std::size_t done = 0; done < in.size(); done += 500) {
        reference.block(in.data() + done, expected.data() + done, 500, std::vector<double>(500, 6.0),
                        std::vector<double>(500, 6.5), std::vector<double>(500, 20.0));
    }
    expected.resize(in.size() - latency);
    expectSame(expected, {out.begin() + latency, out.end()});

    ClapInstance fresh;
    ClapInstance restored;
    ASSERT_TRUE(loadState(restored, savedState(fresh)));
    EXPECT_EQ(restored.value(modelRate), designRate);
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument.rfind("--plugin=", 0) == 0) pluginPath = argument.substr(9);
        if (argument.rfind("--stereo-plugin=", 0) == 0) stereoPluginPath = argument.substr(16);
        if (argument.rfind("--older-state=", 0) == 0) olderStatePath = argument.substr(14);
        if (argument.rfind("--states=", 0) == 0) statesDir = argument.substr(9);
        if (argument.rfind("--save-states=", 0) == 0) saveStatesDir = argument.substr(14);
    }
    if (pluginPath.empty() || stereoPluginPath.empty() || (statesDir.empty() && saveStatesDir.empty())) {
        std::fprintf(stderr,
                     "usage: %s --plugin=PATH.clap --stereo-plugin=PATH.clap --states=DIR [--older-state=PATH] [gtest options]\n"
                     "       %s --plugin=PATH.clap --stereo-plugin=PATH.clap --save-states=DIR\n",
                     argv[0], argv[0]);
        return 2;
    }
    if (!saveStatesDir.empty()) return saveStoredStates();
    return RUN_ALL_TESTS();
}
