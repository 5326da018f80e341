// A configuration's frequency response from its impulse response (FFTW), and its resonant peak.
#include "vexa-host/measure/FrequencyResponse.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <numeric>

#include <fftw3.h>

namespace vexahost {

namespace {

/// The transform is zero-padded to at least this resolution, fine enough to
/// place a peak at 55 Hz within a cent after refinement.
constexpr double coarsestBinHz = 0.25;
/// A resonant peak stands at least this far above the lowest point on either side,
constexpr double minimumProminenceDb = 0.5;
/// and no further than this below the loudest point of the range (a ripple far
/// down in the stop band is no resonance).
constexpr double maximumDepthBelowTopDb = 12.0;

struct FftwDeleter {
    void operator()(void* memory) const { fftw_free(memory); }
};

std::size_t nextPowerOfTwo(std::size_t value) {
    std::size_t power = 1;
    while (power < value) power *= 2;
    return power;
}

}  // namespace

double Spectrum::magnitudeAt(double frequency) const {
    const double position = frequency / binHz;
    const auto last = static_cast<double>(magnitude.size() - 1);
    if (position <= 0.0) return magnitude.front();
    if (position >= last) return magnitude.back();
    const auto below = static_cast<std::size_t>(position);
    const double fraction = position - static_cast<double>(below);
    return magnitude[below] + fraction * (magnitude[below + 1] - magnitude[below]);
}

double Spectrum::decibelsAt(double frequency) const { return toDecibels(magnitudeAt(frequency)); }

Spectrum measureSpectrum(const ModuleEntryPoints& entries, const FilterPins& pins, const ResponseSettings& settings) {
    const ImpulseResponse recorded = recordImpulseResponse(entries, pins, settings);
    const std::vector<double>& response = recorded.samples;
    const double impulse = recorded.impulse;
    Spectrum spectrum;
    spectrum.settled = recorded.settled;

    const std::size_t length = std::max(nextPowerOfTwo(response.size()),
                                        nextPowerOfTwo(static_cast<std::size_t>(settings.sampleRate / coarsestBinHz)));
    const std::size_t bins = length / 2 + 1;
    std::unique_ptr<double, FftwDeleter> timeDomain(static_cast<double*>(fftw_malloc(sizeof(double) * length)));
    std::unique_ptr<fftw_complex, FftwDeleter> frequencyDomain(
        static_cast<fftw_complex*>(fftw_malloc(sizeof(fftw_complex) * bins)));
    fftw_plan plan = fftw_plan_dft_r2c_1d(static_cast<int>(length), timeDomain.get(), frequencyDomain.get(),
                                          FFTW_ESTIMATE);
    std::copy(response.begin(), response.end(), timeDomain.get());
    std::fill(timeDomain.get() + response.size(), timeDomain.get() + length, 0.0);
    fftw_execute(plan);
    fftw_destroy_plan(plan);

    spectrum.sampleRate = settings.sampleRate;
    spectrum.binHz = settings.sampleRate / static_cast<double>(length);
    spectrum.magnitude.resize(bins);
    for (std::size_t bin = 0; bin < bins; ++bin) {
        spectrum.magnitude[bin] = std::hypot(frequencyDomain.get()[bin][0], frequencyDomain.get()[bin][1]) / impulse;
    }
    return spectrum;
}

std::optional<ResonantPeak> findResonantPeak(const Spectrum& spectrum, double lowHz, double highHz) {
    const auto last = spectrum.magnitude.size() - 1;
    const auto first = std::min(static_cast<std::size_t>(std::ceil(lowHz / spectrum.binHz)), last);
    const auto end = std::min(static_cast<std::size_t>(highHz / spectrum.binHz), last);
    if (end < first + 2) return std::nullopt;
    std::vector<double> decibels(end - first + 1);
    for (std::size_t bin = first; bin <= end; ++bin) decibels[bin - first] = toDecibels(spectrum.magnitude[bin]);

    // The lowest point from the start up to each bin, and from each bin to the end.
    std::vector<double> lowestBefore(decibels.size());
    std::vector<double> lowestAfter(decibels.size());
    std::partial_sum(decibels.begin(), decibels.end(), lowestBefore.begin(),
                     [](double a, double b) { return std::min(a, b); });
    std::partial_sum(decibels.rbegin(), decibels.rend(), lowestAfter.rbegin(),
                     [](double a, double b) { return std::min(a, b); });

    const double top = *std::max_element(decibels.begin(), decibels.end());
    std::optional<std::size_t> best;
    for (std::size_t i = 1; i + 1 < decibels.size(); ++i) {
        if (decibels[i] < decibels[i - 1] || decibels[i] < decibels[i + 1]) continue;
        const double prominence = decibels[i] - std::max(lowestBefore[i], lowestAfter[i]);
        if (prominence < minimumProminenceDb || decibels[i] < top - maximumDepthBelowTopDb) continue;
        if (!best || decibels[i] > decibels[*best]) best = i;
    }
    if (!best) return std::nullopt;

    const double left = decibels[*best - 1];
    const double centre = decibels[*best];
    const double right = decibels[*best + 1];
    const double curvature = left - 2.0 * centre + right;
    const double offset = curvature < 0.0 ? 0.5 * (left - right) / curvature : 0.0;
    ResonantPeak peak;
    peak.frequency = (static_cast<double>(first + *best) + offset) * spectrum.binHz;
    peak.decibels = centre - 0.25 * (left - right) * offset;
    return peak;
}

}  // namespace vexahost
