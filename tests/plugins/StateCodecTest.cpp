// The state reader across versions: a parameter a later version adds, absent from an older state, takes its value for older states.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "StateCodec.h"

namespace {

using namespace vexaplugin;

/// Two parameters of the first version and one that version 2 added, which older states play as 48 kHz (1).
const std::vector<StateParameter> parameters = {{"pitch", 0.0f, 10.5f, false, 0, 5.0f},
                                                {"poles", 0.0f, 29.0f, true, 0, 5.0f},
                                                {"model_rate", 0.0f, 3.0f, true, 2, 1.0f}};

std::string state(const std::string& version, const std::string& pairs) {
    std::string bytes = version.empty() ? "" : std::string("vexa_state_version\0", 19) + version + '\0';
    return bytes + std::string("__dpf_program__\0" "0\0__dpf_parameters_begin__\0", 43) + pairs +
           std::string("__dpf_parameters_end__\0\xfe\0", 25);
}

TEST(StateVersions, AnOlderStateTakesTheValueForOlderStatesOfWhatItLacks) {
    const std::string older = std::string("pitch\0" "7.25\0poles\0" "18\0", 20);
    for (const std::string& version : {std::string(), std::string("1")}) {
        const auto loaded = decodeState(state(version, older), parameters, 10, 2);
        ASSERT_TRUE(loaded) << "version '" << version << "'";
        EXPECT_EQ(loaded->values, (std::vector<float>{7.25f, 18.0f, 1.0f}));
    }
    const std::string newer = older + std::string("model_rate\0" "3\0", 13);
    EXPECT_EQ(decodeState(state("2", newer), parameters, 10, 2)->values, (std::vector<float>{7.25f, 18.0f, 3.0f}));
    // A state of version 2 without it has lost it; an older one cannot carry it; version 3 is unknown.
    EXPECT_FALSE(decodeState(state("2", older), parameters, 10, 2));
    EXPECT_FALSE(decodeState(state("1", newer), parameters, 10, 2));
    EXPECT_FALSE(decodeState(state("3", newer), parameters, 10, 2));
}

}  // namespace
