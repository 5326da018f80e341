// Curves for the interface: the host library's impulse response of the linked-in module, transformed at the plotted frequencies.
#include "LiveResponse.h"

#include "FilterEngine.h"
#include "hostlib/ImpulseResponse.h"

#if defined(__linux__)
#include <pthread.h>
#endif

namespace vexaplugin {

namespace {

const vexahost::FilterPins& modulePins() {
    static const vexahost::FilterPins pins = vexahost::FilterPins::describe(linkedModule());
    return pins;
}

}  // namespace

std::vector<double> plottedFrequencies(double sampleRate, int count) {
    return vexahost::logSpacedFrequencies(vexahost::lowestMeasuredHz, vexahost::highestMeasuredHz(sampleRate), count);
}

std::optional<ResponseCurve> measureCurve(const CurveSettings& settings, const std::vector<double>& frequencies,
                                          const std::atomic<bool>* stop) {
    const vexahost::ImpulseResponse response = vexahost::recordImpulseResponse(linkedModule(), modulePins(), settings);

    ResponseCurve curve;
    curve.frequencies = frequencies;
    curve.oscillates = !response.settled;
    if (stop != nullptr && stop->load(std::memory_order_relaxed)) return std::nullopt;
    for (const double magnitude : vexahost::magnitudesAt(response, frequencies)) {
        curve.decibels.push_back(vexahost::toDecibels(magnitude));
    }
    return curve;
}

CurveWorker::~CurveWorker() {
    {
        const std::lock_guard<std::mutex> lock(guard);
        stopping = true;
    }
    wake.notify_one();
    if (thread.joinable()) thread.join();
}

void CurveWorker::request(const CurveSettings& settings) {
    {
        const std::lock_guard<std::mutex> lock(guard);
        pending = settings;
        if (!thread.joinable()) thread = std::thread(&CurveWorker::run, this);
    }
    wake.notify_one();
}

std::optional<ResponseCurve> CurveWorker::takeFinished() {
    const std::lock_guard<std::mutex> lock(guard);
    std::optional<ResponseCurve> curve = std::move(finished);
    finished.reset();
    return curve;
}

void CurveWorker::run() {
#if defined(__linux__)
    // Named, so that a profiler or top shows what the host's extra thread does.
    pthread_setname_np(pthread_self(), "vexa-curve");
#endif
    std::unique_lock<std::mutex> lock(guard);
    for (;;) {
        wake.wait(lock, [this] { return stopping || pending.has_value(); });
        if (stopping) return;
        const CurveSettings settings = *pending;
        pending.reset();
        lock.unlock();
        std::optional<ResponseCurve> curve;
        try {
            curve = measureCurve(settings, plottedFrequencies(settings.sampleRate, points), &stopping);
        } catch (...) {
            // A module that cannot be opened at these settings leaves the last curve standing.
        }
        lock.lock();
        if (curve) finished = std::move(curve);
    }
}

}  // namespace vexaplugin
