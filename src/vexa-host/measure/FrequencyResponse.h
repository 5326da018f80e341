// Frequency responses and resonant peaks measured through the module.
#pragma once

#include <cstdint>
#include <optional>
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

/// A measured magnitude response: |H| at the bins of a real FFT.
struct Spectrum {
    double sampleRate = 0.0;
    double binHz = 0.0;
    std::vector<double> magnitude;
    /// False when the impulse response still rang at the end of the longest
    /// measurement (a self-oscillating or very slowly decaying setting).
    bool settled = true;

    /// |H| at a frequency, interpolated between bins.
    double magnitudeAt(double frequency) const;
    double decibelsAt(double frequency) const;
};

/// Measures the small-signal response through the module: a low-level impulse
/// (after one zero sample, since the first sample after a reset is halved),
/// recorded until it has died away, transformed with FFTW.
Spectrum measureSpectrum(const ModuleEntryPoints& entries, const FilterPins& pins, const ResponseSettings& settings);

struct ResonantPeak {
    double frequency = 0.0;
    double decibels = 0.0;
};

/// The highest interior maximum between two frequencies that stands out from
/// its surroundings, refined by a parabola through its neighbours; none when
/// the response only rises or falls there.
std::optional<ResonantPeak> findResonantPeak(const Spectrum& spectrum, double lowHz, double highHz);

/// `count` frequencies spaced evenly on a log scale from `lowHz` to `highHz`.
std::vector<double> logSpacedFrequencies(double lowHz, double highHz, int count);

/// Decibels of a magnitude, floored far below anything audible.
double toDecibels(double magnitude);

}  // namespace vexahost
