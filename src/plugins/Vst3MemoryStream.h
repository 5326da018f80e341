// A VST3 stream over bytes in memory: the states the VST3 entry amends, and those a test host saves and loads.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

#include "travesty/bstream.h"

namespace vexaplugin {

/// Reads from and appends to `bytes`. `functions` comes first: a v3_bstream** is a
/// pointer to it. Not reference counted: it lives as long as the call it is made for.
struct Vst3MemoryStream {
    struct Functions : v3_funknown {
        v3_bstream stream;
    };
    static const Functions table;

    const Functions* functions = &table;
    std::string bytes;
    std::size_t position = 0;

    explicit Vst3MemoryStream(std::string contents = {}) : bytes(std::move(contents)) {}
    v3_bstream** stream() { return reinterpret_cast<v3_bstream**>(this); }

private:
    static Vst3MemoryStream& of(void* self) { return *static_cast<Vst3MemoryStream*>(self); }
    static v3_result V3_API noInterface(void*, const v3_tuid, void** object) {
        if (object != nullptr) *object = nullptr;
        return V3_NO_INTERFACE;
    }
    static uint32_t V3_API one(void*) { return 1; }
    static v3_result V3_API read(void* self, void* buffer, int32_t size, int32_t* done) {
        Vst3MemoryStream& s = of(self);
        if (buffer == nullptr || size < 0) return V3_INVALID_ARG;
        const std::size_t count = std::min<std::size_t>(static_cast<std::size_t>(size), s.bytes.size() - s.position);
        std::memcpy(buffer, s.bytes.data() + s.position, count);
        s.position += count;
        if (done != nullptr) *done = static_cast<int32_t>(count);
        return V3_OK;
    }
    static v3_result V3_API write(void* self, void* buffer, int32_t size, int32_t* done) {
        if (buffer == nullptr || size < 0) return V3_INVALID_ARG;
        of(self).bytes.append(static_cast<const char*>(buffer), static_cast<std::size_t>(size));
        if (done != nullptr) *done = size;
        return V3_OK;
    }
    static v3_result V3_API seek(void* self, int64_t to, int32_t mode, int64_t* result) {
        Vst3MemoryStream& s = of(self);
        const auto size = static_cast<int64_t>(s.bytes.size());
        const int64_t base = mode == V3_SEEK_CUR ? static_cast<int64_t>(s.position) : mode == V3_SEEK_END ? size : 0;
        if (base + to < 0 || base + to > size) return V3_INVALID_ARG;
        s.position = static_cast<std::size_t>(base + to);
        if (result != nullptr) *result = base + to;
        return V3_OK;
    }
    static v3_result V3_API tell(void* self, int64_t* at) {
        if (at == nullptr) return V3_INVALID_ARG;
        *at = static_cast<int64_t>(of(self).position);
        return V3_OK;
    }
};

inline const Vst3MemoryStream::Functions Vst3MemoryStream::table{{noInterface, one, one}, {read, write, seek, tell}};

}  // namespace vexaplugin
