// `vexa-host render`: its options, progress bar, stop signals and summary.
#include "vexa-host/commands/RenderCommand.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <iterator>

#include <unistd.h>

#include "vexa-host/measure/FrequencyResponse.h"

namespace vexahost {

namespace {

/// Renders shorter than this finish too soon for a progress bar to help.
constexpr double progressBarFromSeconds = 1.0;
constexpr int progressBarWidth = 40;
constexpr int percent = 100;

std::atomic<bool> interruptRequested{false};
std::atomic<int> interruptingSignal{0};

void requestInterrupt(int signalNumber) {
    interruptingSignal = signalNumber;
    interruptRequested = true;
}

/// The signals that end a render early: Ctrl-C, the terminal going away, kill
/// and timeout.
constexpr int stopSignals[] = {SIGINT, SIGHUP, SIGTERM};

/// While it lives, a stop signal asks the render to stop between chunks, so
/// that it can remove its unfinished output.
class InterruptGuard {
public:
    InterruptGuard() {
        interruptRequested = false;
        for (std::size_t i = 0; i < std::size(stopSignals); ++i) previous[i] = std::signal(stopSignals[i], requestInterrupt);
    }
    ~InterruptGuard() {
        for (std::size_t i = 0; i < std::size(stopSignals); ++i) std::signal(stopSignals[i], previous[i]);
    }
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

private:
    void (*previous[std::size(stopSignals)])(int) = {};
};

/// The shell's convention: a program ended by signal N exits with 128 + N.
constexpr int exitBySignalBase = 128;

const char* stopReason(int signalNumber) {
    switch (signalNumber) {
    case SIGINT: return "interrupted (Ctrl-C)";
    case SIGHUP: return "stopped: the terminal hung up (SIGHUP)";
    default: return "stopped (SIGTERM)";
    }
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
    command->add_option("input", request.inputPath, "Audio file to filter (WAV, AIFF, FLAC); one filter per channel");
    CLI::Option* signal = command->add_option(
        "-s,--signal", request.signal, "Built-in signal instead of a file: saw:FREQ, square:FREQ, noise, impulse, riff");
    command->add_option("-o,--output", request.outputPath,
                        "Audio file to write (.wav, .aiff, .flac); never the input")
        ->required();
    command->add_option("--duration", request.durationSeconds, "Length of the built-in signal in seconds")
        ->capture_default_str()
        ->needs(signal);
    command->add_option("--rate", request.sampleRate, "Sample rate of the built-in signal in Hz")
        ->capture_default_str()
        ->needs(signal);
    command->add_option("--level", request.levelVolts, "Peak level of the built-in signal in volts")
        ->capture_default_str()
        ->needs(signal);
    command->add_option("--poles", request.poles, "Pole configuration: a label (\"4:5f\") or its value (16); default: the pin's default");
    command->add_option("--type", request.type, "LP or HP; default: the pin's default");
    command->add_option("--pitch", request.pitch,
                        "Cutoff in volts (1 V/octave, 440 Hz at 5 V): a constant, a ramp FROM..TO over the render, or a control file");
    command->add_option("--resonance", request.resonance, "Resonance in volts (0 to 10): constant, FROM..TO or a control file");
    command->add_option("--zing", request.zing, "Zing in volts: constant, FROM..TO or a control file");
    command->add_option("--block-size", request.blockSize, "Samples per block handed to the module")
        ->capture_default_str();
    command->add_option("--bits", request.bits, "Sample format: 32 (float, the default), 24 or 16");
    command->add_flag("-f,--force", request.replaceExisting, "Replace an existing output file");
    command->add_option("--module", request.modulePath, "Module library to load")->capture_default_str();
    signal->excludes(command->get_option("input"));
    return command;
}

int runRenderCommand(const RenderRequest& request) {
    const InterruptGuard interrupts;
    ProgressBar bar(isatty(STDERR_FILENO) == 1);
    RenderReport report;
    try {
        report = render(request, [&bar](double done, double total) { bar.update(done, total); }, &interruptRequested);
    } catch (const RenderStopped& stopped) {
        bar.clear();
        std::fprintf(stderr, "vexa-host render: %s; nothing written\n", stopReason(interruptingSignal.load()));
        return exitBySignalBase + interruptingSignal.load();
    }
    bar.clear();
    const double duration = report.durationSeconds();
    std::printf("%s: %.2f s, %d channel%s at %d Hz, %s; peak %.1f dBFS, RMS %.1f dBFS; took %.2f s (%.0fx real time)\n",
                report.outputPath.c_str(), duration, report.channels, report.channels == 1 ? "" : "s",
                report.sampleRate, report.configuration.c_str(), toDecibels(report.peak), toDecibels(report.rms),
                report.elapsedSeconds, report.elapsedSeconds > 0.0 ? duration / report.elapsedSeconds : 0.0);
    return 0;
}

}  // namespace vexahost
