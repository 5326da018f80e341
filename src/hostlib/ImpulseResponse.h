// The filter's small-signal impulse response, recorded through a channel, and its magnitude at any frequency.
#pragma once

#include <cstdint>
#include <vector>

#include "hostlib/FilterChannel.h"

namespace vexahost {

/// One configuration measured at constant Pitch, Resonance and Zing (volts).
struct ResponseSettings {
    int16_t poles = 0;
    int16_t type = 0;
    double pitchVolts = 5.0;
    double resonanceVolts = 5.0;
    double zingVolts = 10.0;
    float sampleRate = 48000.0f;
    int32_t blockSize = 64;
};

/// What came out of the filter after a low-level impulse: h[n] = samples[n] / impulse.
struct ImpulseResponse {
    double sampleRate = 0.0;
    /// The impulse's height and the output samples, in host units (1.0 = 10 V).
    double impulse = 0.0;
    std::vector<double> samples;
    /// False when the response still rang at the end of the longest recording
    /// (a self-oscillating or very slowly decaying setting).
    bool settled = true;
};

/// Records the small-signal impulse response through the module: a low-level
/// impulse (after one zero sample, since the first sample after a reset is
/// halved), recorded until it has died away or for at most 8 seconds.
ImpulseResponse recordImpulseResponse(const ModuleEntryPoints& entries, const FilterPins& pins,
                                      const ResponseSettings& settings);

/// |H| at each frequency (Hz): the response's discrete-time Fourier transform
/// there, summed directly (Goertzel's recurrence, several frequencies a pass).
std::vector<double> magnitudesAt(const ImpulseResponse& response, const std::vector<double>& frequencies);

/// The band the responses are measured over: 20 Hz to 20 kHz, ending at 0.95
/// of the Nyquist frequency where that is lower.
inline constexpr double lowestMeasuredHz = 20.0;
inline constexpr double highestAudibleHz = 20000.0;
inline constexpr double highestFractionOfNyquist = 0.95;
double highestMeasuredHz(double sampleRate);

/// `count` frequencies spaced evenly on a log scale from `lowHz` to `highHz`.
std::vector<double> logSpacedFrequencies(double lowHz, double highHz, int count);

/// Decibels of a magnitude, floored far below anything audible.
double toDecibels(double magnitude);

}  // namespace vexahost
