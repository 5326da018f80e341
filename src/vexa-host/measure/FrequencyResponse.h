// Frequency responses and resonant peaks measured through the module.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "hostlib/FilterChannel.h"
#include "hostlib/ImpulseResponse.h"

namespace vexahost {

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

/// Measures the small-signal response through the module: its impulse response
/// (recordImpulseResponse), transformed with FFTW.
Spectrum measureSpectrum(const ModuleEntryPoints& entries, const FilterPins& pins, const ResponseSettings& settings);

struct ResonantPeak {
    double frequency = 0.0;
    double decibels = 0.0;
};

/// The highest interior maximum between two frequencies that stands out from
/// its surroundings, refined by a parabola through its neighbours; none when
/// the response only rises or falls there.
std::optional<ResonantPeak> findResonantPeak(const Spectrum& spectrum, double lowHz, double highHz);

}  // namespace vexahost
