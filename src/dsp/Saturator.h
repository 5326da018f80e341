// The gradual saturator of every saturating pole stage.
#pragma once

namespace vexa {

/// Slope of the saturator beyond its knee; inside the knee the slope is three times this.
inline constexpr float saturatorSlope = 0.331f;

/// Gradual saturation: 0.993 * v within +-knee, slope 0.331 beyond it, continuous
/// at the knee. Written as a clamp so that tiny signals are not cancelled away
/// (the textbook form v + |v + c| - |v - c| loses them in single precision).
/// The clamp compiles to two well-predicted branches: signals rarely pass the
/// knees (+-50 V), and a taken-branch-free path is shorter than min and max.
inline float sat(float v, float knee) {
    const float clamped = v < -knee ? -knee : (v > knee ? knee : v);
    return saturatorSlope * v + (2.0f * saturatorSlope) * clamped;
}

}  // namespace vexa
