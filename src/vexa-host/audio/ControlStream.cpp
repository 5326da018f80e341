// Control pin settings (constant, ramp, control file) and the samples they give.
#include "vexa-host/audio/ControlStream.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "vexa-host/audio/AudioFile.h"
#include "hostlib/PinChoices.h"
#include "hostlib/Errors.h"

namespace vexahost {

namespace {

constexpr const char* rangeMark = "..";

/// Text that starts like a number ("5x", "-.5v", "+-5", "nan", "inf") is meant
/// as one, even when a file of that name is missing; "./pitch.wav" is a path.
bool looksNumeric(const std::string& text) {
    std::size_t position = 0;
    while (position < text.size() && (text[position] == '-' || text[position] == '+')) ++position;
    std::string word = text.substr(position, 3);
    for (char& c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (word == "nan" || word == "inf") return true;
    if (position < text.size() && text[position] == '.') ++position;
    return position < text.size() && std::isdigit(static_cast<unsigned char>(text[position]));
}

}  // namespace

ControlSetting parseControlSetting(const std::string& text, const std::string& optionName) {
    ControlSetting setting;
    double volts = 0.0;
    if (parseNumber(text, volts)) {
        setting.fromVolts = setting.toVolts = volts;
        return setting;
    }
    std::error_code error;
    const bool existingFile = std::filesystem::is_regular_file(text, error);
    const auto mark = text.find(rangeMark);
    if (mark != std::string::npos && !existingFile) {
        const std::string from = text.substr(0, mark);
        const std::string to = text.substr(mark + std::char_traits<char>::length(rangeMark));
        if (from.empty() || to.empty()) {
            throw UsageError(optionName + ": the ramp '" + text + "' needs two ends, as in 2..9");
        }
        // "2...9" could be 2 to .9 or 2. to 9: neither is taken.
        if (to.front() == '.' || from.back() == '.') {
            throw UsageError(optionName + ": the ramp '" + text + "' is ambiguous; write its ends as in 2..9 or 2..0.9");
        }
        setting.kind = ControlSetting::Kind::ramp;
        setting.fromVolts = parseVolts(from, optionName);
        setting.toVolts = parseVolts(to, optionName);
        return setting;
    }
    if (!existingFile && (text.empty() || looksNumeric(text))) {
        throw UsageError(optionName + ": '" + text + "' is not a number of volts");
    }
    // A bare word ("abc") that names no file was meant as a value, not as a
    // file; a path ("dir/x", "x.wav") is reported as a missing file.
    if (!existingFile && text.find_first_of("/\\.") == std::string::npos) {
        throw UsageError(optionName + ": '" + text + "' is neither a number of volts nor an existing control file");
    }
    // Anything else names a control file; reading it reports a missing one.
    setting.kind = ControlSetting::Kind::file;
    setting.path = text;
    return setting;
}

ControlStream ControlStream::constant(double volts) {
    ControlStream stream;
    stream.kind = ControlSetting::Kind::constant;
    stream.startValue = hostValueFromVolts(volts);
    return stream;
}

ControlStream ControlStream::ramp(double fromVolts, double toVolts, int64_t frames) {
    ControlStream stream;
    stream.kind = ControlSetting::Kind::ramp;
    stream.startValue = fromVolts / voltsPerHostUnit;
    const int64_t steps = std::max<int64_t>(frames - 1, 1);
    stream.stepPerFrame = (toVolts - fromVolts) / voltsPerHostUnit / static_cast<double>(steps);
    return stream;
}

ControlStream ControlStream::fromFile(const std::string& path, int sampleRate, int renderChannels) {
    AudioReader reader(path);
    if (reader.sampleRate() != sampleRate) {
        throw FileError("control file '" + path + "' runs at " + std::to_string(reader.sampleRate()) +
                        " Hz, the render at " + std::to_string(sampleRate) + " Hz");
    }
    if (reader.channels() != 1 && reader.channels() != renderChannels) {
        throw FileError("control file '" + path + "' has " + std::to_string(reader.channels()) + " channels; it needs " +
                        (renderChannels == 1 ? std::string("1, as the input is mono")
                                             : "1 or " + std::to_string(renderChannels) + ", one per input channel"));
    }
    ControlStream stream;
    stream.kind = ControlSetting::Kind::file;
    stream.fileChannels = reader.readChannels();
    if (stream.fileChannels.front().empty()) throw FileError("control file '" + path + "' holds no samples");
    return stream;
}

ControlStream ControlStream::fromSetting(const ControlSetting& setting, int64_t frames, int sampleRate, int renderChannels) {
    switch (setting.kind) {
    case ControlSetting::Kind::constant: return constant(setting.fromVolts);
    case ControlSetting::Kind::ramp: return ramp(setting.fromVolts, setting.toVolts, frames);
    case ControlSetting::Kind::file: return fromFile(setting.path, sampleRate, renderChannels);
    }
    return constant(setting.fromVolts);
}

void ControlStream::fill(float* destination, int64_t position, int32_t count, int channel) const {
    switch (kind) {
    case ControlSetting::Kind::constant:
        std::fill(destination, destination + count, static_cast<float>(startValue));
        return;
    case ControlSetting::Kind::ramp:
        for (int32_t i = 0; i < count; ++i) {
            destination[i] = static_cast<float>(startValue + stepPerFrame * static_cast<double>(position + i));
        }
        return;
    case ControlSetting::Kind::file: {
        const auto& samples = fileChannels[fileChannels.size() == 1 ? 0 : static_cast<std::size_t>(channel)];
        const int64_t last = static_cast<int64_t>(samples.size()) - 1;
        for (int32_t i = 0; i < count; ++i) {
            destination[i] = samples[static_cast<std::size_t>(std::min(position + i, last))];
        }
        return;
    }
    }
}

}  // namespace vexahost
