// Every input at its extremes, in every combination: each configuration and type
// runs a second of audio per combination, must stay finite and within the
// documented bound, and must sound like a fresh filter soon after the inputs
// return to ordinary values. `extremes` runs a covering subset, `--full` the grid;
// `--negative` the grid's cases with a negative Zing; `--levels`
// skips the recovery and only measures, for the loudest-case table.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/DocumentedRanges.h"
#include "filter/PinLayout.h"
#include "hostlib/HostInstance.h"
#include "hostlib/FilterChannel.h"
#include "hostlib/ModuleLibrary.h"

namespace {

using enum vexa::FilterPin;
using vexahost::HostInstance;

using vexatest::DocumentedRange;
using vexatest::inRangeBound;
using vexatest::pitchRange;
using vexatest::resonanceRange;
using vexatest::zingRange;

/// After the inputs return to ordinary values the filter must be back to its
/// normal level within this time, or within the overload envelope's 128 blocks
/// where the envelope was set off (it counts blocks, not time), plus a margin.
constexpr double recoverySeconds = 0.25;
constexpr int32_t recoveryBlocks = 130;
constexpr double measureSeconds = 0.1;
/// How far the recovered level may lie from a fresh filter's, in dB.
constexpr double recoveryToleranceDb = 1.0;

enum class SignalKind { silence, plus10V, minus10V, plus100V, minus100V, square100V };
constexpr std::array<SignalKind, 6> signals = {SignalKind::silence,   SignalKind::plus10V,   SignalKind::minus10V,
                                               SignalKind::plus100V,  SignalKind::minus100V, SignalKind::square100V};
constexpr std::array<const char*, 6> signalNames = {"0 V", "+10 V", "-10 V", "+100 V", "-100 V", "100 V square"};
constexpr std::array<float, 5> pitches = {-1.0f, 0.0f, 0.2f, 1.05f, 1.1f};
constexpr std::array<float, 3> resonances = {-1.2f, 0.0f, 1.0f};
constexpr std::array<float, 3> zings = {-1.2f, 0.01f, 5.0f};
constexpr std::array<float, 4> sampleRates = {22050.0f, 44100.0f, 96000.0f, 192000.0f};
constexpr std::array<int32_t, 3> blockSizes = {1, 64, 4096};

/// A control that jumps between the ends of its documented range every sample,
/// or moves as noise between them, instead of holding its grid value: what an
/// audio-rate modulator does at the smallest blocks.
enum class Motion { held, alternating, noise };
struct ControlMotion {
    vexa::FilterPin pin;
    Motion motion;
};
constexpr std::array<ControlMotion, 7> motions = {{{pitchPin, Motion::held},
                                                   {pitchPin, Motion::alternating},
                                                   {pitchPin, Motion::noise},
                                                   {resonancePin, Motion::alternating},
                                                   {resonancePin, Motion::noise},
                                                   {zingPin, Motion::alternating},
                                                   {zingPin, Motion::noise}}};

struct Case {
    int16_t poles;
    int16_t type;
    std::size_t signal, pitch, resonance, zing, rate, block, motion;
};

/// The value a control has at a sample position: its grid value, unless it is the one that moves.
float controlSample(const Case& c, vexa::FilterPin pin, float gridValue, DocumentedRange range, int32_t position) {
    const ControlMotion moving = motions[c.motion];
    if (moving.motion == Motion::held || moving.pin != pin) return gridValue;
    if (moving.motion == Motion::alternating) return position % 2 == 0 ? range.low : range.high;
    uint32_t hash = static_cast<uint32_t>(position) * 2654435761u + static_cast<uint32_t>(pin);
    hash ^= hash >> 15;
    return range.low + (range.high - range.low) * (static_cast<float>(hash & 0xFFFFFF) / 16777216.0f);
}

float signalSample(SignalKind kind, int32_t i, float rate) {
    switch (kind) {
    case SignalKind::silence: return 0.0f;
    case SignalKind::plus10V: return 1.0f;
    case SignalKind::minus10V: return -1.0f;
    case SignalKind::plus100V: return 10.0f;
    case SignalKind::minus100V: return -10.0f;
    case SignalKind::square100V: {
        const auto halfPeriod = static_cast<int32_t>(rate / 200.0f);  // 100 Hz
        return (i / halfPeriod) % 2 == 0 ? 10.0f : -10.0f;
    }
    }
    return 0.0f;
}

/// A 5 V saw at 110 Hz: the ordinary signal the filter returns to.
float ordinarySample(int32_t i, float rate) {
    const float period = rate / 110.0f;
    const float phase = std::fmod(static_cast<float>(i), period) / period;
    return 0.5f * (2.0f * phase - 1.0f);
}

std::unique_ptr<HostInstance> openFilter(const vexahost::ModuleEntryPoints& entries, const Case& c) {
    HostInstance::Options options;
    options.bufferCapacity = blockSizes[c.block];
    auto host = std::make_unique<HostInstance>(entries, options);
    host->setSampleRate(sampleRates[c.rate]);
    host->setBlockSize(blockSizes[c.block]);
    host->setListValue(polesPin, c.poles);
    host->setListValue(typePin, c.type);
    host->open();
    host->sendStatus(signalPin, PinStatusStreaming);
    return host;
}

/// Runs `total` samples in the case's blocks; `fill` writes one sample's inputs
/// at a buffer position, `check` sees each output sample.
template <class Fill, class Check>
void run(HostInstance& host, int32_t blockSize, int32_t total, Fill fill, Check check) {
    for (int32_t done = 0; done < total; done += blockSize) {
        const int32_t n = std::min(blockSize, total - done);
        for (int32_t i = 0; i < n; ++i) fill(i, done + i);
        host.process(0, n);
        const float* out = host.buffer(outputPin);
        for (int32_t i = 0; i < n; ++i) check(done + i, out[i]);
    }
}

void fillOrdinary(HostInstance& host, int32_t at, int32_t position, float rate) {
    host.buffer(signalPin)[at] = ordinarySample(position, rate);
    host.buffer(pitchPin)[at] = 0.5f;
    host.buffer(resonancePin)[at] = 0.5f;
    host.buffer(zingPin)[at] = 0.1f;
}

struct Outcome {
    bool finite = true;
    float loudest = 0.0f;
    double recoveryErrorDb = 0.0;
};

Outcome runCase(const vexahost::ModuleEntryPoints& entries, const Case& c, bool checkRecovery) {
    const float rate = sampleRates[c.rate];
    const int32_t blockSize = blockSizes[c.block];
    const auto second = static_cast<int32_t>(rate);
    Outcome outcome;

    auto host = openFilter(entries, c);
    run(
        *host, blockSize, second,
        [&](int32_t at, int32_t position) {
            host->buffer(signalPin)[at] = signalSample(signals[c.signal], position, rate);
            host->buffer(pitchPin)[at] = controlSample(c, pitchPin, pitches[c.pitch], pitchRange, position);
            host->buffer(resonancePin)[at] = controlSample(c, resonancePin, resonances[c.resonance], resonanceRange, position);
            host->buffer(zingPin)[at] = controlSample(c, zingPin, zings[c.zing], zingRange, position);
        },
        [&](int32_t, float v) {
            if (!std::isfinite(v)) outcome.finite = false;
            outcome.loudest = std::max(outcome.loudest, std::fabs(v));
        });

    if (!checkRecovery) return outcome;
    // Back to ordinary inputs: the last stretch must sound like a fresh filter's.
    const auto settle = std::max(static_cast<int32_t>(recoverySeconds * rate), recoveryBlocks * blockSize);
    const auto window = static_cast<int32_t>(measureSeconds * rate);
    const auto levelOf = [&](HostInstance& h) {
        double energy = 0.0;
        run(
            h, blockSize, settle + window, [&](int32_t at, int32_t position) { fillOrdinary(h, at, position, rate); },
            [&](int32_t position, float v) {
                if (!std::isfinite(v)) outcome.finite = false;
                if (position >= settle) energy += static_cast<double>(v) * v;
            });
        return std::sqrt(energy / window);
    };
    const double recovered = levelOf(*host);
    auto fresh = openFilter(entries, c);
    const double expected = levelOf(*fresh);
    outcome.recoveryErrorDb = std::fabs(20.0 * std::log10((recovered + 1e-9) / (expected + 1e-9)));
    return outcome;
}

/// Every combination, in a fixed order.
std::vector<Case> fullGrid(int16_t configurations) {
    std::vector<Case> cases;
    for (int16_t poles = 0; poles < configurations; ++poles)
        for (int16_t type = 0; type < 2; ++type)
            for (std::size_t s = 0; s < signals.size(); ++s)
                for (std::size_t p = 0; p < pitches.size(); ++p)
                    for (std::size_t r = 0; r < resonances.size(); ++r)
                        for (std::size_t z = 0; z < zings.size(); ++z)
                            for (std::size_t f = 0; f < sampleRates.size(); ++f)
                                for (std::size_t b = 0; b < blockSizes.size(); ++b)
                                    for (std::size_t m = 0; m < motions.size(); ++m) {
                                        // A moving control has no grid value: take each motion once.
                                        const ControlMotion moving = motions[m];
                                        const std::size_t gridIndex = moving.pin == pitchPin ? p
                                                                      : moving.pin == resonancePin ? r : z;
                                        if (moving.motion != Motion::held && gridIndex != 0) continue;
                                        cases.push_back({poles, type, s, p, r, z, f, b, m});
                                    }
    return cases;
}

/// The cases of the grid with a negative Zing, as a bipolar modulator sends it,
/// and every control held.
std::vector<Case> negativeZing(int16_t configurations) {
    std::vector<Case> cases;
    for (const Case& c : fullGrid(configurations)) {
        if (zings[c.zing] < 0.0f && motions[c.motion].motion == Motion::held) cases.push_back(c);
    }
    return cases;
}

/// A sparse subset that still covers every value of every input in every
/// configuration and type: case j of a configuration steps each input through
/// its values at its own stride, so values meet in changing combinations.
std::vector<Case> coveringSubset(int16_t configurations) {
    constexpr std::size_t perConfiguration = motions.size();  // the most values any input has
    std::vector<Case> cases;
    for (int16_t poles = 0; poles < configurations; ++poles) {
        for (int16_t type = 0; type < 2; ++type) {
            for (std::size_t j = 0; j < perConfiguration; ++j) {
                const std::size_t shift = static_cast<std::size_t>(poles) + static_cast<std::size_t>(type) * 3;
                cases.push_back({poles, type, (j + shift) % signals.size(), (j + shift) % pitches.size(),
                                 (j / 2 + shift) % resonances.size(), (j + j / 3 + shift) % zings.size(),
                                 (j + 2 * shift) % sampleRates.size(), (j + shift / 2) % blockSizes.size(),
                                 (j + 3 * shift) % motions.size()});
            }
        }
    }
    return cases;
}

std::string describe(const Case& c) {
    const auto control = [&](vexa::FilterPin pin, const char* name, float value) {
        const ControlMotion moving = motions[c.motion];
        char text[80];
        if (moving.motion == Motion::held || moving.pin != pin) {
            std::snprintf(text, sizeof text, "%s %g V", name, 10.0 * value);
        } else {
            std::snprintf(text, sizeof text, "%s %s every sample", name,
                          moving.motion == Motion::alternating ? "jumping end to end" : "noise end to end");
        }
        return std::string(text);
    };
    char text[300];
    std::snprintf(text, sizeof text, "poles %d type %d, Signal %s, %s, %s, %s, %g Hz, blocks of %d", c.poles, c.type,
                  signalNames[c.signal], control(pitchPin, "Pitch", pitches[c.pitch]).c_str(),
                  control(resonancePin, "Resonance", resonances[c.resonance]).c_str(),
                  control(zingPin, "Zing", zings[c.zing]).c_str(), static_cast<double>(sampleRates[c.rate]),
                  blockSizes[c.block]);
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    std::string modulePath = vexahost::ModuleLibrary::defaultModulePath(argv[0]);
    bool full = false;
    bool negative = false;
    bool checkRecovery = true;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--full") == 0) full = true;
        if (std::strcmp(argv[i], "--negative") == 0) negative = true;
        if (std::strcmp(argv[i], "--levels") == 0) checkRecovery = false;
        if (std::strncmp(argv[i], "--module=", 9) == 0) modulePath = argv[i] + 9;
    }
    const vexahost::ModuleLibrary library(modulePath);
    const auto configurations =
        static_cast<int16_t>(vexahost::FilterPins::describe(library.entryPoints()).poleChoices.entries().size());
    const std::vector<Case> cases = negative ? negativeZing(configurations)
                                    : full   ? fullGrid(configurations)
                                             : coveringSubset(configurations);

    std::vector<float> loudest(static_cast<std::size_t>(configurations));
    std::vector<Case> loudestCase(static_cast<std::size_t>(configurations));
    double worstRecovery = 0.0;
    int failures = 0;
    for (std::size_t n = 0; n < cases.size(); ++n) {
        const Case& c = cases[n];
        const Outcome outcome = runCase(library.entryPoints(), c, checkRecovery);
        const auto poles = static_cast<std::size_t>(c.poles);
        if (outcome.loudest > loudest[poles]) loudest[poles] = outcome.loudest, loudestCase[poles] = c;
        worstRecovery = std::max(worstRecovery, outcome.recoveryErrorDb);
        const bool bad = !outcome.finite || outcome.loudest > inRangeBound ||
                         outcome.recoveryErrorDb > recoveryToleranceDb;
        if (bad) {
            ++failures;
            std::printf("FAILED %s: finite %d, loudest %g, recovered within %.2f dB\n", describe(c).c_str(),
                        outcome.finite ? 1 : 0, static_cast<double>(outcome.loudest), outcome.recoveryErrorDb);
        }
        if ((full || negative) && n % 2000 == 0) std::fprintf(stderr, "extremes: %zu of %zu cases\n", n, cases.size());
    }
    std::printf("loudest output per configuration (bound %g):\n", static_cast<double>(inRangeBound));
    for (std::size_t poles = 0; poles < loudest.size(); ++poles) {
        std::printf("  %2zu: %8.3f  %s\n", poles, static_cast<double>(loudest[poles]), describe(loudestCase[poles]).c_str());
    }
    std::printf("worst recovery: %.3f dB from a fresh filter's level (allowed %g dB)\n", worstRecovery,
                recoveryToleranceDb);
    std::printf("%zu cases, %d failed\n", cases.size(), failures);
    return failures == 0 ? 0 : 1;
}
