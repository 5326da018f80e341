// Long run of one instance through every configuration and both types, with
// Pitch, Resonance and Zing modulated at audio rate: the output stays finite
// and bounded, and memory does not grow.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>

#include "filter/PinLayout.h"
#include "hostlib/HostInstance.h"
#include "hostlib/FilterChannel.h"
#include "hostlib/ModuleLibrary.h"

namespace {

using enum vexa::FilterPin;

constexpr float sampleRate = 48000.0f;
constexpr int32_t blockSize = 64;
/// Every configuration in both types is visited at least once; each stays
/// between one and five seconds.
constexpr double shortestStay = 1.0;
constexpr double longestStay = 5.0;
/// Largest output seen over ten-minute runs with every input in its documented
/// range (Signal +-1, Resonance 0 to 1, Zing 0.01 to 5): 10.9. The bound leaves room.
constexpr float outputBound = 20.0f;
/// Resident memory may move by allocator noise, never by a leak per block.
/// Under AddressSanitizer its own bookkeeping grows the process instead, and
/// its leak checker at exit does this job.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool measureMemory = false;
#else
constexpr bool measureMemory = true;
#endif
constexpr long allowedGrowthKiB = 256;

long residentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    }
    return 0;
}

/// A control that wanders at audio rate: a random walk towards random targets.
class WanderingControl {
public:
    WanderingControl(float low, float high, uint32_t seed) : lowest(low), highest(high), random(seed) {
        value = target = pick();
    }
    float next() {
        if (std::fabs(target - value) < step) target = pick();
        value += target > value ? step : -step;
        return value + jitter(random);
    }

private:
    float pick() { return std::uniform_real_distribution<float>(lowest, highest)(random); }
    float lowest, highest;
    std::minstd_rand random;
    float value = 0.0f, target = 0.0f;
    float step = 1e-4f;
    std::uniform_real_distribution<float> jitter{-1e-3f, 1e-3f};
};

}  // namespace

int main(int argc, char** argv) {
    double minutes = 1.0;
    std::string modulePath = vexahost::ModuleLibrary::defaultModulePath(argv[0]);
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--minutes=", 10) == 0) minutes = std::atof(argv[i] + 10);
        if (std::strncmp(argv[i], "--module=", 9) == 0) modulePath = argv[i] + 9;
    }
    const vexahost::ModuleLibrary library(modulePath);
    const int configurations =
        static_cast<int>(vexahost::FilterPins::describe(library.entryPoints()).poleChoices.entries().size());
    const int configurationsAndTypes = 2 * configurations;
    vexahost::HostInstance::Options options;
    options.bufferCapacity = blockSize;
    vexahost::HostInstance host(library.entryPoints(), options);
    host.setSampleRate(sampleRate);
    host.setBlockSize(blockSize);
    host.open();
    host.sendStatus(signalPin, PinStatusStreaming);

    WanderingControl pitch(0.0f, 1.1f, 1), resonance(0.0f, 1.0f, 2), zing(0.01f, 5.0f, 3);
    std::minstd_rand random(4);
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    const auto totalBlocks = static_cast<int64_t>(minutes * 60.0 * sampleRate / blockSize);
    const double stay = std::clamp(minutes * 60.0 / configurationsAndTypes, shortestStay, longestStay);
    const auto blocksPerConfiguration = std::max<int64_t>(1, static_cast<int64_t>(stay * sampleRate / blockSize));
    const auto started = std::chrono::steady_clock::now();
    long memoryAfterWarmUp = 0;
    float largest = 0.0f;
    int configuration = 0;
    int failures = 0;

    // One block of every configuration and type first, so that the code pages of
    // all block routines are resident before memory is measured.
    for (int c = 0; c < configurationsAndTypes; ++c) {
        host.setListValue(polesPin, static_cast<int16_t>(c % configurations));
        host.setListValue(typePin, static_cast<int16_t>(c / configurations));
        host.sendStatus(polesPin, PinStatusChangedOnce);
        host.process(0, blockSize);
    }

    for (int64_t block = 0; block < totalBlocks; ++block) {
        if (block % blocksPerConfiguration == 0) {
            configuration = static_cast<int>((block / blocksPerConfiguration) % configurationsAndTypes);
            host.setListValue(polesPin, static_cast<int16_t>(configuration % configurations));
            host.setListValue(typePin, static_cast<int16_t>(configuration / configurations));
            host.sendStatus(polesPin, PinStatusChangedOnce);
        }
        for (int32_t i = 0; i < blockSize; ++i) {
            host.buffer(signalPin)[i] = noise(random);
            host.buffer(pitchPin)[i] = pitch.next();
            host.buffer(resonancePin)[i] = resonance.next();
            host.buffer(zingPin)[i] = zing.next();
        }
        host.process(0, blockSize);
        for (int32_t i = 0; i < blockSize; ++i) {
            const float sample = host.buffer(outputPin)[i];
            largest = std::max(largest, std::fabs(sample));
            if (!std::isfinite(sample) || std::fabs(sample) > outputBound) {
                if (++failures <= 10) {
                    std::printf("soak: output %g at block %lld in Poles %d Type %d\n", static_cast<double>(sample),
                                static_cast<long long>(block), configuration % configurations, configuration / configurations);
                }
            }
        }
        if (block == totalBlocks / 10) memoryAfterWarmUp = residentKiB();
    }
    const long growth = residentKiB() - memoryAfterWarmUp;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("soak: %.1f minutes of audio in %.1f s, every configuration and type, largest output %.3f, "
                "memory growth %ld KiB\n",
                minutes, seconds, static_cast<double>(largest), growth);
    if (measureMemory && growth > allowedGrowthKiB) {
        std::printf("soak: memory grew by %ld KiB\n", growth);
        ++failures;
    }
    std::printf("soak: %d passed, %d failed\n", failures == 0 ? 1 : 0, failures == 0 ? 0 : 1);
    return failures == 0 ? 0 : 1;
}
