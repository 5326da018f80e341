// Impulse responses recorded through a filter channel, and their transform at single frequencies.
#include "hostlib/ImpulseResponse.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace vexahost {

namespace {

/// The measuring impulse, far below the saturation knees and the overload
/// threshold even at the highest resonance peaks.
constexpr double impulseVolts = 0.1;
/// Where the impulse goes: after one zero sample, which the filter halves.
constexpr int32_t impulsePosition = 1;
/// The response has died away when nothing above this (relative to the
/// impulse, -140 dB) came out for a whole window.
constexpr double settledLevel = 1e-7;
constexpr double settleWindowSeconds = 0.1;
/// Longest impulse response recorded; a self-oscillating setting stops here.
constexpr double longestResponseSeconds = 8.0;
/// Magnitudes below this read as this many decibels.
constexpr double decibelFloor = -300.0;
/// Frequencies transformed side by side in one pass over the response: independent
/// recurrences, which the processor overlaps.
constexpr std::size_t frequenciesPerPass = 8;

}  // namespace

ImpulseResponse recordImpulseResponse(const ModuleEntryPoints& entries, const FilterPins& pins,
                                      const ResponseSettings& settings) {
    FilterSetup setup;
    setup.poles = settings.poles;
    setup.type = settings.type;
    setup.sampleRate = settings.sampleRate;
    setup.blockSize = settings.blockSize;
    FilterChannel filter(entries, pins, setup);
    std::fill_n(filter.pitch(), settings.blockSize, hostValueFromVolts(settings.pitchVolts));
    std::fill_n(filter.resonance(), settings.blockSize, hostValueFromVolts(settings.resonanceVolts));
    std::fill_n(filter.zing(), settings.blockSize, hostValueFromVolts(settings.zingVolts));

    const double impulse = impulseVolts / voltsPerHostUnit;
    const double quiet = impulse * settledLevel;
    const auto window = static_cast<int64_t>(settleWindowSeconds * settings.sampleRate);
    const auto longest = static_cast<int64_t>(longestResponseSeconds * settings.sampleRate);
    ImpulseResponse response;
    response.sampleRate = settings.sampleRate;
    response.impulse = impulse;
    response.settled = false;
    std::vector<double>& samples = response.samples;
    samples.reserve(static_cast<std::size_t>(longest + settings.blockSize));
    int64_t lastAudible = 0;
    while (static_cast<int64_t>(samples.size()) < longest) {
        float* signal = filter.signal();
        std::fill_n(signal, settings.blockSize, 0.0f);
        if (samples.empty()) signal[impulsePosition] = static_cast<float>(impulse);
        filter.process(settings.blockSize);
        const float* output = filter.output();
        for (int32_t i = 0; i < settings.blockSize; ++i) {
            if (std::abs(output[i]) > quiet) lastAudible = static_cast<int64_t>(samples.size());
            samples.push_back(output[i]);
        }
        if (static_cast<int64_t>(samples.size()) - lastAudible > window) {
            response.settled = true;
            break;
        }
    }
    return response;
}

std::vector<double> magnitudesAt(const ImpulseResponse& response, const std::vector<double>& frequencies) {
    std::vector<double> magnitudes(frequencies.size());
    const std::vector<double>& x = response.samples;
    for (std::size_t first = 0; first < frequencies.size(); first += frequenciesPerPass) {
        const std::size_t count = std::min(frequenciesPerPass, frequencies.size() - first);
        // s[n] = x[n] + 2 cos(w) s[n-1] - s[n-2]; |X(w)|^2 = s1^2 + s2^2 - 2 cos(w) s1 s2 after the last sample.
        std::array<double, frequenciesPerPass> twiceCosine{}, s1{}, s2{};
        for (std::size_t k = 0; k < count; ++k) {
            twiceCosine[k] = 2.0 * std::cos(2.0 * std::numbers::pi * frequencies[first + k] / response.sampleRate);
        }
        for (const double sample : x) {
            for (std::size_t k = 0; k < frequenciesPerPass; ++k) {
                const double s0 = sample + twiceCosine[k] * s1[k] - s2[k];
                s2[k] = s1[k];
                s1[k] = s0;
            }
        }
        for (std::size_t k = 0; k < count; ++k) {
            const double power = s1[k] * s1[k] + s2[k] * s2[k] - twiceCosine[k] * s1[k] * s2[k];
            magnitudes[first + k] = std::sqrt(std::max(power, 0.0)) / response.impulse;
        }
    }
    return magnitudes;
}

double highestMeasuredHz(double sampleRate) {
    return std::min(highestAudibleHz, highestFractionOfNyquist * sampleRate / 2.0);
}

std::vector<double> logSpacedFrequencies(double lowHz, double highHz, int count) {
    std::vector<double> frequencies(static_cast<std::size_t>(std::max(count, 1)));
    const double ratio = highHz / lowHz;
    for (std::size_t i = 0; i < frequencies.size(); ++i) {
        const double position = frequencies.size() > 1 ? static_cast<double>(i) / (frequencies.size() - 1) : 0.0;
        frequencies[i] = lowHz * std::pow(ratio, position);
    }
    return frequencies;
}

double toDecibels(double magnitude) {
    return magnitude > 0.0 ? std::max(20.0 * std::log10(magnitude), decibelFloor) : decibelFloor;
}

}  // namespace vexahost
