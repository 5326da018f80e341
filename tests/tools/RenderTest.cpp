// `vexa-host render` run as a program: its output against the same samples
// processed block by block through the stand-in host library, channels kept
// apart, formats, built-in signals and the summary line.
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <regex>

#include <sndfile.h>

#include <gtest/gtest.h>

#include "filter/PinLayout.h"
#include "hostlib/HostInstance.h"
#include "hostlib/ModuleLibrary.h"
#include "tools/ToolsTestSupport.h"

namespace vexatools_test {
namespace {

using enum vexa::FilterPin;

constexpr int sampleRate = 48000;
constexpr int64_t frames = 12345;  // not a whole number of blocks
constexpr float sawPeak = 0.5f;    // 5 V
constexpr double sawHz = 110.0;
constexpr uint32_t noiseSeed = 7;

// Pin indices and list values of the module, as its pin table and Poles list give them.
constexpr int16_t poles3x4 = 10;  // "3:4"
constexpr int16_t poles2x4f = 5;  // "2:4f", the default
constexpr int16_t highPass = 1;

/// Pin values of a reference run: a constant per control pin, or a stream.
struct Reference {
    int16_t poles = poles2x4f;
    int16_t type = 0;
    int32_t blockSize = 64;
    std::vector<float> pitch;  ///< one value, or one per frame
    float resonance = 0.5f;
    float zing = 1.0f;
};

/// The same samples through the stand-in host library directly: one instance,
/// one buffer for the whole signal, processed block by block.
std::vector<float> processThroughHost(const std::vector<float>& signal, const Reference& reference) {
    static const vexahost::ModuleLibrary library(moduleLibrary());
    vexahost::HostInstance::Options options;
    options.bufferCapacity = static_cast<int32_t>(signal.size());
    vexahost::HostInstance host(library.entryPoints(), options);
    host.setSampleRate(static_cast<float>(sampleRate));
    host.setBlockSize(reference.blockSize);
    host.setListValue(polesPin, reference.poles);
    host.setListValue(typePin, reference.type);
    std::copy(signal.begin(), signal.end(), host.buffer(signalPin));
    if (reference.pitch.size() == 1) {
        host.fill(pitchPin, reference.pitch.front());
    } else {
        std::copy(reference.pitch.begin(), reference.pitch.end(), host.buffer(pitchPin));
    }
    host.fill(resonancePin, reference.resonance);
    host.fill(zingPin, reference.zing);
    host.open();
    host.sendStatus(signalPin, PinStatusStreaming);
    host.processInBlocks(static_cast<int32_t>(signal.size()), reference.blockSize);
    return std::vector<float>(host.buffer(outputPin), host.buffer(outputPin) + signal.size());
}

class RenderTest : public ::testing::Test {
protected:
    std::string writeInput(const std::string& name, std::vector<std::vector<float>> channels) {
        Audio audio;
        audio.sampleRate = sampleRate;
        audio.channels = std::move(channels);
        writeAudio(folder.path(name), audio);
        return folder.path(name);
    }

    Audio renderFile(const std::vector<std::string>& arguments) {
        const RunResult result = runHost(arguments);
        EXPECT_EQ(result.exitCode, 0) << result.standardError;
        lastSummary = result.standardOutput;
        const auto output = std::find(arguments.begin(), arguments.end(), "-o");
        return readAudio(*(output + 1));
    }

    TemporaryFolder folder;
    std::string lastSummary;
};

TEST_F(RenderTest, OutputEqualsTheSameSamplesProcessedBlockByBlockThroughTheHostLibrary) {
    const std::vector<float> saw = sawtooth(frames, sawHz, sampleRate, sawPeak);
    const std::string input = writeInput("saw.wav", {saw});
    const Audio rendered = renderFile({"render", input, "-o", folder.path("out.wav"), "--poles", "3:4", "--pitch", "6",
                                       "--resonance", "7", "--block-size", "100"});
    Reference reference;
    reference.poles = poles3x4;
    reference.blockSize = 100;
    reference.pitch = {0.6f};
    reference.resonance = 0.7f;
    ASSERT_EQ(rendered.channels.size(), 1u);
    EXPECT_EQ(rendered.sampleRate, sampleRate);
    EXPECT_EQ(rendered.channels.front(), processThroughHost(saw, reference));
}

TEST_F(RenderTest, DefaultsAreThePinDefaults) {
    const std::vector<float> saw = sawtooth(frames, sawHz, sampleRate, sawPeak);
    const std::string input = writeInput("saw.wav", {saw});
    const Audio rendered = renderFile({"render", input, "-o", folder.path("out.wav")});
    Reference reference;  // 2:4f, LP, Pitch 5 V, Resonance 5 V, Zing 10 V, blocks of 64
    reference.pitch = {0.5f};
    EXPECT_EQ(rendered.channels.front(), processThroughHost(saw, reference));
}

TEST_F(RenderTest, ControlFileSamplesReachThePinAsTheyAre) {
    const std::vector<float> noise = whiteNoise(frames, noiseSeed, sawPeak);
    std::vector<float> pitch(static_cast<std::size_t>(frames));
    for (std::size_t i = 0; i < pitch.size(); ++i) pitch[i] = 0.3f + 0.5f * static_cast<float>(i) / frames;
    const std::string input = writeInput("noise.wav", {noise});
    const std::string control = writeInput("pitch.wav", {pitch});
    const Audio rendered = renderFile({"render", input, "-o", folder.path("out.wav"), "--pitch", control, "--type",
                                       "HP", "--resonance", "3"});
    Reference reference;
    reference.type = highPass;
    reference.pitch = pitch;
    reference.resonance = 0.3f;
    EXPECT_EQ(rendered.channels.front(), processThroughHost(noise, reference));
}

TEST_F(RenderTest, PitchRampSweepsTheCutoffUpwards) {
    // Noise through a low-pass whose cutoff rises: the output's high-frequency
    // content (its sample-to-sample differences) grows from start to end.
    const std::vector<float> noise = whiteNoise(frames * 4, noiseSeed, sawPeak);
    const std::string input = writeInput("noise.wav", {noise});
    const Audio rendered =
        renderFile({"render", input, "-o", folder.path("out.wav"), "--poles", "4:4", "--pitch", "3..9"});
    const auto& out = rendered.channels.front();
    const auto roughness = [&out](std::size_t from, std::size_t to) {
        double sum = 0.0;
        for (std::size_t i = from + 1; i < to; ++i) sum += std::abs(out[i] - out[i - 1]);
        return sum;
    };
    const std::size_t quarter = out.size() / 4;
    EXPECT_GT(roughness(3 * quarter, out.size()), 10.0 * roughness(0, quarter));
}

TEST_F(RenderTest, ChannelsAreFilteredIndependently) {
    const std::vector<float> saw = sawtooth(frames, sawHz, sampleRate, sawPeak);
    const std::vector<float> noise = whiteNoise(frames, noiseSeed, sawPeak);
    const std::vector<float> silence(static_cast<std::size_t>(frames), 0.0f);
    const std::string input = writeInput("three.wav", {saw, silence, noise});
    const Audio rendered =
        renderFile({"render", input, "-o", folder.path("out.wav"), "--poles", "4:5", "--resonance", "8"});
    ASSERT_EQ(rendered.channels.size(), 3u);

    Reference reference;
    reference.poles = 16;  // "4:5"
    reference.pitch = {0.5f};
    reference.resonance = 0.8f;
    EXPECT_EQ(rendered.channels[0], processThroughHost(saw, reference));
    EXPECT_EQ(rendered.channels[1], silence);
    EXPECT_EQ(rendered.channels[2], processThroughHost(noise, reference));
    EXPECT_NE(rendered.channels[0], rendered.channels[2]);
}

TEST_F(RenderTest, IntegerFormatsHoldTheFloatRenderToTheirResolution) {
    const std::vector<float> saw = sawtooth(frames, sawHz, sampleRate, sawPeak);
    const std::string input = writeInput("saw.wav", {saw});
    const Audio floats = renderFile({"render", input, "-o", folder.path("float.wav")});
    struct IntegerCase {
        const char* name;
        const char* bits;
        int subtype;
        double step;
    };
    for (const IntegerCase& integer : {IntegerCase{"16.wav", "16", SF_FORMAT_PCM_16, 1.0 / 32768},
                                       IntegerCase{"24.aiff", "24", SF_FORMAT_PCM_24, 1.0 / 8388608}}) {
        const RunResult result = runHost({"render", input, "-o", folder.path(integer.name), "--bits", integer.bits});
        ASSERT_EQ(result.exitCode, 0) << result.standardError;
        int format = 0;
        const Audio stored = readAudio(folder.path(integer.name), &format);
        EXPECT_EQ(format & SF_FORMAT_SUBMASK, integer.subtype) << integer.name;
        double largestError = 0.0;
        for (std::size_t i = 0; i < stored.channels[0].size(); ++i) {
            largestError = std::max(largestError, std::abs(double(stored.channels[0][i]) - floats.channels[0][i]));
        }
        EXPECT_LE(largestError, integer.step) << integer.name;
    }
    int format = 0;
    readAudio(folder.path("float.wav"), &format);
    EXPECT_EQ(format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
}

TEST_F(RenderTest, BuiltInSignalsHaveTheirLengthRateAndLevel) {
    const Audio riff = renderFile({"render", "--signal", "riff", "--duration", "1.5", "--rate", "44100", "-o",
                                   folder.path("riff.wav")});
    EXPECT_EQ(riff.sampleRate, 44100);
    EXPECT_EQ(riff.frames(), 66150);

    // An impulse of 10 V through the pass-through of a high-pass at its first
    // sample: the filter halves the first sample after a reset, so the impulse
    // sits at the second one and comes out whole there.
    const Audio impulse = renderFile({"render", "--signal", "impulse", "--level", "1", "--duration", "0.01", "-o",
                                      folder.path("impulse.wav"), "--poles", "2:2f", "--type", "HP"});
    ASSERT_EQ(impulse.frames(), 480);
    EXPECT_EQ(impulse.channels[0][0], 0.0f);
    EXPECT_NEAR(impulse.channels[0][1], 0.5f * 0.1f, 0.002f);  // outGain 0.5 times (x - t), t tiny
}

TEST_F(RenderTest, SummaryLineGivesDurationPeakRmsAndSpeed) {
    const Audio rendered = renderFile({"render", "--signal", "saw:220", "--duration", "2", "-o",
                                       folder.path("saw.wav"), "--poles", "4:4"});
    std::smatch fields;
    ASSERT_TRUE(std::regex_match(lastSummary, fields,
                                 std::regex(".*saw\\.wav: 2\\.00 s, 1 channel at 48000 Hz, 4:4 LP; "
                                            "peak (-?[0-9.]+) dBFS, RMS (-?[0-9.]+) dBFS; took [0-9.]+ m?s "
                                            "\\(([0-9]+)x real time\\)\n")))
        << lastSummary;
    double peak = 0.0;
    double squares = 0.0;
    for (const float sample : rendered.channels[0]) {
        peak = std::max(peak, std::abs(double(sample)));
        squares += double(sample) * sample;
    }
    EXPECT_NEAR(std::stod(fields[1]), 20.0 * std::log10(peak), 0.051);
    EXPECT_NEAR(std::stod(fields[2]), 20.0 * std::log10(std::sqrt(squares / rendered.frames())), 0.051);
    EXPECT_GT(std::stoi(fields[3]), 1);  // faster than real time, by a wide margin
}

TEST_F(RenderTest, SummarySaysSilentAndGivesNoTypeWhereTypeHasNoEffect) {
    renderFile({"render", "--signal", "saw:110", "--level", "0", "--duration", "0.5", "-o", folder.path("quiet.wav"),
                "--poles", "4-1:5", "--type", "HP"});
    EXPECT_NE(lastSummary.find(", 4-1:5; silent; took "), std::string::npos) << lastSummary;
    EXPECT_EQ(lastSummary.find("dBFS"), std::string::npos) << lastSummary;
    // A short render's time reads in milliseconds rather than as "0.00 s".
    EXPECT_TRUE(std::regex_search(lastSummary, std::regex("took [0-9]+ ms \\(")) ||
                std::regex_search(lastSummary, std::regex("took [1-9][0-9.]* s \\(")))
        << lastSummary;
}

TEST_F(RenderTest, IntegerOutputWarnsWithTheCountOfClippedSamples) {
    // A 20 V saw comes out of 2:4f beyond full scale for part of each cycle.
    const std::vector<std::string> loud = {"render", "--signal", "saw:110", "--level", "20", "--duration", "1"};
    std::vector<std::string> asFloat = loud;
    asFloat.insert(asFloat.end(), {"-o", folder.path("float.wav")});
    const Audio floats = renderFile(asFloat);
    const auto beyondFullScale = std::count_if(floats.channels[0].begin(), floats.channels[0].end(),
                                               [](float sample) { return std::abs(sample) > 1.0f; });
    ASSERT_GT(beyondFullScale, 0);
    EXPECT_EQ(runHost(asFloat).standardError.find("clipped"), std::string::npos);  // float keeps them

    std::vector<std::string> asSixteenBits = loud;
    asSixteenBits.insert(asSixteenBits.end(), {"-o", folder.path("16.wav"), "--bits", "16"});
    const RunResult result = runHost(asSixteenBits);
    ASSERT_EQ(result.exitCode, 0) << result.standardError;
    EXPECT_NE(result.standardError.find("warning: " + std::to_string(beyondFullScale) +
                                        " of 48000 samples lay beyond full scale and were clipped (16 bits)"),
              std::string::npos)
        << result.standardError;
}

TEST_F(RenderTest, TruncatedInputRendersWhatItHoldsWithAWarning) {
    const std::string input = writeInput("cut.wav", {sawtooth(frames, sawHz, sampleRate, sawPeak)});
    const auto size = std::filesystem::file_size(input);
    std::filesystem::resize_file(input, size - 4 * 1000);  // a thousand float samples missing
    const RunResult result = runHost({"render", input, "-o", folder.path("out.wav")});
    ASSERT_EQ(result.exitCode, 0) << result.standardError;
    EXPECT_NE(result.standardError.find("warning: '" + input + "' looks truncated"), std::string::npos)
        << result.standardError;
    EXPECT_EQ(readAudio(folder.path("out.wav")).frames(), frames - 1000);

    // An intact file renders without a word on standard error.
    const std::string whole = writeInput("whole.wav", {sawtooth(frames, sawHz, sampleRate, sawPeak)});
    EXPECT_EQ(runHost({"render", whole, "-o", folder.path("whole-out.wav")}).standardError, "");
}

TEST_F(RenderTest, StandardOutputReceivesTheSameWavWithTheSummaryOnStandardError) {
    const Audio file = renderFile({"render", "--signal", "riff", "--duration", "1", "-o", folder.path("file.wav")});
    const RunResult piped = runProgram({"/bin/sh", "-c",
                                        "'" + hostProgram() + "' render --signal riff --duration 1 -o - > '" +
                                            folder.path("piped.wav") + "'"});
    ASSERT_EQ(piped.exitCode, 0) << piped.standardError;
    EXPECT_EQ(readAudio(folder.path("piped.wav")).channels, file.channels);
    EXPECT_NE(piped.standardError.find("standard output: 1.00 s"), std::string::npos) << piped.standardError;
}

TEST_F(RenderTest, SineSignalAndSignalNamesInAnyLetterCase) {
    // Through a two-pole low-pass far above it, a 100 Hz sine keeps its
    // shape: 200 zero crossings a second and a peak of sqrt(2) times its RMS
    // (a saw's would be sqrt(3)).
    const std::vector<std::string> bright = {"--poles", "2:2", "--pitch", "10", "--resonance", "0", "--duration", "1"};
    std::vector<std::string> lower = {"render", "--signal", "sine:100", "-o", folder.path("lower.wav")};
    std::vector<std::string> mixed = {"render", "--signal", "Sine:100", "-o", folder.path("mixed.wav")};
    lower.insert(lower.end(), bright.begin(), bright.end());
    mixed.insert(mixed.end(), bright.begin(), bright.end());
    const Audio sine = renderFile(lower);
    EXPECT_EQ(renderFile(mixed).channels, sine.channels);
    const auto& out = sine.channels[0];
    int crossings = 0;
    double peak = 0.0;
    double squares = 0.0;
    const std::size_t settled = out.size() / 10;
    for (std::size_t i = settled; i < out.size(); ++i) {
        if ((out[i - 1] < 0.0f) != (out[i] < 0.0f)) ++crossings;
        peak = std::max(peak, std::abs(double(out[i])));
        squares += double(out[i]) * out[i];
    }
    EXPECT_NEAR(crossings, 180, 2);  // nine tenths of a second
    EXPECT_NEAR(peak / std::sqrt(squares / double(out.size() - settled)), std::sqrt(2.0), 0.02);
    EXPECT_EQ(renderFile({"render", "--signal", "NOISE", "--duration", "0.1", "-o", folder.path("noise.wav")}).frames(),
              4800);
}

TEST_F(RenderTest, ForceReplacesAnExistingOutput) {
    const std::string input = writeInput("saw.wav", {sawtooth(frames, sawHz, sampleRate, sawPeak)});
    const std::string output = writeInput("out.wav", {std::vector<float>(10, 0.25f)});
    const Audio rendered = renderFile({"render", input, "-o", output, "--force"});
    EXPECT_EQ(rendered.frames(), frames);
    EXPECT_EQ(folder.names(), (std::set<std::string>{"saw.wav", "out.wav"}));
}

}  // namespace
}  // namespace vexatools_test
