// How much more a decaying signal costs than a normal one, per configuration,
// for any build of the module (it runs under Wine for the Windows builds).
// Without denormal protection the decaying states cost many times more.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "BenchHost.h"

namespace {

using Clock = std::chrono::steady_clock;

/// Fastest of several timed runs, in nanoseconds per sample.
double nanosecondsPerSample(vexahost::HostInstance& host, int32_t blockSize) {
    constexpr int repetitions = 15;
    constexpr int passesPerRun = 8;
    double best = 1e30;
    for (int run = 0; run < repetitions; ++run) {
        const auto started = Clock::now();
        for (int pass = 0; pass < passesPerRun; ++pass) vexabench::runPass(host, blockSize);
        const double elapsed = std::chrono::duration<double, std::nano>(Clock::now() - started).count();
        best = std::min(best, elapsed / (passesPerRun * vexabench::samplesPerPass));
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string modulePath = argc > 1 ? argv[1] : vexahost::ModuleLibrary::defaultModulePath(argv[0]);
    const vexahost::ModuleLibrary library(modulePath);
    constexpr int32_t blockSize = 64;
    double worst = 0.0;
    int worstPoles = 0;
    std::printf("poles  normal ns  decaying ns  ratio\n");
    for (int16_t poles = 0; poles < vexabench::configurationCount(library.entryPoints()); ++poles) {
        auto normal = vexabench::makeBenchInstance(library.entryPoints(), poles, vexabench::Scenario::constantControls);
        auto decaying = vexabench::makeBenchInstance(library.entryPoints(), poles, vexabench::Scenario::decayingSignal);
        const double normalCost = nanosecondsPerSample(*normal, blockSize);
        const double decayingCost = nanosecondsPerSample(*decaying, blockSize);
        const double ratio = decayingCost / normalCost;
        if (ratio > worst) {
            worst = ratio;
            worstPoles = poles;
        }
        std::printf("%5d  %9.2f  %11.2f  %5.3f\n", poles, normalCost, decayingCost, ratio);
    }
    std::printf("decay-ratio: %s worst %.3f (Poles %d)\n", modulePath.c_str(), worst, worstPoles);
    return 0;
}
