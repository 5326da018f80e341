// The pieces of the command line that read the module's own pin texts and the
// user's values: list labels, volts, ramps and control files.
#include <fstream>

#include <gtest/gtest.h>

#include "vexa-host/audio/ControlStream.h"
#include "hostlib/FilterChannel.h"
#include "hostlib/ModuleLibrary.h"
#include "hostlib/PinChoices.h"
#include "hostlib/Errors.h"
#include "tools/ToolsTestSupport.h"
#include "dsp/PoleConfigs.h"

namespace vexatools_test {
namespace {

using vexahost::ControlSetting;
using vexahost::ControlStream;
using vexahost::FilterPins;
using vexahost::UsageError;

const FilterPins& modulePins() {
    static const vexahost::ModuleLibrary library(moduleLibrary());
    static const FilterPins pins = FilterPins::describe(library.entryPoints());
    return pins;
}

TEST(PoleListTest, ReadsEveryConfigurationFromTheModulesListText) {
    const auto& entries = modulePins().poleChoices.entries();
    ASSERT_EQ(entries.size(), vexa::poleConfigCount);
    std::vector<bool> seen(vexa::poleConfigCount, false);
    for (const auto& choice : entries) {
        ASSERT_GE(choice.value, 0);
        ASSERT_LT(static_cast<std::size_t>(choice.value), vexa::poleConfigCount);
        EXPECT_FALSE(seen[static_cast<std::size_t>(choice.value)]) << choice.label;
        seen[static_cast<std::size_t>(choice.value)] = true;
        EXPECT_EQ(choice.label.find("Pole"), std::string::npos) << choice.label;
        EXPECT_EQ(choice.label.find(' '), std::string::npos) << choice.label;
    }
    // The list shows them out of value order, with irregular blanks around '='.
    EXPECT_EQ(entries[0].label, "2:2");
    EXPECT_EQ(entries[8].label, "4-1:5");
    EXPECT_EQ(entries[8].value, 18);
    EXPECT_EQ(entries.back().label, "5:5f");
    EXPECT_EQ(entries.back().value, 21);
}

TEST(PoleListTest, FindsAConfigurationByLabelInAnyCaseWithOrWithoutItsWordOrByValue) {
    const auto& poles = modulePins().poleChoices;
    EXPECT_EQ(poles.find("2:5f").value, 7);       // "2:5f Pole = 7"
    EXPECT_EQ(poles.find("3:5").value, 12);       // "3:5 Pole= 12"
    EXPECT_EQ(poles.find("4-1:5f").value, 19);    // "4-1:5f Pole=19 ,"
    EXPECT_EQ(poles.find("4:5F").value, 17);
    EXPECT_EQ(poles.find("4:5f Pole").value, 17);
    EXPECT_EQ(poles.find("16").label, "4:5");
    EXPECT_EQ(poles.find("0").label, "2:2");
}

TEST(PoleListTest, RejectsUnknownLabelsAndValuesNamingTheChoices) {
    const auto& poles = modulePins().poleChoices;
    for (const std::string text : {"4:6", "30", "-1", "2.5", "", "4:4g", "Pole"}) {
        try {
            poles.find(text);
            ADD_FAILURE() << "accepted '" << text << "'";
        } catch (const UsageError& error) {
            EXPECT_NE(std::string(error.what()).find("2:2, 2:2f"), std::string::npos) << error.what();
        }
    }
}

TEST(PinDefaultsTest, ComeFromThePinDescriptionsInVolts) {
    const FilterPins& pins = modulePins();
    EXPECT_DOUBLE_EQ(pins.pitchDefaultVolts, 5.0);
    EXPECT_DOUBLE_EQ(pins.resonanceDefaultVolts, 5.0);
    EXPECT_DOUBLE_EQ(pins.zingDefaultVolts, 10.0);
    EXPECT_EQ(pins.polesDefault.label, "2:4f");
    EXPECT_EQ(pins.typeDefault.label, "LP");
    EXPECT_EQ(pins.typeChoices.find("hp").value, 1);
    EXPECT_EQ(pins.typeChoices.find("0").label, "LP");
    EXPECT_THROW(pins.typeChoices.find("BP"), UsageError);
}

TEST(VoltsTest, AreWholeFiniteNumbers) {
    EXPECT_DOUBLE_EQ(vexahost::parseVolts("5", "--pitch"), 5.0);
    EXPECT_DOUBLE_EQ(vexahost::parseVolts("-2.5", "--pitch"), -2.5);
    EXPECT_DOUBLE_EQ(vexahost::parseVolts("+1e-1", "--pitch"), 0.1);
    for (const std::string text : {"", "5x", "five", "5 ", "nan", "inf", "--5"}) {
        EXPECT_THROW(vexahost::parseVolts(text, "--pitch"), UsageError) << text;
    }
    EXPECT_FLOAT_EQ(vexahost::hostValueFromVolts(5.0), 0.5f);
}

TEST(ControlSettingTest, TellsConstantsRampsAndControlFilesApart) {
    const ControlSetting constant = vexahost::parseControlSetting("7.5", "--resonance");
    EXPECT_EQ(constant.kind, ControlSetting::Kind::constant);
    EXPECT_DOUBLE_EQ(constant.fromVolts, 7.5);

    const ControlSetting ramp = vexahost::parseControlSetting("2..9", "--pitch");
    EXPECT_EQ(ramp.kind, ControlSetting::Kind::ramp);
    EXPECT_DOUBLE_EQ(ramp.fromVolts, 2.0);
    EXPECT_DOUBLE_EQ(ramp.toVolts, 9.0);

    const ControlSetting downwards = vexahost::parseControlSetting("-1.5..-3", "--pitch");
    EXPECT_DOUBLE_EQ(downwards.fromVolts, -1.5);
    EXPECT_DOUBLE_EQ(downwards.toVolts, -3.0);

    const ControlSetting file = vexahost::parseControlSetting("sweep.wav", "--pitch");
    EXPECT_EQ(file.kind, ControlSetting::Kind::file);
    EXPECT_EQ(file.path, "sweep.wav");
}

TEST(ControlSettingTest, RejectsRampsWithOneEndAndNumbersThatDoNotParse) {
    for (const std::string text : {"2..", "..9", "..", "2..x", "5x", "-.5v", "1e"}) {
        EXPECT_THROW(vexahost::parseControlSetting(text, "--pitch"), UsageError) << text;
    }
}

TEST(ControlStreamTest, RampRunsFromTheFirstFrameToTheLast) {
    constexpr int64_t frames = 1001;
    const ControlStream ramp = ControlStream::ramp(2.0, 9.0, frames);
    std::vector<float> values(frames);
    ramp.fill(values.data(), 0, static_cast<int32_t>(frames), 0);
    EXPECT_TRUE(ramp.varies());
    EXPECT_FLOAT_EQ(values.front(), 0.2f);
    EXPECT_FLOAT_EQ(values[500], 0.55f);
    EXPECT_FLOAT_EQ(values.back(), 0.9f);
    // The same frames asked for in pieces give the same values.
    std::vector<float> piece(10);
    ramp.fill(piece.data(), 995, 6, 0);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(piece[static_cast<std::size_t>(i)], values[static_cast<std::size_t>(995 + i)]);
}

TEST(ControlStreamTest, ControlFileFeedsItsSamplesAndHoldsTheLastOne) {
    const TemporaryFolder folder;
    Audio control;
    control.sampleRate = 44100;
    control.channels = {{0.1f, 0.2f, 0.3f}};
    writeAudio(folder.path("control.wav"), control);
    const ControlStream stream = ControlStream::fromFile(folder.path("control.wav"), 44100, 2);
    std::vector<float> values(5);
    stream.fill(values.data(), 0, 5, 1);
    EXPECT_EQ(values, (std::vector<float>{0.1f, 0.2f, 0.3f, 0.3f, 0.3f}));

    EXPECT_THROW(ControlStream::fromFile(folder.path("control.wav"), 48000, 1), vexahost::FileError);
    Audio stereo = control;
    stereo.channels.push_back(control.channels.front());
    writeAudio(folder.path("stereo.wav"), stereo);
    EXPECT_THROW(ControlStream::fromFile(folder.path("stereo.wav"), 44100, 3), vexahost::FileError);
    EXPECT_NO_THROW(ControlStream::fromFile(folder.path("stereo.wav"), 44100, 2));
}

}  // namespace
}  // namespace vexatools_test
