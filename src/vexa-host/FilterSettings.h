// How the filter is set up for a render or a measurement: the module, its pins, the rate and the blocks.
#pragma once

#include <cstdint>
#include <string>

namespace vexahost {

/// The module and its settings as the user wrote them. Empty pin texts mean
/// the pin's own default.
struct FilterSettings {
    std::string modulePath;
    std::string poles;  ///< a label ("4:4f") or its value
    std::string type;   ///< "LP", "HP" or their values
    std::string pitch;  ///< volts: a constant, a ramp "2..9" or a control file (render)
    std::string resonance;
    std::string zing;
    int sampleRate = 48000;  ///< Hz
    int32_t blockSize = 64;  ///< samples per module block
};

}  // namespace vexahost
