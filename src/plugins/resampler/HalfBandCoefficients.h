// The half-band resampling stages' taps, written by tools/design_halfband.py: do not edit.
#pragma once

#include <array>

namespace vexaplugin::resampler {

// Each stage is symmetric with its centre tap 1/2 and every second tap zero;
// listed are the nonzero taps left of the centre, outermost first.

/// Between the base rate and twice it: 0 .. 18 kHz kept.
/// 71 taps; alone: passband ripple 0.0002 dB, rejection 98.3 dB.
inline constexpr std::array<float, 18> longStageTaps{{
    -3.3833849955002496e-06f,
    2.2694615890749235e-05f,
    -7.420601474413864e-05f,
    0.00018597500685175084f,
    -0.0003995410707946432f,
    0.0007726293161825183f,
    -0.0013816546091083835f,
    0.002324352323861112f,
    -0.0037235410012634355f,
    0.005734293978672539f,
    -0.008559350136681613f,
    0.012483329301064426f,
    -0.017951018714568334f,
    0.025758691692035242f,
    -0.037583205271020985f,
    0.057790332727782175f,
    -0.10248171439436493f,
    0.31708531563520137f,
}};

/// Between twice and four times the base rate.
/// 27 taps; alone: passband ripple 0.0001 dB, rejection 100.5 dB.
inline constexpr std::array<float, 7> shortStageTaps{{
    9.109183075168502e-06f,
    -0.0003849092069945861f,
    0.002622627327050382f,
    -0.010376948733813967f,
    0.03085590756770288f,
    -0.08226102198454917f,
    0.3095352358475293f,
}};

}  // namespace vexaplugin::resampler
