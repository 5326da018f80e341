// The response command's work: the curves or peaks asked for, written as CSV or a table.
#include "vexa-host/measure/Response.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <string_view>
#include <memory>

#include "vexa-host/audio/AudioFile.h"
#include "vexa-host/render/Render.h"
#include "hostlib/ModuleLibrary.h"
#include "hostlib/Errors.h"

namespace vexahost {

namespace {

constexpr int minimumSampleRate = 1000;
constexpr int minimumPoints = 2;
/// More points than this only repeat the measurement's own resolution.
constexpr int maximumPoints = 10000;

// 1 V/octave tracking: 440 Hz at 5 V.
constexpr double referenceHz = 440.0;
constexpr double referenceVolts = 5.0;
constexpr double centsPerOctave = 1200.0;

// The tracking table's Pitch steps.
constexpr double lowestTrackedVolts = 2.0;
constexpr double highestTrackedVolts = 10.0;
constexpr double trackingStepVolts = 1.0;
/// A configuration's own pitch offset moves its cutoff up to an octave from
/// the nominal one; the peak is looked for within this many octaves either side.
constexpr double peakSearchOctaves = 3.0;
constexpr double peakSearchLowestHz = 5.0;
/// Marks a peak that is a self-oscillation rather than a resonance.
constexpr const char* oscillationMark = "*";

std::string formatVolts(double volts) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", volts);
    return text;
}

/// The request with its texts resolved against the module's own pins.
struct ResolvedRequest {
    std::unique_ptr<ModuleLibrary> library;
    FilterPins pins;
    std::vector<ListChoice> configurations;
    std::vector<ListChoice> types;
    double pitchVolts = 0.0;
    double zingVolts = 0.0;
    std::vector<double> resonances;
};

std::vector<double> parseVoltsList(const std::string& text, const std::string& optionName) {
    std::vector<double> values;
    std::size_t position = 0;
    while (position <= text.size()) {
        const std::size_t comma = std::min(text.find(',', position), text.size());
        values.push_back(parseVolts(text.substr(position, comma - position), optionName));
        position = comma + 1;
    }
    return values;
}

/// "both" (any letter case) asks for every entry of the Type list.
bool isBothTypes(const std::string& text) {
    constexpr std::string_view both = "both";
    return std::equal(text.begin(), text.end(), both.begin(), both.end(),
                      [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
}

ResolvedRequest resolve(const ResponseRequest& request) {
    // Every limit is checked before anything is allocated for the measurement.
    if (request.sampleRate < minimumSampleRate || request.sampleRate > maxSampleRate) {
        throw UsageError("--rate: the sample rate must be at least " + std::to_string(minimumSampleRate) +
                         " Hz and at most " + std::to_string(maxSampleRate) + " Hz, not " +
                         std::to_string(request.sampleRate));
    }
    if (request.points < minimumPoints || request.points > maximumPoints) {
        throw UsageError("--points: " + std::to_string(request.points) + " is not between " +
                         std::to_string(minimumPoints) + " and " + std::to_string(maximumPoints));
    }
    if (request.blockSize < 1 || request.blockSize > maxBlockSize) {
        throw UsageError("--block-size: " + std::to_string(request.blockSize) + " is not between 1 and " +
                         std::to_string(maxBlockSize));
    }
    if (request.allConfigurations && !request.poles.empty()) throw UsageError("give either --poles or --all");

    ResolvedRequest resolved;
    resolved.library = std::make_unique<ModuleLibrary>(request.modulePath);
    resolved.pins = FilterPins::describe(resolved.library->entryPoints());
    const FilterPins& pins = resolved.pins;
    if (request.allConfigurations) {
        resolved.configurations = pins.poleChoices.entries();
    } else {
        resolved.configurations = {request.poles.empty() ? pins.polesDefault : pins.poleChoices.find(request.poles)};
    }
    if (isBothTypes(request.type)) {
        resolved.types = pins.typeChoices.entries();
    } else {
        resolved.types = {request.type.empty() ? pins.typeDefault : pins.typeChoices.find(request.type)};
    }
    resolved.pitchVolts = request.pitch.empty() ? pins.pitchDefaultVolts : parseVolts(request.pitch, "--pitch");
    resolved.zingVolts = request.zing.empty() ? pins.zingDefaultVolts : parseVolts(request.zing, "--zing");
    resolved.resonances = request.resonance.empty() ? std::vector<double>{pins.resonanceDefaultVolts}
                                                    : parseVoltsList(request.resonance, "--resonance");
    return resolved;
}

ResponseSettings settingsFor(const ResponseRequest& request, const ListChoice& configuration,
                             const ListChoice& type) {
    ResponseSettings settings;
    settings.poles = configuration.value;
    settings.type = type.value;
    settings.sampleRate = static_cast<float>(request.sampleRate);
    settings.blockSize = request.blockSize;
    return settings;
}

void warnIfRinging(const Spectrum& spectrum, const std::string& what) {
    if (!spectrum.settled) {
        std::fprintf(stderr, "vexa-host response: warning: %s still rings at the end of the measurement "
                             "(self-oscillation); its curve shows the oscillation\n", what.c_str());
    }
}

}  // namespace

std::string ResponseCurve::title() const { return configuration + " " + type + " R=" + formatVolts(resonanceVolts) + "V"; }

double TrackingPoint::cents() const { return peak ? centsPerOctave * std::log2(peak->frequency / nominalHz) : 0.0; }

double nominalCutoffHz(double pitchVolts) { return referenceHz * std::pow(2.0, pitchVolts - referenceVolts); }

namespace {

void stopIfAsked(const std::atomic<bool>* stopRequested) {
    if (stopRequested != nullptr && stopRequested->load()) throw RenderStopped();
}

}  // namespace

int maxResponsePoints() { return maximumPoints; }

ResponseMeasurement measureResponses(const ResponseRequest& request, const std::atomic<bool>* stopRequested) {
    const ResolvedRequest resolved = resolve(request);
    ResponseMeasurement measurement;
    measurement.conditions.pitchVolts = resolved.pitchVolts;
    measurement.conditions.zingVolts = resolved.zingVolts;
    measurement.conditions.sampleRate = request.sampleRate;
    measurement.conditions.blockSize = request.blockSize;
    measurement.conditions.module = std::filesystem::path(request.modulePath).filename().string();
    std::vector<ResponseCurve>& curves = measurement.curves;
    for (const ListChoice& configuration : resolved.configurations) {
        for (const ListChoice& type : resolved.types) {
            for (const double resonance : resolved.resonances) {
                ResponseSettings settings = settingsFor(request, configuration, type);
                settings.pitchVolts = resolved.pitchVolts;
                settings.resonanceVolts = resonance;
                settings.zingVolts = resolved.zingVolts;
                ResponseCurve curve;
                curve.configuration = configuration.label;
                curve.type = type.label;
                curve.resonanceVolts = resonance;
                stopIfAsked(stopRequested);
                curve.spectrum = measureSpectrum(resolved.library->entryPoints(), resolved.pins, settings);
                warnIfRinging(curve.spectrum, curve.title());
                curves.push_back(std::move(curve));
            }
        }
    }
    return measurement;
}

TrackingTable measureTracking(const ResponseRequest& request, const std::atomic<bool>* stopRequested) {
    const ResolvedRequest resolved = resolve(request);
    if (resolved.resonances.size() != 1) throw UsageError("--peaks: give one --resonance value");
    if (!request.pitch.empty()) throw UsageError("--peaks sweeps Pitch itself; leave out --pitch");
    TrackingTable table;
    table.resonanceVolts = resolved.resonances.front();
    table.zingVolts = resolved.zingVolts;
    table.sampleRate = request.sampleRate;
    const double nyquist = request.sampleRate / 2.0;
    for (const ListChoice& configuration : resolved.configurations) {
        for (const ListChoice& type : resolved.types) {
            TrackingRow row;
            row.configuration = configuration.label;
            row.type = type.label;
            for (double volts = lowestTrackedVolts; volts <= highestTrackedVolts; volts += trackingStepVolts) {
                ResponseSettings settings = settingsFor(request, configuration, type);
                settings.pitchVolts = volts;
                settings.resonanceVolts = table.resonanceVolts;
                settings.zingVolts = table.zingVolts;
                stopIfAsked(stopRequested);
                const Spectrum spectrum = measureSpectrum(resolved.library->entryPoints(), resolved.pins, settings);
                TrackingPoint point;
                point.settled = spectrum.settled;
                point.pitchVolts = volts;
                point.nominalHz = nominalCutoffHz(volts);
                const double spread = std::exp2(peakSearchOctaves);
                point.peak = findResonantPeak(spectrum, std::max(peakSearchLowestHz, point.nominalHz / spread),
                                              std::min(highestFractionOfNyquist * nyquist, point.nominalHz * spread));
                row.points.push_back(point);
            }
            table.rows.push_back(std::move(row));
        }
    }
    return table;
}

void writeResponseCsv(std::FILE* stream, const ResponseMeasurement& measurement,
                      const std::vector<double>& frequencies) {
    const ResponseConditions& conditions = measurement.conditions;
    const std::vector<ResponseCurve>& curves = measurement.curves;
    std::fprintf(stream, "# Small-signal magnitude responses in dB, measured by vexa-host response\n");
    std::fprintf(stream, "# pitch_v: %s\n", formatVolts(conditions.pitchVolts).c_str());
    std::fprintf(stream, "# nominal_cutoff_hz: %.3f\n", nominalCutoffHz(conditions.pitchVolts));
    std::fprintf(stream, "# zing_v: %s\n", formatVolts(conditions.zingVolts).c_str());
    std::fprintf(stream, "# sample_rate_hz: %d\n", conditions.sampleRate);
    std::fprintf(stream, "# block_size: %d\n", static_cast<int>(conditions.blockSize));
    std::fprintf(stream, "# module: %s\n", conditions.module.c_str());
    for (const ResponseCurve& curve : curves) {
        if (!curve.spectrum.settled) std::fprintf(stream, "# oscillates: %s\n", curve.title().c_str());
    }
    std::fprintf(stream, "frequency_hz");
    for (const ResponseCurve& curve : curves) std::fprintf(stream, ",%s", curve.title().c_str());
    std::fprintf(stream, "\n");
    for (const double frequency : frequencies) {
        std::fprintf(stream, "%.3f", frequency);
        for (const ResponseCurve& curve : curves) std::fprintf(stream, ",%.3f", curve.spectrum.decibelsAt(frequency));
        std::fprintf(stream, "\n");
    }
}

void writeTrackingTable(std::FILE* stream, const TrackingTable& table) {
    std::fprintf(stream, "# Resonant peak against Pitch, Resonance %s V, Zing %s V, %d Hz; nominal cutoff 440 * 2^(Pitch - 5) Hz\n",
                 formatVolts(table.resonanceVolts).c_str(), formatVolts(table.zingVolts).c_str(), table.sampleRate);
    if (table.rows.size() == 1) {
        const TrackingRow& row = table.rows.front();
        std::fprintf(stream, "# %s %s\n", row.configuration.c_str(), row.type.c_str());
        std::fprintf(stream, "%8s %12s %12s %10s %9s\n", "pitch_v", "nominal_hz", "peak_hz", "peak_db", "cents");
        for (const TrackingPoint& point : row.points) {
            if (point.peak && !point.settled) {
                std::fprintf(stream, "%8.1f %12.2f %12.2f %10s %+9.1f\n", point.pitchVolts, point.nominalHz,
                             point.peak->frequency, oscillationMark, point.cents());
            } else if (point.peak) {
                std::fprintf(stream, "%8.1f %12.2f %12.2f %10.2f %+9.1f\n", point.pitchVolts, point.nominalHz,
                             point.peak->frequency, point.peak->decibels, point.cents());
            } else {
                std::fprintf(stream, "%8.1f %12.2f %12s %10s %9s\n", point.pitchVolts, point.nominalHz, "-", "-", "-");
            }
        }
        std::fprintf(stream, "# -: no resonant peak; %s: the filter oscillates on its own at that frequency\n",
                     oscillationMark);
        return;
    }
    std::fprintf(stream, "# cents of the peak from the nominal cutoff; -: no resonant peak; %s: self-oscillation\n",
                 oscillationMark);
    std::fprintf(stream, "%-12s", "config");
    for (const TrackingPoint& point : table.rows.front().points) {
        std::fprintf(stream, " %6s ", (formatVolts(point.pitchVolts) + "V").c_str());
    }
    std::fprintf(stream, "\n");
    for (const TrackingRow& row : table.rows) {
        std::fprintf(stream, "%-12s", (row.configuration + " " + row.type).c_str());
        for (const TrackingPoint& point : row.points) {
            if (point.peak) {
                std::fprintf(stream, " %+6.0f%s", point.cents(), point.settled ? " " : oscillationMark);
            } else {
                std::fprintf(stream, " %6s ", "-");
            }
        }
        std::fprintf(stream, "\n");
    }
}

void runResponse(const ResponseRequest& request, const std::atomic<bool>* stopRequested) {
    // The output is claimed first, so that a file in the way stops the command
    // before the measurement; it is published only when complete.
    TextOutput output(request.outputPath, request.replaceExisting);
    if (request.peaks) {
        writeTrackingTable(output.stream(), measureTracking(request, stopRequested));
        output.commit();
        return;
    }
    const double highest = highestMeasuredHz(request.sampleRate);
    const ResponseMeasurement measurement = measureResponses(request, stopRequested);
    if (highest < highestAudibleHz) {
        std::fprintf(stderr, "vexa-host response: note: at %d Hz the curves end at %s Hz (%s of the Nyquist frequency), "
                             "not at %s Hz\n",
                     request.sampleRate, formatVolts(highest).c_str(), formatVolts(highestFractionOfNyquist).c_str(),
                     formatVolts(highestAudibleHz).c_str());
    }
    writeResponseCsv(output.stream(), measurement, logSpacedFrequencies(lowestMeasuredHz, highest, request.points));
    output.commit();
}

}  // namespace vexahost
