// A host's state streams over memory, CLAP and VST3, taking and giving a few bytes at a time as some hosts do: for the plug-in host tests and fuzzers.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "clap/ext/state.h"
#include "travesty/bstream.h"

namespace hoststreams {

/// Bytes per read or write: a state crosses several calls.
constexpr std::size_t chunkBytes = 7;

/// The CLAP plug-in's state as a host saves it; false when the plug-in says it failed.
inline bool saveClapState(const clap_plugin_t* plugin, const clap_plugin_state_t* state, std::string& bytes) {
    bytes.clear();
    const clap_ostream_t stream{&bytes, [](const clap_ostream_t* s, const void* data, uint64_t size) -> int64_t {
                                    const uint64_t taken = std::min<uint64_t>(size, chunkBytes);
                                    static_cast<std::string*>(s->ctx)->append(static_cast<const char*>(data), taken);
                                    return static_cast<int64_t>(taken);
                                }};
    return state->save(plugin, &stream);
}

inline bool loadClapState(const clap_plugin_t* plugin, const clap_plugin_state_t* state, const std::string& bytes) {
    std::string_view rest = bytes;
    const clap_istream_t stream{&rest, [](const clap_istream_t* s, void* data, uint64_t size) -> int64_t {
                                    auto* left = static_cast<std::string_view*>(s->ctx);
                                    const std::size_t count = std::min<std::size_t>({size, left->size(), chunkBytes});
                                    std::memcpy(data, left->data(), count);
                                    left->remove_prefix(count);
                                    return static_cast<int64_t>(count);
                                }};
    return state->load(plugin, &stream);
}

/// A VST3 stream: reads `bytes` from the start, appends what is written. `functions` first.
struct Vst3Stream {
    struct Functions : v3_funknown {
        v3_bstream stream;
    };
    const Functions* functions = &table;
    std::string bytes;
    std::size_t position = 0;

    v3_bstream** stream() { return reinterpret_cast<v3_bstream**>(this); }

    static Vst3Stream& of(void* self) { return *static_cast<Vst3Stream*>(self); }
    static v3_result V3_API read(void* self, void* buffer, int32_t size, int32_t* done) {
        Vst3Stream& s = of(self);
        const std::size_t count = std::min<std::size_t>({static_cast<std::size_t>(std::max(size, 0)), chunkBytes,
                                                         s.bytes.size() - s.position});
        std::memcpy(buffer, s.bytes.data() + s.position, count);
        s.position += count;
        if (done != nullptr) *done = static_cast<int32_t>(count);
        return V3_OK;
    }
    static v3_result V3_API write(void* self, void* buffer, int32_t size, int32_t* done) {
        const auto count = std::min<std::size_t>(static_cast<std::size_t>(std::max(size, 0)), chunkBytes);
        of(self).bytes.append(static_cast<const char*>(buffer), count);
        if (done != nullptr) *done = static_cast<int32_t>(count);
        return V3_OK;
    }
    static v3_result V3_API seek(void*, int64_t, int32_t, int64_t*) { return V3_NOT_IMPLEMENTED; }
    static v3_result V3_API tell(void* self, int64_t* position) {
        *position = static_cast<int64_t>(of(self).position);
        return V3_OK;
    }
    static v3_result V3_API noInterface(void*, const v3_tuid, void** object) {
        *object = nullptr;
        return V3_NO_INTERFACE;
    }
    static uint32_t V3_API staticRef(void*) { return 1; }
    static const Functions table;
};

inline const Vst3Stream::Functions Vst3Stream::table{{noInterface, staticRef, staticRef}, {read, write, seek, tell}};

}  // namespace hoststreams
