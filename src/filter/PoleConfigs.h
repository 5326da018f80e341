#pragma once

#include <array>

#include "filter/PoleConfig.h"

namespace vexa {

namespace rows {
inline constexpr Coefficient k = Coefficient::k;
inline constexpr Coefficient kA = Coefficient::kA;
inline constexpr Coefficient kB = Coefficient::kB;
inline constexpr Coefficient kC = Coefficient::kC;
inline constexpr FeedbackForm fbSoft = FeedbackForm::soft;
inline constexpr FeedbackForm fbLinear = FeedbackForm::linear;
inline constexpr Precision f32 = Precision::single;
inline constexpr Precision f64 = Precision::double_;
inline constexpr int32_t noForcedUpdate = 0;
inline constexpr int32_t forcedEvery48 = 48;
}  // namespace rows

/// The thirty pole configurations, indexed by the Poles pin value. The name is
/// "a:b": output after pole a, feedback after pole b; f marks the light
/// variants, where only the first pole saturates.
///
/// Update columns: pitchOffset, its precision, pitchCeiling, indexFloor,
/// resScale, precision of the kA/kB/kC multipliers, forced update interval.
inline constexpr std::array<PoleConfig, 30> poleConfigs = [] {
    using namespace rows;
    return std::array<PoleConfig, 30>{{
        // Output after pole 2.
        /*  0 */ {"2:2", chain(P(k, 5.1f, none), P(kA, 5.5f, 4.95f)),
                  tapAfter(2), 0.5f, fbSoft, {0.1, f32, 1.01f, -10, 2.2f, f32, noForcedUpdate}, 0.65f},
        /*  1 */ {"2:2f", chain(P(k, 5.5f, none), L(k)),
                  tapAfter(2), 0.3f, fbLinear, {0.1, f32, 1.06f, -99, 2.0f, f32, noForcedUpdate}, 0.5f},
        /*  2 */ {"2:3", chain(P(k, 5.1f, none), P(kA, 5.5f, 4.95f), P(kC, 5.15f, 5.5f)),
                  tapAfter(2), 0.3f, fbSoft, {0.05, f32, 1.06f, -99, 1.2f, f32, noForcedUpdate}, 0.65f},
        /*  3 */ {"2:3f", chain(P(k, 5.5f, none), L(k), L(k)),
                  tapAfter(2), 0.3f, fbLinear, {0.05, f32, 1.01f, -99, 1.05f, f32, noForcedUpdate}, 0.55f},
        /*  4 */ {"2:4", chain(P(k, 5.1f, none), P(kA, 5.5f, 4.95f), P(k, 5.15f, 5.5f), P(kB, 5.1f, 4.95f)),
                  tapAfter(2), 0.3f, fbSoft, {0.05, f32, 1.06f, -99, 0.65f, f32, noForcedUpdate}, 0.65f},
        /*  5 */ {"2:4f", chain(P(k, 5.5f, none), L(k), L(k), L(k)),
                  tapAfter(2), 0.3f, fbLinear, {0.05, f32, 1.06f, -99, 0.45f, f32, noForcedUpdate}, 0.5f},
        /*  6 */ {"2:5", chain(P(k, 5.1f, none), P(kA, 4.95f, 5.5f), P(k, 5.15f, 5.5f), P(kB, 5.1f, 4.95f), P(k, 5.5f, 4.95f)),
                  tapAfter(2), 0.3f, fbSoft, {0.0, f32, 1.06f, -99, 0.33f, f32, noForcedUpdate}, 0.65f},
        /*  7 */ {"2:5f", chain(P(k, 5.5f, none), L(k), L(k), L(k), L(k)),
                  tapAfter(2), 0.3f, fbLinear, {0.0, f32, 1.06f, -99, 0.2f, f32, noForcedUpdate}, 0.5f},

        // Output after pole 3 or 4.
        /*  8 */ {"3:3", chain(P(k, 5.1f, none), P(kA, 5.5f, 4.95f), P(kC, 5.15f, 5.5f)),
                  tapAfter(3), 0.3f, fbSoft, {0.05, f32, 1.06f, -99, 1.2f, f64, noForcedUpdate}, 0.45f},
        /*  9 */ {"3:3f", chain(P(k, 5.5f, none), L(k), L(k)),
                  tapAfter(3), 0.3f, fbLinear, {0.05, f32, 1.01f, -99, 1.0f, f64, noForcedUpdate}, 0.25f},
        /* 10 */ {"3:4", chain(P(k, 5.1f, none), P(kA, 5.5f, 4.95f), P(k, 5.15f, 5.5f), P(kB, 5.1f, 4.95f)),
                  tapAfter(3), 0.3f, fbSoft, {0.0, f32, 1.06f, -99, 0.65f, f64, noForcedUpdate}, 0.4f},
        /* 11 */ {"3:4f", chain(P(k, 5.5f, none), L(k), L(k), L(k)),
                  tapAfter(3), 0.3f, fbLinear, {0.0, f32, 1.06f, -99, 0.47f, f64, noForcedUpdate}, 0.25f},
        // resScale 0.28, measured: at full Resonance its peak (16.5 dB) lies between "3:4" (10 dB) and "4:5" (self-oscillating).
        /* 12 */ {"3:5", chain(P(k, 5.1f, none), P(kA, 5.5f, 4.95f), P(k, 5.15f, 5.5f), P(kB, 5.1f, 4.95f), P(k, 5.5f, 4.95f)),
                  tapAfter(3), 0.3f, fbSoft, {-0.029, f32, 1.06f, -99, 0.28f, f64, noForcedUpdate}, 0.25f},
        /* 13 */ {"3:5f", chain(P(k, 5.5f, none), L(k), L(k), L(k), L(k)),
                  tapAfter(3), 0.3f, fbLinear, {-0.029, f32, 1.06f, -99, 0.2f, f64, noForcedUpdate}, 0.25f},
        /* 14 */ {"4:4", chain(P(kA, 5.1f, none), P(k, 5.5f, none), P(k, 5.15f, 4.95f), P(kB, 5.1f, 5.5f)),
                  tapAfter(4), 0.3f, fbSoft, {0.0, f32, 1.06f, -99, 0.6f, f64, noForcedUpdate}, 0.2f},
        /* 15 */ {"4:4f", chain(P(k, 5.5f, none), L(k), L(k), L(k)),
                  tapAfter(4), 0.3f, fbLinear, {0.0, f32, 1.06f, -99, 0.45f, f64, noForcedUpdate}, 0.125f},
        /* 16 */ {"4:5", chain(P(kA, 5.1f, none), P(k, 5.5f, 4.95f), P(k, 5.15f, 4.95f), P(kB, 5.1f, 5.5f), P(k, 5.5f, 4.95f)),
                  tapAfter(4), 0.3f, fbSoft, {-0.036, f32, 1.06f, -99, 0.32f, f64, noForcedUpdate}, 0.12f},
        /* 17 */ {"4:5f", chain(P(k, 5.5f, none), L(k), L(k), L(k), L(k)),
                  tapAfter(4), 0.3f, fbLinear, {-0.036, f64, 1.06f, -99, 0.2f, f64, noForcedUpdate}, 0.12f},

        // Five poles: difference taps (Type is ignored) and output after pole 5.
        /* 18 */ {"4-1:5", chain(P(k, 5.1f, none), P(kA, 5.5f, 4.95f), P(k, 5.15f, 5.5f), P(kB, 5.1f, 4.95f), P(k, 5.15f, 5.5f)),
                  differenceTap(2), 0.3f, fbSoft, {-0.05, f32, 1.06f, -99, 0.28f, f64, noForcedUpdate}, -0.12f},
        /* 19 */ {"4-1:5f", chain(P(k, 5.5f, none), L(k), L(k), L(k), L(k)),
                  differenceTap(2), 0.3f, fbLinear, {-0.05, f32, 1.06f, -99, 0.15f, f64, noForcedUpdate}, -0.055f},
        /* 20 */ {"5:5", chain(P(k, 5.5f, none), P(kA, 5.1f, 4.95f), P(k, 5.15f, 5.5f), P(kB, 5.1f, 4.95f), P(k, 5.15f, 5.5f)),
                  tapAfter(5), 0.3f, fbSoft, {-0.05, f32, 1.06f, -99, 0.31f, f64, noForcedUpdate}, 0.12f},
        /* 21 */ {"5:5f", chain(P(k, 5.5f, none), L(k), L(k), L(k), L(k)),
                  tapAfter(5), 0.3f, fbLinear, {-0.05, f32, 1.06f, -99, 0.21f, f64, noForcedUpdate}, 0.0625f},
        /* 22 */ {"3-2:5", chain(P(k, 5.1f, none), P(kA, 5.5f, 4.95f), P(k, 5.5f, 5.15f), P(kB, 5.1f, 4.95f), P(k, 5.15f, 5.5f)),
                  differenceTap(3), 0.3f, fbSoft, {-0.05, f32, 1.06f, -99, 0.25f, f64, noForcedUpdate}, -0.12f},
        /* 23 */ {"3-2:5f", chain(P(k, 5.5f, none), L(k), L(k), L(k), L(k)),
                  differenceTap(3), 0.3f, fbSoft, {-0.05, f32, 1.06f, -99, 0.21f, f64, noForcedUpdate}, -0.075f},
        /* 24 */ {"2-3:5", chain(P(k, 5.1f, none), P(kA, 5.5f, 4.95f), P(k, 5.15f, 4.95f), P(kB, 5.5f, 4.95f), P(k, 5.15f, 5.5f)),
                  differenceTap(4), 0.3f, fbLinear, {-0.05, f32, 1.06f, -99, 0.28f, f64, noForcedUpdate}, -0.23f},
        /* 25 */ {"2-3:5f", chain(P(k, 5.5f, none), L(k), L(k), L(k), L(k)),
                  differenceTap(4), 0.3f, fbLinear, {-0.05, f32, 1.06f, -99, 0.21f, f64, noForcedUpdate}, -0.095f},

        // Feedback after pole 3, output after the last pole.
        /* 26 */ {"5:3", chain(P(k, 5.1f, none), P(kA, none, 4.95f), P(kB, 4.95f, 5.5f), P(k, 5.15f, 5.5f), P(kB, 5.1f, 5.5f)),
                  loopAfter(3), 0.3f, fbSoft, {-0.1, f32, 1.06f, -99, 1.0f, f64, forcedEvery48}, 0.1f},
        /* 27 */ {"5:3f", chain(P(k, 5.5f, none), L(k), L(k), L(k), L(k)),
                  loopAfter(3), 0.3f, fbLinear, {-0.1, f32, 1.06f, -99, 1.0f, f64, forcedEvery48}, 0.06f},
        /* 28 */ {"4:3", chain(P(k, 5.1f, none), P(kA, 5.5f, 4.95f), P(kB, none, 5.5f), P(k, 5.15f, 5.5f)),
                  loopAfter(3), 0.3f, fbSoft, {0.0, f32, 1.06f, -99, 1.2f, f64, forcedEvery48}, 0.25f},
        /* 29 */ {"4:3f", chain(P(k, 5.5f, none), L(kA), L(k), L(k)),
                  loopAfter(3), 0.3f, fbLinear, {0.0, f32, 1.06f, -99, 1.0f, f32, forcedEvery48}, 0.125f},
    }};
}();

inline constexpr std::size_t poleConfigCount = poleConfigs.size();

}  // namespace vexa
