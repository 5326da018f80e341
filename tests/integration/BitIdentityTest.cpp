// Bit-exact output: one fixed stimulus through every configuration, type and block
// size, compared with checksums stored from the native build. Every build of the
// module (native, sanitized, both Windows libraries) must produce the same bits.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "integration/ModuleUnderTest.h"

namespace vexatest {
namespace {

constexpr int32_t stimulusLength = 2048;
constexpr std::array<int32_t, 3> blockSizes = {1, 37, 64};
constexpr int32_t typeCount = 2;

/// FNV-1a over the output's bit patterns.
uint64_t checksum(const float* samples, int32_t count) {
    uint64_t hash = 14695981039346656037ull;
    for (int32_t i = 0; i < count; ++i) {
        uint32_t bits;
        std::memcpy(&bits, &samples[i], sizeof bits);
        for (int byte = 0; byte < 4; ++byte) {
            hash ^= (bits >> (8 * byte)) & 0xffu;
            hash *= 1099511628211ull;
        }
    }
    return hash;
}

/// Uniform in -1 .. 1 from an integer generator, exact in single precision, so
/// that every build makes the same stimulus.
class Noise {
public:
    float next() {
        state = state * 1664525u + 1013904223u;
        return static_cast<float>(static_cast<int32_t>(state >> 8) - (1 << 23)) * (1.0f / (1 << 23));
    }

private:
    uint32_t state = 20261209u;
};

/// 0 .. 1 .. 0 over `period` samples.
float triangle(int32_t i, int32_t period) {
    const float phase = static_cast<float>(i % period) / static_cast<float>(period);
    return phase < 0.5f ? 2.0f * phase : 2.0f - 2.0f * phase;
}

/// Which way Resonance and Zing move: 0 .. 10 V and 0.1 .. 5 V, or the negative
/// half a bipolar modulator adds (Zing -12 .. 0 V, Resonance down to -12 V).
enum class Controls { positive, negative };

/// A saw with noise at 5 V; Pitch sweeping -2 V .. 11.5 V with noise on every
/// sample (so every candidate position updates); Resonance and Zing moving; a
/// 100 V burst that sets off the overload envelope; silence to decay in.
void writeStimulus(vexahost::HostInstance& host, Controls controls = Controls::positive) {
    Noise noise;
    float* signal = host.buffer(signalPin);
    float* pitch = host.buffer(pitchPin);
    float* resonance = host.buffer(resonancePin);
    float* zing = host.buffer(zingPin);
    float sawPhase = 0.0f;
    for (int32_t i = 0; i < stimulusLength; ++i) {
        sawPhase += 1.0f / 97.0f;
        if (sawPhase >= 1.0f) sawPhase -= 1.0f;
        float x = 0.5f * (2.0f * sawPhase - 1.0f) + 0.05f * noise.next();
        if (i >= 1400 && i < 1450) x *= 20.0f;
        if (i >= 1700) x = 0.0f;
        signal[i] = x;
        pitch[i] = -0.2f + 1.35f * triangle(i, 1024) + 0.01f * noise.next();
        resonance[i] = i < 1000 ? triangle(i, 700) : (i / 128) % 2 == 0 ? 1.0f : 0.3f;
        zing[i] = 0.01f + 0.49f * triangle(i, 333);
        if (controls == Controls::negative) {
            resonance[i] = i < 1000 ? 2.2f * triangle(i, 700) - 1.2f : (i / 128) % 2 == 0 ? 1.0f : -0.6f;
            zing[i] = -1.2f + 1.2f * triangle(i, 333);
        }
    }
}

uint64_t renderChecksum(int16_t poles, int16_t type, int32_t blockSize, Controls controls) {
    FilterSetup setup;
    setup.sampleRate = 48000.0f;
    setup.poles = poles;
    setup.type = type;
    setup.blockSize = blockSize;
    auto host = makeFilter(setup, stimulusLength);
    writeStimulus(*host, controls);
    host->processInBlocks(stimulusLength, blockSize);
    return checksum(host->buffer(outputPin), stimulusLength);
}

using Row = std::array<uint64_t, typeCount * blockSizes.size()>;  // LP 1, 37, 64, then HP 1, 37, 64

// clang-format off
constexpr auto storedChecksums = std::to_array<Row>({
#include "integration/BitIdentityChecksums.inc"
});
constexpr auto storedNegativeControlChecksums = std::to_array<Row>({
#include "integration/BitIdentityChecksumsNegative.inc"
});
// clang-format on

void expectStoredChecksums(Controls controls, const std::array<Row, storedChecksums.size()>& stored) {
    // A configuration without stored checksums fails here, rather than going untested.
    EXPECT_EQ(stored.size(), static_cast<std::size_t>(ModuleUnderTest::configurationCount()));
    std::string actualTable;
    for (int16_t poles = 0; poles < static_cast<int16_t>(stored.size()); ++poles) {
        Row actual{};
        for (int16_t type = 0; type < typeCount; ++type) {
            for (std::size_t b = 0; b < blockSizes.size(); ++b) {
                actual[static_cast<std::size_t>(type) * blockSizes.size() + b] =
                    renderChecksum(poles, type, blockSizes[b], controls);
            }
        }
        EXPECT_EQ(actual, stored[static_cast<std::size_t>(poles)]) << "configuration " << poles;
        char line[256];
        std::snprintf(line, sizeof line,
                      "    {{0x%016llxull, 0x%016llxull, 0x%016llxull, 0x%016llxull, 0x%016llxull, 0x%016llxull}},  // %d\n",
                      static_cast<unsigned long long>(actual[0]), static_cast<unsigned long long>(actual[1]),
                      static_cast<unsigned long long>(actual[2]), static_cast<unsigned long long>(actual[3]),
                      static_cast<unsigned long long>(actual[4]), static_cast<unsigned long long>(actual[5]), poles);
        actualTable += line;
    }
    // The whole table as this build computes it, for review when the arithmetic changes on purpose.
    if (testing::Test::HasFailure()) std::fprintf(stderr, "checksums of this build:\n%s", actualTable.c_str());
}

TEST(BitIdentity, EveryConfigurationTypeAndBlockSizeMatchesTheStoredOutput) {
    expectStoredChecksums(Controls::positive, storedChecksums);
}

TEST(BitIdentity, NegativeResonanceAndZingMatchTheStoredOutput) {
    expectStoredChecksums(Controls::negative, storedNegativeControlChecksums);
}

TEST(BitIdentity, TheStimulusReachesEveryRegionItIsMeantTo) {
    // The checksums only guard what the stimulus exercises: check that it reaches
    // the boost region, the held cutoff at both ends, and levels that overload.
    FilterSetup setup;
    setup.sampleRate = 48000.0f;
    auto host = makeFilter(setup, stimulusLength);
    writeStimulus(*host);
    float lowestPitch = 1.0f, highestPitch = 0.0f, loudest = 0.0f;
    for (int32_t i = 0; i < stimulusLength; ++i) {
        lowestPitch = std::min(lowestPitch, host->buffer(pitchPin)[i]);
        highestPitch = std::max(highestPitch, host->buffer(pitchPin)[i]);
        loudest = std::max(loudest, std::abs(host->buffer(signalPin)[i]));
    }
    EXPECT_LT(lowestPitch, 0.0f);
    EXPECT_GT(highestPitch, 1.06f);
    EXPECT_GE(loudest, 9.0f);
}

}  // namespace
}  // namespace vexatest
