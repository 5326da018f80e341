// What DPF 1.6 leaves out of VST3's events: each parameter point heard from its own sample, and notes for key tracking.
//
// DPF applies a queue's point at offset 0 before the block and its last other
// point after it, so a change at sample 300 is heard from the next block on.
// The VST3 entry cuts each process call at the points' and note-ons' offsets
// and hands DPF one call per piece, each queue showing only its last point
// inside the piece, at offset 0; a note-on goes to the engine at its cut.
// Only Vst3Entry.cpp includes this file.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <mutex>

#include "FilterEngine.h"
#include "travesty/audio_processor.h"
#include "travesty/events.h"

namespace vexaplugin::vst3changes {

/// Cuts of one call, buses and channels a piece can carry; a call with more buses or
/// channels is passed on whole, and points past the last cut join the piece before them.
constexpr int32_t maxCuts = 64;
constexpr int32_t maxBuses = 2;
constexpr int32_t maxChannels = 8;
/// Queues of one call a piece passes on; a host sends one per parameter that changes.
constexpr int32_t maxQueues = 64;

/// A point's offset held inside the call.
inline int32_t heldOffset(int32_t offset, int32_t frames) { return std::clamp(offset, 0, std::max(frames - 1, 0)); }

/// Calls `each(queue, offset, value)` for every point of every queue in `all`, its offset held inside the call.
template <class Each>
void forEachPoint(v3_param_changes** all, int32_t frames, Each&& each) {
    const int32_t queueCount = all != nullptr ? v3_cpp_obj(all)->get_param_count(all) : 0;
    for (int32_t i = 0; i < queueCount; ++i) {
        v3_param_value_queue** queue = v3_cpp_obj(all)->get_param_data(all, i);
        if (queue == nullptr) continue;
        for (int32_t p = 0, points = v3_cpp_obj(queue)->get_point_count(queue); p < points; ++p) {
            int32_t offset = 0;
            double value = 0.0;
            if (v3_cpp_obj(queue)->get_point(queue, p, &offset, &value) == V3_OK) each(queue, heldOffset(offset, frames), value);
        }
    }
}

/// The changes of one piece [start, end): each queue's last point inside it, at offset 0.
/// Lives on the stack of the call it is made for; allocates nothing.
class PieceChanges {
public:
    PieceChanges(v3_param_changes** all, int32_t frames, int32_t start, int32_t end) : functions(&changesFunctions) {
        forEachPoint(all, frames, [&](v3_param_value_queue** queue, int32_t offset, double value) {
            if (offset < start || offset >= end) return;
            if (count > 0 && queues[count - 1].host == queue) {
                queues[count - 1].value = value;
            } else if (count < maxQueues) {
                queues[count++] = {&queueFunctions, queue, value};
            }
        });
    }
    v3_param_changes** list() { return reinterpret_cast<v3_param_changes**>(this); }

private:
    struct Queue {
        const v3_param_value_queue_cpp* functions;
        v3_param_value_queue** host;
        double value;
    };
    static uint32_t V3_API staticRef(void*) { return 1; }
    static uint32_t V3_API staticUnref(void*) { return 0; }
    static v3_result V3_API noInterface(void*, const v3_tuid, void** object) {
        if (object != nullptr) *object = nullptr;
        return V3_NO_INTERFACE;
    }
    static v3_param_id V3_API id(void* self) {
        v3_param_value_queue** host = static_cast<Queue*>(self)->host;
        return v3_cpp_obj(host)->get_param_id(host);
    }
    static int32_t V3_API pointCount(void*) { return 1; }
    static v3_result V3_API point(void* self, int32_t index, int32_t* offset, double* value) {
        if (index != 0) return V3_INVALID_ARG;
        if (offset != nullptr) *offset = 0;
        if (value != nullptr) *value = static_cast<Queue*>(self)->value;
        return V3_OK;
    }
    static v3_result V3_API addPoint(void*, int32_t, double, int32_t*) { return V3_NOT_IMPLEMENTED; }
    static int32_t V3_API queueCount(void* self) { return static_cast<PieceChanges*>(self)->count; }
    static v3_param_value_queue** V3_API queue(void* self, int32_t index) {
        auto* changes = static_cast<PieceChanges*>(self);
        if (index < 0 || index >= changes->count) return nullptr;
        return reinterpret_cast<v3_param_value_queue**>(&changes->queues[index]);
    }
    static v3_param_value_queue** V3_API addQueue(void*, v3_param_id*, int32_t*) { return nullptr; }

    static constexpr v3_param_value_queue_cpp queueFunctions{{noInterface, staticRef, staticUnref},
                                                             {id, pointCount, point, addPoint}};
    static constexpr v3_param_changes_cpp changesFunctions{{noInterface, staticRef, staticUnref},
                                                           {queueCount, queue, addQueue}};

    const v3_param_changes_cpp* functions;  // first: the interface points at it
    int32_t count = 0;
    Queue queues[maxQueues];
};

/// Which engine each of DPF's objects (component, processor) plays through, linked on the
/// main thread when DPF makes them and read on the audio thread without a lock.
class EngineLinks {
public:
    void link(const void* object, const void* to) {
        const std::lock_guard<std::mutex> lock(writing);
        Link* free = nullptr;
        for (Link& l : links) {
            if (l.object.load(std::memory_order_relaxed) == object) free = &l;
            if (free == nullptr && l.object.load(std::memory_order_relaxed) == nullptr) free = &l;
        }
        if (free == nullptr) return;
        free->to.store(to, std::memory_order_relaxed);
        free->object.store(object, std::memory_order_release);
    }
    void unlink(const void* object) {
        const std::lock_guard<std::mutex> lock(writing);
        for (Link& l : links) {
            if (l.object.load(std::memory_order_relaxed) == object) l.object.store(nullptr, std::memory_order_release);
        }
    }
    const void* linked(const void* object) const {
        for (const Link& l : links) {
            if (object != nullptr && l.object.load(std::memory_order_acquire) == object) return l.to.load(std::memory_order_relaxed);
        }
        return nullptr;
    }

private:
    /// Instances of one library playing at once, each with its component and processor.
    static constexpr int maxLinks = 256;
    struct Link {
        std::atomic<const void*> object{nullptr};
        std::atomic<const void*> to{nullptr};
    };
    Link links[maxLinks];
    std::mutex writing;
};

/// The note-ons of `data` from sample `from` to before `to` (offsets held inside the call) to `engine`.
inline void playNotes(const v3_process_data& data, int32_t from, int32_t to, FilterEngine* engine) {
    v3_event_list** list = data.input_events;
    if (engine == nullptr || list == nullptr) return;
    for (uint32_t i = 0, count = v3_cpp_obj(list)->get_event_count(list); i < count; ++i) {
        v3_event event{};
        if (v3_cpp_obj(list)->get_event(list, static_cast<int32_t>(i), &event) != V3_OK) continue;
        const int32_t at = heldOffset(event.sample_offset, data.nframes);
        if (event.type != V3_EVENT_NOTE_ON || at < from || at >= to) continue;
        if (event.note_on.pitch >= 0 && event.note_on.pitch <= 127 && event.note_on.velocity > 0.0f) {
            engine->noteOn(static_cast<uint8_t>(event.note_on.pitch));
        }
    }
}

/// Puts `offset` among the sorted `cuts` unless it is there or there is no room.
inline void addCut(int32_t offset, int32_t (&cuts)[maxCuts], int32_t& count) {
    int32_t* end = cuts + count;
    int32_t* at = std::lower_bound(cuts, end, offset);
    if ((at != end && *at == offset) || count == maxCuts) return;
    std::copy_backward(at, end, end + 1);
    *at = offset;
    ++count;
}

/// Where `data` is cut: 0, then each later offset of a point or a note-on, in order (at most maxCuts).
inline int32_t cutsOf(const v3_process_data& data, int32_t (&cuts)[maxCuts]) {
    int32_t count = 1;
    cuts[0] = 0;
    if (v3_event_list** list = data.input_events) {
        for (uint32_t i = 0, events = v3_cpp_obj(list)->get_event_count(list); i < events; ++i) {
            v3_event event{};
            if (v3_cpp_obj(list)->get_event(list, static_cast<int32_t>(i), &event) != V3_OK) continue;
            if (event.type == V3_EVENT_NOTE_ON) addCut(heldOffset(event.sample_offset, data.nframes), cuts, count);
        }
    }
    forEachPoint(data.input_params, data.nframes,
                 [&](v3_param_value_queue**, int32_t offset, double) { addCut(offset, cuts, count); });
    return count;
}

/// One process call cut where its parameter points and note-ons are; `run` gets each piece as
/// a call of its own, after its note-ons went to `engine` (which may be null). Allocates
/// nothing: the pieces' buffer lists live on this stack.
template <class Run>
v3_result runInPieces(const v3_process_data& data, FilterEngine* engine, Run&& run) {
    bool fits = data.nframes > 0 && data.num_input_buses <= maxBuses && data.num_output_buses <= maxBuses &&
                data.symbolic_sample_size == V3_SAMPLE_32;
    for (int32_t b = 0; fits && data.inputs != nullptr && b < data.num_input_buses; ++b) {
        fits = data.inputs[b].num_channels <= maxChannels;
    }
    for (int32_t b = 0; fits && data.outputs != nullptr && b < data.num_output_buses; ++b) {
        fits = data.outputs[b].num_channels <= maxChannels;
    }
    if (!fits) {
        playNotes(data, 0, std::max(data.nframes, 1), engine);
        v3_process_data whole = data;
        return run(whole);
    }
    int32_t cuts[maxCuts];
    const int32_t cutCount = cutsOf(data, cuts);

    float* inputChannels[maxBuses][maxChannels];
    float* outputChannels[maxBuses][maxChannels];
    v3_audio_bus_buffers inputs[maxBuses];
    v3_audio_bus_buffers outputs[maxBuses];
    const auto moved = [](const v3_audio_bus_buffers* from, int32_t buses, v3_audio_bus_buffers* to,
                          float* (*channels)[maxChannels], int32_t offset) {
        for (int32_t b = 0; b < buses; ++b) {
            to[b] = from[b];
            if (from[b].channel_buffers_32 == nullptr) continue;
            to[b].channel_buffers_32 = channels[b];
            for (int32_t c = 0; c < from[b].num_channels; ++c) {
                channels[b][c] = from[b].channel_buffers_32[c] != nullptr ? from[b].channel_buffers_32[c] + offset : nullptr;
            }
        }
    };
    v3_result result = V3_OK;
    for (int32_t i = 0; i < cutCount && result == V3_OK; ++i) {
        const int32_t start = cuts[i];
        const int32_t end = i + 1 < cutCount ? cuts[i + 1] : data.nframes;
        playNotes(data, start, end, engine);
        PieceChanges changes(data.input_params, data.nframes, start, end);
        v3_process_data piece = data;
        piece.nframes = end - start;
        piece.input_params = changes.list();
        if (data.inputs != nullptr) {
            moved(data.inputs, data.num_input_buses, inputs, inputChannels, start);
            piece.inputs = inputs;
        }
        if (data.outputs != nullptr) {
            moved(data.outputs, data.num_output_buses, outputs, outputChannels, start);
            piece.outputs = outputs;
        }
        result = run(piece);
    }
    return result;
}

}  // namespace vexaplugin::vst3changes
