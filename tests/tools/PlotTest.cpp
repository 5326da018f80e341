// The plotting script on the command's CSV: pictures of the size asked for,
// and clear errors that leave no picture behind.
#include <algorithm>
#include <fstream>

#include <gtest/gtest.h>

#include "tools/ToolsTestSupport.h"

namespace vexatools_test {
namespace {

constexpr const char* python = "/usr/bin/python3";

RunResult plot(const std::vector<std::string>& arguments) {
    std::vector<std::string> command = {python, plotScript()};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return runProgram(command);
}

TEST(PlotTest, GridOfAllThirtyConfigurationsHasTheSizeAskedFor) {
    const TemporaryFolder folder;
    const RunResult measured =
        runHost({"response", "--all", "--type", "both", "--points", "61", "-o", folder.path("all.csv")});
    ASSERT_EQ(measured.exitCode, 0) << measured.standardError;
    const RunResult drawn = plot({"grid", folder.path("all.csv"), folder.path("grid.png"), "--size", "1200x800"});
    ASSERT_EQ(drawn.exitCode, 0) << drawn.standardError;
    EXPECT_EQ(pngSize(folder.path("grid.png")), std::make_pair(1200u, 800u));
    EXPECT_EQ(folder.names(), (std::set<std::string>{"all.csv", "grid.png"}));
}

TEST(PlotTest, OverlayOfSeveralResonancesHasTheSizeAskedFor) {
    const TemporaryFolder folder;
    const RunResult measured = runHost({"response", "--poles", "4:4", "--resonance", "0,5,9", "--points", "61", "-o",
                                        folder.path("sweep.csv")});
    ASSERT_EQ(measured.exitCode, 0) << measured.standardError;
    const RunResult drawn = plot({"overlay", folder.path("sweep.csv"), folder.path("sweep.png"), "--size", "640x480"});
    ASSERT_EQ(drawn.exitCode, 0) << drawn.standardError;
    EXPECT_EQ(pngSize(folder.path("sweep.png")), std::make_pair(640u, 480u));
}

TEST(PlotTest, BadInputGivesOneLineAndNoPicture) {
    const TemporaryFolder folder;
    std::ofstream(folder.path("bad.csv")) << "frequency_hz,not a title\n20,1\n";
    std::ofstream(folder.path("good.csv")) << "frequency_hz,4:4 LP R=5V\n20,-1\n20000,-90\n";
    std::ofstream(folder.path("existing.png")) << "keep me";
    struct BadCase {
        std::vector<std::string> arguments;
        int exitCode;
        const char* message;
    };
    const std::vector<BadCase> cases = {
        {{"grid", folder.path("missing.csv"), folder.path("out.png")}, 1, "cannot read"},
        {{"grid", folder.path("bad.csv"), folder.path("out.png")}, 1, "is not of the form"},
        {{"grid", folder.path("bad.csv"), folder.path("out.png"), "--size", "wide"}, 2, "not a size"},
        {{"grid", folder.path("good.csv"), folder.path("existing.png")}, 1, "exists already"},
        {{"pie", folder.path("bad.csv"), folder.path("out.png")}, 2, "invalid choice"},
    };
    const std::set<std::string> before = folder.names();
    for (const BadCase& bad : cases) {
        const RunResult result = plot(bad.arguments);
        EXPECT_EQ(result.exitCode, bad.exitCode) << bad.arguments[1] << ": " << result.standardError;
        EXPECT_NE(result.standardError.find(bad.message), std::string::npos) << result.standardError;
        EXPECT_EQ(std::count(result.standardError.begin(), result.standardError.end(), '\n'), 1)
            << result.standardError;
        EXPECT_EQ(folder.names(), before);
    }
}

}  // namespace
}  // namespace vexatools_test
