// The plug-ins' audio core: the filter core run block by block for a plug-in host, one state per channel, with its controls.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "dsp/LadderState.h"
#include "dsp/ProcessBlock.h"
#include "hostlib/FilterChannel.h"
#include "resampler/CoreRate.h"

namespace vexaplugin {

/// The three controls that feed the module's sample inputs.
enum class Control { pitch, resonance, zing };
constexpr std::size_t controlCount = 3;

/// What a plug-in host shows for one control, in volts.
struct ControlRange {
    const char* name;
    const char* symbol;
    float minimumVolts;
    float maximumVolts;
};

/// Pitch 0 to 10.5 V, Resonance 0 to 10 V, Zing 0.1 to 50 V.
const ControlRange& rangeOf(Control control);

/// The module's two entry points, linked into the plug-in.
const vexahost::ModuleEntryPoints& linkedModule();

/// One entry of an enumerated parameter: the label shown and the module's list value behind it.
struct Choice {
    std::string label;
    int16_t moduleValue;
};

/// List position of the entry labelled `label` (the module's own labels), or 0.
inline uint32_t positionOf(const std::vector<Choice>& choices, const char* label) {
    for (std::size_t i = 0; i < choices.size(); ++i) {
        if (choices[i].label == label) return static_cast<uint32_t>(i);
    }
    return 0;
}

/// The module's filter core, one state per channel and one set of controls
/// for all of them, run as `vexa-host render` runs the module, with the
/// plug-in host's process calls as its blocks (one call, one block).
///
/// Control values are volts; a value that changes between two blocks ramps
/// linearly across the next block, ending on the new value. Poles and Type
/// are positions in the module's own lists, and a change of Poles restarts
/// every channel as the module does. Nothing in process() allocates, locks,
/// calls the system or throws.
class FilterEngine {
public:
    /// Reads the module's pin descriptions (defaults, list texts); `channels` is at least 1.
    explicit FilterEngine(uint32_t channels = 1);

    uint32_t channelCount() const { return static_cast<uint32_t>(states.size()); }

    /// Poles choices in the order of the module's list text.
    const std::vector<Choice>& poleChoices() const { return poles; }
    const std::vector<Choice>& typeChoices() const { return types; }
    /// List positions of the module's own defaults.
    uint32_t defaultPolesPosition() const { return polesDefaultPosition; }
    uint32_t defaultTypePosition() const { return typeDefaultPosition; }
    /// The module's own default of a control, in volts.
    float defaultVolts(Control control) const { return defaults[index(control)]; }

    /// The largest block a host may promise, in samples (about 22 s at 48 kHz):
    /// the buffers for it take 16 MB. A larger promise is refused.
    static constexpr uint32_t largestBlockFrames = 1u << 20;

    /// Makes a fresh filter of every channel for this sample rate (Hz) and largest block (samples).
    /// Allocates: call it at activation, never while processing. The current
    /// control and list values are the filter's starting values. Returns false,
    /// leaving no filter (process() writes silence), when the block is larger than
    /// largestBlockFrames or the memory for it cannot be had.
    bool prepare(double sampleRate, uint32_t maxBlockFrames);

    /// Sets a control in volts. Out of range values are clamped, NaN is ignored.
    void setControl(Control control, float volts);
    float control(Control control) const { return targets[index(control)]; }
    /// Sets Poles or Type by list position; rounded to the nearest and clamped, NaN ignored.
    void setPolesPosition(float position);
    void setTypePosition(float position);
    uint32_t polesPosition() const { return polesCurrent; }
    uint32_t typePosition() const { return typeCurrent; }

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
                 const std::array<const float*, controlCount>& cv = {});

private:
    static std::size_t index(Control control) { return static_cast<std::size_t>(control); }
    void applyLists();
    void applyModelRate();
    void runBlock(const float* const* signals, float* const* outputs, uint32_t done, uint32_t frames,
                  const std::array<const float*, controlCount>& cv);

    vexahost::FilterPins pins;
    std::vector<Choice> poles;
    std::vector<Choice> types;
    uint32_t polesDefaultPosition = 0;
    uint32_t typeDefaultPosition = 0;
    std::array<float, controlCount> defaults{};

    std::vector<vexa::LadderState> states;
    vexa::BlockConfig config;
    /// Pitch, Resonance and Zing for the block, in the module's convention.
    std::array<std::vector<float>, controlCount> controlBuffers;
    std::vector<float> silence;  ///< the signal of a channel without one
    std::vector<float> discard;  ///< the output of a channel without one
    /// Largest block prepared for; 0 when preparing failed and process() writes silence.
    uint32_t capacity = 0;
    /// Until the first block after prepare() has run, changes apply at once: nothing has been heard yet.
    bool started = false;

    std::array<float, controlCount> targets{};
    /// The value each control had at the end of the last block.
    std::array<float, controlCount> heard{};
    /// Whether the control buffer holds `heard` as a constant over the whole capacity.
    std::array<bool, controlCount> bufferIsConstant{};
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
