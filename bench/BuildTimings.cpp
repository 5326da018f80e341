// Cost per sample of every configuration in one build, in nanoseconds and in cycles of the clock measured in the same run.
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "BenchHost.h"

namespace {

using Clock = std::chrono::steady_clock;
using vexabench::Scenario;

constexpr Scenario scenarios[] = {Scenario::constantControls, Scenario::modulatedPitch, Scenario::decayingSignal};
constexpr int scenarioCount = 3;
constexpr int32_t blockSize = 64;
/// Timed runs per configuration, the scenarios taking turns so that all three
/// see the same machine; the fastest run of each counts.
constexpr int repetitions = 15;
constexpr int passesPerRun = 8;

double secondsSince(Clock::time_point started) {
    return std::chrono::duration<double>(Clock::now() - started).count();
}

/// Seconds of a chain of dependent integer additions, which runs at one per
/// cycle on every x86 core, whatever its clock at the moment.
constexpr int addsPerChain = 100 * 2000;
double chainSeconds() {
    uint32_t chain = 0;
    const uint32_t one = 1;
    const auto started = Clock::now();
    for (int i = 0; i < addsPerChain / 100; ++i) asm volatile(".rept 100\n\taddl %1, %0\n\t.endr" : "+r"(chain) : "r"(one));
    return secondsSince(started);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string modulePath = argc > 1 ? argv[1] : vexahost::ModuleLibrary::defaultModulePath(argv[0]);
    const vexahost::ModuleLibrary library(modulePath);
    const int16_t configurations = vexabench::configurationCount(library.entryPoints());
    std::vector<std::array<double, scenarioCount>> best(static_cast<std::size_t>(configurations));
    std::vector<double> clockHz(static_cast<std::size_t>(configurations));
    for (int16_t poles = 0; poles < configurations; ++poles) {
        std::unique_ptr<vexahost::HostInstance> hosts[scenarioCount];
        for (int s = 0; s < scenarioCount; ++s) {
            hosts[s] = vexabench::makeBenchInstance(library.entryPoints(), poles, scenarios[s]);
            best[poles][s] = 1e30;
        }
        // The clock is measured between the timed runs of each configuration,
        // so that its cycles count at the clock they ran at.
        double fastestChain = 1e30;
        for (int run = 0; run < repetitions; ++run) {
            fastestChain = std::min(fastestChain, chainSeconds());
            for (int s = 0; s < scenarioCount; ++s) {
                const auto started = Clock::now();
                for (int pass = 0; pass < passesPerRun; ++pass) vexabench::runPass(*hosts[s], blockSize);
                const double ns = secondsSince(started) * 1e9 / (passesPerRun * vexabench::samplesPerPass);
                best[poles][s] = std::min(best[poles][s], ns);
            }
        }
        clockHz[poles] = addsPerChain / fastestChain;
    }
    std::printf("module %s\n", modulePath.c_str());
    std::printf("poles clock-hz constant-ns pitch-mod-ns decaying-ns constant-cycles pitch-mod-cycles decaying-cycles\n");
    for (int poles = 0; poles < configurations; ++poles) {
        std::printf("%d %.0f", poles, clockHz[poles]);
        for (int s = 0; s < scenarioCount; ++s) std::printf(" %.3f", best[poles][s]);
        for (int s = 0; s < scenarioCount; ++s) std::printf(" %.2f", best[poles][s] * 1e-9 * clockHz[poles]);
        std::printf("\n");
    }
    return 0;
}
