// The filter's sound as numbers: worked examples of single configurations,
// compared to the digits they are known to.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/AsWritten.h"
#include "integration/ModuleUnderTest.h"

namespace vexatest {
namespace {

struct WorkedExample {
    int16_t poles;
    float pitch;
    std::vector<std::string> lowPass;
    std::vector<std::string> highPass;  ///< empty when not known
};

void PrintTo(const WorkedExample& example, std::ostream* os) { *os << "Poles " << example.poles; }

class FirstSamplesAfterReset : public testing::TestWithParam<WorkedExample> {};

std::vector<float> firstSamples(int16_t poles, int16_t type, float pitch, int32_t count) {
    FilterSetup setup;
    setup.poles = poles;
    setup.type = type;
    setup.pitch = pitch;
    setup.zing = 1.0f;
    auto host = makeFilter(setup);
    host->process(0, 64);
    const float* out = host->buffer(outputPin);
    return {out, out + count};
}

TEST_P(FirstSamplesAfterReset, MatchToTheDigitsGiven) {
    const WorkedExample& example = GetParam();
    const auto lowPass = firstSamples(example.poles, 0, example.pitch, 3);
    for (std::size_t i = 0; i < example.lowPass.size(); ++i) {
        EXPECT_TRUE(matchesAsWritten(lowPass[i], example.lowPass[i])) << "low-pass sample " << i;
    }
    const auto highPass = firstSamples(example.poles, 1, example.pitch, 3);
    for (std::size_t i = 0; i < example.highPass.size(); ++i) {
        EXPECT_TRUE(matchesAsWritten(highPass[i], example.highPass[i])) << "high-pass sample " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    WorkedExamples, FirstSamplesAfterReset,
    testing::Values(
        WorkedExample{1, 0.5f, {"8.1362e-05", "0.00048342", "0.0014314"}, {"0.24992", "0.49952", "0.49857"}},
        WorkedExample{6, 0.5f, {"0.00058959", "0.0034580", "0.010064"}, {}},
        WorkedExample{8, 0.5f, {"7.3058e-06", "5.7406e-05", "0.00022452"}, {"0.22499", "0.44994", "0.44978"}},
        WorkedExample{9, 0.5f, {"3.7252e-06", "2.9339e-05", "0.00011508"}, {"0.125", "0.24997", "0.24988"}},
        WorkedExample{16, 0.5f, {"1.0097e-06", "9.7596e-06", "4.6842e-05"}, {"0.059999", "0.11999", "0.11995"}},
        // Difference taps ignore Type: both outputs are the same numbers.
        WorkedExample{18, 0.45f, {"-0.000219211", "-0.00106632", "-0.00267407"},
                      {"-0.000219211", "-0.00106632", "-0.00267407"}},
        WorkedExample{19, 0.45f, {"-9.2749e-05", "-0.000452259", "-0.00113774"},
                      {"-9.2749e-05", "-0.000452259", "-0.00113774"}},
        WorkedExample{26, 0.4f, {"1.57322e-08", "1.83815e-07", "1.06903e-06"}, {"0.05", "0.0999998", "0.0999989"}}));

struct SettleValue {
    int16_t poles;
    std::string value;
};

void PrintTo(const SettleValue& settle, std::ostream* os) { *os << "Poles " << settle.poles; }

class LowPassSettles : public testing::TestWithParam<SettleValue> {};

TEST_P(LowPassSettles, AtTheKnownLevelWhateverTheBlockSize) {
    const SettleValue& settle = GetParam();
    constexpr int32_t total = 8192;
    for (const int32_t blockSize : {1, 64, 4096}) {
        FilterSetup setup;
        setup.poles = settle.poles;
        setup.zing = 1.0f;
        auto host = makeFilter(setup, total);
        host->processInBlocks(total, blockSize);
        EXPECT_TRUE(matchesAsWritten(host->buffer(outputPin)[total - 1], settle.value)) << "blocks of " << blockSize;
    }
}

INSTANTIATE_TEST_SUITE_P(ThreeAndFourPoleOutputs, LowPassSettles,
                         testing::Values(SettleValue{8, "0.4505"}, SettleValue{9, "0.3221"}, SettleValue{10, "0.4372"},
                                         SettleValue{11, "0.3451"}, SettleValue{13, "0.3864"},
                                         SettleValue{14, "0.4043"}, SettleValue{15, "0.3544"},
                                         SettleValue{16, "0.2541"}, SettleValue{17, "0.3725"}));

}  // namespace
}  // namespace vexatest
