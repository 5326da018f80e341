// The built-in test signals: saw, square, sine, noise, impulse, riff.
#pragma once

#include <cstdint>
#include <string>

namespace vexahost {

/// A built-in test signal: "saw:FREQ", "square:FREQ", "sine:FREQ", "noise",
/// "impulse" or "riff" (a two-bar sawtooth bass line at 120 beats per
/// minute), named in any letter case.
struct SignalChoice {
    enum class Kind { saw, square, sine, noise, impulse, riff };
    Kind kind = Kind::saw;
    double frequency = 0.0;
    std::string text;
};

/// Parses a signal's name; throws UsageError.
SignalChoice parseSignalChoice(const std::string& text);

/// Generates a built-in signal from its start, in host values (peak = level).
class SignalGenerator {
public:
    /// Throws UsageError when the frequency does not fit the sample rate.
    SignalGenerator(const SignalChoice& setting, double sampleRate, double levelVolts);

    void generate(float* destination, int32_t count);

private:
    float nextRiffSample();

    SignalChoice setting;
    double sampleRate;
    double level;
    double phase = 0.0;
    double phaseIncrement = 0.0;
    int64_t position = 0;
    uint32_t noiseState;
    // The riff's voice.
    int64_t samplesPerStep = 0;
    int64_t gateSamples = 0;
    int stage = 0;
    double envelope = 0.0;
    double peak = 0.0;
    double attackStep = 0.0;
    double decayFactor = 0.0;
    double releaseFactor = 0.0;
};

}  // namespace vexahost
