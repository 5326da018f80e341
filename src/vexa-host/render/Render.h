// What `vexa-host render` does: a file or signal through the module into a file.
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "vexa-host/FilterSettings.h"

namespace vexahost {

/// What `vexa-host render` is asked to do: the filter's settings, and what to
/// filter into which file. The sample rate is the built-in signal's; a file's
/// own rate takes its place.
struct RenderRequest : FilterSettings {
    /// An audio file to filter; empty when a built-in signal is rendered.
    std::string inputPath;
    /// A built-in signal ("saw:110", "riff", ...) with its length, rate and peak level.
    std::string signal;
    double durationSeconds = 4.0;
    double levelVolts = 5.0;

    /// This program's own build of the module, whose core it links in: when
    /// the module is that file, several channels with the same controls run
    /// through the core together (bit for bit what the module's instances give).
    std::string builtInModulePath;

    std::string outputPath;
    /// "16", "24" or "32" (float); empty: the container's default.
    std::string bits;
    bool replaceExisting = false;
};

/// What a finished render wrote.
struct RenderReport {
    /// This program's own build of the module, whose core it links in: when
    /// the module is that file, several channels with the same controls run
    /// through the core together (bit for bit what the module's instances give).
    std::string builtInModulePath;

    std::string outputPath;
    std::string configuration;  ///< "2:4f LP"
    int channels = 0;
    int sampleRate = 0;
    int64_t frames = 0;
    double peak = 0.0;  ///< largest output magnitude, full scale 1.0
    double rms = 0.0;   ///< over all channels
    double elapsedSeconds = 0.0;
    /// Samples beyond full scale that an integer format stored clipped.
    int64_t clippedSamples = 0;
    /// Things the user should know that did not stop the render (a damaged input).
    std::vector<std::string> warnings;

    double durationSeconds() const { return static_cast<double>(frames) / sampleRate; }
};

/// Called after each chunk with the seconds of audio done so far and in all.
using RenderProgress = std::function<void(double doneSeconds, double totalSeconds)>;

/// A render stopped on request before it finished; nothing was written.
class RenderStopped : public std::exception {
public:
    const char* what() const noexcept override { return "stopped; nothing written"; }
};

/// Renders the request; throws UsageError for bad arguments, FileError for
/// files and ModuleError for the module. The output exists only when this
/// returns. Setting `stopRequested` makes it give up (with RenderStopped)
/// between chunks.
RenderReport render(const RenderRequest& request, const RenderProgress& progress = {},
                    const std::atomic<bool>* stopRequested = nullptr);

/// Largest block the render passes to the module at once.
constexpr int32_t maxBlockSize = 8192;
/// Longest built-in signal: an hour, which at the highest sample rate still
/// fits a WAV file's 4 GB.
constexpr double maxDurationSeconds = 3600.0;
/// Highest sample rate a command accepts (Hz); the module is tested up to 192 kHz.
constexpr int maxSampleRate = 384000;

/// The output file name that stands for standard output.
constexpr const char* standardOutputName = "-";

/// The difference taps ("4-1:5") form their output from two poles, and Type
/// does not change it.
bool configurationIgnoresType(const std::string& polesLabel);

}  // namespace vexahost
