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

#include <algorithm>
#include <array>
#include <cstddef>
#include <type_traits>
#include <utility>

#include "BlockTail.h"
#include "CoefficientUpdate.h"
#include "DenormalGuard.h"
#include "Lanes.h"
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
/// The hold is a predicted branch, not a max and a min: ordinary signals never
/// reach the limit, and so the hold adds nothing to the chain from one
/// sample's feedback to the next. It gives heldBetween's values, NaN included.
inline float heldInLoop(float v) {
    if (!(v >= -loopLimit && v <= loopLimit)) [[unlikely]] {
        // Hidden from the compiler, which would turn the branch back into a max and a min.
        asm("" : "+x"(v));
        return heldBetween(v, -loopLimit, loopLimit);
    }
    return v;
}
inline Lanes heldInLoop(Lanes v) {
    const __m128 inside = _mm_and_ps(_mm_cmpge_ps(v.v, _mm_set1_ps(-loopLimit)), _mm_cmple_ps(v.v, _mm_set1_ps(loopLimit)));
    if (_mm_movemask_ps(inside) != 0xf) [[unlikely]] return heldBetween(v, -loopLimit, loopLimit);
    return v;
}

/// Scale of the entry step u = (x - fb) * 0.5 (a design value), applied inside the first pole.
inline constexpr float entryScale = 0.5f;

/// The recursion of a pole, evaluated as (1 + q) * in - q * s so that q * s
/// stays off the sample-to-sample path. `T` is a float, or Lanes for
/// several channels at once (so are the functions below).
template <class T>
inline T poleRecursion(T in, float q, T state) {
    return (1.0f + q) * in - q * state;
}

/// The first pole's recursion on the entry value u = (x - fb) * 0.5, with the
/// halving and the input sample folded into terms known before fb is.
template <class T>
inline T entryRecursion(T x, T fb, float q, T state) {
    const float inputGain = (1.0f + q) * entryScale;
    return (inputGain * x - q * state) - inputGain * fb;
}

/// Pole `I` (from 0) of configuration `Poles` on its input: returns the pole's
/// output and advances its state. Pole 0 takes the input sample and the
/// feedback instead. A linear pole's output s + v is formed as
/// (1 + q) * in + (1 - q) * s, one step shorter.
template <std::size_t Poles, std::size_t I, class T>
inline T runPole(T in, T fb, const Coefficients& c, T& state) {
    constexpr PoleStage stage = poleConfigs[Poles].chain.stages[I];
    static_assert(I != 0 || stage.form != StageForm::linear, "the first pole saturates");
    const float q = c.q[static_cast<std::size_t>(stage.coefficient)];
    const T v = I == 0 ? entryRecursion(in, fb, q, state) : poleRecursion(in, q, state);
    if constexpr (stage.form == StageForm::saturating) {
        const T a = sat(v, stage.inKnee);
        T y = state + a;
        if constexpr (stage.outKnee != noKnee) y = sat(y, stage.outKnee);
        state = a;
        return y;
    } else if constexpr (stage.form == StageForm::outputKneeOnly) {
        const T y = sat(state + v, stage.outKnee);
        state = v;
        return y;
    } else {
        const T y = (1.0f + q) * in + (1.0f - q) * state;
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
/// filters' states at the start of a block and back at its end (where it lives in
/// between: see BlockKernel::run): the chain's states and feedback, one float
/// each, or for several channels one lane of each per channel; and the inputs
/// of the update all channels share. The coefficients are kept apart: the
/// update writes them through a reference, and what it can see cannot stay in
/// registers.
template <std::size_t Channels>
struct LoopState {
    static_assert(Channels >= 1 && Channels <= Lanes::count);
    using Value = std::conditional_t<Channels == 1, float, Lanes>;
    struct Chain {
        std::array<Value, maxPoles> s;
        Value fb;
    };
    Chain chain;
    float lastPitch, lastResonance, lastZing;  ///< inputs of the last coefficient update
    bool resetPending;

    explicit LoopState(const std::array<LadderState*, Channels>& f)
        : chain{{packed(f, [](const LadderState& g) { return g.s[0]; }),
                 packed(f, [](const LadderState& g) { return g.s[1]; }),
                 packed(f, [](const LadderState& g) { return g.s[2]; }),
                 packed(f, [](const LadderState& g) { return g.s[3]; }),
                 packed(f, [](const LadderState& g) { return g.s[4]; })},
                packed(f, [](const LadderState& g) { return g.fb; })},
          lastPitch(f[0]->lastPitch),
          lastResonance(f[0]->lastResonance),
          lastZing(f[0]->lastZing),
          resetPending(f[0]->resetPending) {}

    void storeInto(const std::array<LadderState*, Channels>& f) const {
        for (std::size_t ch = 0; ch < Channels; ++ch) {
            LadderState& to = *f[ch];
            to.s[0] = lane(chain.s[0], ch), to.s[1] = lane(chain.s[1], ch), to.s[2] = lane(chain.s[2], ch),
            to.s[3] = lane(chain.s[3], ch), to.s[4] = lane(chain.s[4], ch);
            to.fb = lane(chain.fb, ch);
            to.lastPitch = lastPitch, to.lastResonance = lastResonance, to.lastZing = lastZing;
            to.resetPending = resetPending;
        }
    }

    /// One value per channel, read from each state (the lanes of no channel hold 0).
    template <class Read>
    static Value packed(const std::array<LadderState*, Channels>& f, Read read) {
        if constexpr (Channels == 1) {
            return read(*f[0]);
        } else {
            std::array<float, Lanes::count> values{};
            for (std::size_t ch = 0; ch < Channels; ++ch) values[ch] = read(*f[ch]);
            return Lanes::load(values);
        }
    }

    static float lane(Value v, std::size_t ch) {
        if constexpr (Channels == 1) {
            return v;
        } else {
            return v.lanes()[ch];
        }
    }
};

/// One block's buffers for `Channels` channels that share their controls: each
/// channel's signal and output, and the controls (see BlockIo).
template <std::size_t Channels>
struct ChannelBuffers {
    std::array<const float*, Channels> signal;
    std::array<float*, Channels> output;
    const float* pitch;
    const float* resonance;
    const float* zing;
    int32_t count;
};

/// The block routine of configuration `Poles` and output type `HighPass`, for
/// `Channels` channels that share their controls: one coefficient update for
/// all, and their chains, independent of each other, side by side in one loop.
template <std::size_t Poles, bool HighPass, std::size_t Channels = 1>
class BlockKernel {
    static constexpr const PoleConfig& config = poleConfigs[Poles];
    static constexpr std::size_t poleCount = config.poleCount();
    static constexpr std::size_t tap = config.tap();
    static constexpr std::size_t feedbackPole = config.feedbackPole();
    static constexpr int32_t forcedInterval = config.update.forcedUpdateInterval;
    // Linear feedback of the boosted tap: the boost joins the feedback gain,
    // one multiplication less between one sample and the next.
    static constexpr bool linearFeedbackFromTap = config.feedback == FeedbackForm::linear && feedbackPole == tap;

    using States = std::array<LadderState*, Channels>;
    using Loop = LoopState<Channels>;
    using Value = typename Loop::Value;

public:
    /// The states must agree on everything the update reads and writes (see
    /// sharesUpdate); the first one's is used.
    BlockKernel(const States& f, const ChannelBuffers<Channels>& io, Coefficients& coefficients)
        : states(f),
          signal(io.signal),
          pitch(io.pitch),
          resonance(io.resonance),
          out(io.output),
          count(io.count),
          zing(zingRange.hold(controlValue(io.zing[0], zingRange))),
          freqScale(f[0]->freqScale),
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
            Loop st = kept;
            walk(st);
        } else {
            walk(kept);
        }
    }

private:
    /// Several channels (an output store could otherwise alias every lane's
    /// state), and light chains (every pole after the first linear) on 64-bit x86.
    static constexpr bool statesInLocals = Channels > 1 || (sizeof(void*) == 8 && [] {
        for (std::size_t i = 1; i < poleCount; ++i) {
            if (config.chain.stages[i].form != StageForm::linear) return false;
        }
        return true;
    }());

    [[gnu::always_inline]] void walk(Loop& st) {
        int32_t i = 0;
        int32_t candidate = (count - 1) % updateInterval;
        if (st.resetPending) {
            // The first sample after a reset always updates, and enters at half level.
            if (candidate == 0) candidate += updateInterval;
            Update now;
            prepareAt(st, 0, true, now);
            takeOver(st, now);
            st.resetPending = false;
            runSample<true>(st, 0);
            i = 1;
        }
        Update ahead[2];
        int32_t current = 0;
        if (candidate < count) prepareAt(st, candidate, false, ahead[current]);
        for (; candidate < count; candidate += updateInterval) {
            const int32_t next = candidate + updateInterval;
            if (next < count) prepareAt(st, next, false, ahead[1 - current]);
            for (; i < candidate; ++i) runSample<false>(st, i);
            takeOver(st, ahead[current]);
            current = 1 - current;
        }
        for (; i < count; ++i) runSample<false>(st, i);
        st.storeInto(states);
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
    [[gnu::always_inline]] void prepareAt(Loop& st, int32_t i, bool reset, Update& update) {
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
    [[gnu::always_inline]] void takeOver(Loop& st, const Update& update) {
        if (!update.runs) return;
        if (update.newCoefficients) c = update.coefficients;
        if constexpr (Channels == 1) {
            if (shouldFlushFeedback(st.chain.fb)) st.chain.fb = 0.0f;
        } else {
            auto each = st.chain.fb.lanes();
            for (float& fb : each) {
                if (shouldFlushFeedback(fb)) fb = 0.0f;
            }
            st.chain.fb = Lanes::load(each);
        }
    }

    /// One sample of every channel: the boost (shared), then the chain of
    /// poles, the tap with the boost, the output and the value fed back to the
    /// next sample, in every channel's lane at once. The first sample after a
    /// reset enters at half level.
    template <bool HalfLevel>
    [[gnu::always_inline]] void runSample(Loop& st, int32_t i) {
        const Value x = HalfLevel ? 0.5f * finiteOrZero(input(i)) : finiteOrZero(input(i));
        const float p = controlValue(pitch[i], pitchRange);
        const float below = heldBetween(boostPitch - p, 0.0f, boostDepthLimit);
        const float boost = below * config.boostSlope + 1.0f;

        auto& chain = st.chain;
        Value signalOut{};
        Value fedBack{};
        Value y = x;
        [&]<std::size_t... I>(std::index_sequence<I...>) {
            ((y = atPole<I>(chain, runPole<Poles, I>(y, chain.fb, c, chain.s[I]), x, boost, signalOut, fedBack)),
             ...);
        }(std::make_index_sequence<poleCount>{});
        output(i, signalOut);
        chain.fb = feedbackFrom(fedBack, boost);
    }

    /// Sample `i` of every channel's signal.
    Value input(int32_t i) const {
        if constexpr (Channels == 1) {
            return signal[0][i];
        } else {
            // Put together in registers: four lanes loaded from separate stores would wait for them.
            const auto at = [&](std::size_t ch) { return ch < Channels ? signal[std::min(ch, Channels - 1)][i] : 0.0f; };
            return Lanes(_mm_setr_ps(at(0), at(1), at(2), at(3)));
        }
    }

    void output(int32_t i, Value v) const {
        if constexpr (Channels == 1) {
            out[0][i] = v;
        } else {
            const auto values = v.lanes();
            for (std::size_t ch = 0; ch < Channels; ++ch) out[ch][i] = values[ch];
        }
    }

    /// What leaves the chain after pole `I` (from 0): the boosted tap and the
    /// output formed from it, and the value to feed back. Returns the input of
    /// the next pole.
    template <std::size_t I>
    Value atPole(const typename Loop::Chain& st, Value y, Value x, float boost, Value& signalOut,
                 Value& fedBack) const {
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

    Value feedbackFrom(Value fedBack, float boost) const {
        if constexpr (config.feedback == FeedbackForm::soft) {
            const Value held = heldBetween(fedBack, softFeedbackTurn, softFeedbackCeiling);
            return held * (held * softFeedbackCurve + 1.0f) * c.resFeedback;
        } else if constexpr (linearFeedbackFromTap) {
            return heldInLoop(fedBack) * (boost * c.resFeedback);
        } else {
            return heldInLoop(fedBack) * c.resFeedback;
        }
    }

    const States states;
    const std::array<const float*, Channels> signal;
    const float* const pitch;
    const float* const resonance;
    const std::array<float*, Channels> out;
    const int32_t count;
    const float zing;
    const float freqScale;
    const float outGain;
    Coefficients& c;
    Loop kept;
};

/// Runs one block of configuration `Poles` through the chain (the block tail not included).
template <std::size_t Poles, bool HighPass>
void runKernel(LadderState& state, const BlockIo& io) {
    Coefficients c = state.coefficients;
    const ChannelBuffers<1> buffers{{io.signal.data()}, {io.output.data()}, io.pitch.data(), io.resonance.data(),
                                    io.zing.data(), static_cast<int32_t>(io.output.size())};
    BlockKernel<Poles, HighPass>({&state}, buffers, c).run();
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

/// The block function of configuration `Poles` and output type `HighPass` for
/// `Channels` channels whose states share their update (sharesUpdate): one
/// sample loop for all of them, then each channel's overload envelope and
/// runaway guard.
template <std::size_t Poles, bool HighPass, std::size_t Channels>
void runChannels(LadderState* states, const ChannelBuffers<Channels>& io) {
    if (io.count <= 0) return;
    const DenormalGuard guard;
    Coefficients c = states[0].coefficients;
    std::array<LadderState*, Channels> each;
    for (std::size_t ch = 0; ch < Channels; ++ch) each[ch] = &states[ch];
    BlockKernel<Poles, HighPass, Channels>(each, io, c).run();
    for (std::size_t ch = 0; ch < Channels; ++ch) {
        states[ch].coefficients = c;
        finishBlock(states[ch], io.output[ch], io.count);
    }
}

}  // namespace vexa
