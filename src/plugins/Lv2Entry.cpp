// LV2 entry point around DPF's: gives the plug-in an options list and a URID map when the host offers none, and an empty note input while none is connected.
//
// DPF refuses to instantiate without the host's options and URID map, and
// simple hosts (lv2apply, lv2proc) offer neither. The filter needs nothing from
// them but the largest block, so this entry supplies both when they are missing
// and the description lists them as optional. DPF reads its note input in every
// run without looking whether a host connected it; until one does, it reads an
// empty sequence of ours. DPF's own entry is compiled under another name
// (DpfAdapter.h).
#include "DpfAdapter.h"

#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/core/lv2.h>
#include <lv2/options/options.h>
#include <lv2/urid/urid.h>

#include <cstring>
#include <mutex>

#include "DistrhoPluginInfo.h"
#include <string>
#include <vector>

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

const LV2_Descriptor* inner = nullptr;
LV2_Descriptor outer{};

#if DISTRHO_PLUGIN_WANT_MIDI_INPUT
/// DPF numbers its note input right after the audio ports.
constexpr uint32_t notePort = DISTRHO_PLUGIN_NUM_INPUTS + DISTRHO_PLUGIN_NUM_OUTPUTS;
/// No events: DPF only reads it, so every instance shares it.
const LV2_Atom_Sequence noNotes{{sizeof(LV2_Atom_Sequence_Body), 0}, {0, 0}};

void connectPort(LV2_Handle handle, uint32_t port, void* data) {
    if (port == notePort && data == nullptr) data = const_cast<LV2_Atom_Sequence*>(&noNotes);
    inner->connect_port(handle, port, data);
}
#endif

/// DPF's instance, its note input connected to ours until the host connects one.
LV2_Handle prepared(LV2_Handle handle) {
#if DISTRHO_PLUGIN_WANT_MIDI_INPUT
    if (handle != nullptr) connectPort(handle, notePort, nullptr);
#endif
    return handle;
}

LV2_Handle instantiate(const LV2_Descriptor*, double sampleRate, const char* bundlePath,
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
#if DISTRHO_PLUGIN_WANT_MIDI_INPUT
        outer.connect_port = connectPort;
#endif
    }
    return &outer;
}
