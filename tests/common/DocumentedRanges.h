// The input ranges docs/module.md documents and the output bound the module promises inside them, shared by the fuzzer, the extreme-value grid and the integration tests.
#pragma once

namespace vexatest {

/// Lowest and highest sample of an input, in host units (1.0 = 10 V).
struct DocumentedRange {
    float low, high;
};

inline constexpr DocumentedRange signalRange{-10.0f, 10.0f};   // ±100 V
inline constexpr DocumentedRange pitchRange{-1.0f, 1.1f};      // -10 V .. 11 V
inline constexpr DocumentedRange resonanceRange{-1.2f, 1.0f};  // -12 V, as a bipolar modulator sends it, .. 10 V
inline constexpr DocumentedRange zingRange{-1.2f, 5.0f};       // -12 V .. 50 V
inline constexpr float lowestSampleRate = 22050.0f;            // Hz
inline constexpr float highestSampleRate = 192000.0f;          // Hz

/// Bound on the output while every input stays in range. The loudest case found
/// is "2:2f" at Zing -12 V, Resonance -12 V and Pitch 11 V with 10 V DC at
/// 22.05 kHz: 444 (4.4 kV), a loop whose gain exceeds one, held by the bound on
/// what light loops carry. The bound leaves room above it.
inline constexpr float inRangeBound = 500.0f;

}  // namespace vexatest
