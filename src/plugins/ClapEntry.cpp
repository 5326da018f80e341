// CLAP entry point around DPF's: checks what a host sends before DPF sees it, and adds what DPF 1.6 lacks.
//
// DPF's CLAP wrapper indexes its parameter caches by the id in a host's event
// without looking at it, takes events of any event space, and turns a Poles
// value of NaN into text through an undefined float-to-int conversion. This
// entry hands DPF only well-formed events for parameters that exist, answers
// the parameter calls for unknown ids and unusable values itself, shows Pitch
// with its cutoff in Hz, refuses an activation whose filter could not be made,
// reports the latency of the resampling at high session rates, gives its audio
// ports the mono or stereo type DPF means them to have, hands DPF only audio buffers that fit
// the plug-in's channels, names the product's version in the plug-in's descriptor (DPF leaves
// it empty), offers the factory presets (preset discovery and preset load), which it
// loads through DPF's own program path in the plug-in state, and gives the state a version and a strict reader:
// DPF's own reader applies whatever it understands of a cut-short or garbled state and reports success
// (StateCodec.h; a state saved before Model rate existed loads as "Session rate"). Each process call
// reaches DPF cut at its events, with modulation and notes going to the engine
// at the same cuts (ClapTimedEvents.h); the parameters DPF lists are marked
// modulatable from the parameter table. Every function
// of DPF's is called with a plug-in whose plugin_data is DPF's own.
#undef clap_entry  // DPF's entry is compiled under another name (DpfAdapter.cmake); this is ours.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <utility>
#include <string_view>

#include "ClapPresetAbi.h"
#include "ClapTimedEvents.h"
#include "DistrhoPluginInfo.h"
#include "DpfAdapter.h"
#include "FactoryPresets.h"
#include "ParameterText.h"
#include "PluginParameters.h"
#include "VexaVersion.h"
#include "StateCodec.h"
#include "clap/entry.h"
#include "resampler/CoreRate.h"
#include "clap/events.h"
#include "clap/ext/audio-ports.h"
#include "clap/ext/latency.h"
#include "clap/ext/params.h"
#include "clap/ext/state.h"
#include "clap/plugin-factory.h"

namespace {

using namespace vexaplugin;

const clap_plugin_factory_t* dpfFactory = nullptr;

// ---------------------------------------------------------------------------------------------
// Events

/// Stands in for every event DPF must not see; DPF's event loop passes over note-end events.
const clap_event_note_t ignoredEvent{
    {sizeof(clap_event_note_t), 0, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_NOTE_END, 0}, -1, -1, -1, -1, 0.0};

bool isKnownParameter(clap_id id) { return id < parameterCount; }

/// A parameter value DPF may apply: a core event of its full size, for a parameter that
/// exists, with a value that is a number (the plug-in clamps infinities to the range).
bool isUsableEvent(const clap_event_header_t* header) {
    if (header == nullptr || header->space_id != CLAP_CORE_EVENT_SPACE_ID || header->type != CLAP_EVENT_PARAM_VALUE ||
        header->size < sizeof(clap_event_param_value_t)) {
        return false;
    }
    const auto* event = reinterpret_cast<const clap_event_param_value_t*>(header);
    return isKnownParameter(event->param_id) && !std::isnan(event->value);
}

/// A host's input events, or those of one piece of a call, as DPF gets them: the same
/// count, each unusable one replaced. Lives on the stack of the call it is made for;
/// allocates nothing.
class CheckedEvents {
public:
    explicit CheckedEvents(const clap_input_events_t* hostEvents) : host(hostEvents) {
        if (usable()) range = {host, 0, host->size(host)};
    }
    explicit CheckedEvents(const clapevents::EventRange& piece) : host(piece.events), range(piece) {}
    bool usable() const { return host != nullptr && host->size != nullptr && host->get != nullptr; }
    const clap_input_events_t* list() {
        if (!usable()) return nullptr;
        view = {this, &CheckedEvents::size, &CheckedEvents::get};
        return &view;
    }

private:
    static uint32_t CLAP_ABI size(const clap_input_events_t* list) {
        const clapevents::EventRange& range = static_cast<const CheckedEvents*>(list->ctx)->range;
        return range.end - range.first;
    }
    static const clap_event_header_t* CLAP_ABI get(const clap_input_events_t* list, uint32_t index) {
        const clapevents::EventRange& range = static_cast<const CheckedEvents*>(list->ctx)->range;
        if (index >= range.end - range.first) return nullptr;
        const clap_event_header_t* event = range.events->get(range.events, range.first + index);
        return isUsableEvent(event) ? event : &ignoredEvent.header;
    }

    const clap_input_events_t* host;
    clapevents::EventRange range{};
    clap_input_events_t view{};
};

// ---------------------------------------------------------------------------------------------
// The plug-in

/// DPF's plug-in with our functions in front. `clap` comes first: the host's pointer is to it.
struct GuardedPlugin {
    clap_plugin_t clap;
    const clap_plugin_t* dpf;
    FilterEngine* engine;  ///< inside DPF's plug-in, for what DPF does not pass on
    /// Set at activation, from the sample rate alone; DPF's own latency support
    /// would ask the host to restart the plug-in after every such activation.
    uint32_t latency = 0;
};

FilterEngine* engineOf(const clap_plugin_t* plugin) { return reinterpret_cast<const GuardedPlugin*>(plugin)->engine; }

const clap_plugin_t* dpfOf(const clap_plugin_t* plugin) { return reinterpret_cast<const GuardedPlugin*>(plugin)->dpf; }

const clap_plugin_params_t* dpfParams(const clap_plugin_t* plugin) {
    const clap_plugin_t* dpf = dpfOf(plugin);
    return static_cast<const clap_plugin_params_t*>(dpf->get_extension(dpf, CLAP_EXT_PARAMS));
}

/// `value` held inside the parameter's range; false for an unknown id or NaN.
bool heldInRange(const clap_plugin_t* plugin, clap_id id, double& value) {
    clap_param_info_t info{};
    if (!isKnownParameter(id) || std::isnan(value) || !dpfParams(plugin)->get_info(dpfOf(plugin), id, &info)) {
        return false;
    }
    value = std::clamp(value, info.min_value, info.max_value);
    return true;
}

bool CLAP_ABI paramsGetInfo(const clap_plugin_t* plugin, uint32_t index, clap_param_info_t* info) {
    if (!isKnownParameter(index) || info == nullptr) return false;
    if (!dpfParams(plugin)->get_info(dpfOf(plugin), index, info)) return false;
    if (infoAt(index).modulatable) info->flags |= CLAP_PARAM_IS_MODULATABLE;
    return true;
}

uint32_t CLAP_ABI paramsCount(const clap_plugin_t* plugin) { return dpfParams(plugin)->count(dpfOf(plugin)); }

bool CLAP_ABI paramsGetValue(const clap_plugin_t* plugin, clap_id id, double* value) {
    if (!isKnownParameter(id) || value == nullptr) return false;
    return dpfParams(plugin)->get_value(dpfOf(plugin), id, value);
}

bool CLAP_ABI paramsValueToText(const clap_plugin_t* plugin, clap_id id, double value, char* display,
                                uint32_t size) {
    if (display == nullptr || size == 0 || !heldInRange(plugin, id, value)) return false;
#if !VEXA_PLUGIN_CONTROLS_AS_CV
    if (id == pitchParameter) return pitchToText(value, display, size);
#endif
    return dpfParams(plugin)->value_to_text(dpfOf(plugin), id, value, display, size);
}

bool CLAP_ABI paramsTextToValue(const clap_plugin_t* plugin, clap_id id, const char* display, double* value) {
    if (display == nullptr || value == nullptr || !isKnownParameter(id)) return false;
    double parsed = NAN;
#if !VEXA_PLUGIN_CONTROLS_AS_CV
    if (id == pitchParameter) {
        const auto volts = pitchFromText(display);
        if (!volts) return false;
        parsed = *volts;
    } else
#endif
    if (!dpfParams(plugin)->text_to_value(dpfOf(plugin), id, display, &parsed)) {
        return false;
    }
    if (!std::isfinite(parsed) || !heldInRange(plugin, id, parsed)) return false;
    *value = parsed;
    return true;
}

void CLAP_ABI paramsFlush(const clap_plugin_t* plugin, const clap_input_events_t* in, const clap_output_events_t* out) {
    CheckedEvents checked(in);
    if (checked.usable() && engineOf(plugin) != nullptr) {
        for (uint32_t i = 0, count = in->size(in); i < count; ++i) clapevents::applyToEngine(*engineOf(plugin), in->get(in, i));
    }
    dpfParams(plugin)->flush(dpfOf(plugin), checked.list(), out);
}

const clap_plugin_params_t guardedParams{paramsCount,       paramsGetInfo,     paramsGetValue,
                                         paramsValueToText, paramsTextToValue, paramsFlush};

// ---------------------------------------------------------------------------------------------
// State: versioned, and read whole and checked before DPF applies any of it (StateCodec.h)

const clap_plugin_state_t* dpfStateExtension(const clap_plugin_t* plugin) {
    const clap_plugin_t* dpf = dpfOf(plugin);
    return static_cast<const clap_plugin_state_t*>(dpf->get_extension(dpf, CLAP_EXT_STATE));
}

/// Hands DPF a state in its own layout, from memory.
bool loadIntoDpf(const clap_plugin_t* plugin, const std::string& bytes) {
    const clap_plugin_state_t* state = dpfStateExtension(plugin);
    if (state == nullptr) return false;
    std::string_view rest = bytes;
    const clap_istream_t stream{&rest, [](const clap_istream_t* s, void* data, uint64_t size) -> int64_t {
                                    auto* left = static_cast<std::string_view*>(s->ctx);
                                    const std::size_t count = std::min<std::size_t>(size, left->size());
                                    std::memcpy(data, left->data(), count);
                                    left->remove_prefix(count);
                                    return static_cast<int64_t>(count);
                                }};
    return state->load(dpfOf(plugin), &stream);
}

bool CLAP_ABI stateSave(const clap_plugin_t* plugin, const clap_ostream_t* stream) {
    const clap_plugin_state_t* state = dpfStateExtension(plugin);
    if (stream == nullptr || stream->write == nullptr || state == nullptr) return false;
    std::string dpfBytes;
    const clap_ostream_t collect{&dpfBytes, [](const clap_ostream_t* s, const void* data, uint64_t size) -> int64_t {
                                     static_cast<std::string*>(s->ctx)->append(static_cast<const char*>(data), size);
                                     return static_cast<int64_t>(size);
                                 }};
    if (!state->save(dpfOf(plugin), &collect)) return false;
    const auto saved = decodeDpfSave(dpfBytes, filterStateParameters(), factoryPresets.size());
    if (!saved) return false;
    const std::string bytes = encodeState(*saved, filterStateParameters());
    for (std::size_t written = 0; written < bytes.size();) {
        const int64_t count = stream->write(stream, bytes.data() + written, bytes.size() - written);
        if (count <= 0 || static_cast<uint64_t>(count) > bytes.size() - written) return false;
        written += static_cast<std::size_t>(count);
    }
    return true;
}

bool CLAP_ABI stateLoad(const clap_plugin_t* plugin, const clap_istream_t* stream) {
    if (stream == nullptr || stream->read == nullptr) return false;
    std::string bytes;
    char chunk[1024];
    for (int64_t count; (count = stream->read(stream, chunk, sizeof chunk)) != 0;) {
        if (count < 0 || static_cast<uint64_t>(count) > sizeof chunk || bytes.size() > largestStateBytes) return false;
        bytes.append(chunk, static_cast<std::size_t>(count));
    }
    const auto loaded = decodeState(bytes, filterStateParameters(), factoryPresets.size());
    return loaded && loadIntoDpf(plugin, dpfState(*loaded, filterStateParameters()));
}

const clap_plugin_state_t checkedState{stateSave, stateLoad};

#if DISTRHO_PLUGIN_WANT_PROGRAMS
/// Loads factory preset `load_key` (its row in the table, in decimal) through DPF's state,
/// whose program entry calls the plug-in's loadProgram and tells the host to rescan values.
bool CLAP_ABI presetFromLocation(const clap_plugin_t* plugin, uint32_t kind, const char*, const char* loadKey) {
    if (kind != CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN || loadKey == nullptr || *loadKey == '\0' ||
        std::strspn(loadKey, "0123456789") != std::strlen(loadKey) || std::strlen(loadKey) > 3) {
        return false;
    }
    const unsigned long index = std::strtoul(loadKey, nullptr, 10);
    if (index >= factoryPresets.size()) return false;
    return loadIntoDpf(plugin, dpfProgramState(static_cast<uint32_t>(index)));
}

const clap_plugin_preset_load_t presetLoad{presetFromLocation};
#endif

const clap_plugin_audio_ports_t* dpfAudioPorts(const clap_plugin_t* plugin) {
    const clap_plugin_t* dpf = dpfOf(plugin);
    return static_cast<const clap_plugin_audio_ports_t*>(dpf->get_extension(dpf, CLAP_EXT_AUDIO_PORTS));
}

uint32_t CLAP_ABI audioPortsCount(const clap_plugin_t* plugin, bool isInput) {
    return dpfAudioPorts(plugin)->count(dpfOf(plugin), isInput);
}

/// DPF 1.6 picks a bus's port type from its id after offsetting the id, so every
/// bus comes out untyped, and a host cannot tell a stereo bus from two unrelated
/// channels: the type is the one DPF's ports mean, by channel count.
bool CLAP_ABI audioPortsGet(const clap_plugin_t* plugin, uint32_t index, bool isInput, clap_audio_port_info_t* info) {
    if (info == nullptr || !dpfAudioPorts(plugin)->get(dpfOf(plugin), index, isInput, info)) return false;
    if (info->port_type == nullptr && info->channel_count == 1) info->port_type = CLAP_PORT_MONO;
    if (info->port_type == nullptr && info->channel_count == 2) info->port_type = CLAP_PORT_STEREO;
    return true;
}

const clap_plugin_audio_ports_t typedAudioPorts{audioPortsCount, audioPortsGet};

uint32_t CLAP_ABI latencyOf(const clap_plugin_t* plugin) { return reinterpret_cast<const GuardedPlugin*>(plugin)->latency; }

const clap_plugin_latency_t fixedLatency{latencyOf};

const void* CLAP_ABI getExtension(const clap_plugin_t* plugin, const char* id) {
    if (id == nullptr) return nullptr;
    if (std::strcmp(id, CLAP_EXT_PARAMS) == 0) return &guardedParams;
    if (std::strcmp(id, CLAP_EXT_AUDIO_PORTS) == 0) return &typedAudioPorts;
#if !VEXA_PLUGIN_CONTROLS_AS_CV
    if (std::strcmp(id, CLAP_EXT_NOTE_PORTS) == 0) return &clapevents::notePorts;
#endif
    if (std::strcmp(id, CLAP_EXT_LATENCY) == 0) return &fixedLatency;
    if (std::strcmp(id, CLAP_EXT_STATE) == 0) return dpfStateExtension(plugin) != nullptr ? &checkedState : nullptr;
#if DISTRHO_PLUGIN_WANT_PROGRAMS
    if (std::strcmp(id, CLAP_EXT_PRESET_LOAD) == 0 || std::strcmp(id, CLAP_EXT_PRESET_LOAD_COMPAT) == 0) {
        return &presetLoad;
    }
#endif
    const clap_plugin_t* dpf = dpfOf(plugin);
    return dpf->get_extension(dpf, id);
}

bool CLAP_ABI activate(const clap_plugin_t* plugin, double sampleRate, uint32_t minFrames, uint32_t maxFrames) {
    const clap_plugin_t* dpf = dpfOf(plugin);
    if (!dpf->activate(dpf, sampleRate, minFrames, maxFrames)) return false;
    if (dpfadapter::lastActivationSucceeded()) {
        reinterpret_cast<GuardedPlugin*>(const_cast<clap_plugin_t*>(plugin))->latency =
            resampler::latencyFor(resampler::factorFor(sampleRate));
        return true;
    }
    dpf->deactivate(dpf);
    return false;
}

/// One direction's audio buffers as DPF may read them. DPF copies every channel pointer of
/// every bus into an array of the plug-in's channel count without counting, and reads a bus's
/// pointer array even where it is null: here the buses must hold exactly the plug-in's
/// channels, and a bus without its array plays as null channels (silence in, output
/// discarded). `own` holds the buses handed on in that case.
template <class Buffer>  // const for the inputs
bool fitBuses(Buffer*& buses, uint32_t count, uint32_t channels, clap_audio_buffer_t (&own)[2]) {
    constexpr uint32_t mostBuses = 2;
    static float* const nullChannels[2] = {nullptr, nullptr};
    if (count > mostBuses || (count > 0 && buses == nullptr)) return false;
    uint32_t total = 0;
    for (uint32_t i = 0; i < count; ++i) {
        if (buses[i].channel_count > channels) return false;
        total += buses[i].channel_count;
        own[i] = buses[i];
        if (own[i].data32 == nullptr) own[i].data32 = const_cast<float**>(nullChannels);
    }
    buses = own;
    return total == channels;
}

clap_process_status CLAP_ABI process(const clap_plugin_t* plugin, const clap_process_t* call) {
    if (call == nullptr) return CLAP_PROCESS_ERROR;
    clap_process_t fitted = *call;
    clap_audio_buffer_t inputs[2];
    clap_audio_buffer_t outputs[2];
    if (call->frames_count != 0 &&
        (!fitBuses(fitted.audio_inputs, call->audio_inputs_count, DISTRHO_PLUGIN_NUM_INPUTS, inputs) ||
         !fitBuses(fitted.audio_outputs, call->audio_outputs_count, DISTRHO_PLUGIN_NUM_OUTPUTS, outputs))) {
        return CLAP_PROCESS_ERROR;
    }
    const clap_plugin_t* dpf = dpfOf(plugin);
    const clap_input_events_t* events = CheckedEvents(call->in_events).usable() ? call->in_events : nullptr;
    return clapevents::runInPieces(fitted, events, engineOf(plugin),
                                   [dpf, events](const clap_process_t& piece, const clapevents::EventRange& range) {
                                       CheckedEvents checked(range);
                                       clap_process_t checkedPiece = piece;
                                       checkedPiece.in_events = events != nullptr ? checked.list() : nullptr;
                                       return dpf->process(dpf, &checkedPiece);
                                   });
}

void CLAP_ABI destroy(const clap_plugin_t* plugin) {
    const GuardedPlugin* guarded = reinterpret_cast<const GuardedPlugin*>(plugin);
    guarded->dpf->destroy(guarded->dpf);
    delete guarded;
}

// ---------------------------------------------------------------------------------------------
// The plug-in factory

uint32_t CLAP_ABI pluginCount(const clap_plugin_factory_t*) {
    return dpfFactory != nullptr ? dpfFactory->get_plugin_count(dpfFactory) : 0;
}

/// DPF's descriptor with the product's version in it; null for an index DPF does not know.
const clap_plugin_descriptor_t* versionedDescriptor(uint32_t index) {
    if (dpfFactory == nullptr) return nullptr;
    const clap_plugin_descriptor_t* dpf = dpfFactory->get_plugin_descriptor(dpfFactory, index);
    if (dpf == nullptr) return nullptr;
    static const clap_plugin_descriptor_t descriptor = [dpf] {
        clap_plugin_descriptor_t copy = *dpf;
        copy.version = VEXA_VERSION;
        return copy;
    }();
    return &descriptor;
}

const clap_plugin_descriptor_t* CLAP_ABI pluginDescriptor(const clap_plugin_factory_t*, uint32_t index) {
    return versionedDescriptor(index);
}

const clap_plugin_t* CLAP_ABI createPlugin(const clap_plugin_factory_t*, const clap_host_t* host, const char* id) {
    // DPF makes its plug-in for any id; only ours is offered.
    if (dpfFactory == nullptr || host == nullptr || id == nullptr || std::strcmp(id, DISTRHO_PLUGIN_CLAP_ID) != 0) {
        return nullptr;
    }
    const clap_plugin_t* dpf = dpfFactory->create_plugin(dpfFactory, host, id);
    if (dpf == nullptr) return nullptr;
    auto* guarded = new (std::nothrow) GuardedPlugin{*dpf, dpf, dpfadapter::lastMadeEngine()};
    if (guarded == nullptr) {
        dpf->destroy(dpf);
        return nullptr;
    }
    guarded->clap.desc = versionedDescriptor(0);
    guarded->clap.destroy = destroy;
    guarded->clap.activate = activate;
    guarded->clap.process = process;
    guarded->clap.get_extension = getExtension;
    return &guarded->clap;
}

const clap_plugin_factory_t guardedFactory{pluginCount, pluginDescriptor, createPlugin};

// ---------------------------------------------------------------------------------------------
// Preset discovery: the factory presets, inside the plug-in file

#if DISTRHO_PLUGIN_WANT_PROGRAMS
const clap_preset_discovery_provider_descriptor_t providerDescriptor{
    CLAP_VERSION, DISTRHO_PLUGIN_CLAP_ID ".factory-presets", DISTRHO_PLUGIN_NAME " factory presets",
    "Vexa audio team"};

struct PresetProvider {
    clap_preset_discovery_provider_t clap;
    const clap_preset_discovery_indexer_t* indexer;
};

bool CLAP_ABI providerInit(const clap_preset_discovery_provider_t* provider) {
    const auto* indexer = static_cast<const PresetProvider*>(provider->provider_data)->indexer;
    const clap_preset_discovery_location_t location{CLAP_PRESET_DISCOVERY_IS_FACTORY_CONTENT, "Factory presets",
                                                    CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr};
    return indexer->declare_location != nullptr && indexer->declare_location(indexer, &location);
}

void CLAP_ABI providerDestroy(const clap_preset_discovery_provider_t* provider) {
    delete static_cast<const PresetProvider*>(provider->provider_data);
}

bool CLAP_ABI providerMetadata(const clap_preset_discovery_provider_t*, uint32_t kind, const char*,
                               const clap_preset_discovery_metadata_receiver_t* receiver) {
    if (kind != CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN || receiver == nullptr) return false;
    const clap_universal_plugin_id_t plugin{"clap", DISTRHO_PLUGIN_CLAP_ID};
    for (std::size_t i = 0; i < factoryPresets.size(); ++i) {
        char key[8];
        std::snprintf(key, sizeof key, "%zu", i);
        if (!receiver->begin_preset(receiver, factoryPresets[i].name, key)) break;
        receiver->add_plugin_id(receiver, &plugin);
        receiver->set_flags(receiver, CLAP_PRESET_DISCOVERY_IS_FACTORY_CONTENT);
        receiver->set_description(receiver, factoryPresets[i].description);
    }
    return true;
}

const void* CLAP_ABI providerExtension(const clap_preset_discovery_provider_t*, const char*) { return nullptr; }

uint32_t CLAP_ABI providerCount(const clap_preset_discovery_factory_t*) { return 1; }

const clap_preset_discovery_provider_descriptor_t* CLAP_ABI providerDescriptorAt(const clap_preset_discovery_factory_t*,
                                                                                uint32_t index) {
    return index == 0 ? &providerDescriptor : nullptr;
}

const clap_preset_discovery_provider_t* CLAP_ABI createProvider(const clap_preset_discovery_factory_t*,
                                                                const clap_preset_discovery_indexer_t* indexer,
                                                                const char* id) {
    if (indexer == nullptr || id == nullptr || std::strcmp(id, providerDescriptor.id) != 0) return nullptr;
    auto* provider = new (std::nothrow) PresetProvider{};
    if (provider == nullptr) return nullptr;
    provider->clap = {&providerDescriptor, provider, providerInit, providerDestroy, providerMetadata,
                      providerExtension};
    provider->indexer = indexer;
    return &provider->clap;
}

const clap_preset_discovery_factory_t presetDiscovery{providerCount, providerDescriptorAt, createProvider};
#endif

// ---------------------------------------------------------------------------------------------
// The entry

bool CLAP_ABI entryInit(const char* path) {
    if (!dpf_clap_entry.init(path)) return false;
    dpfFactory = static_cast<const clap_plugin_factory_t*>(dpf_clap_entry.get_factory(CLAP_PLUGIN_FACTORY_ID));
    return dpfFactory != nullptr;
}

void CLAP_ABI entryDeinit() {
    dpfFactory = nullptr;
    dpf_clap_entry.deinit();
}

const void* CLAP_ABI entryFactory(const char* id) {
    if (id == nullptr) return nullptr;
    if (std::strcmp(id, CLAP_PLUGIN_FACTORY_ID) == 0) return &guardedFactory;
#if DISTRHO_PLUGIN_WANT_PROGRAMS
    if (std::strcmp(id, CLAP_PRESET_DISCOVERY_FACTORY_ID) == 0 ||
        std::strcmp(id, CLAP_PRESET_DISCOVERY_FACTORY_ID_COMPAT) == 0) {
        return &presetDiscovery;
    }
#endif
    return nullptr;
}

}  // namespace

extern "C" CLAP_EXPORT const clap_plugin_entry_t clap_entry{CLAP_VERSION, entryInit, entryDeinit, entryFactory};
