// Configuration "2:5" written out by hand: the yardstick for the generic kernel.
#pragma once

#include <cstdint>

namespace vexabench {

/// Configuration "2:5" written out by hand, sample by sample, as a yardstick
/// for the generic kernel: the same arithmetic in the same order (inputs made
/// finite, the entry step folded into pole 1), no tables, no templates.
struct ReferenceTwoFive {
    float s1 = 0, s2 = 0, s3 = 0, s4 = 0, s5 = 0, fb = 0;
    float k = -0.95f, kA = -0.95f * 0.994375f, kB = -0.95f * 1.0038f, resFeedback = 0.2f;
    float lastPitch = 0.5f, lastResonance = 0.5f;

    static float sat(float v, float knee) {
        const float clamped = v < -knee ? -knee : (v > knee ? knee : v);
        return 0.331f * v + 0.662f * clamped;
    }
    static float step(float in, float q, float s) { return (1.0f + q) * in - q * s; }
    static float finite(float v) { return v - v == 0.0f ? v : 0.0f; }

    void process(const float* signal, const float* pitch, const float* resonance, float* out, int32_t count) {
        int32_t next = (count - 1) % 12;
        for (int32_t i = 0; i < count; ++i) {
            const float x = finite(signal[i]);
            const float p = finite(pitch[i]);
            const float r = finite(resonance[i]);
            if (i == next) {
                next += 12;
                if (p != lastPitch || r != lastResonance) {
                    lastPitch = p;
                    lastResonance = r;
                }
            }
            float below = 0.5f - p;
            below = below > 0.0f ? below : 0.0f;
            const float boost = below * 0.3f + 1.0f;
            const float gain = (1.0f + k) * 0.5f;
            const float a1 = sat((gain * x - k * s1) - gain * fb, 5.1f);
            const float y1 = s1 + a1;
            s1 = a1;
            const float a2 = sat(step(y1, kA, s2), 4.95f);
            const float t = sat(s2 + a2, 5.5f) * boost;
            s2 = a2;
            out[i] = 0.65f * t;
            const float a3 = sat(step(t, k, s3), 5.15f);
            const float y3 = sat(s3 + a3, 5.5f);
            s3 = a3;
            const float a4 = sat(step(y3, kB, s4), 5.1f);
            const float y4 = sat(s4 + a4, 4.95f);
            s4 = a4;
            const float a5 = sat(step(y4, k, s5), 5.5f);
            const float y5 = sat(s5 + a5, 4.95f);
            s5 = a5;
            const float held = y5 > -25.0f ? y5 : -25.0f;
            fb = held * (held * 0.02f + 1.0f) * resFeedback;
        }
    }
};

}  // namespace vexabench
