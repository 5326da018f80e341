// Coverage-guided fuzzing of the CLAP plug-ins (mono and stereo) through their clap_entry, as a careless
// host drives them: the input is decoded into a host's life (create, activate, process blocks with any
// events and buffers, save and load mutated states, deactivate, reactivate, destroy), and after every
// step the plug-in's promises to the host are checked.
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
#include "clap/entry.h"
#include "clap/events.h"
#include "clap/ext/params.h"
#include "clap/ext/state.h"
#include "clap/plugin-factory.h"

namespace {

using namespace vexafuzz;

/// One .clap file, loaded once for the whole run.
struct ClapFile {
    const char* path;
    const char* id;
    uint32_t channels;
    const clap_plugin_entry_t* entry = nullptr;
    const clap_plugin_factory_t* factory = nullptr;
};

std::array<ClapFile, 2> files{{{VEXA_CLAP_MONO, "vexa.lp-filter-2", 1}, {VEXA_CLAP_STEREO, "vexa.lp-filter-2-stereo", 2}}};

void load(ClapFile& file) {
    void* handle = dlopen(file.path, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        std::fprintf(stderr, "%s\n", dlerror());
        std::abort();
    }
    file.entry = static_cast<const clap_plugin_entry_t*>(dlsym(handle, "clap_entry"));
    if (file.entry == nullptr || !file.entry->init(file.path)) broken("clap_entry missing or its init failed");
    file.factory = static_cast<const clap_plugin_factory_t*>(file.entry->get_factory(CLAP_PLUGIN_FACTORY_ID));
    if (file.factory == nullptr) broken("no plug-in factory");
}

// The host's side: every callback answers and does nothing.
void CLAP_ABI hostRescan(const clap_host_t*, clap_param_rescan_flags) {}
void CLAP_ABI hostClear(const clap_host_t*, clap_id, clap_param_clear_flags) {}
void CLAP_ABI hostRequest(const clap_host_t*) {}
const clap_host_params_t hostParams{hostRescan, hostClear, hostRequest};
const void* CLAP_ABI hostExtension(const clap_host_t*, const char* id) {
    return std::strcmp(id, CLAP_EXT_PARAMS) == 0 ? &hostParams : nullptr;
}
const clap_host_t host{CLAP_VERSION_INIT, nullptr, "vexa plug-in fuzzer", "Vexa", "", "1",
                       hostExtension,     hostRequest, hostRequest, hostRequest};

bool CLAP_ABI dropEvent(const clap_output_events_t*, const clap_event_header_t*) { return true; }
const clap_output_events_t noOutput{nullptr, dropEvent};

/// Events of one call, of any kind, id, time and value, in the order the input gives.
class FuzzEvents {
public:
    void make(FuzzInput& in, uint32_t frames, uint32_t parameterCount) {
        events.clear();
        const uint32_t count = in.byte() % 24;
        for (uint32_t i = 0; i < count; ++i) {
            Event event{};
            const uint8_t kind = in.byte();
            const uint8_t timing = in.byte();
            const uint32_t time = timing < 160 ? (frames == 0 ? 0 : in.byte() * frames / 256)  // inside the block
                                  : timing < 200 ? frames + in.byte()                           // past it
                                                 : in.word();                                   // anywhere
            const uint8_t idChoice = in.byte();
            const clap_id id = idChoice < 200 ? idChoice % parameterCount
                               : idChoice < 230 ? parameterCount + idChoice % 8
                                                : in.word();
            const double value = pickValue(in);
            switch (kind % 8) {
            case 0:
            case 1:
            case 2: {
                event.value = {{sizeof(clap_event_param_value_t), time, CLAP_CORE_EVENT_SPACE_ID,
                                CLAP_EVENT_PARAM_VALUE, 0}, id, nullptr, -1, -1, -1, -1, value};
                break;
            }
            case 3:
                event.mod = {{sizeof(clap_event_param_mod_t), time, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_MOD, 0},
                             id, nullptr, -1, -1, -1, -1, value};
                break;
            case 4:
                event.note = {{sizeof(clap_event_note_t), time, CLAP_CORE_EVENT_SPACE_ID,
                               static_cast<uint16_t>(CLAP_EVENT_NOTE_ON + in.byte() % 4), 0},
                              -1, 0, 0, static_cast<int16_t>(in.byte() % 128), value};
                break;
            case 5:
                event.midi = {{sizeof(clap_event_midi_t), time, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_MIDI, 0},
                              0, {in.byte(), in.byte(), in.byte()}};
                break;
            case 6:  // a parameter value in another event space, or cut short
                event.value = {{static_cast<uint32_t>(in.byte() % 2 == 0 ? sizeof(clap_event_param_value_t)
                                                                           : sizeof(clap_event_header_t)),
                                time, static_cast<uint16_t>(in.byte()), CLAP_EVENT_PARAM_VALUE, 0},
                               id, nullptr, -1, -1, -1, -1, value};
                break;
            default:  // an event type nobody knows
                event.value = {{sizeof(clap_event_param_value_t), time, CLAP_CORE_EVENT_SPACE_ID,
                                static_cast<uint16_t>(in.byte() + 20), 0}, id, nullptr, -1, -1, -1, -1, value};
                break;
            }
            events.push_back(event);
        }
    }
    const clap_input_events_t* list() {
        view = {this, size, get};
        return &view;
    }
    /// True when an event modulates Drive or Output, which moves them where no state shows.
    bool modulatesStageGains() const {
        return std::any_of(events.begin(), events.end(), [](const Event& event) {
            const auto id = static_cast<vexaplugin::ParameterId>(event.mod.param_id);
            return event.mod.header.type == CLAP_EVENT_PARAM_MOD && event.mod.header.space_id == CLAP_CORE_EVENT_SPACE_ID &&
                   (id == vexaplugin::ParameterId::drive || id == vexaplugin::ParameterId::output);
        });
    }

private:
    union Event {
        clap_event_param_value_t value;
        clap_event_param_mod_t mod;
        clap_event_note_t note;
        clap_event_midi_t midi;
    };
    static uint32_t CLAP_ABI size(const clap_input_events_t* list) {
        return static_cast<uint32_t>(static_cast<FuzzEvents*>(list->ctx)->events.size());
    }
    static const clap_event_header_t* CLAP_ABI get(const clap_input_events_t* list, uint32_t index) {
        auto& events = static_cast<FuzzEvents*>(list->ctx)->events;
        return index < events.size() ? &events[index].value.header : nullptr;
    }
    std::vector<Event> events;
    clap_input_events_t view{};
};

std::string save(const clap_plugin_t* plugin, const clap_plugin_state_t* state) {
    std::string bytes;
    if (!hoststreams::saveClapState(plugin, state, bytes)) broken("state save failed");
    return bytes;
}

bool load(const clap_plugin_t* plugin, const clap_plugin_state_t* state, const std::string& bytes) {
    return hoststreams::loadClapState(plugin, state, bytes);
}

/// One plug-in through one host life.
class FuzzedClapHost {
public:
    FuzzedClapHost(FuzzInput& input, const ClapFile& from) : in(input), file(from) {
        plugin = file.factory->create_plugin(file.factory, &host, file.id);
        if (plugin == nullptr || !plugin->init(plugin)) broken("the plug-in cannot be made");
        params = static_cast<const clap_plugin_params_t*>(plugin->get_extension(plugin, CLAP_EXT_PARAMS));
        state = static_cast<const clap_plugin_state_t*>(plugin->get_extension(plugin, CLAP_EXT_STATE));
        if (params == nullptr || state == nullptr) broken("no params or state extension");
        parameterCount = params->count(plugin);
        lastSaved = save(plugin, state);
    }
    ~FuzzedClapHost() {
        if (processing) plugin->stop_processing(plugin);
        if (active) plugin->deactivate(plugin);
        plugin->destroy(plugin);
    }

    void step() {
        switch (in.byte() % 8) {
        case 0: activate(); break;
        case 1: deactivate(); break;
        case 2:
        case 3: process(); break;
        case 4: lastSaved = save(plugin, state); checkSavedLoadsElsewhere(); break;
        case 5: loadMutated(); break;
        case 6: flush(); break;
        default:
            if (processing) {
                plugin->stop_processing(plugin);
                processing = false;
            } else if (active) {
                processing = plugin->start_processing(plugin);
            }
            if (in.byte() % 4 == 0) plugin->reset(plugin);
            break;
        }
    }

private:
    void activate() {
        if (active) deactivate();
        const double rate = pickSampleRate(in);
        const uint8_t choice = in.byte();
        maxFrames = choice < 200 ? choice % 64 + 1 : choice < 250 ? largestFuzzBlock : in.word() % (1u << 22);
        active = plugin->activate(plugin, rate, 1, maxFrames);
        rateInRange = sampleRateInRange(rate);
        loudestInput = 0.0f;
        if (active && maxFrames > largestFuzzBlock) {
            // A large promise is the plug-in's to keep or refuse; blocks stay at the fuzzer's size.
            maxFrames = largestFuzzBlock;
        }
        if (!active && maxFrames <= largestFuzzBlock && maxFrames > 0 && std::isfinite(rate)) {
            broken("an activation with a usable block was refused");
        }
        if (active) processing = plugin->start_processing(plugin);
    }

    void deactivate() {
        if (processing) plugin->stop_processing(plugin);
        if (active) plugin->deactivate(plugin);
        active = processing = false;
    }

    void process() {
        if (!active) return;  // a host must not, and DPF's wrapper takes it on trust
        const uint8_t sizeChoice = in.byte();
        const uint32_t frames = sizeChoice < 16 ? 0 : sizeChoice < 32 ? maxFrames : in.word() % (maxFrames + 1);
        buffers.make(in, file.channels, frames);
        events.make(in, frames, parameterCount);
        const uint8_t busShape = in.byte();
        clap_audio_buffer_t inputs{buffers.nullChannels ? nullptr : buffers.inputChannels.data(), nullptr,
                                   file.channels, 0, 0};
        clap_audio_buffer_t outputs{buffers.nullChannels ? nullptr : buffers.outputChannels.data(), nullptr,
                                    file.channels, 0, 0};
        clap_process_t call{};
        call.steady_time = busShape % 2 == 0 ? -1 : static_cast<int64_t>(in.word());
        call.frames_count = frames;
        // Now and then a layout other than the plug-in's: no input bus, or a channel too many.
        if (busShape % 16 == 3) inputs.channel_count += 1;
        if (busShape % 16 == 5) outputs.channel_count += 1;
        call.audio_inputs = &inputs;
        call.audio_outputs = &outputs;
        call.audio_inputs_count = busShape % 16 == 9 ? 0 : 1;
        call.audio_outputs_count = 1;
        call.in_events = busShape % 8 == 7 ? nullptr : events.list();
        call.out_events = &noOutput;
        gains.follow(save(plugin, state));
        if (call.in_events != nullptr && events.modulatesStageGains()) gains.atRangeEnds();
        loudestInput = std::max(loudestInput, buffers.inputPeak);
        const bool ownLayout = busShape % 16 != 3 && busShape % 16 != 5 && busShape % 16 != 9;
        if (plugin->process(plugin, &call) == CLAP_PROCESS_ERROR) {
            if (ownLayout) broken("a block in the plug-in's own layout was refused");
            return;  // the host plays nothing of it
        }
        if (!ownLayout && frames != 0) broken("a block in another layout was taken");
        gains.follow(save(plugin, state));
        buffers.check(frames, rateInRange && gains.carriesInRange(loudestInput), gains.outputBound());
        checkParametersInRange();
    }

    void flush() {
        events.make(in, 0, parameterCount);
        params->flush(plugin, events.list(), &noOutput);
        checkParametersInRange();
    }

    std::vector<double> values() const {
        std::vector<double> v(parameterCount);
        for (uint32_t i = 0; i < parameterCount; ++i) {
            if (!params->get_value(plugin, i, &v[i])) broken("a parameter has no value");
        }
        return v;
    }

    void checkParametersInRange() const {
        const std::vector<double> v = values();
        for (uint32_t i = 0; i < parameterCount; ++i) {
            clap_param_info_t info{};
            if (!params->get_info(plugin, i, &info)) broken("a parameter has no info");
            if (!(v[i] >= info.min_value && v[i] <= info.max_value)) broken("a parameter outside its range");
        }
    }

    /// What a host saved loads into a fresh instance to the same values.
    void checkSavedLoadsElsewhere() {
        FuzzInput nothing(nullptr, 0);
        FuzzedClapHost other(nothing, file);
        if (!load(other.plugin, other.state, lastSaved)) broken("a saved state does not load");
        if (other.values() != values()) broken("a saved state loads to other values");
        if (save(other.plugin, other.state) != lastSaved) broken("a loaded state saves differently");
    }

    void loadMutated() {
        const MutatedState mutated = mutateState(lastSaved, in);
        const std::vector<double> before = values();
        const std::string savedBefore = save(plugin, state);
        const bool loaded = load(plugin, state, mutated.bytes);
        if (loaded && mutated.expect == MutatedState::mustRefuse) broken("a cut-short, extended or unknown state loaded");
        if (!loaded && mutated.expect == MutatedState::mustLoad) broken("a state of this or an earlier build was refused");
        if (!loaded) {
            if (values() != before) broken("a refused state changed parameters");
            if (save(plugin, state) != savedBefore) broken("a refused state changed the saved state");
            return;
        }
        checkParametersInRange();
        // Loaded: saving gives a state that loads back to the same values.
        const std::vector<double> after = values();
        lastSaved = save(plugin, state);
        if (!load(plugin, state, lastSaved) || values() != after) broken("a loaded state does not save and load back");
        checkSavedLoadsElsewhere();
    }

    FuzzInput& in;
    const ClapFile& file;
    const clap_plugin_t* plugin = nullptr;
    const clap_plugin_params_t* params = nullptr;
    const clap_plugin_state_t* state = nullptr;
    uint32_t parameterCount = 0;
    bool active = false;
    bool processing = false;
    bool rateInRange = false;  ///< the rate of the last activation inside the documented range
    float loudestInput = 0.0f;  ///< since the last activation
    StageGains gains;
    uint32_t maxFrames = 0;
    std::string lastSaved;
    FuzzBuffers buffers;
    FuzzEvents events;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    for (ClapFile& file : files) load(file);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    const ClapFile& file = files[in.byte() % files.size()];
    FuzzedClapHost fuzzedHost(in, file);
    for (uint32_t i = 0; i < maxActions && !in.empty(); ++i) fuzzedHost.step();
    return 0;
}
