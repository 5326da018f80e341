// The thirty pole configurations as data: the chain of each, and its control-rate update.
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
/// variants, where only the first pole saturates. Chains list the poles from
/// pole 1: P(q, in knee, out knee) saturating, P(q, in knee) with an
/// unsaturated output, Pout(q, out knee) with a plain state, L(q) linear.
inline constexpr std::array<PoleConfig, 30> poleConfigs = [] {
    using namespace rows;
    return std::array<PoleConfig, 30>{{
      // name      chain                                                                                              routing          boost feedback    outGain
        // Output after pole 2.
        {"2:2",    chain(P(k, 5.1f),  P(kA, 5.5f, 4.95f)),                                                            tapAfter(2),     0.5f, fbSoft,     0.65f},  //  0
        {"2:2f",   chain(P(k, 5.5f),  L(k)),                                                                          tapAfter(2),     0.3f, fbLinear,    0.5f},  //  1
        {"2:3",    chain(P(k, 5.1f),  P(kA, 5.5f, 4.95f), P(kC, 5.15f, 5.5f)),                                        tapAfter(2),     0.3f, fbSoft,     0.65f},  //  2
        {"2:3f",   chain(P(k, 5.5f),  L(k),               L(k)),                                                      tapAfter(2),     0.3f, fbLinear,   0.55f},  //  3
        {"2:4",    chain(P(k, 5.1f),  P(kA, 5.5f, 4.95f), P(k, 5.15f, 5.5f),  P(kB, 5.1f, 4.95f)),                    tapAfter(2),     0.3f, fbSoft,     0.65f},  //  4
        {"2:4f",   chain(P(k, 5.5f),  L(k),               L(k),               L(k)),                                  tapAfter(2),     0.3f, fbLinear,    0.5f},  //  5
        {"2:5",    chain(P(k, 5.1f),  P(kA, 4.95f, 5.5f), P(k, 5.15f, 5.5f),  P(kB, 5.1f, 4.95f), P(k, 5.5f, 4.95f)), tapAfter(2),     0.3f, fbSoft,     0.65f},  //  6
        {"2:5f",   chain(P(k, 5.5f),  L(k),               L(k),               L(k),               L(k)),              tapAfter(2),     0.3f, fbLinear,    0.5f},  //  7

        // Output after pole 3 or 4.
        {"3:3",    chain(P(k, 5.1f),  P(kA, 5.5f, 4.95f), P(kC, 5.15f, 5.5f)),                                        tapAfter(3),     0.3f, fbSoft,     0.45f},  //  8
        {"3:3f",   chain(P(k, 5.5f),  L(k),               L(k)),                                                      tapAfter(3),     0.3f, fbLinear,   0.25f},  //  9
        {"3:4",    chain(P(k, 5.1f),  P(kA, 5.5f, 4.95f), P(k, 5.15f, 5.5f),  P(kB, 5.1f, 4.95f)),                    tapAfter(3),     0.3f, fbSoft,      0.4f},  // 10
        {"3:4f",   chain(P(k, 5.5f),  L(k),               L(k),               L(k)),                                  tapAfter(3),     0.3f, fbLinear,   0.25f},  // 11
        {"3:5",    chain(P(k, 5.1f),  P(kA, 5.5f, 4.95f), P(k, 5.15f, 5.5f),  P(kB, 5.1f, 4.95f), P(k, 5.5f, 4.95f)), tapAfter(3),     0.3f, fbSoft,     0.25f},  // 12
        {"3:5f",   chain(P(k, 5.5f),  L(k),               L(k),               L(k),               L(k)),              tapAfter(3),     0.3f, fbLinear,   0.25f},  // 13
        {"4:4",    chain(P(kA, 5.1f), P(k, 5.5f),         P(k, 5.15f, 4.95f), P(kB, 5.1f, 5.5f)),                     tapAfter(4),     0.3f, fbSoft,      0.2f},  // 14
        {"4:4f",   chain(P(k, 5.5f),  L(k),               L(k),               L(k)),                                  tapAfter(4),     0.3f, fbLinear,  0.125f},  // 15
        {"4:5",    chain(P(kA, 5.1f), P(k, 5.5f, 4.95f),  P(k, 5.15f, 4.95f), P(kB, 5.1f, 5.5f),  P(k, 5.5f, 4.95f)), tapAfter(4),     0.3f, fbSoft,     0.12f},  // 16
        {"4:5f",   chain(P(k, 5.5f),  L(k),               L(k),               L(k),               L(k)),              tapAfter(4),     0.3f, fbLinear,   0.12f},  // 17

        // Five poles: difference taps (Type is ignored) and output after pole 5.
        {"4-1:5",  chain(P(k, 5.1f),  P(kA, 5.5f, 4.95f), P(k, 5.15f, 5.5f),  P(kB, 5.1f, 4.95f), P(k, 5.15f, 5.5f)), differenceTap(2), 0.3f, fbSoft,    -0.12f},  // 18
        {"4-1:5f", chain(P(k, 5.5f),  L(k),               L(k),               L(k),               L(k)),              differenceTap(2), 0.3f, fbLinear, -0.055f},  // 19
        {"5:5",    chain(P(k, 5.5f),  P(kA, 5.1f, 4.95f), P(k, 5.15f, 5.5f),  P(kB, 5.1f, 4.95f), P(k, 5.15f, 5.5f)), tapAfter(5),     0.3f, fbSoft,     0.12f},  // 20
        {"5:5f",   chain(P(k, 5.5f),  L(k),               L(k),               L(k),               L(k)),              tapAfter(5),     0.3f, fbLinear, 0.0625f},  // 21
        {"3-2:5",  chain(P(k, 5.1f),  P(kA, 5.5f, 4.95f), P(k, 5.5f, 5.15f),  P(kB, 5.1f, 4.95f), P(k, 5.15f, 5.5f)), differenceTap(3), 0.3f, fbSoft,    -0.12f},  // 22
        {"3-2:5f", chain(P(k, 5.5f),  L(k),               L(k),               L(k),               L(k)),              differenceTap(3), 0.3f, fbSoft,   -0.075f},  // 23
        {"2-3:5",  chain(P(k, 5.1f),  P(kA, 5.5f, 4.95f), P(k, 5.15f, 4.95f), P(kB, 5.5f, 4.95f), P(k, 5.15f, 5.5f)), differenceTap(4), 0.3f, fbLinear,  -0.23f},  // 24
        {"2-3:5f", chain(P(k, 5.5f),  L(k),               L(k),               L(k),               L(k)),              differenceTap(4), 0.3f, fbLinear, -0.095f},  // 25

        // Feedback after pole 3, output after the last pole.
        {"5:3",    chain(P(k, 5.1f),  Pout(kA, 4.95f),    P(kB, 4.95f, 5.5f), P(k, 5.15f, 5.5f),  P(kB, 5.1f, 5.5f)), loopAfter(3),    0.3f, fbSoft,      0.1f},  // 26
        {"5:3f",   chain(P(k, 5.5f),  L(k),               L(k),               L(k),               L(k)),              loopAfter(3),    0.3f, fbLinear,   0.06f},  // 27
        {"4:3",    chain(P(k, 5.1f),  P(kA, 5.5f, 4.95f), Pout(kB, 5.5f),     P(k, 5.15f, 5.5f)),                     loopAfter(3),    0.3f, fbSoft,     0.25f},  // 28
        {"4:3f",   chain(P(k, 5.5f),  L(kA),              L(k),               L(k)),                                  loopAfter(3),    0.3f, fbLinear,  0.125f},  // 29
    }};
}();

/// The control-rate update of each configuration, indexed as `poleConfigs`.
inline constexpr std::array<UpdateParameters, 30> poleUpdates = [] {
    using namespace rows;
    return std::array<UpdateParameters, 30>{{
      // pitchOffset    ceiling floor resScale kA/kB/kC  forcedUpdateInterval
        // Output after pole 2.
        {    0.1, f32,  1.01f,  -10,   2.2f, f32,  noForcedUpdate},  //  0 "2:2"
        {    0.1, f32,  1.06f,  -99,   2.0f, f32,  noForcedUpdate},  //  1 "2:2f"
        {   0.05, f32,  1.06f,  -99,   1.2f, f32,  noForcedUpdate},  //  2 "2:3"
        {   0.05, f32,  1.01f,  -99,  1.05f, f32,  noForcedUpdate},  //  3 "2:3f"
        {   0.05, f32,  1.06f,  -99,  0.65f, f32,  noForcedUpdate},  //  4 "2:4"
        {   0.05, f32,  1.06f,  -99,  0.45f, f32,  noForcedUpdate},  //  5 "2:4f"
        {    0.0, f32,  1.06f,  -99,  0.33f, f32,  noForcedUpdate},  //  6 "2:5"
        {    0.0, f32,  1.06f,  -99,   0.2f, f32,  noForcedUpdate},  //  7 "2:5f"

        // Output after pole 3 or 4.
        {   0.05, f32,  1.06f,  -99,   1.2f, f64,  noForcedUpdate},  //  8 "3:3"
        {   0.05, f32,  1.01f,  -99,   1.0f, f64,  noForcedUpdate},  //  9 "3:3f"
        {    0.0, f32,  1.06f,  -99,  0.65f, f64,  noForcedUpdate},  // 10 "3:4"
        {    0.0, f32,  1.06f,  -99,  0.47f, f64,  noForcedUpdate},  // 11 "3:4f"
        { -0.029, f32,  1.06f,  -99,  0.28f, f64,  noForcedUpdate},  // 12 "3:5"
        { -0.029, f32,  1.06f,  -99,   0.2f, f64,  noForcedUpdate},  // 13 "3:5f"
        {    0.0, f32,  1.06f,  -99,   0.6f, f64,  noForcedUpdate},  // 14 "4:4"
        {    0.0, f32,  1.06f,  -99,  0.45f, f64,  noForcedUpdate},  // 15 "4:4f"
        { -0.036, f32,  1.06f,  -99,  0.32f, f64,  noForcedUpdate},  // 16 "4:5"
        { -0.036, f64,  1.06f,  -99,   0.2f, f64,  noForcedUpdate},  // 17 "4:5f"

        // Five poles: difference taps (Type is ignored) and output after pole 5.
        {  -0.05, f32,  1.06f,  -99,  0.28f, f64,  noForcedUpdate},  // 18 "4-1:5"
        {  -0.05, f32,  1.06f,  -99,  0.15f, f64,  noForcedUpdate},  // 19 "4-1:5f"
        {  -0.05, f32,  1.06f,  -99,  0.31f, f64,  noForcedUpdate},  // 20 "5:5"
        {  -0.05, f32,  1.06f,  -99,  0.21f, f64,  noForcedUpdate},  // 21 "5:5f"
        {  -0.05, f32,  1.06f,  -99,  0.25f, f64,  noForcedUpdate},  // 22 "3-2:5"
        {  -0.05, f32,  1.06f,  -99,  0.21f, f64,  noForcedUpdate},  // 23 "3-2:5f"
        {  -0.05, f32,  1.06f,  -99,  0.28f, f64,  noForcedUpdate},  // 24 "2-3:5"
        {  -0.05, f32,  1.06f,  -99,  0.21f, f64,  noForcedUpdate},  // 25 "2-3:5f"

        // Feedback after pole 3, output after the last pole.
        {   -0.1, f32,  1.06f,  -99,   1.0f, f64,   forcedEvery48},  // 26 "5:3"
        {   -0.1, f32,  1.06f,  -99,   1.0f, f64,   forcedEvery48},  // 27 "5:3f"
        {    0.0, f32,  1.06f,  -99,   1.2f, f64,   forcedEvery48},  // 28 "4:3"
        {    0.0, f32,  1.06f,  -99,   1.0f, f32,   forcedEvery48},  // 29 "4:3f"
    }};
}();

inline constexpr std::size_t poleConfigCount = poleConfigs.size();
static_assert(poleUpdates.size() == poleConfigCount);

}  // namespace vexa
