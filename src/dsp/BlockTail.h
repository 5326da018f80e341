// What runs after every processed block: the overload envelope and the runaway guard.
#pragma once

#include <cstdint>

namespace vexa {

struct LadderState;

/// Overload envelope and the protection against runaway state, run after every
/// processed block. `output` points at the block's first sample.
void finishBlock(LadderState& state, float* output, int32_t count);

/// Gain the overload envelope applies at a counter value (1 to 128).
float overloadFactor(int32_t counter);

}  // namespace vexa
