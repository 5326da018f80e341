// Measured character of particular configurations: resonance, untouched
// states and the response around the cutoff.
#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

#include <gtest/gtest.h>

#include "integration/ModuleUnderTest.h"

namespace vexatest {
namespace {

/// Small-signal response in dB at `frequencies` points from 20 Hz to 20 kHz.
std::vector<double> responseDb(int16_t poles, float resonance) {
    constexpr int32_t length = 8192;
    constexpr float impulse = 1e-3f;
    constexpr int32_t frequencies = 240;
    FilterSetup setup;
    setup.poles = poles;
    setup.signal = 0.0f;
    setup.resonance = resonance;
    setup.zing = 1.0f;
    auto host = makeFilter(setup, length);
    host->buffer(signalPin)[1] = impulse;  // after the sample that a reset halves
    host->processInBlocks(length, 64);
    const float* out = host->buffer(outputPin);
    std::vector<double> db;
    for (int32_t j = 0; j < frequencies; ++j) {
        const double hz = 20.0 * std::pow(1000.0, static_cast<double>(j) / (frequencies - 1));
        const double step = 2.0 * std::numbers::pi * hz / setup.sampleRate;
        std::complex<double> sum = 0.0;
        for (int32_t i = 0; i < length; ++i) sum += static_cast<double>(out[i]) * std::polar(1.0, -step * i);
        db.push_back(20.0 * std::log10(std::abs(sum) / impulse));
    }
    return db;
}

/// Highest magnitude (dB) of the response.
float responsePeakDb(int16_t poles, float resonance) {
    const auto db = responseDb(poles, resonance);
    return static_cast<float>(*std::max_element(db.begin(), db.end()));
}

/// How far the resonant peak stands above the level at 20 Hz (dB).
float peakAboveBass(int16_t poles, float resonance) {
    const auto db = responseDb(poles, resonance);
    return static_cast<float>(*std::max_element(db.begin(), db.end()) - db.front());
}

TEST(ThreeFive, HasResonanceBetweenItsNeighbours) {
    const float threeFour = responsePeakDb(10, 1.0f);
    const float threeFive = responsePeakDb(12, 1.0f);
    const float fourFive = responsePeakDb(16, 1.0f);
    EXPECT_GT(threeFive, threeFour + 3.0f);
    EXPECT_LT(threeFive, fourFive - 3.0f);
    EXPECT_GT(threeFive, responsePeakDb(12, 0.0f) + 10.0f);
}

TEST(ThreeFive, ResonanceChangesItsOutput) {
    std::vector<std::vector<float>> outputs;
    for (const float resonance : {0.0f, 0.5f, 1.0f}) {
        FilterSetup setup;
        setup.poles = 12;
        setup.resonance = resonance;
        auto host = makeFilter(setup, 1024);
        host->processInBlocks(1024, 64);
        outputs.emplace_back(host->buffer(outputPin), host->buffer(outputPin) + 1024);
    }
    EXPECT_NE(outputs[0], outputs[1]);
    EXPECT_NE(outputs[1], outputs[2]);
}

TEST(Resonance, PeakRisesWithResonanceInEveryConfiguration) {
    for (int16_t poles = 0; poles < ModuleUnderTest::configurationCount(); ++poles) {
        EXPECT_GT(peakAboveBass(poles, 1.0f), peakAboveBass(poles, 0.1f) + 0.5f) << poles;
    }
}

}  // namespace
}  // namespace vexatest
