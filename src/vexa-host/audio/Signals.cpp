// The built-in test signals.
#include "vexa-host/audio/Signals.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "hostlib/PinChoices.h"
#include "hostlib/Errors.h"

namespace vexahost {

namespace {

constexpr double fullTurn = 6.283185307179586;  // 2 pi: one period of the sine, in radians
constexpr uint32_t noiseSeed = 0x2545F491u;
/// Half the range of the 32-bit noise state: maps it onto [-1, 1).
constexpr double noiseHalfRange = 2147483648.0;
/// The impulse follows one zero sample: the filter halves the first sample it processes.
constexpr int64_t impulsePosition = 1;

// The riff: sixteenth notes at 120 beats per minute, a plucked sawtooth.
constexpr double riffStepSeconds = 0.125;
constexpr double riffGateFraction = 0.8;
constexpr double riffAttackSeconds = 0.003;
constexpr double riffDecaySeconds = 0.15;
constexpr double riffReleaseSeconds = 0.02;
constexpr double riffSustain = 0.4;
constexpr double riffAccentPeak = 1.0;
constexpr double riffPlainPeak = 0.7;
constexpr int riffRest = -1;
constexpr double concertPitchHz = 440.0;
constexpr int concertPitchNote = 69;
constexpr int semitonesPerOctave = 12;

struct RiffStep {
    int note;  ///< MIDI note number, or riffRest
    bool accent;
};

// Two bars in A minor around A1 (55 Hz): root pulses, octave jumps and a turn
// through C, D, E, F and G.
constexpr std::array<RiffStep, 32> riffPattern = {{
    {33, true}, {33, false}, {45, false}, {33, false}, {riffRest, false}, {33, false}, {43, true}, {33, false},
    {36, true}, {36, false}, {48, false}, {36, false}, {38, true}, {riffRest, false}, {40, false}, {43, false},
    {33, true}, {33, false}, {45, false}, {33, false}, {riffRest, false}, {33, false}, {40, true}, {43, false},
    {29, true}, {29, false}, {41, false}, {29, false}, {31, true}, {43, false}, {40, false}, {38, false},
}};

enum RiffStage { riffSilent, riffAttack, riffDecay, riffRelease };

double noteFrequency(int note) {
    return concertPitchHz * std::pow(2.0, static_cast<double>(note - concertPitchNote) / semitonesPerOctave);
}

/// Polynomial band-limited step: smooths the jump of a sawtooth or square wave
/// over one sample either side, which keeps aliasing low.
double bandLimitedStep(double phase, double increment) {
    if (phase < increment) {
        const double t = phase / increment;
        return t + t - t * t - 1.0;
    }
    if (phase > 1.0 - increment) {
        const double t = (phase - 1.0) / increment;
        return t * t + t + t + 1.0;
    }
    return 0.0;
}

double sawAt(double phase, double increment) { return 2.0 * phase - 1.0 - bandLimitedStep(phase, increment); }

double squareAt(double phase, double increment) {
    const double naive = phase < 0.5 ? 1.0 : -1.0;
    return naive + bandLimitedStep(phase, increment) - bandLimitedStep(std::fmod(phase + 0.5, 1.0), increment);
}

double frequencyOf(const std::string& text, const std::string& name) {
    double frequency = 0.0;
    if (!parseNumber(text.substr(name.size() + 1), frequency) || frequency <= 0.0) {
        throw UsageError("signal '" + text + "': " + name + " needs a positive frequency in Hz, as in " + name + ":110");
    }
    return frequency;
}

}  // namespace

SignalChoice parseSignalChoice(const std::string& original) {
    SignalChoice setting;
    setting.text = original;
    // Names in any letter case, as labels and types are.
    std::string text = original;
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (text.rfind("saw:", 0) == 0) {
        setting.kind = SignalChoice::Kind::saw;
        setting.frequency = frequencyOf(text, "saw");
    } else if (text.rfind("square:", 0) == 0) {
        setting.kind = SignalChoice::Kind::square;
        setting.frequency = frequencyOf(text, "square");
    } else if (text.rfind("sine:", 0) == 0) {
        setting.kind = SignalChoice::Kind::sine;
        setting.frequency = frequencyOf(text, "sine");
    } else if (text == "noise") {
        setting.kind = SignalChoice::Kind::noise;
    } else if (text == "impulse") {
        setting.kind = SignalChoice::Kind::impulse;
    } else if (text == "riff") {
        setting.kind = SignalChoice::Kind::riff;
    } else {
        throw UsageError("unknown signal '" + original + "' (choose saw:FREQ, square:FREQ, sine:FREQ, noise, impulse or riff)");
    }
    return setting;
}

SignalGenerator::SignalGenerator(const SignalChoice& signal, double rate, double levelVolts)
    : setting(signal), sampleRate(rate), level(levelVolts / voltsPerHostUnit), noiseState(noiseSeed) {
    if (setting.frequency * 2.0 >= sampleRate) {
        throw UsageError("signal '" + setting.text + "' lies at or above half the sample rate");
    }
    phaseIncrement = setting.frequency / sampleRate;
    samplesPerStep = std::max<int64_t>(1, std::llround(riffStepSeconds * sampleRate));
    gateSamples = std::llround(static_cast<double>(samplesPerStep) * riffGateFraction);
    attackStep = 1.0 / std::max(1.0, riffAttackSeconds * sampleRate);
    decayFactor = std::exp(-1.0 / (riffDecaySeconds * sampleRate));
    releaseFactor = std::exp(-1.0 / (riffReleaseSeconds * sampleRate));
}

float SignalGenerator::nextRiffSample() {
    const int64_t sampleInStep = position % samplesPerStep;
    if (sampleInStep == 0) {
        const RiffStep& step = riffPattern[static_cast<std::size_t>((position / samplesPerStep) % riffPattern.size())];
        if (step.note != riffRest) {
            // The phase runs on across notes, so a new note starts without a click.
            phaseIncrement = noteFrequency(step.note) / sampleRate;
            peak = step.accent ? riffAccentPeak : riffPlainPeak;
            stage = riffAttack;
        }
    } else if (sampleInStep == gateSamples && stage != riffSilent) {
        stage = riffRelease;
    }
    switch (stage) {
    case riffAttack:
        envelope += attackStep * peak;
        if (envelope >= peak) {
            envelope = peak;
            stage = riffDecay;
        }
        break;
    case riffDecay: {
        const double sustainLevel = riffSustain * peak;
        envelope = sustainLevel + (envelope - sustainLevel) * decayFactor;
        break;
    }
    case riffRelease: envelope *= releaseFactor; break;
    default: break;
    }
    const double value = sawAt(phase, phaseIncrement) * envelope;
    phase += phaseIncrement;
    if (phase >= 1.0) phase -= 1.0;
    return static_cast<float>(value * level);
}

void SignalGenerator::generate(float* destination, int32_t count) {
    for (int32_t i = 0; i < count; ++i, ++position) {
        double value = 0.0;
        switch (setting.kind) {
        case SignalChoice::Kind::saw:
            value = sawAt(phase, phaseIncrement);
            break;
        case SignalChoice::Kind::square:
            value = squareAt(phase, phaseIncrement);
            break;
        case SignalChoice::Kind::sine:
            value = std::sin(fullTurn * phase);
            break;
        case SignalChoice::Kind::noise:
            // xorshift32: fixed seed, so every render of "noise" is the same.
            noiseState ^= noiseState << 13;
            noiseState ^= noiseState >> 17;
            noiseState ^= noiseState << 5;
            value = static_cast<double>(noiseState) / noiseHalfRange - 1.0;
            break;
        case SignalChoice::Kind::impulse:
            value = position == impulsePosition ? 1.0 : 0.0;
            break;
        case SignalChoice::Kind::riff:
            destination[i] = nextRiffSample();
            continue;
        }
        phase += phaseIncrement;
        if (phase >= 1.0) phase -= 1.0;
        destination[i] = static_cast<float>(value * level);
    }
}

}  // namespace vexahost
