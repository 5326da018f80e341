// The filter's pins in the order it describes them: the index a host uses for each.
#pragma once

#include <cstdint>

namespace vexa {

/// Pin indices of the ladder filter. A host binds its buffers and list values by
/// these numbers, so they are part of the module's interface.
enum FilterPin : int32_t {
    signalPin,     ///< Signal, audio in (1.0 = 10 V)
    pitchPin,      ///< Pitch, audio in, 1 V/octave
    resonancePin,  ///< Resonance, audio in, 0 to 1 (0 to 10 V)
    zingPin,       ///< Zing, audio in, read once per block
    polesPin,      ///< Poles, list in: the pole configuration, a row of the table
    typePin,       ///< Type, list in: 0 low-pass, anything else high-pass
    outputPin,     ///< Output, audio out
    filterPinCount
};

}  // namespace vexa
