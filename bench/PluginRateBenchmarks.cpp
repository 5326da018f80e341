// Cost per session frame of the plug-ins' engine at 96 kHz: the filter at its design rate, resampled around
// it, against the filter at the session's rate, with and without the delay that keeps the latency.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "FilterEngine.h"

namespace {

using vexaplugin::FilterEngine;

constexpr double sessionRate = 96000.0;
/// Half a hertz off 96 kHz is no rate the engine resamples at: the core runs at the session's rate
/// without the delay, as every 96 kHz session ran before Model rate existed.
constexpr double beforeModelRate = sessionRate + 0.5;
constexpr uint32_t blockFrames = 512;
/// About a second, in whole blocks.
constexpr uint32_t passFrames = 188 * blockFrames;

enum class Setting { designRate, sessionRate, asBefore };

void engineBenchmark(benchmark::State& state, Setting setting, float polesPosition) {
    FilterEngine engine;
    engine.setPolesPosition(polesPosition);
    engine.setControl(vexaplugin::Control::resonance, 7.0f);
    engine.setDesignRate(setting == Setting::designRate);
    engine.prepare(setting == Setting::asBefore ? beforeModelRate : sessionRate, blockFrames);
    // A saw with noise, 4 V peak, as the plug-in tests play.
    std::vector<float> in(passFrames), out(passFrames);
    uint32_t seed = 7;
    for (uint32_t i = 0; i < passFrames; ++i) {
        seed = seed * 1664525u + 1013904223u;
        const double noise = (static_cast<double>(seed >> 8) / (1u << 24)) * 2.0 - 1.0;
        in[i] = static_cast<float>(0.4 * (2.0 * std::fmod(110.0 * i / sessionRate, 1.0) - 1.0) + 0.1 * noise);
    }
    for (auto _ : state) {
        for (uint32_t done = 0; done < passFrames; done += blockFrames) {
            const float* signals[] = {in.data() + done};
            float* outputs[] = {out.data() + done};
            engine.process(signals, outputs, blockFrames);
        }
        benchmark::DoNotOptimize(out.back());
    }
    const auto frames = static_cast<double>(state.iterations()) * passFrames;
    state.counters["ns_per_frame"] =
        benchmark::Counter(frames * 1e-9, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void registerAll() {
    // The default configuration, the 4:4 ladder and the longest chain.
    const std::pair<const char*, float> configurations[] = {{"2:4f", 5.0f}, {"4:4", 18.0f}, {"5:5f", 29.0f}};
    const std::pair<const char*, Setting> settings[] = {
        {"design-rate", Setting::designRate}, {"session-rate", Setting::sessionRate}, {"as-before", Setting::asBefore}};
    for (const auto& [config, position] : configurations) {
        for (const auto& [name, setting] : settings) {
            benchmark::RegisterBenchmark((std::string("engine-96k/") + config + "/" + name).c_str(), engineBenchmark,
                                         setting, position);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    registerAll();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
