// The plotting script on the command's CSV: pictures of the size and format
// asked for, grids that stay readable (several Resonance values, oscillating
// curves, coinciding LP and HP), and clear errors that leave no picture behind.
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <regex>
#include <sstream>

#include <gtest/gtest.h>

#include "ToolsTestSupport.h"

namespace vexatools_test {
namespace {

constexpr const char* systemPython = "/usr/bin/python3";
// At 100 dpi a picture of 1200x800 pixels is 12 by 8 inches, 864 by 576 points.
constexpr const char* pointsOf1200x800 = "864 576";

RunResult plotWith(const std::string& python, const std::vector<std::string>& arguments) {
    std::vector<std::string> command = {python, plotScript()};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return runProgram(command);
}

RunResult plot(const std::vector<std::string>& arguments) { return plotWith(systemPython, arguments); }

std::string readText(const std::string& path) {
    std::ifstream stream(path, std::ios::binary);
    std::ostringstream text;
    text << stream.rdbuf();
    return text.str();
}

std::size_t lineCount(const std::string& text) { return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')); }

/// One piece of text in an SVG drawn with its text kept as text.
struct SvgText {
    double y = 0.0;         ///< baseline, points from the top
    double fontSize = 0.0;  ///< points
    std::string text;
};

std::vector<SvgText> svgTexts(const std::string& path) {
    // Matplotlib places a one-line text by x and y, a line of several by a translation.
    static const std::regex element(R"re(<text style="[^"]*font: ([0-9.]+)px[^"]*"([^>]*)>([^<]*)</text>)re");
    static const std::regex place(R"re(y="([-0-9.]+)"|translate\([-0-9.]+ ([-0-9.]+)\))re");
    const std::string svg = readText(path);
    std::vector<SvgText> texts;
    for (auto match = std::sregex_iterator(svg.begin(), svg.end(), element); match != std::sregex_iterator(); ++match) {
        const std::string attributes = (*match)[2];
        std::smatch where;
        if (!std::regex_search(attributes, where, place)) continue;
        texts.push_back({std::stod(where[1].matched ? where[1] : where[2]), std::stod((*match)[1]), (*match)[3]});
    }
    return texts;
}

std::size_t countText(const std::vector<SvgText>& texts, const std::string& text) {
    return static_cast<std::size_t>(
        std::count_if(texts.begin(), texts.end(), [&text](const SvgText& t) { return t.text == text; }));
}

bool anyTextContains(const std::vector<SvgText>& texts, const std::string& part) {
    return std::any_of(texts.begin(), texts.end(),
                       [&part](const SvgText& t) { return t.text.find(part) != std::string::npos; });
}

/// A response CSV's columns by title, '#' lines skipped.
std::map<std::string, std::vector<double>> csvColumns(const std::string& path) {
    std::ifstream csv(path);
    std::string line;
    while (std::getline(csv, line) && line.rfind("#", 0) == 0) {}
    std::vector<std::string> titles;
    std::stringstream header(line);
    for (std::string title; std::getline(header, title, ',');) titles.push_back(title);
    std::map<std::string, std::vector<double>> columns;
    while (std::getline(csv, line)) {
        std::stringstream fields(line);
        std::size_t index = 0;
        for (std::string field; std::getline(fields, field, ',') && index < titles.size(); ++index) {
            columns[titles[index]].push_back(std::stod(field));
        }
    }
    return columns;
}

double loudest(const std::vector<double>& decibels) { return *std::max_element(decibels.begin(), decibels.end()); }

/// The level axis the script reports: "axes: 20 Hz to 20 kHz, -50 dB to +40 dB".
std::pair<double, double> reportedLevels(const std::string& report) {
    static const std::regex levels(R"re(, ([-+0-9.]+) dB to ([-+0-9.]+) dB)re");
    std::smatch match;
    if (!std::regex_search(report, match, levels)) return {std::nan(""), std::nan("")};
    return {std::stod(match[1]), std::stod(match[2])};
}

/// Every configuration, LP and HP, at three Resonance values, measured once, and
/// their grid drawn once as SVG, for the tests that read them.
struct ThreeResonances {
    TemporaryFolder folder;
    std::string csv = folder.path("all.csv");
    std::string svg = folder.path("grid.svg");
    RunResult drawn;

    ThreeResonances() {
        const RunResult measured =
            runHost({"response", "--all", "--type", "both", "--resonance", "0,5,10", "--points", "61", "-o", csv});
        EXPECT_EQ(measured.exitCode, 0) << measured.standardError;
        drawn = plot({"grid", csv, svg, "--size", "1800x1200"});
        EXPECT_EQ(drawn.exitCode, 0) << drawn.standardError;
    }
};

const ThreeResonances& threeResonances() {
    static const ThreeResonances measured;
    return measured;
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

TEST(PlotTest, SmallestSizesDrawWithoutLayoutWarnings) {
    const TemporaryFolder folder;
    const RunResult grid = plot({"grid", threeResonances().csv, folder.path("grid.png"), "--size", "960x670"});
    ASSERT_EQ(grid.exitCode, 0) << grid.standardError;
    EXPECT_EQ(grid.standardError, "");
    EXPECT_EQ(pngSize(folder.path("grid.png")), std::make_pair(960u, 670u));
    const RunResult measured = runHost({"response", "--poles", "4:5", "--resonance", "0,5,8,10", "--points", "61", "-o",
                                        folder.path("sweep.csv")});
    ASSERT_EQ(measured.exitCode, 0) << measured.standardError;
    const RunResult overlay = plot({"overlay", folder.path("sweep.csv"), folder.path("overlay.png"), "--size", "640x360"});
    ASSERT_EQ(overlay.exitCode, 0) << overlay.standardError;
    EXPECT_EQ(overlay.standardError, "");
}

TEST(PlotTest, FormatFollowsTheExtension) {
    const TemporaryFolder folder;
    const RunResult measured =
        runHost({"response", "--poles", "4:4", "--points", "31", "-o", folder.path("r.csv")});
    ASSERT_EQ(measured.exitCode, 0) << measured.standardError;
    const auto draw = [&folder](const std::string& name) {
        const RunResult drawn = plot({"overlay", folder.path("r.csv"), folder.path(name), "--size", "1200x800"});
        EXPECT_EQ(drawn.exitCode, 0) << name << ": " << drawn.standardError;
        EXPECT_NE(drawn.standardOutput.find(name), std::string::npos) << drawn.standardOutput;
        return readText(folder.path(name));
    };
    EXPECT_EQ(draw("r.png").compare(1, 3, "PNG"), 0);
    EXPECT_EQ(pngSize(folder.path("r.png")), std::make_pair(1200u, 800u));
    for (const std::string name : {"r.svg", "upper.SVG"}) {
        const std::string svg = draw(name);
        EXPECT_NE(svg.find("<svg"), std::string::npos) << name;
        EXPECT_NE(svg.find("viewBox=\"0 0 " + std::string(pointsOf1200x800) + "\""), std::string::npos) << name;
    }
    const std::string pdf = draw("r.pdf");
    EXPECT_EQ(pdf.compare(0, 5, "%PDF-"), 0);
    EXPECT_NE(pdf.find("/MediaBox [ 0 0 " + std::string(pointsOf1200x800) + " ]"), std::string::npos);
}

TEST(PlotTest, NeverWritesOverItsInput) {
    const TemporaryFolder folder;
    const RunResult measured =
        runHost({"response", "--poles", "4:4", "--points", "31", "-o", folder.path("all.csv")});
    ASSERT_EQ(measured.exitCode, 0) << measured.standardError;
    std::filesystem::create_hard_link(folder.path("all.csv"), folder.path("link.png"));
    const std::string before = readText(folder.path("all.csv"));
    for (const std::string picture : {"all.csv", "link.png"}) {
        const RunResult result = plot({"grid", folder.path("all.csv"), folder.path(picture), "-f"});
        EXPECT_EQ(result.exitCode, 2) << picture;
        EXPECT_NE(result.standardError.find("refusing to write over the input"), std::string::npos)
            << result.standardError;
        EXPECT_EQ(lineCount(result.standardError), 1u) << result.standardError;
        EXPECT_EQ(readText(folder.path("all.csv")), before) << picture;
        EXPECT_EQ(folder.names(), (std::set<std::string>{"all.csv", "link.png"})) << picture;
    }
}

TEST(PlotTest, BadInputGivesOneLineAndNoPicture) {
    const TemporaryFolder folder;
    const std::string header = "frequency_hz,4:4 LP R=5V\n";
    std::ofstream(folder.path("bad.csv")) << "frequency_hz,not a title\n20,1\n20000,2\n";
    std::ofstream(folder.path("good.csv")) << header << "20,-1\n20000,-90\n";
    std::ofstream(folder.path("nan.csv")) << header << "20,nan\n20000,-90\n";
    std::ofstream(folder.path("inf.csv")) << header << "20,-1\n20000,-inf\n";
    std::ofstream(folder.path("short.csv")) << header << "20,-1\n20000\n";
    std::ofstream(folder.path("falling.csv")) << header << "20000,-1\n20,-90\n";
    std::ofstream(folder.path("stray.csv")) << "# oscillates: 4:5 LP R=10V\n" << header << "20,-1\n20000,-90\n";
    std::ofstream(folder.path("existing.png")) << "keep me";
    struct BadCase {
        std::vector<std::string> arguments;
        int exitCode;
        const char* message;
    };
    const std::vector<BadCase> cases = {
        {{"grid", folder.path("missing.csv"), folder.path("out.png")}, 1, "cannot read"},
        {{"grid", folder.path("bad.csv"), folder.path("out.png")}, 1, "is not of the form"},
        {{"grid", folder.path("nan.csv"), folder.path("out.png")}, 1, "line 2: 'nan' is not a finite number"},
        {{"grid", folder.path("inf.csv"), folder.path("out.png")}, 1, "line 3: '-inf' is not a finite number"},
        {{"grid", folder.path("short.csv"), folder.path("out.png")}, 1, "line 3: 1 values for 2 columns"},
        {{"grid", folder.path("falling.csv"), folder.path("out.png")}, 1, "must be positive and rise"},
        {{"grid", folder.path("stray.csv"), folder.path("out.png")}, 1, "names no column"},
        {{"grid", folder.path("bad.csv"), folder.path("out.png"), "--size", "wide"}, 2, "not a size"},
        {{"grid", folder.path("good.csv"), folder.path("out.png"), "--size", "30000x30000"}, 2, "at most 8000"},
        {{"grid", folder.path("good.csv"), folder.path("out.png"), "--size", "100x100"}, 2, "too small"},
        {{"overlay", folder.path("good.csv"), folder.path("out.png"), "--size", "300x200"}, 2, "too small"},
        {{"grid", folder.path("good.csv"), folder.path("out.jpg")}, 2, ".png, .svg or .pdf"},
        {{"grid", folder.path("good.csv"), folder.path("out")}, 2, ".png, .svg or .pdf"},
        {{"grid", folder.path("good.csv"), folder.path("existing.png")}, 1, "exists already"},
        {{"pie", folder.path("bad.csv"), folder.path("out.png")}, 2, "invalid choice"},
    };
    const std::set<std::string> before = folder.names();
    for (const BadCase& bad : cases) {
        const RunResult result = plot(bad.arguments);
        EXPECT_EQ(result.exitCode, bad.exitCode) << bad.arguments[1] << ": " << result.standardError;
        EXPECT_NE(result.standardError.find(bad.message), std::string::npos) << result.standardError;
        EXPECT_EQ(lineCount(result.standardError), 1u) << result.standardError;
        EXPECT_EQ(folder.names(), before);
    }
    EXPECT_EQ(readText(folder.path("existing.png")), "keep me");
}

TEST(PlotTest, GridOfSeveralResonancesNamesEachCurveOnceAboveThePanels) {
    const std::vector<SvgText> texts = svgTexts(threeResonances().svg);
    const std::vector<std::string> legend = {"LP R=0 V", "LP R=5 V", "LP R=10 V", "HP R=0 V", "HP R=5 V", "HP R=10 V"};
    double lowestLegend = -std::numeric_limits<double>::infinity();
    for (const std::string& label : legend) {
        EXPECT_EQ(countText(texts, label), 1u) << label;
        for (const SvgText& text : texts) {
            if (text.text == label) lowestLegend = std::max(lowestLegend, text.y);
        }
    }
    // Every panel title ("2:2" ... "5:5f") starts below the legend's lowest line.
    std::size_t titles = 0;
    for (const SvgText& text : texts) {
        if (std::regex_match(text.text, std::regex(R"(\d(-\d)?:\df?)"))) {
            ++titles;
            EXPECT_GT(text.y - text.fontSize, lowestLegend) << text.text;
        }
    }
    EXPECT_EQ(titles, 30u);
}

TEST(PlotTest, OscillatingCurveIsMarkedAndLeavesTheScaleToTheOthers) {
    const auto columns = csvColumns(threeResonances().csv);
    ASSERT_EQ(columns.size(), 181u);
    const RunResult& drawn = threeResonances().drawn;
    // 4:5 sings on its own at Resonance 10 V: its level is that of the oscillation, far above any response.
    EXPECT_NE(drawn.standardOutput.find("self-oscillating, marked at its frequency: 4:5 LP R=10V"), std::string::npos)
        << drawn.standardOutput;
    const auto [bottom, top] = reportedLevels(drawn.standardOutput);
    EXPECT_LT(top, loudest(columns.at("4:5 LP R=10V"))) << drawn.standardOutput;
    EXPECT_GE(top, loudest(columns.at("4:5 LP R=5V")));
    EXPECT_GE(top, loudest(columns.at("2:5 LP R=10V")));
    EXPECT_LT(bottom, top);
    const std::vector<SvgText> texts = svgTexts(threeResonances().svg);
    EXPECT_EQ(countText(texts, "self-oscillation, at its frequency"), 1u);
    EXPECT_GE(countText(texts, "R=10 V oscillates"), 1u);
}

TEST(PlotTest, DifferenceTapPanelsSayThatLowAndHighPassCoincide) {
    const RunResult& drawn = threeResonances().drawn;
    EXPECT_EQ(countText(svgTexts(threeResonances().svg), "LP = HP"), 6u);
    EXPECT_NE(drawn.standardOutput.find("drawn over an equal curve, dashed: 4-1:5, 4-1:5f, 2-3:5, 2-3:5f, 3-2:5, 3-2:5f\n"),
              std::string::npos)
        << drawn.standardOutput;
}

TEST(PlotTest, AxesAndTitleFollowTheMeasurement) {
    const TemporaryFolder folder;
    const RunResult measured =
        runHost({"response", "--poles", "3:4", "--type", "both", "--pitch", "6", "--zing", "20", "--resonance", "0,7",
                 "--rate", "22050", "--points", "61", "-o", folder.path("r.csv")});
    ASSERT_EQ(measured.exitCode, 0) << measured.standardError;
    for (const std::string kind : {"grid", "overlay"}) {
        const RunResult drawn = plot({kind, folder.path("r.csv"), folder.path(kind + ".svg"), "--size", "1200x800"});
        ASSERT_EQ(drawn.exitCode, 0) << drawn.standardError;
        // At 22.05 kHz the curves end at 10.5 kHz, and so does the axis.
        EXPECT_NE(drawn.standardOutput.find("axes: 20 Hz to 10.5 kHz,"), std::string::npos) << drawn.standardOutput;
        EXPECT_NE(drawn.standardOutput.find("nominal cutoff marked"), std::string::npos) << drawn.standardOutput;
        const std::vector<SvgText> texts = svgTexts(folder.path(kind + ".svg"));
        EXPECT_TRUE(anyTextContains(texts, "Pitch 6 V (880 Hz), Resonance 0, 7 V, Zing 20 V, 22.05 kHz")) << kind;
        EXPECT_TRUE(anyTextContains(texts, "nominal cutoff 880 Hz")) << kind;
    }
    const RunResult titled = plot({"overlay", folder.path("r.csv"), folder.path("titled.svg"), "--title", "Sweep"});
    ASSERT_EQ(titled.exitCode, 0) << titled.standardError;
    EXPECT_TRUE(anyTextContains(svgTexts(folder.path("titled.svg")), "Sweep")) << titled.standardOutput;
}

TEST(PlotTest, CsvWithoutConditionLinesStillPlots) {
    const TemporaryFolder folder;
    std::ofstream(folder.path("old.csv")) << "frequency_hz,4:4 LP R=5V,4:4 HP R=5V\n20,-1,-20\n1000,-10,-5\n20000,-90,-3\n";
    const RunResult drawn = plot({"grid", folder.path("old.csv"), folder.path("old.svg"), "--size", "1200x800"});
    ASSERT_EQ(drawn.exitCode, 0) << drawn.standardError;
    const std::vector<SvgText> texts = svgTexts(folder.path("old.svg"));
    EXPECT_TRUE(anyTextContains(texts, "Resonance 5 V, other conditions not recorded in the CSV"));
    EXPECT_FALSE(anyTextContains(texts, "nominal cutoff"));
    EXPECT_EQ(drawn.standardOutput.find("nominal cutoff marked"), std::string::npos) << drawn.standardOutput;
}

TEST(PlotTest, RunsUnderAPythonThatLacksMatplotlib) {
    // A bare virtual environment of the system's Python: its own, empty, site-packages.
    const TemporaryFolder folder;
    std::filesystem::create_directory(folder.path("bin"));
    std::filesystem::create_symlink(systemPython, folder.path("bin/python3"));
    std::ofstream(folder.path("pyvenv.cfg")) << "home = /usr/bin\ninclude-system-site-packages = false\n";
    const std::string bare = folder.path("bin/python3");
    ASSERT_NE(runProgram({bare, "-c", "import matplotlib"}).exitCode, 0);
    std::ofstream(folder.path("r.csv")) << "frequency_hz,4:4 LP R=5V\n20,-1\n20000,-90\n";

    const RunResult drawn = plotWith(bare, {"overlay", folder.path("r.csv"), folder.path("r.png"), "--size", "640x480"});
    ASSERT_EQ(drawn.exitCode, 0) << drawn.standardError;
    EXPECT_EQ(pngSize(folder.path("r.png")), std::make_pair(640u, 480u));

    // Where the system's Python cannot help either, one line says what is missing.
    const RunResult refused = runProgram({"/usr/bin/env", "VEXA_PLOT_HANDED_OVER=" + bare, bare, plotScript(), "overlay",
                                          folder.path("r.csv"), folder.path("other.png")});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.standardError.find("matplotlib is missing"), std::string::npos) << refused.standardError;
    EXPECT_EQ(lineCount(refused.standardError), 1u) << refused.standardError;
    EXPECT_FALSE(std::filesystem::exists(folder.path("other.png")));
}

}  // namespace
}  // namespace vexatools_test
