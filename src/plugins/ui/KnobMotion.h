// How a knob of the interface turns: drag, fine drag, mouse wheel and double-click, in the control's own units.
#pragma once

#include <algorithm>
#include <cstdint>

namespace vexaui {

class KnobMotion {
public:
    /// A vertical drag of this many design pixels sweeps the whole range;
    /// the fine drag (Shift) is this many times slower.
    static constexpr float pixelsPerRange = 240.0f;
    static constexpr float fineDivisor = 10.0f;
    /// One wheel notch moves this fraction of the range (the fine one a tenth of it).
    static constexpr float rangePerNotch = 0.01f;
    /// Two presses this close together (ms) are a double-click.
    static constexpr uint32_t doubleClickMs = 350;

    KnobMotion(float minimum, float maximum, float defaultValue)
        : low(minimum), high(maximum), standard(defaultValue), current(defaultValue) {}

    float value() const { return current; }
    float defaultValue() const { return standard; }
    /// 0 at the bottom of the range, 1 at the top.
    float position() const { return (current - low) / (high - low); }
    bool dragging() const { return held; }

    /// A value from the host, clamped into the range.
    void set(float value) { current = std::clamp(value, low, high); }

    /// A press at height `y` (design pixels) at `timeMs`. True when it was the
    /// second press of a double-click, which puts the value back to its default.
    bool press(float y, uint32_t timeMs) {
        const bool doubleClick = pressedBefore && timeMs - lastPressMs <= doubleClickMs;
        pressedBefore = !doubleClick;
        lastPressMs = timeMs;
        if (doubleClick) {
            current = standard;
            return true;
        }
        held = true;
        lastY = y;
        return false;
    }

    /// The pointer moved to height `y` while pressed; true when the value changed.
    /// Each step counts from the last, so pressing Shift mid-drag does not jump.
    bool drag(float y, bool fine) {
        if (!held) return false;
        const float pixels = lastY - y;
        lastY = y;
        return moveBy(pixels / pixelsPerRange / (fine ? fineDivisor : 1.0f));
    }

    void release() { held = false; }

    /// Wheel notches up (positive) or down; true when the value changed.
    bool wheel(float notches, bool fine) {
        return moveBy(notches * rangePerNotch / (fine ? fineDivisor : 1.0f));
    }

private:
    bool moveBy(float fractionOfRange) {
        const float before = current;
        current = std::clamp(current + fractionOfRange * (high - low), low, high);
        return current != before;
    }

    float low;
    float high;
    float standard;
    float current;
    bool held = false;
    float lastY = 0.0f;
    bool pressedBefore = false;
    uint32_t lastPressMs = 0;
};

}  // namespace vexaui
