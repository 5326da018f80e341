// A host callback that answers and records, for the in-process unit tests.
#pragma once

#include <cstdint>
#include <vector>

#include "host/ModuleInterface.h"

namespace vexatest {

/// A host callback that answers from fixed values and records every call.
struct FakeHost {
    struct Call {
        int32_t opcode;
        intptr_t a, b, c, d;
    };

    intptr_t pinCount = 0;
    intptr_t sampleClock = 0;
    std::vector<std::vector<float>> buffers;  ///< answers GetPinBuffer by index
    std::vector<Call> calls;

    int32_t count(int32_t opcode) const {
        int32_t n = 0;
        for (const Call& call : calls) n += call.opcode == opcode ? 1 : 0;
        return n;
    }

    static intptr_t VEXA_CALL callback(HostModuleRecord* record, int32_t opcode, intptr_t a, intptr_t b, intptr_t c,
                                       intptr_t d) {
        auto* host = static_cast<FakeHost*>(record->hostHandle);
        host->calls.push_back({opcode, a, b, c, d});
        switch (opcode) {
        case HostOpcodeGetPinCount: return host->pinCount;
        case HostOpcodeGetSampleClock: return host->sampleClock;
        case HostOpcodeGetPinBuffer:
            if (a < 0 || static_cast<std::size_t>(a) >= host->buffers.size()) return 0;
            return reinterpret_cast<intptr_t>(host->buffers[static_cast<std::size_t>(a)].data());
        default: return 0;
        }
    }
};

}  // namespace vexatest
