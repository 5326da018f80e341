// The design-rate converter measured with sines: its passband, what it lets fold back, its images, its latency.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <numbers>
#include <vector>

#include "resampler/CoreRate.h"

namespace {

using vexaplugin::resampler::CoreRateConverter;
using vexaplugin::resampler::factorFor;
using vexaplugin::resampler::latencyFor;

/// The high session rates; every measured frequency is a multiple of 10 Hz, so
/// that a window of a tenth of a second holds whole cycles of it at every rate.
constexpr double sessionRates[] = {88200.0, 96000.0, 176400.0, 192000.0};
constexpr double binHz = 10.0;
constexpr double passbandHz = 18000.0;

/// Amplitude of the component at `hz` in `samples` (a whole number of its cycles).
double amplitudeAt(const std::vector<float>& samples, double hz, double rate) {
    std::complex<double> sum;
    for (std::size_t n = 0; n < samples.size(); ++n) {
        sum += static_cast<double>(samples[n]) * std::polar(1.0, -2.0 * std::numbers::pi * hz * n / rate);
    }
    return 2.0 * std::abs(sum) / static_cast<double>(samples.size());
}

double decibels(double amplitude) { return 20.0 * std::log10(std::max(amplitude, 1e-20)); }

/// A unit sine at `hz` through the converter around a core that passes its input
/// (kept in `core` when given), in blocks of a few odd sizes; the output after the
/// filters have filled, one analysis window long.
std::vector<float> throughConverter(double rate, double hz, std::vector<float>* core = nullptr) {
    const uint32_t factor = factorFor(rate);
    const auto window = static_cast<std::size_t>(rate / binHz);
    const std::size_t settle = 4 * latencyFor(factor);
    std::vector<float> in(settle + window);
    for (std::size_t n = 0; n < in.size(); ++n) in[n] = static_cast<float>(std::sin(2.0 * std::numbers::pi * hz * n / rate));
    std::vector<float> out(in.size());
    CoreRateConverter converter;
    EXPECT_TRUE(converter.prepare(1, factor, 512));
    constexpr uint32_t blockSizes[] = {512, 3, 77, 1, 256};
    for (std::size_t done = 0, b = 0; done < in.size(); ++b) {
        const auto frames = static_cast<uint32_t>(std::min<std::size_t>(blockSizes[b % 5], in.size() - done));
        const float* signals[] = {in.data() + done};
        float* outputs[] = {out.data() + done};
        converter.run(signals, outputs, frames, {},
                      [&](const float* const* coreIn, float* const* coreOut, uint32_t coreFrames, const auto&) {
                          std::copy_n(coreIn[0], coreFrames, coreOut[0]);
                          if (core != nullptr) core->insert(core->end(), coreIn[0], coreIn[0] + coreFrames);
                      });
        done += frames;
    }
    if (core != nullptr) core->erase(core->begin(), core->end() - static_cast<std::ptrdiff_t>(window / factor));
    return {out.end() - static_cast<std::ptrdiff_t>(window), out.end()};
}

// Round trip: 0 to 18 kHz comes back at its level (within 0.1 dB peak to peak),
// and what the interpolation leaves as images (at the core rate minus and plus
// the frequency, and twice the core rate at a factor of 4) stays 90 dB down.
TEST(CoreRate, PassbandFlatAndImagesFarDown) {
    for (const double rate : sessionRates) {
        const double coreRate = rate / factorFor(rate);
        double lowest = 0.0, highest = -1e9, loudestImage = -1e9;
        for (double hz = 20.0; hz <= passbandHz; hz += 170.0) {
            const double f = std::round(hz / binHz) * binHz;
            const std::vector<float> out = throughConverter(rate, f);
            const double level = decibels(amplitudeAt(out, f, rate));
            lowest = std::min(lowest, level);
            highest = std::max(highest, level);
            for (double image = coreRate - f; image < rate / 2.0; image += coreRate) {
                loudestImage = std::max(loudestImage, decibels(amplitudeAt(out, image, rate)));
                if (image + 2.0 * f < rate / 2.0) {
                    loudestImage = std::max(loudestImage, decibels(amplitudeAt(out, image + 2.0 * f, rate)));
                }
            }
        }
        // Above the passband the level falls as the interface's curve says it does.
        for (const double f : {19000.0, 20000.0}) {
            EXPECT_NEAR(decibels(amplitudeAt(throughConverter(rate, f), f, rate)),
                        vexaplugin::resampler::roundTripDecibels(f, coreRate, factorFor(rate)), 0.01)
                << rate << " " << f;
        }
        std::printf("%.1f kHz: passband 20 Hz .. 18 kHz %+.4f .. %+.4f dB, loudest image %.1f dB\n", rate / 1000.0,
                    lowest, highest, loudestImage);
        EXPECT_LT(highest - lowest, 0.1) << rate;
        EXPECT_LT(loudestImage, -90.0) << rate;
    }
}

// Decimation: every input above the core's Nyquist frequency that would fold
// onto 0 .. 18 kHz at the core's rate reaches the core at least 90 dB down.
TEST(CoreRate, WhatWouldFoldOntoThePassbandIsRejected) {
    for (const double rate : sessionRates) {
        const double coreRate = rate / factorFor(rate);
        double loudest = -1e9, at = 0.0;
        for (double hz = coreRate - passbandHz; hz < rate / 2.0; hz += 250.0) {
            const double alias = std::fabs(hz - std::round(hz / coreRate) * coreRate);
            if (alias > passbandHz) continue;
            std::vector<float> core;
            throughConverter(rate, hz, &core);
            const double level = decibels(amplitudeAt(core, alias, coreRate));
            if (level > loudest) loudest = level, at = hz;
        }
        std::printf("%.1f kHz: loudest fold-back onto 0 .. 18 kHz %.1f dB (from %.0f Hz)\n", rate / 1000.0, loudest, at);
        EXPECT_LT(loudest, -90.0) << rate;
    }
}

// DC passes at its level; an impulse comes out centred on the latency the host
// is told, symmetric about it (linear phase), whatever the block sizes.
TEST(CoreRate, DcUntouchedAndTheImpulseCentredOnTheLatency) {
    for (const double rate : sessionRates) {
        const uint32_t factor = factorFor(rate);
        const uint32_t latency = latencyFor(factor);
        std::vector<float> dc(4 * latency + 64, 1.0f), impulse(4 * latency + 64, 0.0f);
        impulse[10] = 1.0f;
        for (std::vector<float>* signal : {&dc, &impulse}) {
            CoreRateConverter converter;
            ASSERT_TRUE(converter.prepare(1, factor, 7));
            for (std::size_t done = 0; done < signal->size(); done += 7) {
                const auto frames = static_cast<uint32_t>(std::min<std::size_t>(7, signal->size() - done));
                float* io[] = {signal->data() + done};
                converter.run(io, io, frames, {}, [](const float* const* in, float* const* out, uint32_t n, const auto&) {
                    std::copy_n(in[0], n, out[0]);
                });
            }
        }
        EXPECT_NEAR(dc.back(), 1.0f, 1e-5f) << rate;
        const auto peak = static_cast<std::size_t>(
            std::max_element(impulse.begin(), impulse.end(), [](float a, float b) { return std::fabs(a) < std::fabs(b); }) -
            impulse.begin());
        EXPECT_EQ(peak, 10 + latency) << rate;
        for (std::size_t d = 1; d <= latency; ++d) EXPECT_FLOAT_EQ(impulse[peak - d], impulse[peak + d]) << rate << " " << d;
    }
    EXPECT_EQ(factorFor(48000.0), 1u);
    EXPECT_EQ(latencyFor(factorFor(44100.0)), 0u);
}

}  // namespace
