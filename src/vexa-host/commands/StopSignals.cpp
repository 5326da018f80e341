// Stop signals turned into a request the commands check between pieces of work.
#include "vexa-host/commands/StopSignals.h"

namespace vexahost {

std::atomic<bool> stopRequested{false};
std::atomic<int> stoppingSignal{0};

namespace {

void requestStop(int signalNumber) {
    stoppingSignal = signalNumber;
    stopRequested = true;
}

}  // namespace

StopSignalGuard::StopSignalGuard() {
    stopRequested = false;
    for (std::size_t i = 0; i < std::size(stopSignals); ++i) previous[i] = std::signal(stopSignals[i], requestStop);
}

StopSignalGuard::~StopSignalGuard() {
    for (std::size_t i = 0; i < std::size(stopSignals); ++i) std::signal(stopSignals[i], previous[i]);
}

const char* stopReason(int signalNumber) {
    switch (signalNumber) {
    case SIGINT: return "interrupted (Ctrl-C)";
    case SIGHUP: return "stopped: the terminal hung up (SIGHUP)";
    default: return "stopped (SIGTERM)";
    }
}

}  // namespace vexahost
