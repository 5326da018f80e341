// Control-rate update: cutoff mapping, pole coefficient, resonance lookup.
#include <cmath>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "common/AsWritten.h"
#include "CoefficientUpdate.h"
#include "PoleConfigs.h"

namespace vexatest {
namespace {

using namespace vexa;

constexpr float rate44k = 2.0f / 44100.0f;

UpdateParameters plain(double offset = 0.0, float resScale = 0.33f, int32_t indexFloor = -99) {
    return {offset, Precision::single, 1.06f, indexFloor, resScale, Precision::single, 0};
}

Coefficients update(const UpdateParameters& parameters, float pitch, float resonance, float zing,
                    float freqScale = rate44k, CoefficientUse use = {{true, true, true, true}, {}}) {
    Coefficients c{};
    updateCoefficients(parameters, use, pitch, resonance, zing, freqScale, c);
    return c;
}

Coefficients updateFor(std::size_t poles, float pitch, float resonance = 0.5f, float zing = 1.0f) {
    const PoleConfig& config = poleConfigs[poles];
    return update(poleConfigs[poles].update, pitch, resonance, zing, rate44k, config.coefficientUse());
}

TEST(CutoffLimits, AreComputedOnceAtLoad) {
    EXPECT_EQ(cutoffMin, 55.0f);
    EXPECT_EQ(cutoffMax, 21341.28125f);
    EXPECT_EQ(cutoffMaxAlt, 15090.5693359375f);
}

TEST(CutoffMapping, OneVoltPerOctaveBetweenTheLimits) {
    EXPECT_TRUE(matchesAsWritten(cutoffFrequency(0.5f, 1.06f), "440"));
    EXPECT_EQ(cutoffFrequency(0.2f, 1.06f), cutoffMin);
    EXPECT_EQ(cutoffFrequency(-3.0f, 1.06f), cutoffMin);
    EXPECT_EQ(cutoffFrequency(1.1f, 1.06f), cutoffMax);
    EXPECT_EQ(cutoffFrequency(1.05f, 1.01f), cutoffMaxAlt);
    EXPECT_TRUE(matchesAsWritten(cutoffFrequency(1.05f, 1.06f), "19912.1"));
    EXPECT_TRUE(matchesAsWritten(cutoffFrequency(0.45f, 1.06f), "311.127"));
}

TEST(PoleCoefficient, KnownPointsAt44k) {
    const float d440 = static_cast<float>(440.0 * rate44k);
    EXPECT_TRUE(matchesAsWritten(d440, "0.0199546"));
    EXPECT_TRUE(matchesAsWritten(poleCoefficient(d440), "-0.941718"));
    const float dMin = cutoffMin * rate44k;
    EXPECT_TRUE(matchesAsWritten(dMin, "0.00249433"));
    EXPECT_TRUE(matchesAsWritten(poleCoefficient(dMin), "-0.998988"));
    const float dMax = cutoffMax * rate44k;
    EXPECT_TRUE(matchesAsWritten(cutoffMax, "21341.28"));
    EXPECT_TRUE(matchesAsWritten(dMax, "0.967859"));
    EXPECT_TRUE(matchesAsWritten(poleCoefficient(dMax), "0.994409"));
}

TEST(PoleCoefficient, UpdateGivesTheSameAtPitchLimits) {
    EXPECT_TRUE(matchesAsWritten(update(plain(), 0.5f, 1, 1).q[0], "-0.941718"));
    EXPECT_TRUE(matchesAsWritten(update(plain(), 0.2f, 1, 1).q[0], "-0.998988"));
    EXPECT_TRUE(matchesAsWritten(update(plain(), -1.0f, 1, 1).q[0], "-0.998988"));
    EXPECT_TRUE(matchesAsWritten(update(plain(), 1.1f, 1, 1).q[0], "0.994409"));
}

TEST(CurveLookup, ZingZeroReadsTheEntryBeforeZero) {
    const CurvePosition position = curvePosition(0.0f, -99);
    EXPECT_EQ(position.index, 0);
    EXPECT_EQ(position.fraction, 0.0f);
    for (const float pitch : {0.1f, 0.5f, 1.0f}) {
        EXPECT_TRUE(matchesAsWritten(update(plain(0.0, 1.0f), pitch, 1.0f, 0.0f).resFeedback, "0.448883"));
        EXPECT_TRUE(matchesAsWritten(update(plain(0.0, 2.0f), pitch, 0.5f, 0.0f).resFeedback, "0.448883"));
    }
}

/// Worked by hand from the update's steps at 44.1 kHz. A positive Zing at a
/// low cutoff reads the curve's large values; a negative Zing reads it the
/// other way round, towards its small values at low cutoffs and its large
/// values (extrapolated beyond the index floor) at high cutoffs.
struct WorkedLookup {
    const char* name;
    UpdateParameters parameters;
    float pitch, zing, resonance;
    const char* w;
    int32_t index;
    const char* fraction;
    const char* resFeedback;
};

TEST(CurveLookup, WorkedExamples) {
    EXPECT_TRUE(matchesAsWritten(cutoffFrequency(0.4f, 1.06f), "220"));
    const WorkedLookup examples[] = {
        {"440 Hz, Zing 10 V: between entries", plain(0.0, 0.33f), 0.5f, 1.0f, 1.0f, "-93.2301", -94, "0.76993", "0.311821"},
        {"220 Hz, floor -10, Zing 5 V: below the floor", plain(0.1, 2.2f, -10), 0.5f, 0.5f, 1.0f, "-48.2327", -10, "-38.2327", "1.33406"},
        {"440 Hz, Zing -5 V", plain(), 0.5f, -0.5f, 1.0f, "46.615", 46, "0.615036", "0.110966"},
        {"440 Hz, Zing -12 V: clamped at the top", plain(), 0.5f, -1.2f, 1.0f, "111.876", 99, "12.8761", "0.0726"},
        {"7040 Hz, Zing -5 V", plain(), 0.9f, -0.5f, 1.0f, "1.9227", 1, "0.922701", "0.146243"},
        {"highest cutoff, Zing -5 V", plain(), 1.1f, -0.5f, 1.0f, "-49.2233", -50, "0.776749", "0.211988"},
        {"highest cutoff, Zing -12 V: below the floor", plain(), 1.1f, -1.2f, 1.0f, "-118.136", -99, "-19.1358", "0.389235"},
        {"14080 Hz, floor -10, Zing -12 V", plain(0.1, 2.2f, -10), 1.1f, -1.2f, 1.0f, "-79.925", -10, "-69.925", "1.5639"},
        {"220 Hz, floor -10, Zing -5 V, Resonance -10 V", plain(0.1, 2.2f, -10), 0.5f, -0.5f, -1.0f, "48.2327", 48, "0.232681", "-0.732909"},
    };
    for (const WorkedLookup& e : examples) {
        const Coefficients c = update(e.parameters, e.pitch, e.resonance, e.zing);
        const float w = static_cast<float>(static_cast<double>(c.q[0]) * e.zing * 99.0);
        const CurvePosition position = curvePosition(w, e.parameters.indexFloor);
        EXPECT_TRUE(matchesAsWritten(w, e.w)) << e.name << ": w " << w;
        EXPECT_EQ(position.index, e.index) << e.name;
        EXPECT_TRUE(matchesAsWritten(position.fraction, e.fraction)) << e.name << ": frac " << position.fraction;
        EXPECT_TRUE(matchesAsWritten(c.resFeedback, e.resFeedback)) << e.name << ": resFeedback " << c.resFeedback;
    }
}

TEST(CurveLookup, TopOfTheCurveIsClampedAndEveryPositionStaysInsideTheTable) {
    EXPECT_EQ(curvePosition(99.5f, -99).index, 99);
    EXPECT_EQ(curvePosition(1e30f, -99).index, 99);
    EXPECT_EQ(curvePosition(-1e30f, -99).index, -99);
    EXPECT_EQ(curvePosition(std::numeric_limits<float>::infinity(), -99).index, 99);
    EXPECT_EQ(curvePosition(-std::numeric_limits<float>::infinity(), -10).index, -10);
    EXPECT_EQ(curvePosition(std::numeric_limits<float>::quiet_NaN(), -99).index, -99);
}

TEST(CurveLookup, NoResonanceMeansNoFeedback) {
    for (const float zing : {-5.0f, 0.0f, 1.0f, 5.0f}) {
        for (const float pitch : {0.0f, 0.5f, 1.1f}) {
            EXPECT_EQ(update(plain(0.0, 2.2f, -10), pitch, 0.0f, zing).resFeedback, 0.0f);
        }
    }
}

struct ConfigCoefficients {
    std::size_t poles;
    float pitch;
    std::string k, kA, resFeedback;
};

void PrintTo(const ConfigCoefficients& c, std::ostream* os) { *os << "Poles " << c.poles; }

class ConfigUpdate : public testing::TestWithParam<ConfigCoefficients> {};

TEST_P(ConfigUpdate, KnownCoefficientsAtResonanceHalfZingOne) {
    const ConfigCoefficients& expected = GetParam();
    const Coefficients c = updateFor(expected.poles, expected.pitch);
    if (!expected.k.empty()) { EXPECT_TRUE(matchesAsWritten(c.q[0], expected.k)); }
    if (!expected.kA.empty()) { EXPECT_TRUE(matchesAsWritten(c.q[1], expected.kA)); }
    EXPECT_TRUE(matchesAsWritten(c.resFeedback, expected.resFeedback));
}

INSTANTIATE_TEST_SUITE_P(
    Members, ConfigUpdate,
    testing::Values(ConfigCoefficients{1, 0.5f, "-0.974398", "", "0.97522"},
                    ConfigCoefficients{6, 0.5f, "-0.941718", "", "0.15591"},
                    ConfigCoefficients{8, 0.5f, "-0.960846", "-0.955441", "0.57748"},
                    ConfigCoefficients{9, 0.5f, "-0.960846", "", "0.48124"},
                    ConfigCoefficients{10, 0.5f, "-0.941718", "", "0.3071"},
                    ConfigCoefficients{14, 0.5f, "-0.941718", "", "0.28347"},
                    ConfigCoefficients{16, 0.5f, "-0.923249", "-0.918056", "0.14855"},
                    ConfigCoefficients{18, 0.45f, "-0.941718", "", "0.132288"},
                    ConfigCoefficients{19, 0.45f, "-0.941718", "", "0.0708684"},
                    ConfigCoefficients{26, 0.4f, "-0.941718", "", "0.472456"},
                    ConfigCoefficients{28, 0.5f, "-0.941718", "", "0.566947"}));

TEST(ConfigUpdate, PitchOffsetsMoveTheLimits) {
    // Poles 16 adds 0.036: Pitch 0.15 is still at the floor, 0.17 is above it.
    EXPECT_EQ(updateFor(16, 0.15f).q[0], updateFor(16, -1.0f).q[0]);
    EXPECT_TRUE(matchesAsWritten(cutoffFrequency(0.17f + 0.036f, 1.06f), "57.34"));
    EXPECT_GT(updateFor(16, 0.17f).q[0], updateFor(16, 0.15f).q[0]);
    // Poles 8 and 9 subtract 0.05; Poles 9 stops at the lower ceiling.
    const float kAtAltMax = poleCoefficient(cutoffMaxAlt * rate44k);
    EXPECT_EQ(updateFor(9, 1.1f).q[0], kAtAltMax);
    EXPECT_TRUE(matchesAsWritten(cutoffFrequency(1.1f - 0.05f, 1.06f), "19912.1"));
    EXPECT_GT(updateFor(8, 1.1f).q[0], kAtAltMax);
    EXPECT_LT(updateFor(8, 1.1f).q[0], poleCoefficient(cutoffMax * rate44k));
    // Poles 18 to 25 add 0.05: Pitch 0.1 is the floor and 1.02 the ceiling.
    for (std::size_t poles = 18; poles <= 25; ++poles) {
        EXPECT_EQ(updateFor(poles, 0.1f).q[0], poleCoefficient(cutoffMin * rate44k)) << poles;
        EXPECT_EQ(updateFor(poles, 1.02f).q[0], poleCoefficient(cutoffMax * rate44k)) << poles;
    }
}

TEST(ConfigUpdate, OnlyTheCoefficientsAConfigurationUsesAreWritten) {
    const PoleConfig& light = poleConfigs[5];
    Coefficients c{{7.0f, 7.0f, 7.0f, 7.0f}, 0.0f};
    updateCoefficients(poleConfigs[5].update, light.coefficientUse(), 0.5f, 0.5f, 1.0f, rate44k, c);
    EXPECT_NE(c.q[0], 7.0f);
    EXPECT_EQ(c.q[1], 7.0f);
    EXPECT_EQ(c.q[2], 7.0f);
    EXPECT_EQ(c.q[3], 7.0f);
    const PoleConfig& full = poleConfigs[2];
    updateCoefficients(poleConfigs[2].update, full.coefficientUse(), 0.5f, 0.5f, 1.0f, rate44k, c);
    EXPECT_TRUE(matchesAsWritten(c.q[1], "-0.955441"));  // 0.994375 * k at 311.127 Hz
    EXPECT_EQ(c.q[2], 7.0f);
    EXPECT_FLOAT_EQ(c.q[3], c.q[0] * 1.000625f);
}

TEST(StableRange, CutoffIsHeldAtHalfTheSampleRate) {
    // At 22.05 kHz the top of the Pitch range lies above Nyquist: d stops at 1.
    const float atNyquist = poleCoefficient(1.0f);
    EXPECT_EQ(update(plain(), 1.1f, 0, 0, 2.0f / 22050.0f).q[0], atNyquist);
    EXPECT_EQ(update(plain(), 1.0f, 0, 0, 2.0f / 22050.0f).q[0], atNyquist);
    EXPECT_LT(update(plain(), 0.9f, 0, 0, 2.0f / 22050.0f).q[0], atNyquist);
    EXPECT_LT(atNyquist, 1.0f);
    // At 44.1 kHz and above nothing changes.
    EXPECT_TRUE(matchesAsWritten(update(plain(), 1.1f, 0, 0).q[0], "0.994409"));
}

TEST(StableRange, LowestCoefficientStaysInsideTheUnitCircle) {
    EXPECT_EQ(update(plain(), 0.0f, 0, 0, 2.0f / 96000.0f).q[0], stableCoefficientFloor);
    EXPECT_EQ(update(plain(), 0.0f, 0, 0, 2.0f / 192000.0f).q[0], stableCoefficientFloor);
    EXPECT_TRUE(matchesAsWritten(update(plain(), 0.0f, 0, 0, 2.0f / 48000.0f).q[0], "-0.99966"));
    EXPECT_TRUE(matchesAsWritten(update(plain(), 0.0f, 0, 0).q[0], "-0.998988"));
}

TEST(StableRange, UnsaturatedPoleOfFourThreeKeepsItsDetunedCoefficientInRange) {
    // kB = 1.0038 k drives a pole without an input saturator in "4:3".
    const Coefficients low = updateFor(28, 0.0f);
    EXPECT_EQ(low.q[2], stableCoefficientFloor);
    const Coefficients normal = updateFor(28, 0.5f);
    EXPECT_FLOAT_EQ(normal.q[2], static_cast<float>(1.0038 * normal.q[0]));
    // "5:3" uses kB only in saturating poles: it is left as computed.
    EXPECT_LT(updateFor(26, -1.0f).q[2], -1.0f);
}

TEST(StableRange, DetunedCoefficientOfFourThreeStaysBelowOneAtTheTopOfLowRates) {
    // At 22.05 kHz the top of the Pitch range is half the sample rate: k = 0.998
    // and kB = 1.0038 k would lie above 1.
    const float rate22k = 2.0f / 22050.0f;
    const CoefficientUse use = poleConfigs[28].coefficientUse();
    const Coefficients top = update(poleConfigs[28].update, 1.05f, 0.0f, 0.01f, rate22k, use);
    EXPECT_GT(top.q[0], 0.99f);
    EXPECT_EQ(top.q[2], stableCoefficientCeiling);
    // At 44.1 kHz and above the top stays inside and is left as computed.
    const Coefficients top44k = updateFor(28, 1.05f);
    EXPECT_FLOAT_EQ(top44k.q[2], static_cast<float>(1.0038 * top44k.q[0]));
    EXPECT_LT(top44k.q[2], stableCoefficientCeiling);
}

TEST(FeedbackFlush, VanishingAndInvalidFeedbackIsFlushed) {
    EXPECT_TRUE(shouldFlushFeedback(0.0f));
    EXPECT_TRUE(shouldFlushFeedback(1e-35f));
    EXPECT_TRUE(shouldFlushFeedback(-2.9e-34f));
    EXPECT_TRUE(shouldFlushFeedback(std::numeric_limits<float>::quiet_NaN()));
    EXPECT_FALSE(shouldFlushFeedback(3.1e-34f));
    EXPECT_FALSE(shouldFlushFeedback(-1e-20f));
    EXPECT_FALSE(shouldFlushFeedback(std::numeric_limits<float>::infinity()));
}

}  // namespace
}  // namespace vexatest
