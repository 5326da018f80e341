// `vexa-host render` run as a program: its output against the same samples
// processed block by block through the stand-in host library, channels kept
// apart, formats, built-in signals and the summary line.
#include <cmath>
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
                                            "peak (-?[0-9.]+) dBFS, RMS (-?[0-9.]+) dBFS; took [0-9.]+ s "
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

TEST_F(RenderTest, ForceReplacesAnExistingOutput) {
    const std::string input = writeInput("saw.wav", {sawtooth(frames, sawHz, sampleRate, sawPeak)});
    const std::string output = writeInput("out.wav", {std::vector<float>(10, 0.25f)});
    const Audio rendered = renderFile({"render", input, "-o", output, "--force"});
    EXPECT_EQ(rendered.frames(), frames);
    EXPECT_EQ(folder.names(), (std::set<std::string>{"saw.wav", "out.wav"}));
}

}  // namespace
}  // namespace vexatools_test
