// `vexa-host render`: its options, progress bar, stop signals and summary.
#include "vexa-host/commands/RenderCommand.h"

#include <cstdio>

#include <unistd.h>

#include "vexa-host/commands/OptionChecks.h"
#include "vexa-host/commands/StopSignals.h"
#include "vexa-host/measure/FrequencyResponse.h"

namespace vexahost {

namespace {

/// Renders shorter than this finish too soon for a progress bar to help.
constexpr double progressBarFromSeconds = 1.0;
constexpr int progressBarWidth = 40;
constexpr int percent = 100;
/// Below a second the time taken reads in milliseconds.
constexpr double millisecondsPerSecond = 1000.0;

/// "12 ms" or "2.35 s".
std::string elapsedText(double seconds) {
    char text[32];
    if (seconds < 1.0) {
        std::snprintf(text, sizeof text, "%.0f ms", seconds * millisecondsPerSecond);
    } else {
        std::snprintf(text, sizeof text, "%.2f s", seconds);
    }
    return text;
}

/// "peak -6.0 dBFS, RMS -12.3 dBFS", or "silent" for an output of zeros only.
std::string levelText(const RenderReport& report) {
    if (report.peak == 0.0) return "silent";
    char text[64];
    std::snprintf(text, sizeof text, "peak %.1f dBFS, RMS %.1f dBFS", toDecibels(report.peak), toDecibels(report.rms));
    return text;
}

/// A bar on standard error, redrawn when the percentage changes.
class ProgressBar {
public:
    explicit ProgressBar(bool enabled) : shown(enabled) {}
    ~ProgressBar() { clear(); }
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    void update(double doneSeconds, double totalSeconds) {
        if (!shown || totalSeconds <= progressBarFromSeconds) return;
        const int donePercent = static_cast<int>(doneSeconds * percent / totalSeconds);
        if (donePercent == lastPercent) return;
        lastPercent = donePercent;
        const int filled = donePercent * progressBarWidth / percent;
        std::fprintf(stderr, "\r[%s%s] %3d%%", std::string(static_cast<std::size_t>(filled), '#').c_str(),
                     std::string(static_cast<std::size_t>(progressBarWidth - filled), '.').c_str(), donePercent);
        std::fflush(stderr);
        drawn = true;
    }

    void clear() {
        if (!drawn) return;
        std::fprintf(stderr, "\r\033[K");
        std::fflush(stderr);
        drawn = false;
    }

private:
    bool shown;
    bool drawn = false;
    int lastPercent = -1;
};

}  // namespace

CLI::App* addRenderCommand(CLI::App& parent, RenderRequest& request) {
    CLI::App* command = parent.add_subcommand(
        "render", "Filter an audio file or a built-in signal through the module and write an audio file");
    command->add_option("input", request.inputPath, "Audio file to filter (WAV, AIFF, FLAC); one filter per channel")
        ->check(notEmpty);
    CLI::Option* signal = command->add_option(
        "-s,--signal", request.signal,
        "Built-in signal instead of a file: saw:FREQ, square:FREQ, sine:FREQ, noise, impulse, riff (any letter case)")
        ->check(notEmpty);
    command->add_option("-o,--output", request.outputPath,
                        "Audio file to write (.wav, .aiff, .flac), or - for a WAV on standard output; never the input")
        ->required()
        ->check(notEmpty);
    command->add_option("--duration", request.durationSeconds,
                        "Length of the built-in signal in seconds, from one sample to " +
                            numberText(maxDurationSeconds) + " s")
        ->capture_default_str()
        ->needs(signal);
    command->add_option("--rate", request.sampleRate,
                        "Sample rate of the built-in signal in Hz, up to " + std::to_string(maxSampleRate))
        ->capture_default_str()
        ->needs(signal);
    command->add_option("--level", request.levelVolts, "Peak level of the built-in signal in volts")
        ->capture_default_str()
        ->needs(signal);
    command->add_option("--poles", request.poles,
                        polesOptionHelp)
        ->check(notEmpty);
    command->add_option("--type", request.type, "LP or HP; default: the pin's default")->check(notEmpty);
    command->add_option("--pitch", request.pitch,
                        "Cutoff in volts (1 V/octave; the peak lies near 440 Hz at 5 V at 44.1 and 48 kHz, lower at "
                        "higher rates): a constant, a ramp FROM..TO over the render, or a control file")
        ->check(notEmpty);
    command->add_option("--resonance", request.resonance, "Resonance in volts (0 to 10): constant, FROM..TO or a control file")
        ->check(notEmpty);
    command->add_option("--zing", request.zing, "Zing in volts: constant, FROM..TO or a control file")->check(notEmpty);
    command->add_option("--block-size", request.blockSize,
                        "Samples per block handed to the module, 1 to " + std::to_string(maxBlockSize))
        ->capture_default_str();
    command->add_option("--bits", request.bits, "Sample format: 32 (float, the default), 24 or 16")->check(notEmpty);
    command->add_flag("-f,--force", request.replaceExisting, "Replace an existing output file");
    command->add_option("--module", request.modulePath, "Module library to load")->capture_default_str()->check(notEmpty);
    signal->excludes(command->get_option("input"));
    return command;
}

int runRenderCommand(const RenderRequest& request) {
    const StopSignalGuard stopSignalsAsked;
    ProgressBar bar(isatty(STDERR_FILENO) == 1);
    RenderReport report;
    try {
        report = render(request, [&bar](double done, double total) { bar.update(done, total); }, &stopRequested);
    } catch (const RenderStopped&) {
        bar.clear();
        std::fprintf(stderr, "vexa-host render: %s; nothing written\n", stopReason(stoppingSignal.load()));
        return exitBySignalBase + stoppingSignal.load();
    }
    bar.clear();
    for (const std::string& warning : report.warnings) std::fprintf(stderr, "vexa-host render: warning: %s\n", warning.c_str());
    if (report.clippedSamples > 0) {
        std::fprintf(stderr,
                     "vexa-host render: warning: %lld of %lld samples lay beyond full scale and were clipped "
                     "(%s); 32-bit float keeps them\n",
                     static_cast<long long>(report.clippedSamples),
                     static_cast<long long>(report.frames * report.channels),
                     request.bits.empty() ? "24 bits" : (request.bits + " bits").c_str());
    }
    // With the audio on standard output, the summary goes to standard error.
    std::FILE* summary = request.outputPath == standardOutputName ? stderr : stdout;
    const double duration = report.durationSeconds();
    std::fprintf(summary, "%s: %.2f s, %d channel%s at %d Hz, %s; %s; took %s (%.0fx real time)\n",
                 report.outputPath == standardOutputName ? "standard output" : report.outputPath.c_str(), duration,
                 report.channels, report.channels == 1 ? "" : "s", report.sampleRate, report.configuration.c_str(),
                 levelText(report).c_str(), elapsedText(report.elapsedSeconds).c_str(),
                 report.elapsedSeconds > 0.0 ? duration / report.elapsedSeconds : 0.0);
    return 0;
}

}  // namespace vexahost
