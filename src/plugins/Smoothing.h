// Click-free movement for the plug-ins: a linear ramp over a fixed number of samples, whatever the host's blocks.
#pragma once

#include <cstdint>

namespace vexaplugin {

/// Time a parameter change takes to be fully heard, and a switch of Poles, Type
/// or bypass to cross from the old sound to the new, in seconds.
inline constexpr double smoothingSeconds = 0.005;

/// Samples of `seconds` at `sampleRate`; at least 1, and a usable count for rates that are not.
inline uint32_t framesOf(double seconds, double sampleRate) {
    constexpr double fallbackRate = 48000.0;
    constexpr double highestRate = 1536000.0;
    const double rate = sampleRate > 0.0 && sampleRate <= highestRate ? sampleRate : fallbackRate;
    const auto frames = static_cast<uint32_t>(seconds * rate + 0.5);
    return frames > 0 ? frames : 1;
}

/// A value that moves to each new target in a straight line of `length` samples,
/// from wherever it is when the target changes. Sample k of a move is
/// from + (to - from) * k / length, exactly, so that any split of the samples
/// into blocks gives the same values.
class LinearRamp {
public:
    /// Stands at `value` at once.
    void jumpTo(double value) {
        from = to = current = value;
        done = length = 0;
    }
    /// Starts a move to `target` from the current value; nothing if that is already the target.
    void moveTo(double target, uint32_t frames) {
        if (target == to) return;
        from = current;
        to = target;
        done = 0;
        length = frames;
        if (frames == 0) current = to;
    }
    bool moving() const { return done < length; }
    double value() const { return current; }
    double target() const { return to; }
    /// The value at the next sample.
    double next() {
        if (done < length) {
            ++done;
            current = done == length ? to : from + (to - from) * (static_cast<double>(done) / length);
        }
        return current;
    }

private:
    double from = 0.0;
    double to = 0.0;
    double current = 0.0;
    uint32_t done = 0;
    uint32_t length = 0;
};

}  // namespace vexaplugin
