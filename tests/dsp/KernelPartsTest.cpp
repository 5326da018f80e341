// Building blocks of the kernels and the table of configurations.
#include <cmath>
#include <map>
#include <regex>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "common/AsWritten.h"
#include "filter/BlockTail.h"
#include "filter/KernelTable.h"
#include "filter/LadderFilter.h"
#include "filter/PoleConfigs.h"
#include "filter/ResonanceCurve.h"
#include "filter/Saturator.h"
#include "host/ModuleInterface.h"

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

/// label -> value of the Poles list text, as a host reads it.
std::map<std::string, int> parseList(const std::string& text) {
    std::map<std::string, int> items;
    const std::regex item(R"(\s*([^=,]+?)\s*=\s*(-?\d+)\s*)");
    std::size_t begin = 0;
    while (begin <= text.size()) {
        const std::size_t comma = text.find(',', begin);
        const std::string part = text.substr(begin, comma == std::string::npos ? std::string::npos : comma - begin);
        std::smatch match;
        if (std::regex_match(part, match, item)) items[match[1]] = std::stoi(match[2]);
        if (comma == std::string::npos) break;
        begin = comma + 1;
    }
    return items;
}

TEST(PoleConfigTable, EveryListItemNamesItsOwnRow) {
    LadderFilter filter(nullptr, nullptr);
    PinProperties properties{};
    ASSERT_TRUE(filter.getPinProperties(polesPin, &properties));
    const auto items = parseList(properties.extraText);
    ASSERT_EQ(items.size(), poleConfigCount);
    std::set<int> values;
    for (const auto& [label, value] : items) {
        ASSERT_GE(value, 0);
        ASSERT_LT(value, static_cast<int>(poleConfigCount));
        EXPECT_EQ(label, std::string(poleConfigs[static_cast<std::size_t>(value)].name) + " Pole");
        values.insert(value);
    }
    EXPECT_EQ(values.size(), poleConfigCount);
}

TEST(PoleConfigTable, RowsAreWellFormed) {
    for (std::size_t poles = 0; poles < poleConfigCount; ++poles) {
        const PoleConfig& config = poleConfigs[poles];
        SCOPED_TRACE(config.name);
        EXPECT_GE(config.tap(), 1u);
        EXPECT_LE(config.tap(), config.poleCount());
        EXPECT_GE(config.feedbackPole(), 1u);
        EXPECT_LE(config.feedbackPole(), config.poleCount());
        if (config.routing.output == OutputForm::difference) {
            EXPECT_GE(config.routing.differencePole, 1u);
            EXPECT_LT(config.routing.differencePole, config.poleCount());
        }
        // Light variants saturate only their first pole.
        const bool light = std::string(config.name).back() == 'f';
        for (std::size_t i = 1; i < config.poleCount(); ++i) {
            EXPECT_EQ(config.chain.stages[i].form == StageForm::linear, light) << "pole " << i + 1;
        }
        // The name gives the tap and the loop: "a:b".
        const std::string name = config.name;
        const std::size_t colon = name.find(':');
        EXPECT_EQ(static_cast<std::size_t>(name[colon + 1] - '0'), config.feedbackPole());
        if (config.routing.output == OutputForm::tapped) {
            EXPECT_EQ(static_cast<std::size_t>(name[0] - '0'),
                      config.feedbackPole() < config.tap() ? config.poleCount() : config.tap());
        }
    }
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

TEST(KernelSelection, EveryValueHasItsOwnRoutineAndGain) {
    const float gains[] = {0.65f, 0.5f,  0.65f, 0.55f, 0.65f,   0.5f,   0.65f,  0.5f,   0.45f,  0.25f,
                           0.4f,  0.25f, 0.25f, 0.25f, 0.2f,    0.125f, 0.12f,  0.12f,  -0.12f, -0.055f,
                           0.12f, 0.0625f, -0.12f, -0.075f, -0.23f, -0.095f, 0.1f, 0.06f, 0.25f, 0.125f};
    std::set<SubProcess> routines;
    for (int32_t poles = 0; poles < 30; ++poles) {
        const KernelChoice choice = selectKernel(poles);
        EXPECT_EQ(choice.outGain, gains[poles]) << poles;
        routines.insert(choice.kernel);
    }
    EXPECT_EQ(routines.size(), 30u);
    for (const int32_t outside : {-1, 30, 31, -32768, 32767}) {
        EXPECT_EQ(selectKernel(outside).kernel, selectKernel(0).kernel);
        EXPECT_EQ(selectKernel(outside).outGain, 0.65f);
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
