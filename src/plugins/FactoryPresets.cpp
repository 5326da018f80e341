// A factory preset's row read as the parameter values loading it sets.
#include "FactoryPresets.h"

namespace vexaplugin {

std::array<PresetValue, presetValueCount> presetValues(const FactoryPreset& preset) {
    return {{
        {ParameterId::pitch, preset.pitchVolts},
        {ParameterId::resonance, preset.resonanceVolts},
        {ParameterId::zing, preset.zingVolts},
        {ParameterId::keyTrack, preset.keyTrackPercent},
        {ParameterId::drive, preset.driveDecibels},
        {ParameterId::output, preset.outputDecibels},
        {ParameterId::mix, preset.mixPercent},
        {ParameterId::poles, static_cast<float>(positionOf(poleChoices(), preset.poles))},
        {ParameterId::type, static_cast<float>(positionOf(typeChoices(), preset.type))},
    }};
}

}  // namespace vexaplugin
