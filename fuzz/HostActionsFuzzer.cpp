// Coverage-guided fuzzing of the module through its host interface: the input
// is decoded into a sequence of host actions (dispatcher calls, events, list
// values, sample rates, blocks and their samples), and after every action the
// module's promises to the host are checked.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "common/DocumentedRanges.h"
#include "filter/Exports.h"
#include "filter/PinLayout.h"
#include "FuzzInput.h"
#include "hostlib/HostInstance.h"
#include "host/ModuleInterface.h"

namespace {

using enum vexa::FilterPin;

using vexahost::HostInstance;


constexpr int32_t largestBlock = 8192;
constexpr int32_t bufferCapacity = largestBlock + 64;
constexpr int32_t maxActions = 64;

/// Inputs inside the documented ranges since the last Open are "in range".
using vexatest::highestSampleRate;
using vexatest::inRangeBound;
using vexatest::lowestSampleRate;
constexpr float initialSampleRate = 44100.0f;  // the module's rate until the host sends one

/// Whatever the inputs, the output stays below the module's ceiling and below
/// a multiple of the loudest Signal since Open (counted as at least 10 V):
/// out-of-range controls and sample rates may colour the sound but must not
/// run it away. In range the light loops already reach 157 times a 10 V Signal
/// ("3:3f", Pitch as noise every sample, Resonance -12 V), held by the bound on
/// what they carry; the bound is the in-range one at 10 V.
constexpr float outputCeiling = 1000.0f;
constexpr float signalGainBound = inRangeBound;
constexpr float quietSignalLevel = 1.0f;

float largestOutputInRange = 0.0f;
float largestGainOutOfRange = 0.0f;

void reportLargestOutput() {
    std::fprintf(stderr, "largest output with every input in range: %g\n", static_cast<double>(largestOutputInRange));
    std::fprintf(stderr, "largest output over the loudest Signal (at least 1) with inputs out of range: %g\n",
                 static_cast<double>(largestGainOutOfRange));
}

const float specialValues[] = {0.0f,
                               -0.0f,
                               1.0f,
                               -1.0f,
                               10.0f,
                               -10.0f,
                               0.5f,
                               1e30f,
                               -1e30f,
                               std::numeric_limits<float>::infinity(),
                               -std::numeric_limits<float>::infinity(),
                               std::numeric_limits<float>::quiet_NaN(),
                               std::numeric_limits<float>::denorm_min(),
                               1e-40f,
                               -3e-39f,
                               std::numeric_limits<float>::max(),
                               std::numeric_limits<float>::lowest(),
                               1e-30f};

const float sampleRates[] = {44100.0f, 48000.0f, 22050.0f, 96000.0f, 192000.0f, 768000.0f, 0.0f, -44100.0f,
                             std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                             1.0f, 8000.0f};

[[noreturn]] void broken(const char* what) {
    std::fprintf(stderr, "module broke a promise: %s\n", what);
    std::abort();
}

bool inDocumentedRange(const float* samples, int32_t count, vexatest::DocumentedRange range) {
    for (int32_t i = 0; i < count; ++i) {
        if (!(samples[i] >= range.low && samples[i] <= range.high)) return false;
    }
    return true;
}

bool sampleRateInRange(float rate) { return rate >= lowestSampleRate && rate <= highestSampleRate; }

/// Largest finite magnitude among the samples.
float loudestFinite(const float* samples, int32_t count) {
    float loudest = 0.0f;
    for (int32_t i = 0; i < count; ++i) {
        if (std::isfinite(samples[i])) loudest = std::max(loudest, std::fabs(samples[i]));
    }
    return loudest;
}

/// The host's side of one fuzzing run.
class FuzzedHost {
public:
    explicit FuzzedHost(vexafuzz::FuzzInput& in) : input(in) { create(); }

    void step() {
        switch (input.byte() % 11) {
        case 0: dispatchAnything(); break;
        case 1: statusEvent(); break;
        case 2: host->setListValue(polesPin, static_cast<int16_t>(input.word())); break;
        case 3: host->setListValue(typePin, static_cast<int16_t>(input.word())); break;
        case 4: setSampleRate(pickSampleRate()); break;
        case 5: host->setBlockSize(static_cast<int32_t>(input.word())); break;
        case 6: processBlock(); break;
        case 7: fillSamples(); break;
        case 8: openAgain(); break;
        case 10: processInSmallBlocks(); break;
        default: otherEvent(); break;
        }
    }

private:
    void create() {
        HostInstance::Options options;
        options.bufferCapacity = bufferCapacity;
        options.pinCount = input.byte() % 4 == 0 ? static_cast<int32_t>(input.byte() % 10) : -1;
        const uint8_t flags = input.byte();
        options.withoutCallback = flags % 16 == 0;
        const bool openAtOnce = (flags / 16) % 2 == 1;
        host = std::make_unique<HostInstance>(vexahost::ModuleEntryPoints{getModuleProperties, makeModule}, options);
        const float initial[] = {0.0f, 0.5f, 0.5f, 1.0f};
        for (int32_t pin = signalPin; pin <= zingPin && pin < host->hostPinCount(); ++pin) host->fill(pin, initial[pin]);
        withCallback = !options.withoutCallback;
        signalStreaming = false;
        sampleRate = initialSampleRate;
        startAfresh();
        if (openAtOnce) {
            // Opened and streaming before the first action, so that every action goes to audio.
            openAgain();
            host->sendStatus(signalPin, PinStatusStreaming);
            signalStreaming = host->hostPinCount() > signalPin;
        }
    }

    /// What the checks remember is reset whenever the module is opened.
    void startAfresh() {
        saneSinceOpen = sampleRateInRange(sampleRate);
        loudestSignalSinceOpen = 0.0f;
    }

    void setSampleRate(float rate) {
        host->setSampleRate(rate);
        // The module keeps the last usable rate and applies it at the next Open
        // or change of routine: count any rate outside the range as leaving it.
        if (std::isfinite(rate) && rate > 0.0f) sampleRate = rate;
        if (!sampleRateInRange(rate)) saneSinceOpen = false;
    }

    /// Runs one host action and checks that a routine change was announced exactly once.
    template <class Action>
    void watchingRoutine(Action action) {
        const SubProcess before = host->record() != nullptr ? host->currentSubProcess() : nullptr;
        const int32_t announcements = host->subProcessChanges;
        action();
        if (host->record() == nullptr) return;
        const int32_t announced = host->subProcessChanges - announcements;
        const bool changed = host->currentSubProcess() != before;
        if (announced > 1) broken("routine change announced more than once");
        if (withCallback && changed != (announced == 1)) broken("SubProcessChanged does not match a real change");
    }

    void dispatchAnything() {
        const auto opcode = static_cast<int32_t>(static_cast<int8_t>(input.byte()));
        if (opcode == ModuleOpcodeClose) {
            host->close();
            create();
            return;
        }
        if (opcode == ModuleOpcodeOpen) {
            openAgain();
            return;
        }
        PinProperties properties{};
        const intptr_t a = static_cast<int32_t>(input.word());
        const intptr_t b = static_cast<int32_t>(input.word());
        const intptr_t c = opcode == ModuleOpcodeGetPinProperties ? reinterpret_cast<intptr_t>(&properties)
                                                                  : static_cast<int32_t>(input.word());
        const intptr_t d = static_cast<int32_t>(input.word());
        if (opcode == ModuleOpcodeSetSampleRate) {
            const auto bits = static_cast<uint32_t>(d);
            float rate;
            std::memcpy(&rate, &bits, sizeof rate);
            if (std::isfinite(rate) && rate > 0.0f) sampleRate = rate;
            if (!sampleRateInRange(rate)) saneSinceOpen = false;
        }
        watchingRoutine([&] { host->dispatch(opcode, a, b, c, d); });
    }

    void openAgain() {
        watchingRoutine([&] { host->open(); });
        signalStreaming = false;
        startAfresh();
    }

    void statusEvent() {
        const auto pin = static_cast<int32_t>(static_cast<int8_t>(input.byte())) % 12;
        const auto status = static_cast<int32_t>(input.byte() % 4);
        watchingRoutine([&] { host->sendStatus(pin, status); });
        if (pin == signalPin && host->hostPinCount() > signalPin) signalStreaming = status == PinStatusStreaming;
    }

    void otherEvent() {
        HostEvent event{};
        event.time = static_cast<int32_t>(input.word());
        event.eventType = static_cast<int32_t>(input.byte() % 4);
        event.status = static_cast<int32_t>(input.word());
        event.value = static_cast<int32_t>(input.word());
        event.pinIndex = static_cast<int32_t>(static_cast<int8_t>(input.byte()));
        watchingRoutine([&] { host->sendEvent(event); });
        if (event.eventType == 0 && event.pinIndex == signalPin && host->hostPinCount() > signalPin) {
            signalStreaming = event.status == PinStatusStreaming;
        }
    }

    float pickSampleRate() {
        const uint8_t choice = input.byte();
        if (choice < 200) return sampleRates[choice % std::size(sampleRates)];
        return input.floatBits();
    }

    float pickSample() {
        const uint8_t choice = input.byte();
        if (choice < 64) return specialValues[choice % std::size(specialValues)];
        if (choice < 128) return input.floatBits();
        return (static_cast<float>(input.byte()) - 128.0f) / 64.0f;
    }

    /// How a fill spreads between its two values: a ramp, a constant, a square
    /// switching every `halfPeriod` samples (1: every sample), or noise.
    enum class FillShape : uint8_t { ramp, constant, square, noise };

    void fillSamples() {
        const int32_t pin = static_cast<int32_t>(input.byte() % 4);
        if (pin >= host->hostPinCount()) return;  // a pin the host did not make has no buffer
        const int32_t start = static_cast<int32_t>(input.word() % bufferCapacity);
        const int32_t length = std::min<int32_t>(static_cast<int32_t>(input.word() % 4096) + 1, bufferCapacity - start);
        const auto shape = static_cast<FillShape>(input.byte() % 4);
        const float first = pickSample();
        const float last = shape == FillShape::constant ? first : pickSample();
        const int32_t halfPeriod = shape == FillShape::square ? input.byte() % 32 + 1 : 1;
        uint32_t noise = shape == FillShape::noise ? input.word() : 0;
        float* samples = host->buffer(pin) + start;
        for (int32_t i = 0; i < length; ++i) {
            switch (shape) {
            case FillShape::ramp:
                samples[i] = first + (last - first) * (static_cast<float>(i) / static_cast<float>(length));
                break;
            case FillShape::constant: samples[i] = first; break;
            case FillShape::square: samples[i] = (i / halfPeriod) % 2 == 0 ? first : last; break;
            case FillShape::noise:
                noise = noise * 1664525u + 1013904223u;
                samples[i] = first + (last - first) * (static_cast<float>(noise >> 8) / 16777216.0f);
                break;
            }
        }
    }

    /// Blocks of one to a few samples, one after another over a stretch of the
    /// buffers: what a host at its smallest block size does, and where every
    /// sample of a control may be a jump.
    void processInSmallBlocks() {
        const int32_t blockSize = static_cast<int32_t>(input.byte() % 4) + 1;
        const int32_t start = static_cast<int32_t>(input.word() % bufferCapacity);
        const int32_t length = std::min<int32_t>(static_cast<int32_t>(input.word() % 1024) + 1, bufferCapacity - start);
        for (int32_t at = start; at < start + length; at += blockSize) runBlock(at, std::min(blockSize, start + length - at));
    }

    void processBlock() {
        const int32_t requested = static_cast<int32_t>(input.word() % (largestBlock + 1));
        const uint8_t flags = input.byte();
        // Now and then a negative count, or one of the tiny blocks hosts use at their lowest latency.
        const int32_t count = flags % 8 == 0 ? requested - 8 : flags % 8 == 2 ? requested % 4 + 1 : requested;
        const int32_t room = bufferCapacity - std::max(count, 0);
        const int32_t start = static_cast<int32_t>(input.word() % (room + 1));
        runBlock(start, count);
    }

    void runBlock(int32_t start, int32_t count) {
        const int32_t n = std::max(count, 0);
        if (host->hostPinCount() <= outputPin) {
            // Without all its pins the module has no buffers and must leave the block alone.
            host->process(start, count);
            return;
        }
        if (tracing) traceBlock(start, n);
        saneSinceOpen = saneSinceOpen &&
                        inDocumentedRange(host->buffer(signalPin) + start, n, vexatest::signalRange) &&
                        inDocumentedRange(host->buffer(pitchPin) + start, n, vexatest::pitchRange) &&
                        inDocumentedRange(host->buffer(resonancePin) + start, n, vexatest::resonanceRange) &&
                        inDocumentedRange(host->buffer(zingPin) + start, n, vexatest::zingRange);
        loudestSignalSinceOpen = std::max(loudestSignalSinceOpen, loudestFinite(host->buffer(signalPin) + start, n));
        const float gainReference = std::max(loudestSignalSinceOpen, quietSignalLevel);
        const int32_t sleepsBefore = host->sleepRequests;
        host->fill(outputPin, 0.0f);
        host->process(start, count);
        if (host->sleepRequests != sleepsBefore && signalStreaming) broken("sleep requested while Signal streams");
        const float* out = host->buffer(outputPin) + start;
        for (int32_t i = 0; i < n; ++i) {
            if (!std::isfinite(out[i])) broken("non-finite output sample");
            const float level = std::fabs(out[i]);
            if (level > outputCeiling) broken("output above the module's ceiling");
            if (saneSinceOpen) {
                largestOutputInRange = std::max(largestOutputInRange, level);
                if (level > inRangeBound) {
                    std::fprintf(stderr, "output %g at sample %d\n", static_cast<double>(out[i]), i);
                    broken("output beyond the measured bound for inputs in range");
                }
            } else {
                largestGainOutOfRange = std::max(largestGainOutOfRange, level / gainReference);
                if (level > signalGainBound * gainReference) {
                    std::fprintf(stderr, "output %g at sample %d, loudest Signal %g\n", static_cast<double>(out[i]), i,
                                 static_cast<double>(loudestSignalSinceOpen));
                    broken("output beyond the measured bound relative to the Signal");
                }
            }
        }
    }

    /// With FUZZ_TRACE set, each block's input ranges go to standard error, to
    /// see what a crash input does.
    void traceBlock(int32_t start, int32_t n) {
        std::fprintf(stderr, "block start %d count %d rate %g, in range so far %d:", start, n,
                     static_cast<double>(sampleRate), saneSinceOpen ? 1 : 0);
        for (int32_t pin = signalPin; pin <= zingPin; ++pin) {
            const float* samples = host->buffer(pin) + start;
            const auto [low, high] = std::minmax_element(samples, samples + std::max(n, 1));
            std::fprintf(stderr, " pin %d %g..%g", pin, static_cast<double>(*low), static_cast<double>(*high));
        }
        std::fprintf(stderr, "\n");
    }

    const bool tracing = std::getenv("FUZZ_TRACE") != nullptr;
    vexafuzz::FuzzInput& input;
    std::unique_ptr<HostInstance> host;
    bool withCallback = true;
    bool signalStreaming = false;
    bool saneSinceOpen = true;
    float sampleRate = initialSampleRate;
    float loudestSignalSinceOpen = 0.0f;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::atexit(reportLargestOutput);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vexafuzz::FuzzInput input(data, size);
    FuzzedHost host(input);
    for (int32_t action = 0; action < maxActions && !input.empty(); ++action) host.step();
    return 0;
}
