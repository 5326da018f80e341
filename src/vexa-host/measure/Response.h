// What `vexa-host response` measures and writes.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "vexa-host/FilterSettings.h"
#include "vexa-host/measure/FrequencyResponse.h"

namespace vexahost {

/// What `vexa-host response` is asked to do: the filter's settings, with two
/// extensions of their texts (the type "both", and Resonance as one or more
/// comma-separated values, one curve each), and what to measure.
struct ResponseRequest : FilterSettings {
    /// Every configuration instead of the one in `poles`.
    bool allConfigurations = false;
    int points = 241;
    /// The resonant peak against Pitch 2 V to 10 V instead of the curves.
    bool peaks = false;

    std::string outputPath = "-";
    bool replaceExisting = false;
};

/// One measured curve and what it was measured at.
struct ResponseCurve {
    std::string configuration;  ///< pole label
    std::string type;           ///< type label
    double resonanceVolts = 0.0;
    Spectrum spectrum;

    /// "4:4 LP R=5V": the CSV column title.
    std::string title() const;
};

/// What one run measured the curves at, kept with them in the CSV.
struct ResponseConditions {
    double pitchVolts = 0.0;
    double zingVolts = 0.0;
    int sampleRate = 0;     ///< Hz
    int32_t blockSize = 0;  ///< samples per block
    /// File name of the module library measured.
    std::string module;
};

/// The curves of one run and what they were measured at.
struct ResponseMeasurement {
    ResponseConditions conditions;
    std::vector<ResponseCurve> curves;
};

/// The resonant peak of one configuration at one Pitch.
struct TrackingPoint {
    double pitchVolts = 0.0;
    double nominalHz = 0.0;
    std::optional<ResonantPeak> peak;
    /// False when the filter oscillated on its own: the peak is then the
    /// oscillation's frequency and its height means nothing.
    bool settled = true;
    /// Distance of the peak from the nominal cutoff, in cents.
    double cents() const;
};

struct TrackingRow {
    std::string configuration;
    std::string type;
    std::vector<TrackingPoint> points;
};

/// Peaks of one or more configurations over Pitch, at one Resonance and Zing.
struct TrackingTable {
    double resonanceVolts = 0.0;
    double zingVolts = 0.0;
    int sampleRate = 0;
    std::vector<TrackingRow> rows;
};

/// The nominal cutoff of 1 V/octave tracking: 440 Hz at 5 V.
double nominalCutoffHz(double pitchVolts);

/// Measures the curves the request asks for; throws UsageError, FileError or
/// ModuleError, and RenderStopped between two curves once `stopRequested` is set.
ResponseMeasurement measureResponses(const ResponseRequest& request, const std::atomic<bool>* stopRequested = nullptr);
/// Measures the tracking table the request asks for.
TrackingTable measureTracking(const ResponseRequest& request, const std::atomic<bool>* stopRequested = nullptr);
/// Most frequencies a CSV may list.
int maxResponsePoints();

/// Writes curves as CSV: '#' lines of "key: value" saying what was measured
/// (pitch_v, nominal_cutoff_hz, zing_v, sample_rate_hz, block_size, module, and
/// one "oscillates: TITLE" per self-oscillating curve), then the frequency and
/// one column of decibels per curve.
void writeResponseCsv(std::FILE* stream, const ResponseMeasurement& measurement,
                      const std::vector<double>& frequencies);
/// Writes the tracking table: in detail for one configuration, as cents for several.
void writeTrackingTable(std::FILE* stream, const TrackingTable& table);

/// Runs the whole command: measures and writes to the request's output, which
/// is left behind only when complete.
void runResponse(const ResponseRequest& request, const std::atomic<bool>* stopRequested = nullptr);

}  // namespace vexahost
