// Frequency responses measured through the module: slopes that follow the
// pole count, a high-pass that falls below its cutoff, a resonant peak that
// grows with Resonance and follows Pitch, and the CSV and table the command writes.
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include <gtest/gtest.h>

#include "vexa-host/measure/FrequencyResponse.h"
#include "hostlib/ModuleLibrary.h"
#include "vexa-host/measure/Response.h"
#include "tools/ToolsTestSupport.h"

namespace vexatools_test {
namespace {

using vexahost::FilterPins;
using vexahost::ResponseSettings;
using vexahost::Spectrum;

constexpr double decibelsPerPolePerOctave = 6.02;

const vexahost::ModuleLibrary& library() {
    static const vexahost::ModuleLibrary loaded(moduleLibrary());
    return loaded;
}

const FilterPins& pins() {
    static const FilterPins described = FilterPins::describe(library().entryPoints());
    return described;
}

Spectrum measure(const std::string& poles, const std::string& type, double pitch, double resonance) {
    ResponseSettings settings;
    settings.poles = pins().poleChoices.find(poles).value;
    settings.type = pins().typeChoices.find(type).value;
    settings.pitchVolts = pitch;
    settings.resonanceVolts = resonance;
    return vexahost::measureSpectrum(library().entryPoints(), pins(), settings);
}

/// Fall in dB over one octave from `frequency` upwards.
double slopePerOctave(const Spectrum& spectrum, double frequency) {
    return spectrum.decibelsAt(frequency) - spectrum.decibelsAt(2.0 * frequency);
}

struct SlopeCase {
    const char* poles;
    int polesToTheTap;
};

std::ostream& operator<<(std::ostream& stream, const SlopeCase& slope) { return stream << slope.poles; }

class SlopeTest : public ::testing::TestWithParam<SlopeCase> {};

// At Resonance 0 and Pitch 3 V (110 Hz), three to four octaves above the
// cutoff, each pole before the output tap takes away 6 dB per octave.
TEST_P(SlopeTest, LowPassFallsSixDecibelsPerOctavePerPoleBeforeTheTap) {
    const Spectrum spectrum = measure(GetParam().poles, "LP", 3.0, 0.0);
    const double expected = decibelsPerPolePerOctave * GetParam().polesToTheTap;
    EXPECT_NEAR(slopePerOctave(spectrum, 1000.0), expected, 0.12 * expected);
}

INSTANTIATE_TEST_SUITE_P(Configurations, SlopeTest,
                         ::testing::Values(SlopeCase{"2:2", 2}, SlopeCase{"2:4f", 2}, SlopeCase{"3:3", 3},
                                           SlopeCase{"3:5f", 3}, SlopeCase{"4:4", 4}, SlopeCase{"4:5f", 4},
                                           SlopeCase{"5:5", 5}, SlopeCase{"5:3", 5}),
                         [](const ::testing::TestParamInfo<SlopeCase>& info) {
                             std::string name = info.param.poles;
                             for (char& c : name) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             return name;
                         });

TEST(ResponseTest, TapAfterPoleFourFallsTwiceAsSteeplyAsTheTapAfterPoleTwo) {
    const double twoPole = slopePerOctave(measure("2:4", "LP", 4.0, 0.0), 2000.0);
    const double fourPole = slopePerOctave(measure("4:4", "LP", 4.0, 0.0), 2000.0);
    EXPECT_NEAR(fourPole / twoPole, 2.0, 0.2);
}

TEST(ResponseTest, ResponseAtResonanceZeroIsFlatWellBelowTheCutoff) {
    const Spectrum spectrum = measure("4:4", "LP", 7.0, 0.0);  // 1760 Hz
    EXPECT_NEAR(spectrum.decibelsAt(20.0), spectrum.decibelsAt(80.0), 0.1);
    EXPECT_GT(spectrum.decibelsAt(80.0), spectrum.decibelsAt(7040.0) + 20.0);
}

TEST(ResponseTest, HighPassFallsBelowItsCutoffAndIsFlatAboveIt) {
    // "3:3" as high-pass at the default Resonance: the input minus the tapped
    // low-pass, which there cancels the input at low frequencies.
    const Spectrum spectrum = measure("3:3", "HP", 5.0, 5.0);
    const double lowSlope = spectrum.decibelsAt(40.0) - spectrum.decibelsAt(20.0);
    EXPECT_GT(lowSlope, 4.0);
    EXPECT_LT(lowSlope, 8.0);
    EXPECT_LT(spectrum.decibelsAt(20.0), spectrum.decibelsAt(8000.0) - 15.0);
    EXPECT_NEAR(spectrum.decibelsAt(8000.0), spectrum.decibelsAt(16000.0), 0.5);
}

TEST(ResponseTest, ResonantPeakRisesWithResonance) {
    double previousHeight = -1000.0;
    double previousAbovePassband = -1000.0;
    for (const double resonance : {5.0, 6.5, 8.0, 9.0}) {
        const Spectrum spectrum = measure("4:4", "LP", 5.0, resonance);
        ASSERT_TRUE(spectrum.settled) << resonance;
        const auto peak = vexahost::findResonantPeak(spectrum, 110.0, 1760.0);
        ASSERT_TRUE(peak.has_value()) << resonance;
        const double abovePassband = peak->decibels - spectrum.decibelsAt(20.0);
        EXPECT_GT(peak->decibels, previousHeight + 0.5) << resonance;
        EXPECT_GT(abovePassband, previousAbovePassband + 1.0) << resonance;
        previousHeight = peak->decibels;
        previousAbovePassband = abovePassband;
    }
    EXPECT_FALSE(vexahost::findResonantPeak(measure("4:4", "LP", 5.0, 0.0), 110.0, 1760.0).has_value());
}

TEST(ResponseTest, ResonantPeakFollowsPitchAnOctavePerVolt) {
    // Where the cutoff fit is closest (mid to high Pitch) the peak moves one
    // octave per volt to within a fraction of a semitone.
    std::vector<double> peaks;
    for (const double pitch : {6.0, 7.0, 8.0}) {
        const auto peak = vexahost::findResonantPeak(measure("4:4", "LP", pitch, 8.0), 100.0, 10000.0);
        ASSERT_TRUE(peak.has_value()) << pitch;
        peaks.push_back(peak->frequency);
    }
    for (std::size_t i = 1; i < peaks.size(); ++i) {
        EXPECT_NEAR(1200.0 * std::log2(peaks[i] / peaks[i - 1]), 1200.0, 100.0) << i;
    }
}

TEST(ResponseTest, CommandWritesCsvFromTwentyHertzToTwentyKilohertz) {
    const TemporaryFolder folder;
    const RunResult result = runHost({"response", "--poles", "4:5f", "--type", "both", "--resonance", "0,9",
                                      "--points", "31", "-o", folder.path("r.csv")});
    ASSERT_EQ(result.exitCode, 0) << result.standardError;
    std::ifstream csv(folder.path("r.csv"));
    std::string header;
    while (std::getline(csv, header) && header.rfind("#", 0) == 0) {}
    EXPECT_EQ(header, "frequency_hz,4:5f LP R=0V,4:5f LP R=9V,4:5f HP R=0V,4:5f HP R=9V");
    std::vector<std::vector<double>> rows;
    for (std::string line; std::getline(csv, line);) {
        std::vector<double> row;
        std::stringstream fields(line);
        for (std::string field; std::getline(fields, field, ',');) row.push_back(std::stod(field));
        ASSERT_EQ(row.size(), 5u) << line;
        rows.push_back(row);
    }
    ASSERT_EQ(rows.size(), 31u);
    EXPECT_DOUBLE_EQ(rows.front()[0], 20.0);
    EXPECT_DOUBLE_EQ(rows.back()[0], 20000.0);
    // Against the library's own measurement of the same curve.
    const Spectrum lowPass = measure("4:5f", "LP", 5.0, 9.0);
    for (const auto& row : rows) EXPECT_NEAR(row[2], lowPass.decibelsAt(row[0]), 0.001) << row[0];
}

TEST(ResponseTest, LowSampleRateSaysWhereTheCurvesEnd) {
    const RunResult low = runHost({"response", "--rate", "1000", "--points", "5"});
    ASSERT_EQ(low.exitCode, 0) << low.standardError;
    EXPECT_NE(low.standardError.find("note: at 1000 Hz the curves end at 475 Hz"), std::string::npos)
        << low.standardError;
    EXPECT_NE(low.standardOutput.find("\n475.000,"), std::string::npos) << low.standardOutput;
    const RunResult usual = runHost({"response", "--points", "5"});
    ASSERT_EQ(usual.exitCode, 0) << usual.standardError;
    EXPECT_EQ(usual.standardError, "");
}

/// The "# key: value" lines before a CSV's column titles; a key given several times keeps every value.
std::multimap<std::string, std::string> csvConditions(const std::string& path) {
    std::multimap<std::string, std::string> conditions;
    std::ifstream csv(path);
    for (std::string line; std::getline(csv, line) && line.rfind("#", 0) == 0;) {
        const std::size_t colon = line.find(": ");
        if (colon != std::string::npos) conditions.emplace(line.substr(2, colon - 2), line.substr(colon + 2));
    }
    return conditions;
}

TEST(ResponseTest, CsvRecordsWhatWasMeasuredAndWhichCurvesOscillate) {
    const TemporaryFolder folder;
    const RunResult result = runHost({"response", "--poles", "4:5", "--pitch", "6", "--zing", "20", "--resonance",
                                      "0,10", "--rate", "44100", "--block-size", "32", "--points", "11", "-o",
                                      folder.path("r.csv")});
    ASSERT_EQ(result.exitCode, 0) << result.standardError;
    const auto conditions = csvConditions(folder.path("r.csv"));
    const auto only = [&conditions](const std::string& key) {
        EXPECT_EQ(conditions.count(key), 1u) << key;
        const auto found = conditions.find(key);
        return found == conditions.end() ? std::string() : found->second;
    };
    EXPECT_EQ(only("pitch_v"), "6");
    EXPECT_NEAR(std::stod(only("nominal_cutoff_hz")), 880.0, 0.001);
    EXPECT_EQ(only("zing_v"), "20");
    EXPECT_EQ(only("sample_rate_hz"), "44100");
    EXPECT_EQ(only("block_size"), "32");
    EXPECT_EQ(only("module"), std::filesystem::path(moduleLibrary()).filename().string());
    // Resonance 10 V makes 4:5 sing on its own (the command warns too); Resonance 0 never does.
    EXPECT_EQ(only("oscillates"), "4:5 LP R=10V");
    EXPECT_NE(result.standardError.find("4:5 LP R=10V still rings"), std::string::npos) << result.standardError;
}

TEST(ResponseTest, PeaksTableListsNinePitchesWithTheirCents) {
    const RunResult result = runHost({"response", "--peaks", "--poles", "4:4", "--resonance", "8"});
    ASSERT_EQ(result.exitCode, 0) << result.standardError;
    std::stringstream table(result.standardOutput);
    std::vector<std::string> dataLines;
    for (std::string line; std::getline(table, line);) {
        if (!line.empty() && line[0] != '#' && line.find("pitch_v") == std::string::npos) dataLines.push_back(line);
    }
    ASSERT_EQ(dataLines.size(), 9u) << result.standardOutput;
    // 7 V: nominal 1760 Hz; the peak and its cents agree with each other.
    std::stringstream row(dataLines[5]);
    double pitch = 0, nominal = 0, peak = 0, height = 0, cents = 0;
    row >> pitch >> nominal >> peak >> height >> cents;
    EXPECT_DOUBLE_EQ(pitch, 7.0);
    EXPECT_NEAR(nominal, 1760.0, 0.01);
    EXPECT_NEAR(cents, 1200.0 * std::log2(peak / nominal), 0.1);
    EXPECT_LT(std::abs(cents), 100.0);
}

}  // namespace
}  // namespace vexatools_test
