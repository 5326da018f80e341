// Control-rate timing, block sizes, the low-pitch boost, the output forms and
// the overload envelope, measured on the module's output.
#include <algorithm>
#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "integration/ModuleUnderTest.h"

namespace vexatest {
namespace {

using vexahost::HostInstance;

/// Output of one configuration with a Pitch step at `stepAt`, in blocks of `blockSize`.
std::vector<float> withPitchStep(int16_t poles, int32_t stepAt, int32_t blockSize, int32_t total = 256) {
    FilterSetup setup;
    setup.poles = poles;
    setup.pitch = 0.6f;
    auto host = makeFilter(setup, total);
    std::fill(host->buffer(pitchPin) + stepAt, host->buffer(pitchPin) + total, 0.7f);
    host->processInBlocks(total, blockSize);
    return outputOf(*host, 0, total);
}

TEST(UpdateTiming, PitchChangeTakesEffectAtTheNextCandidatePosition) {
    // In 64-sample blocks the candidates are 3, 15, 27, 39, 51 and 63.
    EXPECT_EQ(withPitchStep(6, 68, 64), withPitchStep(6, 79, 64));
    EXPECT_NE(withPitchStep(6, 79, 64), withPitchStep(6, 80, 64));
    EXPECT_EQ(withPitchStep(6, 80, 64), withPitchStep(6, 91, 64));
    // In 12-sample blocks only the last sample is a candidate.
    EXPECT_EQ(withPitchStep(2, 13, 12), withPitchStep(2, 23, 12));
    EXPECT_NE(withPitchStep(2, 23, 12), withPitchStep(2, 24, 12));
    // In 1-sample blocks every sample is one.
    EXPECT_NE(withPitchStep(2, 13, 1), withPitchStep(2, 14, 1));
}

TEST(UpdateTiming, StepTakesEffectExactlyAtItsCandidate) {
    const auto early = withPitchStep(6, 68, 64);
    const auto never = withPitchStep(6, 256, 64);
    for (int32_t i = 0; i < 79; ++i) ASSERT_EQ(early[static_cast<std::size_t>(i)], never[static_cast<std::size_t>(i)]) << i;
    EXPECT_NE(early[79], never[79]);
}

/// Output with Zing changed from block 2 on.
std::vector<float> withZingChange(int16_t poles, float zing) {
    FilterSetup setup;
    setup.poles = poles;
    setup.zing = 1.0f;
    auto host = makeFilter(setup, 192);
    std::fill(host->buffer(zingPin) + 64, host->buffer(zingPin) + 192, zing);
    host->processInBlocks(192, 64);
    return outputOf(*host, 0, 192);
}

TEST(UpdateTiming, ZingAloneNeverUpdatesUnlessTheKernelForcesIt) {
    for (int16_t poles = 0; poles < ModuleUnderTest::configurationCount(); ++poles) {
        if (loopClosesBeforeOutput(poles)) continue;
        EXPECT_EQ(withZingChange(poles, 0.2f), withZingChange(poles, 1.0f)) << poles;
    }
}

TEST(UpdateTiming, ThreePoleLoopsUpdateAtFifteenAndSixtyThree) {
    for (int16_t poles = 0; poles < ModuleUnderTest::configurationCount(); ++poles) {
        if (!loopClosesBeforeOutput(poles)) continue;
        const auto changed = withZingChange(poles, 0.2f);
        const auto held = withZingChange(poles, 1.0f);
        // The update before sample 15 changes the feedback that sample 16 receives.
        for (int32_t i = 0; i <= 64 + 15; ++i) {
            ASSERT_EQ(changed[static_cast<std::size_t>(i)], held[static_cast<std::size_t>(i)]) << poles << " @" << i;
        }
        EXPECT_NE(changed[64 + 16], held[64 + 16]) << poles;
    }
}

TEST(UpdateTiming, FirstSampleAfterResetIsHalvedEvenAloneInItsBlock) {
    FilterSetup setup;
    setup.poles = 1;
    setup.type = 1;
    setup.zing = 1.0f;
    auto host = makeFilter(setup);
    host->process(0, 1);
    host->process(1, 1);
    EXPECT_NEAR(host->buffer(outputPin)[0], 0.24992f, 1e-5f);
    EXPECT_NEAR(host->buffer(outputPin)[1], 0.49952f, 1e-5f);
}

class EveryConfiguration : public testing::TestWithParam<int16_t> {};

TEST_P(EveryConfiguration, BlockSizeDoesNotChangeTheSound) {
    constexpr int32_t total = 4096;
    std::vector<float> reference;
    for (const int32_t blockSize : {total, 1, 37, 64}) {
        FilterSetup setup;
        setup.poles = GetParam();
        setup.zing = 1.0f;
        auto host = makeFilter(setup, total);
        for (int32_t i = 0; i < total; ++i) host->buffer(signalPin)[i] = std::sin(0.05f * static_cast<float>(i));
        host->processInBlocks(total, blockSize);
        if (reference.empty()) {
            reference = outputOf(*host, 0, total);
        } else {
            ASSERT_EQ(outputOf(*host, 0, total), reference) << "blocks of " << blockSize;
        }
    }
}

TEST_P(EveryConfiguration, SilenceInGivesExactSilenceOut) {
    for (const int16_t type : {int16_t{0}, int16_t{1}}) {
        FilterSetup setup;
        setup.poles = GetParam();
        setup.type = type;
        setup.signal = 0.0f;
        setup.pitch = 0.3f;
        setup.resonance = 1.0f;
        auto host = makeFilter(setup);
        host->fill(outputPin, 1.0f);
        host->processInBlocks(2048, 64);
        for (const float sample : outputOf(*host, 0, 2048)) ASSERT_EQ(sample, 0.0f);
    }
}

INSTANTIATE_TEST_SUITE_P(Poles, EveryConfiguration, testing::Range(int16_t{0}, ModuleUnderTest::configurationCount()));

/// Output at Pitch 0 over output at Pitch 0.1, sample by sample. Both Pitches sit
/// at the lowest cutoff, so only the low-pitch boost differs between the two
/// runs. A square of half-period `squareHalfPeriod` replaces the constant Signal
/// when given.
std::vector<float> boostRatios(FilterSetup setup, int32_t total, int32_t squareHalfPeriod = 0) {
    std::vector<std::vector<float>> outputs;
    for (const float pitch : {0.0f, 0.1f}) {
        setup.pitch = pitch;
        auto host = makeFilter(setup, total);
        if (squareHalfPeriod > 0) {
            for (int32_t i = 0; i < total; ++i) {
                host->buffer(signalPin)[i] = (i / squareHalfPeriod) % 2 == 0 ? 0.5f : -0.5f;
            }
        }
        host->processInBlocks(total, 64);
        outputs.push_back(outputOf(*host, 0, total));
    }
    std::vector<float> ratios;
    for (int32_t i = 0; i < total; ++i) {
        ratios.push_back(outputs[0][static_cast<std::size_t>(i)] / outputs[1][static_cast<std::size_t>(i)]);
    }
    return ratios;
}

constexpr float boostRatioAtSlope(float slope) { return (0.5f * slope + 1.0f) / (0.4f * slope + 1.0f); }

TEST(Boost, PitchZeroBoostsTheTappedOutputByItsSlope) {
    for (int16_t poles = 0; poles < ModuleUnderTest::configurationCount(); ++poles) {
        if (hasDifferenceTap(poles)) continue;
        FilterSetup setup;
        setup.poles = poles;
        EXPECT_NEAR(boostRatios(setup, 4)[0], boostRatioAtSlope(poles == 0 ? 0.5f : 0.3f), 1e-5f) << poles;
    }
}

TEST(Boost, ThreePoleLoopsScaleOnlyTheOutput) {
    for (int16_t poles = 0; poles < ModuleUnderTest::configurationCount(); ++poles) {
        if (!loopClosesBeforeOutput(poles)) continue;
        FilterSetup setup;
        setup.poles = poles;
        const auto ratios = boostRatios(setup, 512);
        for (std::size_t i = 1; i < ratios.size(); i += 37) {
            EXPECT_NEAR(ratios[i], boostRatioAtSlope(0.3f), 1e-5f) << poles << " @" << i;
        }
    }
}

TEST(Boost, OtherConfigurationsFeedTheBoostedValueOn) {
    for (const int16_t poles : {0, 6, 8, 16, 18, 20}) {
        FilterSetup setup;
        setup.poles = poles;
        setup.resonance = 1.0f;
        setup.zing = 1.0f;
        float largestDeparture = 0.0f;
        for (const float ratio : boostRatios(setup, 4096, 800)) {
            largestDeparture = std::max(largestDeparture, std::fabs(ratio - boostRatioAtSlope(0.3f)));
        }
        EXPECT_GT(largestDeparture, 1e-3f) << poles;
    }
}

TEST(OutputForms, DifferenceTapsIgnoreTypeAndOthersDoNot) {
    for (int16_t poles = 0; poles < ModuleUnderTest::configurationCount(); ++poles) {
        FilterSetup setup;
        setup.poles = poles;
        setup.zing = 1.0f;
        auto lowPass = makeFilter(setup);
        setup.type = 1;
        auto highPass = makeFilter(setup);
        for (auto* host : {lowPass.get(), highPass.get()}) {
            for (int32_t i = 0; i < 1024; ++i) host->buffer(signalPin)[i] = (i / 50) % 2 == 0 ? 0.8f : -0.8f;
            host->processInBlocks(1024, 64);
        }
        EXPECT_EQ(outputOf(*lowPass, 0, 1024) == outputOf(*highPass, 0, 1024), hasDifferenceTap(poles)) << poles;
    }
}

TEST(OutputForms, TypeAndPolesChangesBetweenBlocks) {
    FilterSetup setup;
    setup.poles = 4;
    auto host = makeFilter(setup);
    auto lowPass = makeFilter(setup);
    host->process(0, 64);
    lowPass->processInBlocks(128, 64);
    host->setListValue(typePin, 1);
    host->sendStatus(typePin, PinStatusChangedOnce);
    host->process(64, 64);
    // High-pass from the next block on, from the same state: x - t where low-pass gives t.
    const float x = host->buffer(signalPin)[64];
    for (int32_t i = 64; i < 128; ++i) {
        ASSERT_NEAR(host->buffer(outputPin)[i], 0.65f * x - lowPass->buffer(outputPin)[i], 1e-6f) << i;
    }
    host->setListValue(polesPin, 9);
    host->sendStatus(polesPin, PinStatusChangedOnce);
    host->process(128, 64);
    // Restarted from rest: the first high-pass sample is the halved input, less almost nothing.
    EXPECT_NEAR(host->buffer(outputPin)[128], 0.25f * 0.5f * x, 1e-3f);
}

/// Gain the envelope applied in each block: output of a spiky run over ten
/// times the output of the same run at a tenth of the level (a linear regime).
std::vector<float> envelopeGains(const std::vector<int32_t>& spikeBlocks, int32_t blockCount) {
    constexpr int32_t blockSize = 16;
    const int32_t total = blockCount * blockSize;
    std::vector<std::unique_ptr<HostInstance>> hosts;
    for (const float level : {1.0f, 0.1f}) {
        FilterSetup setup;
        setup.poles = 1;  // linear apart from a knee this level never reaches
        setup.type = 1;
        setup.resonance = 0.2f;
        setup.blockSize = blockSize;
        auto host = makeFilter(setup, total);
        float* signal = host->buffer(signalPin);
        for (int32_t i = 0; i < total; ++i) signal[i] = level * 0.5f * std::sin(0.3f * static_cast<float>(i));
        for (const int32_t block : spikeBlocks) signal[block * blockSize] = level * 4.6f;
        host->processInBlocks(total, blockSize);
        hosts.push_back(std::move(host));
    }
    std::vector<float> gains;
    for (int32_t block = 0; block < blockCount; ++block) {
        const float* loud = hosts[0]->buffer(outputPin) + block * blockSize;
        const float* quiet = hosts[1]->buffer(outputPin) + block * blockSize;
        const auto peak = std::max_element(quiet, quiet + blockSize,
                                           [](float a, float b) { return std::fabs(a) < std::fabs(b); }) - quiet;
        gains.push_back(loud[peak] / (10.0f * quiet[peak]));
    }
    return gains;
}

std::vector<float> envelopeFrom(int32_t counter, int32_t blocks) {
    const float fade[] = {0.9f, 0.8f, 0.7f, 0.6f, 0.5f, 0.4f};
    std::vector<float> gains;
    for (int32_t i = 0; i < blocks; ++i, --counter) {
        if (counter <= 0) gains.push_back(1.0f);
        else if (counter > 122) gains.push_back(fade[128 - counter]);
        else if (counter <= 6) gains.push_back(fade[counter - 1]);
        else gains.push_back(0.3f);
    }
    return gains;
}

void expectGains(const std::vector<float>& measured, const std::vector<float>& expected, std::size_t from) {
    for (std::size_t i = 0; i < expected.size(); ++i) {
        ASSERT_NEAR(measured[from + i], expected[i], 2e-4f) << "block " << from + i;
    }
}

TEST(OverloadEnvelope, TriggerFromRestShapesOneHundredTwentyEightBlocks) {
    const auto gains = envelopeGains({2}, 140);
    expectGains(gains, {1.0f, 1.0f}, 0);
    expectGains(gains, envelopeFrom(128, 138), 2);
}

TEST(OverloadEnvelope, RetriggerHoldsOrRestartsTheHold) {
    // At counter 100 (block 2 + 28) nothing changes.
    const auto held = envelopeGains({2, 30}, 140);
    expectGains(held, envelopeFrom(128, 138), 2);
    // At counter 10 the hold restarts at 64: that block is already at 0.3.
    const auto restarted = envelopeGains({2, 120}, 200);
    expectGains(restarted, envelopeFrom(128, 118), 2);
    expectGains(restarted, envelopeFrom(64, 70), 120);
}

TEST(OverloadEnvelope, OnlyTheFirstSampleOfABlockCounts) {
    constexpr int32_t blockSize = 16;
    FilterSetup setup;
    setup.poles = 1;
    setup.type = 1;
    setup.blockSize = blockSize;
    auto host = makeFilter(setup, 64);
    float* signal = host->buffer(signalPin);
    std::fill(signal, signal + 64, 0.0f);
    signal[16 + 5] = 8.0f;   // late in its block
    signal[32] = -8.0f;      // negative excursion
    host->processInBlocks(64, blockSize);
    EXPECT_GT(host->buffer(outputPin)[16 + 5], 2.0f);
    EXPECT_LT(host->buffer(outputPin)[32], -2.0f);
    // No envelope: the loud samples came through unscaled.
    EXPECT_NEAR(host->buffer(outputPin)[16 + 5], 0.5f * (8.0f - 0.0f), 0.1f);
}

}  // namespace
}  // namespace vexatest
