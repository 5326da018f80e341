// What DPF 1.6 leaves out of CLAP's events: each change at its sample, parameter modulation, and notes for key tracking.
//
// DPF applies every parameter value of a process call before the call's first
// sample and drops CLAP_EVENT_PARAM_MOD. So the CLAP entry cuts each process
// call at its events' times and hands DPF one call per piece, with that
// piece's parameter values; modulation and notes go straight to the engine
// at the same cut. Only ClapEntry.cpp includes this file.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "FilterEngine.h"
#include "PluginParameters.h"
#include "clap/events.h"
#include "clap/ext/note-ports.h"
#include "clap/process.h"

namespace vexaplugin::clapevents {

/// Buses and channels a piece of a call can carry; a call with more is passed on whole.
constexpr uint32_t maxBuses = 2;
constexpr uint32_t maxChannels = 8;

inline bool isCoreEvent(const clap_event_header_t* header, uint16_t type, std::size_t size) {
    return header != nullptr && header->space_id == CLAP_CORE_EVENT_SPACE_ID && header->type == type &&
           header->size >= size;
}

/// Modulation of a modulatable parameter, or a note-on (CLAP or MIDI dialect): applied to
/// `engine` now. True for the events handled here, which DPF must not see.
inline bool applyToEngine(FilterEngine& engine, const clap_event_header_t* header) {
    if (isCoreEvent(header, CLAP_EVENT_PARAM_MOD, sizeof(clap_event_param_mod_t))) {
        const auto* event = reinterpret_cast<const clap_event_param_mod_t*>(header);
        if (event->param_id < parameterCount && infoAt(event->param_id).modulatable) {
            engine.setModulation(controlOf(parameterIds[event->param_id]), static_cast<float>(event->amount));
        }
        return true;
    }
#if !VEXA_PLUGIN_CONTROLS_AS_CV
    if (isCoreEvent(header, CLAP_EVENT_NOTE_ON, sizeof(clap_event_note_t))) {
        const auto* event = reinterpret_cast<const clap_event_note_t*>(header);
        if (event->key >= 0 && event->key <= 127) engine.noteOn(static_cast<uint8_t>(event->key));
        return true;
    }
    if (isCoreEvent(header, CLAP_EVENT_MIDI, sizeof(clap_event_midi_t))) {
        const auto* event = reinterpret_cast<const clap_event_midi_t*>(header);
        constexpr uint8_t noteOnStatus = 0x90;
        if ((event->data[0] & 0xF0) == noteOnStatus && event->data[2] != 0 && event->data[1] <= 127) {
            engine.noteOn(event->data[1]);
        }
        return true;
    }
#endif
    return false;
}

/// A host's events seen from a later point of the call: the entries from `first` on, up to `end`.
struct EventRange {
    const clap_input_events_t* events;
    uint32_t first;
    uint32_t end;
};

/// The time of event `index`, held inside the call and never before `earliest`
/// (a host that sends them out of order has each heard at the latest cut so far).
inline uint32_t timeOf(const clap_input_events_t* events, uint32_t index, uint32_t earliest, uint32_t frames) {
    const clap_event_header_t* header = events->get(events, index);
    const uint32_t time = header != nullptr ? header->time : earliest;
    return std::clamp(time, earliest, frames > 0 ? frames - 1 : 0);
}

/// One process call cut at its events' times. `run` gets each piece as a process call of
/// its own, with its events (`range`) and buffers moved to the piece's first sample.
/// Allocates nothing: the pieces' buffer lists live on this stack.
template <class Run>
clap_process_status runInPieces(const clap_process_t& call, const clap_input_events_t* events, FilterEngine* engine,
                                Run&& run) {
    const uint32_t count = events != nullptr ? events->size(events) : 0;
    const bool splittable = engine != nullptr && call.audio_inputs_count <= maxBuses &&
                            call.audio_outputs_count <= maxBuses;
    float* inputChannels[maxBuses][maxChannels];
    float* outputChannels[maxBuses][maxChannels];
    clap_audio_buffer_t inputs[maxBuses];
    clap_audio_buffer_t outputs[maxBuses];
    const auto movedBuses = [](const clap_audio_buffer_t* from, uint32_t buses, clap_audio_buffer_t* to,
                               float* (*channels)[maxChannels], uint32_t offset) {
        for (uint32_t b = 0; b < buses; ++b) {
            to[b] = from[b];
            if (from[b].data32 == nullptr) continue;
            to[b].data32 = channels[b];
            for (uint32_t c = 0; c < std::min(from[b].channel_count, maxChannels); ++c) {
                channels[b][c] = from[b].data32[c] != nullptr ? from[b].data32[c] + offset : nullptr;
            }
        }
    };
    bool channelsFit = true;
    for (uint32_t b = 0; splittable && b < call.audio_inputs_count; ++b) {
        channelsFit = channelsFit && call.audio_inputs[b].channel_count <= maxChannels;
    }
    for (uint32_t b = 0; splittable && b < call.audio_outputs_count; ++b) {
        channelsFit = channelsFit && call.audio_outputs[b].channel_count <= maxChannels;
    }
    if (!splittable || !channelsFit || call.frames_count == 0 || count == 0) {
        for (uint32_t i = 0; engine != nullptr && i < count; ++i) applyToEngine(*engine, events->get(events, i));
        return run(call, EventRange{events, 0, count});
    }

    clap_process_status status = CLAP_PROCESS_CONTINUE;
    uint32_t start = 0;
    uint32_t next = 0;
    while (start < call.frames_count) {
        uint32_t first = next;
        while (next < count && timeOf(events, next, start, call.frames_count) == start) {
            applyToEngine(*engine, events->get(events, next));
            ++next;
        }
        const uint32_t end = next < count ? timeOf(events, next, start, call.frames_count) : call.frames_count;
        clap_process_t piece = call;
        piece.frames_count = end - start;
        if (piece.steady_time >= 0) piece.steady_time += start;
        if (call.audio_inputs != nullptr) {
            movedBuses(call.audio_inputs, call.audio_inputs_count, inputs, inputChannels, start);
            piece.audio_inputs = inputs;
        }
        if (call.audio_outputs != nullptr) {
            movedBuses(call.audio_outputs, call.audio_outputs_count, outputs, outputChannels, start);
            piece.audio_outputs = outputs;
        }
        status = run(piece, EventRange{events, first, next});
        if (status == CLAP_PROCESS_ERROR) return status;
        start = end;
    }
    return status;
}

/// One note input taking both dialects: note-on events set the key that Pitch tracks.
inline uint32_t CLAP_ABI notePortCount(const clap_plugin_t*, bool isInput) { return isInput ? 1 : 0; }

inline bool CLAP_ABI notePortInfo(const clap_plugin_t*, uint32_t index, bool isInput, clap_note_port_info_t* info) {
    if (!isInput || index != 0 || info == nullptr) return false;
    *info = {};
    info->id = 0;
    info->supported_dialects = CLAP_NOTE_DIALECT_CLAP | CLAP_NOTE_DIALECT_MIDI;
    info->preferred_dialect = CLAP_NOTE_DIALECT_CLAP;
    std::snprintf(info->name, sizeof info->name, "%s", "Key track");
    return true;
}

inline const clap_plugin_note_ports_t notePorts{notePortCount, notePortInfo};

}  // namespace vexaplugin::clapevents
