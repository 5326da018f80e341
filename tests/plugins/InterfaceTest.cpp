// The interface's data against the tools: its curve against `vexa-host response`, its Poles menu against the module.
//
//   plugin_interface_tests --vexa-host=PATH [gtest options]
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "FilterEngine.h"
#include "LiveResponse.h"
#include "hostlib/ImpulseResponse.h"
#include "ui/PolesMenu.h"

namespace {

std::string vexaHost;

/// One curve as `vexa-host response` writes it.
struct ToolCurve {
    std::vector<double> frequencies;
    std::vector<double> decibels;
    bool oscillates = false;
};

ToolCurve runResponse(const std::string& arguments) {
    const std::string command = vexaHost + " response " + arguments + " -o - 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) throw std::runtime_error("cannot run " + command);
    ToolCurve curve;
    char line[4096];
    bool header = true;
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        const std::string text = line;
        if (text.rfind("# oscillates:", 0) == 0) curve.oscillates = true;
        if (text[0] == '#') continue;
        if (header) {
            header = false;
            continue;
        }
        double hz = 0.0, db = 0.0;
        if (std::sscanf(line, "%lf,%lf", &hz, &db) == 2) {
            curve.frequencies.push_back(hz);
            curve.decibels.push_back(db);
        }
    }
    if (pclose(pipe) != 0) throw std::runtime_error("failed: " + command);
    return curve;
}

/// How close the interface's curve must stand to the tool's: far inside one
/// pixel (0.5 dB at the design size) and above the tool's own CSV rounding.
constexpr double plottingToleranceDb = 0.01;

TEST(InterfaceCurve, EqualsVexaHostResponseAtTheSameSettings) {
    struct Case {
        uint32_t polesPosition;
        uint32_t typePosition;
        double pitch, resonance, zing;
        int rate;
    };
    const Case cases[] = {
        {static_cast<uint32_t>(vexaplugin::infoOf(vexaplugin::ParameterId::poles).defaultValue), 0, 5.0, 5.0, 10.0, 48000},
        {18, 1, 6.5, 7.25, 20.0, 44100},  // 4:4 HP
        {8, 0, 3.0, 9.0, 10.0, 48000},    // 4-1:5, a difference output
        {1, 0, 8.5, 0.0, 0.5, 96000},     // 2:2f, no resonance, high up
        {20, 0, 6.0, 10.0, 10.0, 48000},  // 4:5, self-oscillating
    };
    for (const Case& c : cases) {
        const std::string label = vexaplugin::poleChoices()[c.polesPosition].label;
        const std::string type = vexaplugin::typeChoices()[c.typePosition].label;
        SCOPED_TRACE(label + " " + type + " at " + std::to_string(c.rate) + " Hz");
        char arguments[256];
        std::snprintf(arguments, sizeof arguments, "--poles %s --type %s --pitch %g --resonance %g --zing %g --rate %d",
                      label.c_str(), type.c_str(), c.pitch, c.resonance, c.zing, c.rate);
        const ToolCurve tool = runResponse(arguments);

        vexaplugin::CurveSettings settings;
        settings.poles = vexaplugin::poleChoices()[c.polesPosition].moduleValue;
        settings.type = vexaplugin::typeChoices()[c.typePosition].moduleValue;
        settings.pitchVolts = c.pitch;
        settings.resonanceVolts = c.resonance;
        settings.zingVolts = c.zing;
        settings.sampleRate = static_cast<float>(c.rate);
        const std::vector<double> frequencies = vexaplugin::plottedFrequencies(c.rate, static_cast<int>(tool.frequencies.size()));
        const std::optional<vexaplugin::ResponseCurve> curve = vexaplugin::measureCurve(settings, frequencies);
        ASSERT_TRUE(curve.has_value());
        ASSERT_EQ(curve->decibels.size(), tool.decibels.size());
        EXPECT_EQ(curve->oscillates, tool.oscillates);
        std::size_t loudest = 0;
        std::size_t toolLoudest = 0;
        for (std::size_t i = 0; i < frequencies.size(); ++i) {
            EXPECT_NEAR(frequencies[i], tool.frequencies[i], 0.0005);
            // A ringing measurement is a line spectrum: only where it rings is comparable.
            if (!tool.oscillates) {
                EXPECT_NEAR(curve->decibels[i], tool.decibels[i], plottingToleranceDb) << frequencies[i] << " Hz";
            }
            if (curve->decibels[i] > curve->decibels[loudest]) loudest = i;
            if (tool.decibels[i] > tool.decibels[toolLoudest]) toolLoudest = i;
        }
        EXPECT_EQ(loudest, toolLoudest);
    }
}

TEST(InterfacePolesMenu, EveryConfigurationOnceAndTypeGreyedExactlyWhereItChangesNothing) {
    const auto& choices = vexaplugin::poleChoices();
    const auto columns = vexaui::arrangePolesMenu(choices);
    std::multiset<uint32_t> listed;
    for (std::size_t column = 0; column < columns.size(); ++column) {
        for (const vexaui::PolesMenuRow& row : columns[column].rows) {
            listed.insert(row.full);
            ASSERT_TRUE(row.light.has_value()) << choices[row.full].label;
            listed.insert(*row.light);
            EXPECT_EQ(choices[*row.light].label, choices[row.full].label + "f");
            // The last column holds the difference outputs, which take no Type.
            EXPECT_EQ(vexaui::ignoresType(choices[row.full].moduleValue), column + 1 == columns.size())
                << choices[row.full].label;
        }
    }
    EXPECT_EQ(listed.size(), choices.size());
    for (uint32_t position = 0; position < choices.size(); ++position) EXPECT_EQ(listed.count(position), 1u) << position;

    // Whether Type is greyed out follows what the module does with it.
    const vexahost::FilterPins pins = vexahost::FilterPins::describe(vexaplugin::linkedModule());
    for (const vexaplugin::Choice& choice : choices) {
        vexahost::ResponseSettings settings;
        settings.poles = choice.moduleValue;
        settings.pitchVolts = 6.0;
        settings.resonanceVolts = 6.0;
        settings.type = vexaplugin::typeChoices()[0].moduleValue;
        const auto low = vexahost::recordImpulseResponse(vexaplugin::linkedModule(), pins, settings);
        settings.type = vexaplugin::typeChoices()[1].moduleValue;
        const auto high = vexahost::recordImpulseResponse(vexaplugin::linkedModule(), pins, settings);
        EXPECT_EQ(low.samples == high.samples, vexaui::ignoresType(choice.moduleValue)) << choice.label;
    }
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument.rfind("--vexa-host=", 0) == 0) vexaHost = argument.substr(12);
    }
    if (vexaHost.empty()) {
        std::fprintf(stderr, "usage: %s --vexa-host=PATH [gtest options]\n", argv[0]);
        return 2;
    }
    return RUN_ALL_TESTS();
}
