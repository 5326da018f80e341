// How the command line sets a control pin, and the samples that setting gives.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vexahost {

/// How the command line sets a control pin (Pitch, Resonance, Zing):
/// a constant ("5"), a linear ramp over the whole render ("2..9"), both in
/// volts, or a control file whose samples go to the pin as they are.
struct ControlSetting {
    enum class Kind { constant, ramp, file };
    Kind kind = Kind::constant;
    double fromVolts = 0.0;
    double toVolts = 0.0;
    std::string path;
};

/// Parses an option's text; throws UsageError naming the option.
ControlSetting parseControlSetting(const std::string& text, const std::string& optionName);

/// The host values one control pin receives over a whole render.
class ControlStream {
public:
    static ControlStream constant(double volts);
    /// From `fromVolts` at the first frame to `toVolts` at the last of `frames`.
    static ControlStream ramp(double fromVolts, double toVolts, int64_t frames);
    /// A control file: mono (one stream for every channel) or with as many
    /// channels as the render. Its last sample holds when it is shorter than the
    /// render. Throws FileError.
    static ControlStream fromFile(const std::string& path, int sampleRate, int renderChannels);
    static ControlStream fromSetting(const ControlSetting& setting, int64_t frames, int sampleRate, int renderChannels);

    /// Whether the value changes over the render (the pin then streams).
    bool varies() const { return kind != ControlSetting::Kind::constant; }
    /// Whether every channel receives the same values (all but a control file with a channel each).
    bool sameForEveryChannel() const { return fileChannels.size() <= 1; }
    /// Writes the host values of frames [position, position + count) for one channel.
    void fill(float* destination, int64_t position, int32_t count, int channel) const;

private:
    ControlSetting::Kind kind = ControlSetting::Kind::constant;
    double startValue = 0.0;
    double stepPerFrame = 0.0;
    std::vector<std::vector<float>> fileChannels;
};

}  // namespace vexahost
