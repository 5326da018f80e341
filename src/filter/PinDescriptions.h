// The module's pin descriptions, one row per pin: name, direction, data type, default and list text, as its host reads them.
#pragma once

#include <array>

#include "dsp/PoleConfigs.h"
#include "filter/PinLayout.h"
#include "host/ModuleInterface.h"

namespace vexa {

struct PinDescription {
    const char* name;
    int32_t direction;
    int32_t dataType;
    const char* defaultText;
    const char* extraText;
};

inline constexpr std::array<PinDescription, filterPinCount> pinDescriptions = {{
    {"Signal", PinDirectionIn, PinDataTypeAudio, "0", nullptr},
    {"Pitch", PinDirectionIn, PinDataTypeAudio, "5", nullptr},
    {"Resonance", PinDirectionIn, PinDataTypeAudio, "5", nullptr},
    {"Zing", PinDirectionIn, PinDataTypeAudio, "10", "5,15,5,15"},
    {"Poles", PinDirectionIn, PinDataTypeList, "5", polesListText.data()},
    {"Type", PinDirectionIn, PinDataTypeList, "0", "LP=0, HP=1"},
    {"Output", PinDirectionOut, PinDataTypeAudio, nullptr, nullptr},
}};

}  // namespace vexa
