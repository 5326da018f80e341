// LV2 entry point around DPF's: gives the plug-in an options list and a URID map when the host offers none, and an empty note input while none is connected.
//
// DPF refuses to instantiate without the host's options and URID map, and
// simple hosts (lv2apply, lv2proc) offer neither. The filter needs nothing from
// them but the largest block, so this entry supplies both when they are missing
// and the description lists them as optional. DPF reads its note input in every
// run without looking whether a host connected it; until one does, it reads an
// empty sequence of ours. It also keeps the plug-in's latency output port (the
// last port, which FinishBundles.cmake adds to the description): DPF's own would
// come before the parameters and move their indices. DPF's own entry is compiled
// under another name (DpfAdapter.h).
#include "DpfAdapter.h"

#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/core/lv2.h>
#include <lv2/options/options.h>
#include <lv2/urid/urid.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <mutex>

#include "DistrhoPluginInfo.h"
#include <string>
#include <vector>

#include "PluginParameters.h"
#include "resampler/CoreRate.h"

namespace {

/// Largest block assumed when the host states none, in frames; longer ones are run in pieces.
constexpr int32_t fallbackMaxBlockLength = 8192;

/// A process-wide URID map for hosts without one: the plug-in keeps its pointer for its lifetime.
class FallbackUridMap {
public:
    FallbackUridMap() : feature{LV2_URID__map, &map} { map = {this, &FallbackUridMap::mapUri}; }
    const LV2_Feature* asFeature() const { return &feature; }
    LV2_URID_Map* asMap() { return &map; }

private:
    static LV2_URID mapUri(LV2_URID_Map_Handle handle, const char* uri) {
        auto* self = static_cast<FallbackUridMap*>(handle);
        const std::lock_guard<std::mutex> lock(self->guard);
        for (std::size_t i = 0; i < self->uris.size(); ++i) {
            if (self->uris[i] == uri) return static_cast<LV2_URID>(i + 1);
        }
        self->uris.emplace_back(uri);
        return static_cast<LV2_URID>(self->uris.size());
    }

    std::mutex guard;
    std::vector<std::string> uris;
    LV2_URID_Map map{};
    LV2_Feature feature;
};

FallbackUridMap& fallbackMap() {
    static FallbackUridMap instance;
    return instance;
}

/// The latency port's index: after every port of DPF's (audio, then parameters; the
/// event ports DPF adds with MIDI, time position or state come before the parameters).
#if DISTRHO_PLUGIN_WANT_MIDI_INPUT || DISTRHO_PLUGIN_WANT_TIMEPOS || DISTRHO_PLUGIN_WANT_STATE
constexpr uint32_t dpfEventInputs = 1;
#else
constexpr uint32_t dpfEventInputs = 0;
#endif
#if DISTRHO_PLUGIN_WANT_MIDI_OUTPUT || DISTRHO_PLUGIN_WANT_STATE
constexpr uint32_t dpfEventOutputs = 1;
#else
constexpr uint32_t dpfEventOutputs = 0;
#endif
constexpr uint32_t latencyPort = DISTRHO_PLUGIN_NUM_INPUTS + DISTRHO_PLUGIN_NUM_OUTPUTS + dpfEventInputs +
                                 dpfEventOutputs + vexaplugin::parameterCount;

/// Each instance's latency and latency port, found by DPF's handle without a lock
/// (connect_port and run are real-time calls): open addressing over a fixed table.
class LatencyPorts {
public:
    /// Called at instantiation; an instance past the table's size reports no latency.
    void add(LV2_Handle handle, float latency) {
        for (std::size_t i = 0, at = start(handle); i < slots.size(); ++i, at = (at + 1) % slots.size()) {
            LV2_Handle empty = nullptr;
            if (slots[at].handle.compare_exchange_strong(empty, handle)) {
                slots[at].latency = latency;
                slots[at].port.store(nullptr);
                return;
            }
        }
    }
    void remove(LV2_Handle handle) {
        if (Slot* slot = find(handle)) slot->handle.store(nullptr);
    }
    void connect(LV2_Handle handle, float* port) {
        if (Slot* slot = find(handle)) slot->port.store(port, std::memory_order_relaxed);
    }
    void write(LV2_Handle handle) {
        Slot* slot = find(handle);
        if (slot == nullptr) return;
        if (float* port = slot->port.load(std::memory_order_relaxed)) *port = slot->latency;
    }

private:
    struct Slot {
        std::atomic<LV2_Handle> handle{nullptr};
        float latency = 0.0f;
        std::atomic<float*> port{nullptr};
    };
    std::size_t start(LV2_Handle handle) const { return (reinterpret_cast<std::uintptr_t>(handle) >> 4) % slots.size(); }
    Slot* find(LV2_Handle handle) {
        for (std::size_t i = 0, at = start(handle); i < slots.size(); ++i, at = (at + 1) % slots.size()) {
            if (slots[at].handle.load() == handle) return &slots[at];
        }
        return nullptr;
    }
    std::array<Slot, 1024> slots;
};

LatencyPorts latencyPorts;

const LV2_Descriptor* inner = nullptr;
LV2_Descriptor outer{};

#if DISTRHO_PLUGIN_WANT_MIDI_INPUT
/// DPF numbers its note input right after the audio ports.
constexpr uint32_t notePort = DISTRHO_PLUGIN_NUM_INPUTS + DISTRHO_PLUGIN_NUM_OUTPUTS;
/// No events: DPF only reads it, so every instance shares it.
const LV2_Atom_Sequence noNotes{{sizeof(LV2_Atom_Sequence_Body), 0}, {0, 0}};
#endif

void connectPort(LV2_Handle handle, uint32_t port, void* data) {
    if (port == latencyPort) {
        latencyPorts.connect(handle, static_cast<float*>(data));
        return;
    }
#if DISTRHO_PLUGIN_WANT_MIDI_INPUT
    if (port == notePort && data == nullptr) data = const_cast<LV2_Atom_Sequence*>(&noNotes);
#endif
    inner->connect_port(handle, port, data);
}

/// DPF's instance, its note input connected to ours until the host connects one.
LV2_Handle prepared(LV2_Handle handle) {
#if DISTRHO_PLUGIN_WANT_MIDI_INPUT
    if (handle != nullptr) connectPort(handle, notePort, nullptr);
#endif
    return handle;
}

LV2_Handle instantiateDpf(const LV2_Descriptor*, double sampleRate, const char* bundlePath,
                          const LV2_Feature* const* hostFeatures);

LV2_Handle instantiate(const LV2_Descriptor* descriptor, double sampleRate, const char* bundlePath,
                       const LV2_Feature* const* hostFeatures) {
    LV2_Handle handle = instantiateDpf(descriptor, sampleRate, bundlePath, hostFeatures);
    if (handle != nullptr) {
        using namespace vexaplugin::resampler;
        latencyPorts.add(handle, static_cast<float>(latencyFor(factorFor(sampleRate))));
    }
    return handle;
}

void run(LV2_Handle handle, uint32_t frames) {
    inner->run(handle, frames);
    latencyPorts.write(handle);
}

void cleanup(LV2_Handle handle) {
    latencyPorts.remove(handle);
    inner->cleanup(handle);
}

LV2_Handle instantiateDpf(const LV2_Descriptor*, double sampleRate, const char* bundlePath,
                          const LV2_Feature* const* hostFeatures) {
    const LV2_Feature* const noFeatures[] = {nullptr};
    if (hostFeatures == nullptr) hostFeatures = noFeatures;
    const LV2_Options_Option* hostOptions = nullptr;
    LV2_URID_Map* hostMap = nullptr;
    std::vector<const LV2_Feature*> features;
    for (const LV2_Feature* const* f = hostFeatures; *f != nullptr; ++f) {
        if (std::strcmp((*f)->URI, LV2_OPTIONS__options) == 0) {
            hostOptions = static_cast<const LV2_Options_Option*>((*f)->data);
        } else if (std::strcmp((*f)->URI, LV2_URID__map) == 0) {
            hostMap = static_cast<LV2_URID_Map*>((*f)->data);
        }
        features.push_back(*f);
    }
    if (hostOptions != nullptr && hostMap != nullptr) {
        return prepared(inner->instantiate(inner, sampleRate, bundlePath, hostFeatures));
    }

    LV2_URID_Map* map = hostMap;
    if (map == nullptr) {
        map = fallbackMap().asMap();
        features.push_back(fallbackMap().asFeature());
    }
    // Read once, during instantiation.
    const int32_t blockLength = fallbackMaxBlockLength;
    const LV2_Options_Option options[] = {
        {LV2_OPTIONS_INSTANCE, 0, map->map(map->handle, LV2_BUF_SIZE__maxBlockLength), sizeof blockLength,
         map->map(map->handle, LV2_ATOM__Int), &blockLength},
        {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr},
    };
    const LV2_Feature optionsFeature{LV2_OPTIONS__options, const_cast<LV2_Options_Option*>(options)};
    if (hostOptions == nullptr) features.push_back(&optionsFeature);
    features.push_back(nullptr);
    return prepared(inner->instantiate(inner, sampleRate, bundlePath, features.data()));
}

}  // namespace

extern "C" LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
    if (index != 0) return nullptr;
    if (inner == nullptr) {
        inner = dpf_lv2_descriptor(0);
        if (inner == nullptr) return nullptr;
        outer = *inner;
        outer.instantiate = instantiate;
        outer.connect_port = connectPort;
        outer.run = run;
        outer.cleanup = cleanup;
    }
    return &outer;
}
