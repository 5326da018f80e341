// Cost per sample of every configuration, called through a built library's
// installed block routine exactly as a host calls it.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "BenchHost.h"
#include "ReferenceTwoFive.h"

namespace vexabench {
namespace {

const vexahost::ModuleEntryPoints* entries = nullptr;

constexpr int32_t blockSizes[] = {16, 64, 256, 1024};

void reportPerSample(benchmark::State& state) {
    const auto samples = static_cast<double>(state.iterations()) * samplesPerPass;
    state.SetItemsProcessed(static_cast<int64_t>(samples));
    state.counters["ns_per_sample"] =
        benchmark::Counter(samples * 1e-9, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["x_realtime_48k"] = benchmark::Counter(samples / benchmarkRate, benchmark::Counter::kIsRate);
}

void moduleBenchmark(benchmark::State& state, int16_t poles, Scenario scenario, int32_t blockSize) {
    auto host = makeBenchInstance(*entries, poles, scenario);
    for (auto _ : state) {
        runPass(*host, blockSize);
        benchmark::DoNotOptimize(host->buffer(outputPin)[samplesPerPass - 1]);
    }
    reportPerSample(state);
}

void referenceBenchmark(benchmark::State& state, int32_t blockSize) {
    auto host = makeBenchInstance(*entries, 6, Scenario::constantControls);
    ReferenceTwoFive reference;
    for (auto _ : state) {
        for (int32_t start = 0; start < samplesPerPass; start += blockSize) {
            reference.process(host->buffer(signalPin) + start, host->buffer(pitchPin) + start,
                              host->buffer(resonancePin) + start, host->buffer(outputPin) + start, blockSize);
        }
        benchmark::DoNotOptimize(host->buffer(outputPin)[samplesPerPass - 1]);
    }
    reportPerSample(state);
}

std::string configName(int16_t poles) {
    std::string label = std::to_string(poles);
    return (poles < 10 ? "0" : "") + label;
}

void registerAll() {
    for (const int32_t blockSize : blockSizes) {
        benchmark::RegisterBenchmark(("reference-2:5/constant/" + std::to_string(blockSize)).c_str(),
                                     referenceBenchmark, blockSize);
    }
    for (int16_t poles = 0; poles < configurationCount(*entries); ++poles) {
        for (const Scenario scenario :
             {Scenario::constantControls, Scenario::modulatedPitch, Scenario::decayingSignal}) {
            for (const int32_t blockSize : blockSizes) {
                const std::string name = "poles-" + configName(poles) + "/" + scenarioName(scenario) + "/" +
                                         std::to_string(blockSize);
                benchmark::RegisterBenchmark(name.c_str(), moduleBenchmark, poles, scenario, blockSize);
            }
        }
    }
}

}  // namespace
}  // namespace vexabench

int main(int argc, char** argv) {
    std::string modulePath = vexahost::ModuleLibrary::defaultModulePath(argv[0]);
    std::vector<char*> arguments;
    const std::string prefix = "--module=";
    for (int i = 0; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument.rfind(prefix, 0) == 0) {
            modulePath = argument.substr(prefix.size());
        } else {
            arguments.push_back(argv[i]);
        }
    }
    int count = static_cast<int>(arguments.size());
    benchmark::Initialize(&count, arguments.data());
    const vexahost::ModuleLibrary library(modulePath);
    vexabench::entries = &library.entryPoints();
    vexabench::registerAll();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
