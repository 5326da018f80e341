// Building blocks of the kernels, the table of configurations and the block functions, without a host.
#include <cmath>
#include <set>
#include <vector>

#include <gtest/gtest.h>

#include "common/AsWritten.h"
#include "BlockTail.h"
#include "LadderState.h"
#include "PoleConfigs.h"
#include "ProcessBlock.h"
#include "ResonanceCurve.h"
#include "Saturator.h"

namespace vexatest {
namespace {

using namespace vexa;

TEST(Saturator, KnownValuesAndContinuityAtTheKnee) {
    EXPECT_TRUE(matchesAsWritten(sat(1.0f, 5.1f), "0.993"));
    EXPECT_TRUE(matchesAsWritten(sat(6.0f, 5.1f), "5.3622"));
    EXPECT_TRUE(matchesAsWritten(sat(-6.0f, 5.1f), "-5.3622"));
    EXPECT_TRUE(matchesAsWritten(sat(20.0f, 4.95f), "9.8969"));
    for (const float knee : {4.95f, 5.1f, 5.15f, 5.5f}) {
        EXPECT_NEAR(sat(knee, knee), 0.993f * knee, 1e-5f);
        EXPECT_NEAR(sat(std::nextafter(knee, 10.0f), knee), 0.993f * knee, 1e-5f);
    }
}

TEST(Saturator, TinySignalsSurvive) {
    EXPECT_NEAR(sat(1e-8f, 5.0f), 0.993e-8f, 1e-14f);
    EXPECT_NEAR(sat(-3e-30f, 5.5f), -0.993 * 3e-30, 1e-36);
}

TEST(OverloadEnvelope, FadesDownHoldsAndFadesUp) {
    const float fade[] = {0.9f, 0.8f, 0.7f, 0.6f, 0.5f, 0.4f};
    for (int32_t i = 0; i < 6; ++i) {
        EXPECT_EQ(overloadFactor(128 - i), fade[i]) << 128 - i;
        EXPECT_EQ(overloadFactor(1 + i), fade[i]) << 1 + i;
    }
    for (int32_t counter = 7; counter <= 122; ++counter) EXPECT_EQ(overloadFactor(counter), 0.3f) << counter;
}

TEST(PoleConfigTable, DerivedCoefficientSets) {
    const auto computed = [](std::size_t poles) { return poleConfigs[poles].coefficientUse().computed; };
    EXPECT_EQ(computed(0), (std::array<bool, 4>{true, true, false, false}));
    EXPECT_EQ(computed(2), (std::array<bool, 4>{true, true, false, true}));
    EXPECT_EQ(computed(6), (std::array<bool, 4>{true, true, true, false}));
    EXPECT_EQ(computed(8), (std::array<bool, 4>{true, true, false, true}));
    EXPECT_EQ(computed(29), (std::array<bool, 4>{true, true, false, false}));
    for (const std::size_t light : {1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 21, 23, 25, 27}) {
        EXPECT_EQ(computed(light), (std::array<bool, 4>{true, false, false, false})) << light;
    }
    EXPECT_TRUE(poleConfigs[28].coefficientUse().needsStableRange[2]);
    EXPECT_FALSE(poleConfigs[26].coefficientUse().needsStableRange[2]);
}

TEST(BlockFunctions, OnePerConfigurationAndTypeAndTheFirstForOtherValues) {
    std::set<BlockFunction> functions;
    constexpr auto count = static_cast<int32_t>(poleConfigCount);
    for (int32_t poles = 0; poles < count; ++poles) {
        for (const bool highPass : {false, true}) functions.insert(blockFunction({poles, highPass}));
    }
    EXPECT_EQ(functions.size(), 2 * poleConfigCount);
    for (const int32_t outside : {-1, count, count + 1, -32768, 32767}) {
        EXPECT_EQ(blockFunction({outside, false}), blockFunction({0, false}));
        EXPECT_EQ(blockFunction({outside, true}), blockFunction({0, true}));
    }
}

/// A state as at Open, at 44.1 kHz.
LadderState startedState() {
    LadderState state;
    state.setSampleRate(44100.0f);
    state.start();
    return state;
}

// What a plug-in relies on: its output may be its input buffer, and a chain of
// fewer than five poles leaves the other states alone.
TEST(ProcessBlock, InPlaceAsApartAndStatesBeyondTheChainUntouched) {
    constexpr std::size_t n = 256;
    std::vector<float> signal(n), pitch(n, 0.5f), resonance(n, 0.5f), zing(n, 1.0f);
    for (std::size_t i = 0; i < n; ++i) signal[i] = 0.7f * std::sin(0.05f * static_cast<float>(i));
    for (int32_t poles = 0; poles < static_cast<int32_t>(poleConfigCount); ++poles) {
        for (const bool highPass : {false, true}) {
            SCOPED_TRACE(testing::Message() << poles << (highPass ? " HP" : " LP"));
            const std::size_t used = poleConfigs[static_cast<std::size_t>(poles)].poleCount();
            LadderState apart = startedState();
            for (std::size_t i = used; i < maxPoles; ++i) apart.s[i] = 0.125f * static_cast<float>(i + 1);
            LadderState inPlace = apart;
            std::vector<float> out(n);
            processBlock(apart, {poles, highPass}, {signal, pitch, resonance, zing, out});
            std::vector<float> buffer = signal;
            processBlock(inPlace, {poles, highPass}, {buffer, pitch, resonance, zing, buffer});
            EXPECT_EQ(buffer, out);
            for (std::size_t i = 0; i < maxPoles; ++i) {
                if (i < used) {
                    EXPECT_NE(apart.s[i], 0.0f) << "s" << i + 1;
                } else {
                    EXPECT_EQ(apart.s[i], 0.125f * static_cast<float>(i + 1)) << "s" << i + 1;
                }
            }
        }
    }
}

TEST(ResonanceCurveTable, EndsAndKnownEntries) {
    EXPECT_EQ(resonanceCurve[-100], 0.999489f);
    EXPECT_EQ(resonanceCurve[-37], 0.574851f);
    EXPECT_EQ(resonanceCurve[-1], 0.448883f);
    EXPECT_EQ(resonanceCurve[0], 0.445892f);
    EXPECT_EQ(resonanceCurve[21], 0.384818f);
    EXPECT_EQ(resonanceCurve[68], 0.248692f);
    EXPECT_EQ(resonanceCurve[99], 0.22f);
}

}  // namespace
}  // namespace vexatest
