// The one generic block kernel: the sample loop of a configuration, instantiated per table row.
//
// The model: the Moog ladder as Stilson and Smith analyse it ("Analyzing the Moog
// VCF with Considerations for Digital Implementation", ICMC 1996,
// https://ccrma.stanford.edu/~stilti/papers/moogvcf.pdf), each stage a one-pole
// recursion with a zero at Nyquist, up to five stages and an extra resonance pole.
// Per sample, with x the input, fb the value fed back by the sample before and
// s_i the state of pole i:
//
//   entry      u   = (x - fb) * 0.5
//   pole i     v   = in + q * (in - s_i)          in: u for pole 1, else the pole before's y
//              a   = sat(v, inKnee)               saturating poles only (linear: a = v)
//              y   = sat(s_i + a, outKnee)        the knee where the row has one
//              s_i = a
//   tap        t   = y_tap * boost(p),  boost = 1 + boostSlope * max(0, 0.5 - p)   (p = Pitch, 1.0 = 10 V)
//   output     outGain * t (low-pass), outGain * (x - t) (high-pass), outGain * (2 s_d - t) (difference)
//   feedback   fb  = y_b * (0.02 y_b + 1) * resFeedback  (soft)   or   y_b * resFeedback  (linear)
//
// with sat(v, c) = 0.331 (v + |v + c| - |v - c|): 0.993 v inside the knee c,
// slope 0.331 beyond it. q and resFeedback come from the coefficient update
// (CoefficientUpdate.h) at the control rate; each configuration is one row of
// PoleConfigs.h, which names its chain, tap, feedback pole and knees.
#pragma once

#include <array>
#include <cstddef>
#include <utility>

#include "BlockTail.h"
#include "CoefficientUpdate.h"
#include "DenormalGuard.h"
#include "LadderState.h"
#include "PoleConfigs.h"
#include "ProcessBlock.h"
#include "Saturator.h"

namespace vexa {

/// Candidate positions of the coefficient update are every this many samples,
/// counted back from the block's last sample (the design's control rate).
inline constexpr int32_t updateInterval = 12;

/// Pitch (1.0 = 10 V) below which the tapped value is boosted.
inline constexpr float boostPitch = 0.5f;
/// Lowest Pitch the boost follows: -12 V, as far as modular control voltages
/// swing. The cutoff stopped falling at 2 V long before, and below this the
/// boost would only grow the level without limit as Pitch falls.
inline constexpr float boostPitchFloor = -1.2f;
inline constexpr float boostDepthLimit = boostPitch - boostPitchFloor;
/// Soft feedback y * (y * 0.02 + 1) turns at y = -25; beyond that it would fall
/// again and change sign, so its argument is held there. Above +25 it would
/// grow with the square of a loop without saturators (the light members) and
/// run away, so it is held at +25 as well; ordinary signals never get there.
inline constexpr float softFeedbackCurve = 0.02f;
inline constexpr float softFeedbackTurn = -25.0f;
inline constexpr float softFeedbackCeiling = 25.0f;

/// Bound on what a light loop carries: the linear poles' states and the value
/// fed back linearly, 3 kV. Ordinary signals stay below it (100 V bursts at
/// full resonance take the last pole of a light five-pole chain past 1 kV).
/// Without saturators after the first pole (whose slope beyond its knee is
/// still 0.331) two things run away: a loop whose gain exceeds one (a negative
/// Zing at high cutoffs reads the curve's large end), and a loop whose
/// coefficients jump every sample (at one-sample blocks an audio-rate Pitch
/// pairs the large feedback of a low cutoff with the open chain of a high one).
inline constexpr float loopLimit = 300.0f;
inline float heldInLoop(float v) { return heldBetween(v, -loopLimit, loopLimit); }

/// Scale of the entry step u = (x - fb) * 0.5 (a design value), applied inside the first pole.
inline constexpr float entryScale = 0.5f;

/// The recursion of a pole, evaluated as (1 + q) * in - q * s so that q * s
/// stays off the sample-to-sample path.
inline float poleRecursion(float in, float q, float state) { return (1.0f + q) * in - q * state; }

/// The first pole's recursion on the entry value u = (x - fb) * 0.5, with the
/// halving and the input sample folded into terms known before fb is.
inline float entryRecursion(float x, float fb, float q, float state) {
    const float inputGain = (1.0f + q) * entryScale;
    return (inputGain * x - q * state) - inputGain * fb;
}

/// Pole `I` (from 0) of configuration `Poles` on its input: returns the pole's
/// output and advances its state. Pole 0 takes the input sample and the
/// feedback instead. A linear pole's output s + v is formed as
/// (1 + q) * in + (1 - q) * s, one step shorter.
template <std::size_t Poles, std::size_t I>
inline float runPole(float in, float fb, const Coefficients& c, float& state) {
    constexpr PoleStage stage = poleConfigs[Poles].chain.stages[I];
    static_assert(I != 0 || stage.form != StageForm::linear, "the first pole saturates");
    const float q = c.q[static_cast<std::size_t>(stage.coefficient)];
    const float v = I == 0 ? entryRecursion(in, fb, q, state) : poleRecursion(in, q, state);
    if constexpr (stage.form == StageForm::saturating) {
        const float a = sat(v, stage.inKnee);
        float y = state + a;
        if constexpr (stage.outKnee != noKnee) y = sat(y, stage.outKnee);
        state = a;
        return y;
    } else if constexpr (stage.form == StageForm::outputKneeOnly) {
        const float y = sat(state + v, stage.outKnee);
        state = v;
        return y;
    } else {
        const float y = (1.0f + q) * in + (1.0f - q) * state;
        state = heldInLoop(v);  // off the chain: the next sample's y needs it only after its input
        return y;
    }
}

/// The coefficient update of configuration `Poles`, with its parameters folded
/// in. Kept out of the sample loop: it runs at most every twelfth sample, and
/// inlined it would crowd the loop's registers.
template <std::size_t Poles>
[[gnu::noinline]] void updateFor(float pitch, float resonance, float zing, float freqScale, Coefficients& c) {
    constexpr CoefficientUse use = poleConfigs[Poles].coefficientUse();
    updateCoefficients(poleConfigs[Poles].update, use, pitch, resonance, zing, freqScale, c);
}

/// What the sample loop carries from one sample to the next, copied out of the
/// filter's state at the start of a block and back at its end (where it lives in
/// between: see BlockKernel::run). The coefficients are kept apart: the update
/// writes them through a reference, and what it can see cannot stay in registers.
struct LoopState {
    std::array<float, maxPoles> s;
    float fb;
    float lastPitch, lastResonance, lastZing;  ///< inputs of the last coefficient update
    bool resetPending;

    explicit LoopState(const LadderState& f)
        : s{f.s[0], f.s[1], f.s[2], f.s[3], f.s[4]},
          fb(f.fb),
          lastPitch(f.lastPitch),
          lastResonance(f.lastResonance),
          lastZing(f.lastZing),
          resetPending(f.resetPending) {}

    void storeInto(LadderState& f) const {
        f.s[0] = s[0], f.s[1] = s[1], f.s[2] = s[2], f.s[3] = s[3], f.s[4] = s[4];
        f.fb = fb;
        f.lastPitch = lastPitch, f.lastResonance = lastResonance, f.lastZing = lastZing;
        f.resetPending = resetPending;
    }
};

/// The block routine of configuration `Poles` and output type `HighPass`.
template <std::size_t Poles, bool HighPass>
class BlockKernel {
    static constexpr const PoleConfig& config = poleConfigs[Poles];
    static constexpr std::size_t poleCount = config.poleCount();
    static constexpr std::size_t tap = config.tap();
    static constexpr std::size_t feedbackPole = config.feedbackPole();
    static constexpr int32_t forcedInterval = config.update.forcedUpdateInterval;
    // Linear feedback of the boosted tap: the boost joins the feedback gain,
    // one multiplication less between one sample and the next.
    static constexpr bool linearFeedbackFromTap = config.feedback == FeedbackForm::linear && feedbackPole == tap;

public:
    BlockKernel(LadderState& f, const BlockIo& io, Coefficients& coefficients)
        : state(f),
          signal(io.signal.data()),
          pitch(io.pitch.data()),
          resonance(io.resonance.data()),
          out(io.output.data()),
          count(static_cast<int32_t>(io.output.size())),
          zing(zingRange.hold(controlValue(io.zing[0], zingRange))),
          freqScale(f.freqScale),
          outGain(config.outGain),
          c(coefficients),
          kept(f) {}

    /// Walks the block in segments that end where a coefficient update may
    /// fall: every twelfth sample counted back from the last, and the first
    /// sample after a reset. Each candidate's update is worked out one segment
    /// ahead (its Pitch and Resonance are in the buffers already), so that its
    /// latency overlaps the samples before it instead of holding up the chain
    /// where the new coefficients take over.
    ///
    /// Never inlined, for the register budget: in a function of its own the
    /// loop reaches the state through `this`, so a pole state is written back
    /// every sample and read again after the output store (which might alias
    /// it). Those round trips have slack; with eight vector registers on
    /// 32-bit x86 they leave room for the feedback and the rest of the chain,
    /// which inlined went through the stack (see scripts/chain-bound.py).
    /// Where the registers hold the states and the chain together, the light
    /// chains with sixteen of them, the states are copied into locals instead.
    [[gnu::noinline]] void run() {
        if constexpr (statesInLocals) {
            LoopState st = kept;
            walk(st);
        } else {
            walk(kept);
        }
    }

private:
    /// Light chains (every pole after the first linear) on 64-bit x86.
    static constexpr bool statesInLocals = sizeof(void*) == 8 && [] {
        for (std::size_t i = 1; i < poleCount; ++i) {
            if (config.chain.stages[i].form != StageForm::linear) return false;
        }
        return true;
    }();

    [[gnu::always_inline]] void walk(LoopState& st) {
        int32_t i = 0;
        int32_t candidate = (count - 1) % updateInterval;
        if (st.resetPending) {
            // The first sample after a reset always updates, and enters at half level.
            if (candidate == 0) candidate += updateInterval;
            Update now;
            prepareAt(st, 0, true, now);
            takeOver(st, now);
            st.resetPending = false;
            runSample(st, 0, 0.5f * finiteOrZero(signal[0]));
            i = 1;
        }
        Update ahead[2];
        int32_t current = 0;
        if (candidate < count) prepareAt(st, candidate, false, ahead[current]);
        for (; candidate < count; candidate += updateInterval) {
            const int32_t next = candidate + updateInterval;
            if (next < count) prepareAt(st, next, false, ahead[1 - current]);
            for (; i < candidate; ++i) runSample(st, i, finiteOrZero(signal[i]));
            takeOver(st, ahead[current]);
            current = 1 - current;
        }
        for (; i < count; ++i) runSample(st, i, finiteOrZero(signal[i]));
        st.storeInto(state);
    }

    /// The update at one position, worked out before the samples that precede it.
    struct Update {
        bool runs = false;
        bool newCoefficients = false;  ///< else it only flushes the feedback
        Coefficients coefficients{};
    };

    /// Decides the update at position `i` (always after a reset; otherwise
    /// when Pitch or Resonance changed since the last update, or when the
    /// configuration forces one here) and computes its coefficients.
    [[gnu::always_inline]] void prepareAt(LoopState& st, int32_t i, bool reset, Update& update) {
        const float p = controlValue(pitch[i], pitchRange);
        const float r = controlValue(resonance[i], resonanceRange);
        const bool changed = p != st.lastPitch || r != st.lastResonance;
        update.runs = reset || changed;
        if constexpr (forcedInterval != 0) update.runs = update.runs || (count - 1 - i) % forcedInterval == 0;
        // A forced update with the inputs of the last one would compute the
        // same coefficients again: only its feedback flush is left to do.
        update.newCoefficients = update.runs && (reset || changed || zing != st.lastZing);
        if (!update.newCoefficients) return;
        st.lastPitch = p;
        st.lastResonance = r;
        st.lastZing = zing;
        update.coefficients = c;  // the ones this configuration does not compute stay as they are
        updateFor<Poles>(p, r, zing, freqScale, update.coefficients);
    }

    /// At the update's position: its coefficients take over and a vanishing feedback is flushed.
    [[gnu::always_inline]] void takeOver(LoopState& st, const Update& update) {
        if (!update.runs) return;
        if (update.newCoefficients) c = update.coefficients;
        if (shouldFlushFeedback(st.fb)) st.fb = 0.0f;
    }

    /// One sample: the chain of poles, the tap with its boost, the output and
    /// the value fed back to the next sample.
    [[gnu::always_inline]] void runSample(LoopState& st, int32_t i, float x) {
        const float p = controlValue(pitch[i], pitchRange);
        const float below = heldBetween(boostPitch - p, 0.0f, boostDepthLimit);
        const float boost = below * config.boostSlope + 1.0f;

        float signalOut = 0.0f;
        float fedBack = 0.0f;
        float y = x;
        [&]<std::size_t... I>(std::index_sequence<I...>) {
            ((y = atPole<I>(st, runPole<Poles, I>(y, st.fb, c, st.s[I]), x, boost, signalOut, fedBack)), ...);
        }(std::make_index_sequence<poleCount>{});
        out[i] = signalOut;
        st.fb = feedbackFrom(fedBack, boost);
    }

    /// What leaves the chain after pole `I` (from 0): the boosted tap and the
    /// output formed from it, and the value to feed back. Returns the input of
    /// the next pole.
    template <std::size_t I>
    float atPole(const LoopState& st, float y, float x, float boost, float& signalOut,
                 float& fedBack) const {
        constexpr std::size_t pole = I + 1;
        if constexpr (pole == tap) {
            if constexpr (linearFeedbackFromTap) fedBack = y;  // boosted with the feedback gain
            y *= boost;
            if constexpr (config.routing.output == OutputForm::difference) {
                signalOut = outGain * (2.0f * st.s[config.routing.differencePole - 1] - y);
            } else if constexpr (HighPass) {
                signalOut = outGain * (x - y);
            } else {
                signalOut = outGain * y;
            }
        }
        if constexpr (pole == feedbackPole && !linearFeedbackFromTap) fedBack = y;
        return y;
    }

    float feedbackFrom(float fedBack, float boost) const {
        if constexpr (config.feedback == FeedbackForm::soft) {
            const float held = heldBetween(fedBack, softFeedbackTurn, softFeedbackCeiling);
            return held * (held * softFeedbackCurve + 1.0f) * c.resFeedback;
        } else if constexpr (linearFeedbackFromTap) {
            return heldInLoop(fedBack) * (boost * c.resFeedback);
        } else {
            return heldInLoop(fedBack) * c.resFeedback;
        }
    }

    LadderState& state;
    const float* const signal;
    const float* const pitch;
    const float* const resonance;
    float* const out;
    const int32_t count;
    const float zing;
    const float freqScale;
    const float outGain;
    Coefficients& c;
    LoopState kept;
};

/// Runs one block of configuration `Poles` through the chain (the block tail not included).
template <std::size_t Poles, bool HighPass>
void runKernel(LadderState& state, const BlockIo& io) {
    Coefficients c = state.coefficients;
    BlockKernel<Poles, HighPass>(state, io, c).run();
    state.coefficients = c;
}

/// The block function of configuration `Poles` and output type `HighPass`:
/// the sample loop, then the overload envelope and the runaway guard.
template <std::size_t Poles, bool HighPass>
void runBlock(LadderState& state, const BlockIo& io) {
    if (io.output.empty()) return;
    const DenormalGuard guard;
    runKernel<Poles, HighPass>(state, io);
    finishBlock(state, io.output.data(), static_cast<int32_t>(io.output.size()));
}

}  // namespace vexa
