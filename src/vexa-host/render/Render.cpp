// Filtering a file or a built-in signal through the module into an audio file.
#include "vexa-host/render/Render.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

#include "vexa-host/audio/AudioFile.h"
#include "vexa-host/audio/ControlStream.h"
#include "hostlib/FilterChannel.h"
#include "hostlib/ModuleLibrary.h"
#include "vexa-host/audio/Signals.h"
#include "hostlib/Errors.h"
#include "dsp/ProcessChannels.h"

namespace vexahost {

namespace {

/// Frames read, filtered and written at a time (rounded to whole blocks).
constexpr int32_t chunkTargetFrames = 4096;

/// Where the samples to filter come from: a file, or a built-in signal (mono).
class RenderSource {
public:
    virtual ~RenderSource() = default;
    virtual int channels() const = 0;
    virtual int sampleRate() const = 0;
    virtual int64_t frames() const = 0;
    /// Reads up to `count` interleaved frames; returns how many it read.
    virtual int64_t read(float* interleaved, int64_t count) = 0;
};

class FileSource : public RenderSource {
public:
    explicit FileSource(const std::string& path) : reader(path) {
        if (reader.channels() < 1) throw FileError("cannot read '" + path + "': it has no channels");
        if (reader.frames() < 1) throw FileError("cannot read '" + path + "': it holds no samples");
    }
    std::string damage() const { return reader.damage(); }
    int channels() const override { return reader.channels(); }
    int sampleRate() const override { return reader.sampleRate(); }
    int64_t frames() const override { return reader.frames(); }
    int64_t read(float* interleaved, int64_t count) override { return reader.read(interleaved, count); }

private:
    AudioReader reader;
};

class SignalSource : public RenderSource {
public:
    SignalSource(const SignalChoice& setting, int rate, int64_t frameCount, double levelVolts)
        : generator(setting, rate, levelVolts), rate(rate), total(frameCount) {}
    int channels() const override { return 1; }
    int sampleRate() const override { return rate; }
    int64_t frames() const override { return total; }
    int64_t read(float* interleaved, int64_t count) override {
        const int64_t given = std::min(count, total - produced);
        generator.generate(interleaved, static_cast<int32_t>(given));
        produced += given;
        return given;
    }

private:
    SignalGenerator generator;
    int rate;
    int64_t total;
    int64_t produced = 0;
};

std::unique_ptr<RenderSource> openSource(const RenderRequest& request) {
    if (!request.inputPath.empty()) return std::make_unique<FileSource>(request.inputPath);
    if (request.signal.empty()) throw UsageError("give an input file or a built-in signal (--signal)");
    const SignalChoice setting = parseSignalChoice(request.signal);
    if (request.sampleRate <= 0 || request.sampleRate > maxSampleRate) {
        throw UsageError("--rate: the sample rate must be a positive number of Hz up to " +
                         std::to_string(maxSampleRate) + ", not " + std::to_string(request.sampleRate));
    }
    const double duration = request.durationSeconds;
    // The length is bounded before it becomes a frame count, which huge lengths overflow.
    if (!(duration > 0.0) || !(duration <= maxDurationSeconds) ||
        std::llround(duration * request.sampleRate) < 1) {
        char limit[16];
        std::snprintf(limit, sizeof limit, "%g", maxDurationSeconds);
        throw UsageError("--duration: the length must be at least one sample and at most " + std::string(limit) +
                         " seconds");
    }
    if (!std::isfinite(request.levelVolts)) throw UsageError("--level: not a number of volts");
    const auto frames = static_cast<int64_t>(std::llround(duration * request.sampleRate));
    return std::make_unique<SignalSource>(setting, request.sampleRate, frames, request.levelVolts);
}

ControlSetting controlSettingOf(const std::string& text, double defaultVolts, const std::string& optionName) {
    if (text.empty()) {
        ControlSetting setting;
        setting.fromVolts = setting.toVolts = defaultVolts;
        return setting;
    }
    return parseControlSetting(text, optionName);
}

ControlStream openControl(const ControlSetting& setting, const std::string& optionName, const RenderSource& source) {
    try {
        return ControlStream::fromSetting(setting, source.frames(), source.sampleRate(), source.channels());
    } catch (const FileError& error) {
        throw FileError(optionName + ": " + error.what());
    }
}

void refuseToOverwrite(const std::string& output, const std::string& input, const std::string& role) {
    if (output == standardOutputName) return;
    if (!input.empty() && sameFile(output, input)) {
        throw UsageError("refusing to write over the " + role + " '" + input + "'");
    }
}

/// One pin's control stream, with the pin buffer it feeds.
struct ControlFeed {
    const ControlStream* stream;
    float* (FilterChannel::*buffer)();
};

/// Every channel of a render through the core linked into this program, all
/// of them in one call per block: as the module's instances filter them one
/// by one (opened at the render's rate, Signal streaming, one Poles and Type
/// for the whole render), with one coefficient update for all.
class ChannelsTogether {
public:
    ChannelsTogether(int channels, int16_t poles, int16_t type, float rate, int32_t blockSize)
        : states(static_cast<std::size_t>(channels)),
          signals(states.size(), std::vector<float>(static_cast<std::size_t>(blockSize))),
          outputs(signals),
          controls(3, std::vector<float>(static_cast<std::size_t>(blockSize))),
          config{poles, type != 0} {
        for (std::size_t c = 0; c < states.size(); ++c) {
            states[c].setSampleRate(rate);
            states[c].start();
            signalStarts.push_back(signals[c].data());
            outputStarts.push_back(outputs[c].data());
        }
    }

    float* signal(int channel) { return signals[static_cast<std::size_t>(channel)].data(); }
    const float* output(int channel) const { return outputs[static_cast<std::size_t>(channel)].data(); }
    /// Pitch, Resonance and Zing, in this order.
    float* control(std::size_t index) { return controls[index].data(); }

    void process(int32_t count) {
        const auto n = static_cast<std::size_t>(count);
        vexa::processChannels(states, config,
                              {signalStarts, outputStarts, {controls[0].data(), n}, {controls[1].data(), n},
                               {controls[2].data(), n}});
    }

private:
    std::vector<vexa::LadderState> states;
    std::vector<std::vector<float>> signals, outputs, controls;
    std::vector<const float*> signalStarts;
    std::vector<float*> outputStarts;
    vexa::BlockConfig config;
};

}  // namespace

bool configurationIgnoresType(const std::string& polesLabel) { return polesLabel.find('-') != std::string::npos; }

RenderReport render(const RenderRequest& request, const RenderProgress& progress,
                    const std::atomic<bool>* stopRequested) {
    const auto started = std::chrono::steady_clock::now();
    if (request.blockSize < 1 || request.blockSize > maxBlockSize) {
        throw UsageError("--block-size: " + std::to_string(request.blockSize) + " is not between 1 and " +
                         std::to_string(maxBlockSize));
    }
    if (request.outputPath.empty()) throw UsageError("no output file given");
    if (!request.inputPath.empty() && !request.signal.empty()) {
        throw UsageError("give either an input file or a built-in signal, not both");
    }

    const ModuleLibrary library(request.modulePath);
    const FilterPins pins = FilterPins::describe(library.entryPoints());
    const ListChoice poles = request.poles.empty() ? pins.polesDefault : pins.poleChoices.find(request.poles);
    const ListChoice type = request.type.empty() ? pins.typeDefault : pins.typeChoices.find(request.type);
    const ControlSetting pitchSetting = controlSettingOf(request.pitch, pins.pitchDefaultVolts, "--pitch");
    const ControlSetting resonanceSetting = controlSettingOf(request.resonance, pins.resonanceDefaultVolts, "--resonance");
    const ControlSetting zingSetting = controlSettingOf(request.zing, pins.zingDefaultVolts, "--zing");
    const SampleEncoding encoding =
        request.bits.empty() ? defaultEncodingFor(request.outputPath) : parseSampleEncoding(request.bits);

    std::unique_ptr<RenderSource> source = openSource(request);
    RenderReport report;
    if (const auto* file = dynamic_cast<const FileSource*>(source.get()); file != nullptr && !file->damage().empty()) {
        report.warnings.push_back("'" + request.inputPath + "' looks truncated or damaged (" + file->damage() +
                                  "); rendering the " + std::to_string(source->frames()) + " frames it holds");
    }
    refuseToOverwrite(request.outputPath, request.inputPath, "input");
    refuseToOverwrite(request.outputPath, pitchSetting.path, "pitch control file");
    refuseToOverwrite(request.outputPath, resonanceSetting.path, "resonance control file");
    refuseToOverwrite(request.outputPath, zingSetting.path, "zing control file");
    const ControlStream pitch = openControl(pitchSetting, "--pitch", *source);
    const ControlStream resonance = openControl(resonanceSetting, "--resonance", *source);
    const ControlStream zing = openControl(zingSetting, "--zing", *source);

    const int channelCount = source->channels();
    const int rate = source->sampleRate();
    AudioWriter writer(request.outputPath, channelCount, rate, encoding, request.replaceExisting);

    FilterSetup setup;
    setup.poles = poles.value;
    setup.type = type.value;
    setup.sampleRate = static_cast<float>(rate);
    setup.blockSize = request.blockSize;
    setup.pitchStreams = pitch.varies();
    setup.resonanceStreams = resonance.varies();
    setup.zingStreams = zing.varies();
    const std::vector<ControlFeed> feeds = {
        {&pitch, &FilterChannel::pitch}, {&resonance, &FilterChannel::resonance}, {&zing, &FilterChannel::zing}};
    const bool sharedControls = std::all_of(feeds.begin(), feeds.end(),
                                            [](const ControlFeed& feed) { return feed.stream->sameForEveryChannel(); });
    std::unique_ptr<ChannelsTogether> together;
    if (channelCount > 1 && sharedControls && !request.builtInModulePath.empty() &&
        sameFile(request.modulePath, request.builtInModulePath)) {
        together = std::make_unique<ChannelsTogether>(channelCount, setup.poles, setup.type, setup.sampleRate,
                                                      request.blockSize);
    }
    std::vector<FilterChannel> channels;
    channels.reserve(static_cast<std::size_t>(channelCount));
    for (int channel = 0; channel < channelCount && !together; ++channel) {
        channels.emplace_back(library.entryPoints(), pins, setup);
    }
    // Constant pins are written once; the module never writes its inputs.
    for (std::size_t index = 0; index < feeds.size(); ++index) {
        const ControlFeed& feed = feeds[index];
        if (feed.stream->varies()) continue;
        if (together) feed.stream->fill(together->control(index), 0, request.blockSize, 0);
        for (int channel = 0; channel < static_cast<int>(channels.size()); ++channel) {
            feed.stream->fill((channels[static_cast<std::size_t>(channel)].*feed.buffer)(), 0, request.blockSize, channel);
        }
    }

    const int32_t chunkFrames = std::max(1, chunkTargetFrames / request.blockSize) * request.blockSize;
    std::vector<float> input(static_cast<std::size_t>(chunkFrames) * static_cast<std::size_t>(channelCount));
    std::vector<float> output(input.size());
    const bool integerOutput = encoding != SampleEncoding::float32;
    double sumOfSquares = 0.0;
    const int64_t total = source->frames();
    int64_t done = 0;
    for (;;) {
        if (stopRequested != nullptr && stopRequested->load()) throw RenderStopped();
        const int64_t got = source->read(input.data(), chunkFrames);
        if (got == 0) break;
        for (int64_t blockStart = 0; blockStart < got; blockStart += request.blockSize) {
            const auto count = static_cast<int32_t>(std::min<int64_t>(request.blockSize, got - blockStart));
            for (int channel = 0; channel < channelCount; ++channel) {
                float* signal = together ? together->signal(channel) : channels[static_cast<std::size_t>(channel)].signal();
                for (int32_t i = 0; i < count; ++i) {
                    signal[i] = input[static_cast<std::size_t>((blockStart + i) * channelCount + channel)];
                }
            }
            for (std::size_t index = 0; index < feeds.size(); ++index) {
                const ControlFeed& feed = feeds[index];
                if (!feed.stream->varies()) continue;
                if (together) feed.stream->fill(together->control(index), done + blockStart, count, 0);
                for (int channel = 0; channel < static_cast<int>(channels.size()); ++channel) {
                    feed.stream->fill((channels[static_cast<std::size_t>(channel)].*feed.buffer)(), done + blockStart,
                                      count, channel);
                }
            }
            if (together) together->process(count);
            for (FilterChannel& filter : channels) filter.process(count);
            for (int channel = 0; channel < channelCount; ++channel) {
                const float* filtered =
                    together ? together->output(channel) : channels[static_cast<std::size_t>(channel)].output();
                for (int32_t i = 0; i < count; ++i) {
                    const double value = filtered[i];
                    report.peak = std::max(report.peak, std::abs(value));
                    if (integerOutput && std::abs(value) > 1.0) ++report.clippedSamples;
                    sumOfSquares += value * value;
                    output[static_cast<std::size_t>((blockStart + i) * channelCount + channel)] = filtered[i];
                }
            }
        }
        writer.write(output.data(), got);
        done += got;
        if (progress) progress(static_cast<double>(done) / rate, static_cast<double>(total) / rate);
    }
    writer.commit();

    report.outputPath = request.outputPath;
    report.configuration = configurationIgnoresType(poles.label) ? poles.label : poles.label + " " + type.label;
    report.channels = channelCount;
    report.sampleRate = rate;
    report.frames = done;
    const double samples = static_cast<double>(done) * channelCount;
    report.rms = samples > 0 ? std::sqrt(sumOfSquares / samples) : 0.0;
    report.elapsedSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return report;
}

}  // namespace vexahost
