// The plug-ins' audio core: the filter core run block by block for a plug-in host, one state per channel, with its controls.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "ParameterTable.h"
#include "Smoothing.h"
#include "dsp/LadderState.h"
#include "dsp/ProcessBlock.h"
#include "dsp/ProcessChannels.h"
#include "hostlib/FilterChannel.h"
#include "resampler/CoreRate.h"

namespace vexaplugin {

/// The module's two entry points, linked into the plug-in.
const vexahost::ModuleEntryPoints& linkedModule();

/// The module's filter core, one state per channel and one set of controls
/// for all of them, run as `vexa-host render` runs the module, with the
/// plug-in host's process calls (or their pieces between events) as its blocks.
///
/// Around the core: Drive (gain into it), Mix (filtered against dry) and
/// Output (gain after the mix), then Bypass. Control values are in their
/// parameter's unit (ParameterTable.h); a change moves its control in a
/// straight line over smoothingSeconds from the sample the call comes
/// before, whatever the blocks. A change of Poles or Type, made at the next
/// block start, runs the old configuration beside the new (which restarts as
/// the module does) and crossfades over the same time; bypass crossfades too.
/// With every control at its default the output is the core's, bit for bit.
/// Nothing in process() allocates, locks, calls the system or throws.
class FilterEngine {
public:
    /// `channels` is at least 1.
    explicit FilterEngine(uint32_t channels = 1);

    uint32_t channelCount() const { return static_cast<uint32_t>(states.size()); }

    /// The largest block a host may promise, in samples (about 22 s at 48 kHz):
    /// its twelve buffers take 48 MB. A larger promise is refused.
    static constexpr uint32_t largestBlockFrames = 1u << 20;

    /// Makes a fresh filter of every channel for this sample rate (Hz) and largest block (samples).
    /// Allocates: call it at activation, never while processing. The current
    /// values are the filter's starting values; modulation is cleared. Returns
    /// false, leaving no filter (process() writes silence), when the block is
    /// larger than largestBlockFrames or the memory for it cannot be had.
    bool prepare(double sampleRate, uint32_t maxBlockFrames);
    /// Whether the last prepare() made the filter.
    bool prepared() const { return capacity != 0; }

    /// Sets any parameter in its unit (lists by position, Bypass on above 0.5); as the calls below.
    void setParameter(ParameterId id, float value);
    float parameter(ParameterId id) const;
    /// Sets a control in its unit. Out of range values are clamped, NaN is ignored.
    void setControl(Control control, float value);
    float control(Control control) const { return values[index(control)]; }
    /// Adds `amount` (the control's unit) on top of the control's value until the next call; NaN is ignored.
    void setModulation(Control control, float amount);
    /// Sets Poles or Type by list position; rounded to the nearest and clamped, NaN ignored.
    void setPolesPosition(float position);
    void setTypePosition(float position);
    uint32_t polesPosition() const { return polesCurrent; }
    uint32_t typePosition() const { return typeCurrent; }
    void setBypass(bool on);
    bool bypassed() const { return bypassOn; }
    /// A note-on of MIDI key `key` (0 to 127): Pitch follows it by Key track from here on.
    void noteOn(uint8_t key);

    /// Whether the filter core runs at its design rate (44.1 or 48 kHz) in a
    /// session at two or four times that rate, resampled around it, rather than
    /// at the session's own rate. Takes effect at the next block; at other
    /// session rates it changes nothing.
    void setDesignRate(bool atDesignRate) { designRate = atDesignRate; }
    bool runsAtDesignRate() const { return designRate; }
    /// The delay the host must make up for, in session samples: fixed from prepare() on,
    /// the same at either model rate (a session-rate core is delayed by as much).
    uint32_t latency() const { return converter.latency(); }

    /// Filters one block of every channel: `signals[c]` into `outputs[c]`.
    /// Either array, or an entry of it, may be null (silence in, output
    /// discarded); an output may be the same buffer as its own channel's
    /// signal. Each non-null entry of `cv` replaces its control for this block
    /// with samples in the module's own convention (1.0 = 10 V). A block longer
    /// than the prepared largest one is run in pieces of that size.
    void process(const float* const* signals, float* const* outputs, uint32_t frames,
                 const std::array<const float*, moduleControlCount>& cv = {});

private:
    static std::size_t index(Control control) { return static_cast<std::size_t>(control); }
    /// What each ramp heads for now: values, modulation and the last note together.
    void retarget();
    void applyLists();
    void applyModelRate();
    void runBlock(const float* const* signals, float* const* outputs, uint32_t done, uint32_t frames,
                  const std::array<const float*, moduleControlCount>& cv);

    std::vector<vexa::LadderState> states;
    /// Each channel's signal and output for the block being run.
    std::vector<const float*> channelSignals;
    std::vector<float*> channelOutputs;
    std::vector<float*> fadedOutputs;  ///< each channel's stretch of fadedOut
    vexa::BlockConfig config;
    /// The configuration being faded out after a switch, one state per channel.
    std::vector<vexa::LadderState> outgoing;
    vexa::BlockConfig outgoingConfig;
    uint32_t fadeLength = 1;  ///< samples of a change's ramp and of a switch's crossfade
    uint32_t fadeDone = 0;    ///< samples of the current crossfade heard; fadeLength when none runs

    /// Pitch, Resonance and Zing for the block, in the module's convention.
    std::array<std::vector<float>, moduleControlCount> controlBuffers;
    /// Drive, Output and Mix gains, and the bypass share, per sample of the block.
    std::vector<float> driveGains, outputGains, mixShares, bypassShares;
    std::vector<float> input;     ///< each channel's signal as the core gets it, one stretch per channel
    std::vector<float> dry;       ///< each channel's signal as it came
    std::vector<float> fadedOut;  ///< the outgoing configuration's output, per channel
    std::vector<float> silence;   ///< the signal of a channel without one
    std::vector<float> discard;   ///< the output of a channel without one
    /// Largest block prepared for; 0 when preparing failed and process() writes silence.
    uint32_t capacity = 0;
    /// Until the first block after prepare() has run, changes apply at once: nothing has been heard yet.
    bool started = false;

    std::array<float, controlCount> values{};
    std::array<float, controlCount> modulation{};
    /// Pitch, Resonance and Zing in volts, Drive and Output as gains, Mix as a share.
    std::array<LinearRamp, controlCount> ramps{};
    LinearRamp bypassShare;
    bool bypassOn = false;
    uint8_t lastKey = 60;
    /// Whether the control buffer holds its ramp's value as a constant over the whole capacity.
    std::array<bool, moduleControlCount> bufferIsConstant{};
    /// Decimates around the core, or only delays, at a session rate of two or four times the design rate.
    resampler::CoreRateConverter converter;
    /// One piece of a block's signals and outputs, for the converter.
    std::vector<const float*> pieceSignals;
    std::vector<float*> pieceOutputs;
    float sessionRate = 0.0f;
    bool designRate = true;
    bool designRateApplied = true;
    uint32_t polesCurrent = 0;
    uint32_t typeCurrent = 0;
    uint32_t polesApplied = 0;
    uint32_t typeApplied = 0;
};

}  // namespace vexaplugin
