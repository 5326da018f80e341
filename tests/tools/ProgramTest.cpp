// vexa-host as a program a user starts: through a link or PATH, its version, and what info shows.
#include <filesystem>
#include <regex>

#include <gtest/gtest.h>

#include "tools/ToolsTestSupport.h"
#include "dsp/PoleConfigs.h"

namespace vexatools_test {
namespace {

TEST(ProgramTest, FindsItsModuleBesideItsOwnFileThroughALinkOrPath) {
    const TemporaryFolder folder;
    std::filesystem::create_symlink(hostProgram(), folder.path("vexa-host"));
    const std::string expected = "Module:            " + std::filesystem::path(moduleLibrary()).string() + "\n";

    const RunResult linked = runHost({"info"});
    ASSERT_EQ(linked.exitCode, 0) << linked.standardError;
    const RunResult throughLink = runProgram({folder.path("vexa-host"), "info"});
    ASSERT_EQ(throughLink.exitCode, 0) << throughLink.standardError;
    EXPECT_EQ(throughLink.standardOutput.substr(0, expected.size()), expected);
    const RunResult throughPath =
        runProgram({"/bin/sh", "-c", "cd / && PATH='" + folder.path("") + "':\"$PATH\" vexa-host info"});
    ASSERT_EQ(throughPath.exitCode, 0) << throughPath.standardError;
    EXPECT_EQ(throughPath.standardOutput, throughLink.standardOutput);
}

TEST(ProgramTest, VersionFlagsPrintTheVersion) {
    for (const char* flag : {"--version", "-v"}) {
        const RunResult result = runHost({flag});
        EXPECT_EQ(result.exitCode, 0) << flag;
        EXPECT_TRUE(std::regex_match(result.standardOutput, std::regex("vexa-host [0-9]+\\.[0-9]+\\.[0-9]+\n")))
            << flag << ": " << result.standardOutput;
    }
}

TEST(ProgramTest, InfoShowsDefaultsAsLabelsTheRangeAndTheListsDecoded) {
    const RunResult result = runHost({"info"});
    ASSERT_EQ(result.exitCode, 0) << result.standardError;
    const std::string& out = result.standardOutput;
    EXPECT_NE(out.find("Zing       in   audio  10 V      control 5 V to 15 V (\"5,15,5,15\")"), std::string::npos) << out;
    const std::string polesLine = "Poles      in   list   2:4f (5)  " + std::to_string(vexa::poleConfigCount) + " entries, below";
    EXPECT_NE(out.find(polesLine), std::string::npos) << out;
    EXPECT_NE(out.find("Type       in   list   LP (0)    2 entries, below"), std::string::npos) << out;
    // Every entry of the module's Poles list, label and value, in its order.
    EXPECT_TRUE(std::regex_search(out, std::regex("Poles \\(label = value[^\n]*\n  2:2 = 0 +2:2f = 1 +2:3 = 2")))
        << out;
    EXPECT_NE(out.find("4:5 = 16"), std::string::npos);
    EXPECT_NE(out.find("4:5f = 17"), std::string::npos);
    EXPECT_NE(out.find("4:3f = 29"), std::string::npos);
    EXPECT_NE(out.find("LP = 0       HP = 1\n"), std::string::npos) << out;
    EXPECT_EQ(out.find("Pole="), std::string::npos) << "the raw list text is shown";
}

TEST(ProgramTest, HelpGivesTheLimitsAndTheValueOfEachLabel) {
    const RunResult render = runHost({"render", "--help"});
    // Both commands say which Poles numbering they take: the module's values, not the plug-ins' positions.
    EXPECT_NE(render.standardOutput.find("(\"4:5f\") or the module's own value (17 is \"4:5f\""), std::string::npos)
        << render.standardOutput;
    EXPECT_NE(render.standardOutput.find("which counts list positions (17 there is \"4:3f\")"), std::string::npos);
    EXPECT_NE(render.standardOutput.find("to 3600 s"), std::string::npos) << render.standardOutput;
    EXPECT_NE(render.standardOutput.find("sine:FREQ"), std::string::npos) << render.standardOutput;
    const RunResult response = runHost({"response", "--help"});
    EXPECT_NE(response.standardOutput.find("which counts list positions"), std::string::npos) << response.standardOutput;
    EXPECT_NE(response.standardOutput.find("2 to 10000"), std::string::npos) << response.standardOutput;
    EXPECT_NE(response.standardOutput.find("1 to 8192"), std::string::npos) << response.standardOutput;
}

}  // namespace
}  // namespace vexatools_test
