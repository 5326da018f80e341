// The signals that stop a command early, and the exit status and line it ends with.
#pragma once

#include <atomic>
#include <csignal>
#include <iterator>

namespace vexahost {

/// The signals that end a command early: Ctrl-C, the terminal going away, kill and timeout.
constexpr int stopSignals[] = {SIGINT, SIGHUP, SIGTERM};

/// Set by a stop signal while a StopSignalGuard lives.
extern std::atomic<bool> stopRequested;
/// The signal that set stopRequested.
extern std::atomic<int> stoppingSignal;

/// While it lives, a stop signal only asks the command to stop between two
/// pieces of work, so that it can remove its unfinished output.
class StopSignalGuard {
public:
    StopSignalGuard();
    ~StopSignalGuard();
    StopSignalGuard(const StopSignalGuard&) = delete;
    StopSignalGuard& operator=(const StopSignalGuard&) = delete;

private:
    void (*previous[std::size(stopSignals)])(int) = {};
};

/// The shell's convention: a program ended by signal N exits with 128 + N.
constexpr int exitBySignalBase = 128;

/// "interrupted (Ctrl-C)", "stopped (SIGTERM)", ...
const char* stopReason(int signalNumber);

}  // namespace vexahost
