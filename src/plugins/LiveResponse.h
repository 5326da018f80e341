// The filter's magnitude response for the plug-in's interface, measured through the linked-in module away from the UI thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "ParameterText.h"
#include "hostlib/ImpulseResponse.h"

namespace vexaplugin {

/// The settings a curve is measured at: where the five controls stand (Poles as
/// the module's list value, not the list position), the host's rate, and the
/// block size, which `vexa-host response` also measures with by default.
using CurveSettings = vexahost::ResponseSettings;

/// One measured curve.
struct ResponseCurve {
    std::vector<double> frequencies;  ///< Hz
    std::vector<double> decibels;
    /// The impulse response did not die out: the filter rings on its own, and
    /// the curve shows the ringing rather than a response.
    bool oscillates = false;
};

/// `count` frequencies from 20 Hz to 20 kHz (or 0.95 of the Nyquist frequency), log spaced, as `vexa-host response` lists them.
std::vector<double> plottedFrequencies(double sampleRate, int count);

/// Measures the small-signal response through the module as `vexa-host response`
/// does (an impulse), at `frequencies`. Nothing when `stop`
/// was set before it finished.
std::optional<ResponseCurve> measureCurve(const CurveSettings& settings, const std::vector<double>& frequencies,
                                          const std::atomic<bool>* stop = nullptr);

/// Measures curves on a thread of its own, for an interface: the newest
/// request wins, one still waiting is replaced. The thread starts with the first request.
class CurveWorker {
public:
    explicit CurveWorker(int pointCount) : points(pointCount) {}
    ~CurveWorker();
    CurveWorker(const CurveWorker&) = delete;
    CurveWorker& operator=(const CurveWorker&) = delete;

    /// Asks for a curve; returns at once.
    void request(const CurveSettings& settings);
    /// The newest curve finished since the last call, if any.
    std::optional<ResponseCurve> takeFinished();

private:
    void run();

    const int points;
    std::mutex guard;
    std::condition_variable wake;
    std::optional<CurveSettings> pending;
    std::optional<ResponseCurve> finished;
    std::atomic<bool> stopping{false};
    std::thread thread;
};

}  // namespace vexaplugin
