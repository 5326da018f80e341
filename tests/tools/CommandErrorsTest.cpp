// Bad arguments and bad files: every one gets a one-line message and its exit
// code, and no output file (nor a temporary one) is left behind.
#include <algorithm>
#include <csignal>
#include <fstream>
#include <regex>

#include <gtest/gtest.h>

#include "tools/ToolsTestSupport.h"
#include "dsp/PoleConfigs.h"

namespace vexatools_test {
namespace {

constexpr int exitFailure = 1;
constexpr int exitBadArguments = 2;
constexpr int sampleRate = 48000;
constexpr int otherSampleRate = 44100;
constexpr int64_t shortFrames = 4800;

struct ErrorCase {
    const char* name;
    std::vector<std::string> arguments;  ///< "@" stands for the test's folder
    int exitCode;
    const char* message;  ///< a part of the one-line message
};

std::ostream& operator<<(std::ostream& stream, const ErrorCase& errorCase) { return stream << errorCase.name; }

class CommandErrorsTest : public ::testing::TestWithParam<ErrorCase> {
protected:
    void SetUp() override {
        Audio input;
        input.sampleRate = sampleRate;
        input.channels = {sawtooth(shortFrames, 110.0, sampleRate, 0.5f)};
        writeAudio(folder.path("input.wav"), input);
        writeAudio(folder.path("existing.wav"), input);
        Audio control = input;
        control.sampleRate = otherSampleRate;
        writeAudio(folder.path("control44.wav"), control);
        std::ofstream(folder.path("notaudio.wav")) << "this is text, not audio\n";
        Audio stereo = input;
        stereo.channels.push_back(input.channels.front());
        writeAudio(folder.path("stereo.wav"), stereo);
        Audio empty;
        empty.sampleRate = sampleRate;
        empty.channels = {{}};
        writeAudio(folder.path("empty.wav"), empty);
        writeWindowsLibrary(folder.path("windows.sep"));
    }

    /// The first bytes of a 32-bit Windows DLL: "MZ", the PE header's offset, "PE" and the i386 machine code.
    static void writeWindowsLibrary(const std::string& path) {
        std::string bytes(0x100, '\0');
        bytes[0] = 'M';
        bytes[1] = 'Z';
        bytes[0x3c] = static_cast<char>(0x80);
        bytes.replace(0x80, 4, std::string("PE\0\0", 4));
        bytes[0x84] = static_cast<char>(0x4c);
        bytes[0x85] = static_cast<char>(0x01);
        std::ofstream(path, std::ios::binary) << bytes;
    }

    std::vector<std::string> argumentsFor(const ErrorCase& errorCase) const {
        std::vector<std::string> arguments;
        for (std::string argument : errorCase.arguments) {
            const auto at = argument.find('@');
            if (at != std::string::npos) argument.replace(at, 1, folder.path(""));
            arguments.push_back(argument);
        }
        return arguments;
    }

    TemporaryFolder folder;
};

TEST_P(CommandErrorsTest, ReportsInOneLineAndLeavesNoFile) {
    const ErrorCase& errorCase = GetParam();
    const std::set<std::string> before = folder.names();
    const Audio existing = readAudio(folder.path("existing.wav"));

    const RunResult result = runHost(argumentsFor(errorCase));

    EXPECT_EQ(result.exitCode, errorCase.exitCode) << result.standardError;
    EXPECT_NE(result.standardError.find(errorCase.message), std::string::npos) << result.standardError;
    EXPECT_TRUE(std::regex_match(result.standardError, std::regex("vexa-host[^\n]*: [^\n]+\n")))
        << "not one line: " << result.standardError;
    EXPECT_EQ(result.standardOutput, "");
    EXPECT_EQ(folder.names(), before);
    EXPECT_EQ(readAudio(folder.path("existing.wav")).channels, existing.channels);
}

const std::vector<std::string> renderInput = {"render", "@input.wav", "-o", "@out.wav"};

/// The first Poles value past the last configuration.
const std::string beyondTheTable = std::to_string(vexa::poleConfigCount);
const std::string beyondTheTableMessage = "unknown poles '" + beyondTheTable + "'";

std::vector<std::string> render(std::initializer_list<std::string> more) {
    std::vector<std::string> arguments = renderInput;
    arguments.insert(arguments.end(), more);
    return arguments;
}

INSTANTIATE_TEST_SUITE_P(
    Render, CommandErrorsTest,
    ::testing::Values(
        ErrorCase{"unknown_pole_label", render({"--poles", "4:6"}), exitBadArguments, "unknown poles '4:6'"},
        ErrorCase{"unknown_pole_value", render({"--poles", beyondTheTable}), exitBadArguments,
                  beyondTheTableMessage.c_str()},
        ErrorCase{"unknown_type", render({"--type", "BP"}), exitBadArguments, "unknown type 'BP'"},
        ErrorCase{"pitch_not_a_number", render({"--pitch", "5x"}), exitBadArguments, "--pitch: '5x' is not a number"},
        ErrorCase{"resonance_ramp_end_not_a_number", render({"--resonance", "2..x"}), exitBadArguments,
                  "--resonance: 'x' is not a number"},
        ErrorCase{"ramp_with_one_end", render({"--pitch", "2.."}), exitBadArguments, "needs two ends"},
        ErrorCase{"block_size_not_a_number", render({"--block-size", "many"}), exitBadArguments, "--block-size"},
        ErrorCase{"block_size_zero", render({"--block-size", "0"}), exitBadArguments, "--block-size: 0"},
        ErrorCase{"missing_input", {"render", "@missing.wav", "-o", "@out.wav"}, exitFailure, "no such file"},
        ErrorCase{"input_not_audio", {"render", "@notaudio.wav", "-o", "@out.wav"}, exitFailure,
                  "cannot read '"},
        ErrorCase{"unsupported_output_format", {"render", "@input.wav", "-o", "@out.mp3"}, exitBadArguments,
                  "unsupported output format '.mp3'"},
        ErrorCase{"float_flac", {"render", "@input.wav", "-o", "@out.flac", "--bits", "32"}, exitBadArguments,
                  "--bits 16 or 24"},
        ErrorCase{"unknown_bits", render({"--bits", "12"}), exitBadArguments, "--bits: '12'"},
        ErrorCase{"missing_control_file", render({"--zing", "@nozing.wav"}), exitFailure,
                  "--zing: cannot read"},
        ErrorCase{"control_file_of_another_rate", render({"--pitch", "@control44.wav"}), exitFailure,
                  "runs at 44100 Hz, the render at 48000 Hz"},
        ErrorCase{"existing_output", {"render", "@input.wav", "-o", "@existing.wav"}, exitFailure,
                  "exists already; pass --force"},
        ErrorCase{"output_over_input", {"render", "@input.wav", "-o", "@input.wav", "--force"}, exitBadArguments,
                  "refusing to write over the input"},
        ErrorCase{"output_over_control_file",
                  {"render", "@input.wav", "-o", "@existing.wav", "--force", "--resonance", "@existing.wav"},
                  exitBadArguments, "refusing to write over the resonance control file"},
        ErrorCase{"no_output", {"render", "@input.wav"}, exitBadArguments, "--output is required"},
        ErrorCase{"file_and_signal", render({"--signal", "noise"}), exitBadArguments, "excludes"},
        ErrorCase{"neither_file_nor_signal", {"render", "-o", "@out.wav"}, exitBadArguments, "built-in signal"},
        ErrorCase{"unknown_signal", {"render", "--signal", "triangle:110", "-o", "@out.wav"}, exitBadArguments,
                  "unknown signal 'triangle:110'"},
        ErrorCase{"signal_without_frequency", {"render", "--signal", "saw:", "-o", "@out.wav"}, exitBadArguments,
                  "positive frequency"},
        ErrorCase{"signal_above_nyquist", {"render", "--signal", "saw:30000", "-o", "@out.wav"}, exitBadArguments,
                  "half the sample rate"},
        ErrorCase{"sample_rate_zero", {"render", "--signal", "saw:110", "--rate", "0", "-o", "@out.wav"},
                  exitBadArguments, "sample rate must be a positive number"},
        ErrorCase{"duration_with_a_file", render({"--duration", "2"}), exitBadArguments, "--duration requires --signal"},
        ErrorCase{"missing_module", render({"--module", "@nomodule.so"}), exitFailure, "nomodule.so: cannot be loaded"},
        ErrorCase{"module_default_outside_its_list", render({"--module", VEXA_MISBEHAVING_MODULE}), exitFailure,
                  "module " VEXA_MISBEHAVING_MODULE ": pin Poles has no entry with value 7"},
        ErrorCase{"two_signs", render({"--pitch=+-5"}), exitBadArguments, "--pitch: '+-5' is not a number of volts"},
        ErrorCase{"two_plus_signs", render({"--resonance", "++5"}), exitBadArguments, "is not a number of volts"},
        ErrorCase{"duration_of_no_frame", {"render", "--signal", "saw:110", "--duration", "1e-9", "-o", "@out.wav"},
                  exitBadArguments, "--duration: the length must be at least one sample and at most 3600 seconds"},
        ErrorCase{"duration_beyond_the_limit", {"render", "--signal", "saw:110", "--duration", "1e9", "-o", "@out.wav"},
                  exitBadArguments, "at most 3600 seconds"},
        ErrorCase{"duration_whose_frames_overflow",
                  {"render", "--signal", "saw:110", "--duration", "2e14", "-o", "@out.wav"}, exitBadArguments,
                  "at most 3600 seconds"},
        ErrorCase{"duration_near_the_double_limit",
                  {"render", "--signal", "saw:110", "--duration", "1e300", "-o", "@out.wav"}, exitBadArguments,
                  "at most 3600 seconds"},
        ErrorCase{"sample_rate_beyond_the_limit",
                  {"render", "--signal", "saw:110", "--rate", "100000000", "-o", "@out.wav"}, exitBadArguments,
                  "up to 384000"},
        ErrorCase{"input_without_samples", {"render", "@empty.wav", "-o", "@out.wav"}, exitFailure,
                  "empty.wav': it holds no samples"},
        ErrorCase{"stereo_control_file_for_a_mono_input", render({"--zing", "@stereo.wav"}), exitFailure,
                  "has 2 channels; it needs 1, as the input is mono"},
        ErrorCase{"pitch_word", render({"--pitch", "abc"}), exitBadArguments,
                  "--pitch: 'abc' is neither a number of volts nor an existing control file"},
        ErrorCase{"pitch_nan", render({"--pitch", "nan"}), exitBadArguments, "--pitch: 'nan' is not a number of volts"},
        ErrorCase{"ramp_with_three_dots", render({"--pitch", "2...9"}), exitBadArguments, "'2...9' is ambiguous"},
        ErrorCase{"empty_poles", render({"--poles", ""}), exitBadArguments, "--poles: an empty value"},
        ErrorCase{"empty_pitch", render({"--pitch="}), exitBadArguments, "--pitch: "},
        ErrorCase{"misspelt_option", render({"--pole", "4:4"}), exitBadArguments,
                  "unknown option --pole; did you mean --poles?"},
        ErrorCase{"block_size_beyond_the_limit", render({"--block-size", "100000"}), exitBadArguments,
                  "--block-size: 100000 is not between 1 and 8192"},
        ErrorCase{"windows_build_given_to_the_native_host",
                  render({"--module", "@windows.sep"}), exitFailure,
                  "it is a 32-bit Windows DLL; load it with the 32-bit Windows host under Wine"}),
    [](const ::testing::TestParamInfo<ErrorCase>& info) { return std::string(info.param.name); });

constexpr int exitBySignalBase = 128;

TEST(StopSignals, EndARenderWithTheShellsStatusAndNothingLeftBehind) {
    for (const int stopSignal : {SIGINT, SIGTERM, SIGHUP}) {
        TemporaryFolder folder;
        // Fifty minutes of audio take far longer than the half second before the signal.
        const RunResult result = runHost({"render", "--signal", "saw:110", "--duration", "3000", "-o",
                                          folder.path("long.wav")},
                                         stopSignal, 0.5);
        EXPECT_EQ(result.exitCode, exitBySignalBase + stopSignal) << stopSignal;
        EXPECT_EQ(std::count(result.standardError.begin(), result.standardError.end(), '\n'), 1) << result.standardError;
        EXPECT_NE(result.standardError.find("nothing written"), std::string::npos) << result.standardError;
        EXPECT_TRUE(folder.names().empty()) << "a file was left behind after signal " << stopSignal;
    }
}

TEST(StopSignals, EndAResponseWithTheShellsStatusAndNothingLeftBehind) {
    for (const int stopSignal : {SIGINT, SIGTERM, SIGHUP}) {
        TemporaryFolder folder;
        // Sixty curves at 192 kHz, several seconds of measuring, into a file.
        const RunResult result = runHost({"response", "--all", "--type", "both", "--rate", "192000", "--resonance",
                                          "9,10", "-o", folder.path("r.csv")},
                                         stopSignal, 0.5);
        EXPECT_EQ(result.exitCode, exitBySignalBase + stopSignal) << stopSignal << result.standardError;
        EXPECT_EQ(std::count(result.standardError.begin(), result.standardError.end(), '\n'), 1) << result.standardError;
        EXPECT_NE(result.standardError.find("nothing written"), std::string::npos) << result.standardError;
        EXPECT_TRUE(folder.names().empty()) << "a file was left behind after signal " << stopSignal;
    }
}

TEST(StopSignals, AClosedPipeEndsQuietlyAndLeavesNoTemporaryFile) {
    // The WAV and the CSV on standard output are far larger than a pipe
    // holds, so the host is still writing when `head` has gone.
    TemporaryFolder folder;
    const RunResult result = runProgram(
        {"/bin/sh", "-c",
         "TMPDIR='" + folder.path("") + "' '" + hostProgram() +
             "' render --signal saw:110 --duration 10 -o - | head -c 100 > /dev/null; "
             "'" + hostProgram() + "' response --poles 4:4 --points 10000 | head -1"});
    EXPECT_EQ(result.standardError, "");
    EXPECT_EQ(std::count(result.standardOutput.begin(), result.standardOutput.end(), '\n'), 1) << result.standardOutput;
    EXPECT_TRUE(folder.names().empty()) << "a temporary file was left behind";
}

INSTANTIATE_TEST_SUITE_P(
    Response, CommandErrorsTest,
    ::testing::Values(
        ErrorCase{"unknown_pole_label", {"response", "--poles", "6:6", "-o", "@r.csv"}, exitBadArguments,
                  "unknown poles '6:6'"},
        ErrorCase{"poles_and_all", {"response", "--poles", "4:4", "--all", "-o", "@r.csv"}, exitBadArguments,
                  "excludes"},
        ErrorCase{"resonance_list_with_a_word", {"response", "--resonance", "0,five", "-o", "@r.csv"},
                  exitBadArguments, "--resonance: 'five'"},
        ErrorCase{"sample_rate_zero", {"response", "--rate", "0", "-o", "@r.csv"}, exitBadArguments,
                  "--rate: the sample rate must be at least"},
        ErrorCase{"peaks_with_pitch", {"response", "--peaks", "--pitch", "5", "-o", "@r.csv"}, exitBadArguments,
                  "excludes"},
        ErrorCase{"peaks_with_two_resonances", {"response", "--peaks", "--resonance", "2,8", "-o", "@r.txt"},
                  exitBadArguments, "one --resonance value"},
        ErrorCase{"existing_output", {"response", "-o", "@existing.wav"}, exitFailure, "exists already"},
        ErrorCase{"no_command", {}, exitBadArguments, "subcommand"},
        ErrorCase{"unknown_command", {"frobnicate"}, exitBadArguments,
                  "unknown command 'frobnicate' (choose info, render or response"},
        ErrorCase{"block_size_beyond_the_limit", {"response", "--block-size", "2147483647", "-o", "@r.csv"},
                  exitBadArguments, "--block-size: 2147483647 is not between 1 and 8192"},
        ErrorCase{"sample_rate_beyond_the_limit", {"response", "--rate", "100000000", "-o", "@r.csv"},
                  exitBadArguments, "at most 384000 Hz"},
        ErrorCase{"too_many_points", {"response", "--points", "100000000", "-o", "@r.csv"}, exitBadArguments,
                  "--points: 100000000 is not between 2 and 10000"},
        ErrorCase{"empty_type", {"response", "--type", "", "-o", "@r.csv"}, exitBadArguments, "--type: an empty value"},
        ErrorCase{"misspelt_option", {"response", "--resonnance", "5", "-o", "@r.csv"}, exitBadArguments,
                  "did you mean --resonance?"}),
    [](const ::testing::TestParamInfo<ErrorCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vexatools_test
