// The fuzzer's bytes read as numbers, zeros past the end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vexafuzz {

/// Reads the fuzzer's bytes as numbers; past the end every read gives zeros.
class FuzzInput {
public:
    FuzzInput(const uint8_t* bytes, std::size_t length) : data(bytes), size(length) {}

    bool empty() const { return position >= size; }

    uint8_t byte() { return position < size ? data[position++] : 0; }

    uint32_t word() {
        uint32_t value = 0;
        for (int i = 0; i < 4; ++i) value = (value << 8) | byte();
        return value;
    }

    float floatBits() {
        const uint32_t bits = word();
        float value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }

private:
    const uint8_t* data;
    std::size_t size;
    std::size_t position = 0;
};

}  // namespace vexafuzz
