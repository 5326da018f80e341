// The plug-ins' audio core: one filter channel run block by block for a plug-in host, with its controls.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "hostlib/FilterChannel.h"

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

/// The module's filter, driven the way `vexa-host render` drives it, with the
/// plug-in host's process calls as its blocks (one call, one block).
///
/// Control values are volts; a value that changes between two blocks ramps
/// linearly across the next block, ending on the new value. Poles and Type
/// are positions in the module's own lists. Nothing in process() allocates,
/// locks, calls the system or throws.
class FilterEngine {
public:
    /// Reads the module's pin descriptions (defaults, list texts).
    FilterEngine();

    /// Poles choices in the order of the module's list text.
    const std::vector<Choice>& poleChoices() const { return poles; }
    const std::vector<Choice>& typeChoices() const { return types; }
    /// List positions of the module's own defaults.
    uint32_t defaultPolesPosition() const { return polesDefaultPosition; }
    uint32_t defaultTypePosition() const { return typeDefaultPosition; }
    /// The module's own default of a control, in volts.
    float defaultVolts(Control control) const { return defaults[index(control)]; }

    /// Makes a fresh filter for this sample rate (Hz) and largest block (samples).
    /// Allocates: call it at activation, never while processing. The current
    /// control and list values are the filter's starting values.
    void prepare(double sampleRate, uint32_t maxBlockFrames);

    /// Sets a control in volts. Out of range values are clamped, NaN is ignored.
    void setControl(Control control, float volts);
    float control(Control control) const { return targets[index(control)]; }
    /// Sets Poles or Type by list position; rounded to the nearest and clamped, NaN ignored.
    void setPolesPosition(float position);
    void setTypePosition(float position);
    uint32_t polesPosition() const { return polesCurrent; }
    uint32_t typePosition() const { return typeCurrent; }

    /// Filters one block. `signal` may be null (silence), `output` may be null
    /// (discarded) or the same buffer as `signal`. Each non-null entry of `cv`
    /// replaces its control for this block with samples in the module's own
    /// convention (1.0 = 10 V). A block longer than the prepared largest one is
    /// run in pieces of that size.
    void process(const float* signal, float* output, uint32_t frames,
                 const std::array<const float*, controlCount>& cv = {});

private:
    static std::size_t index(Control control) { return static_cast<std::size_t>(control); }
    void applyLists();
    void runBlock(const float* signal, float* output, uint32_t frames,
                  const std::array<const float*, controlCount>& cv);

    vexahost::FilterPins pins;
    std::vector<Choice> poles;
    std::vector<Choice> types;
    uint32_t polesDefaultPosition = 0;
    uint32_t typeDefaultPosition = 0;
    std::array<float, controlCount> defaults{};

    std::unique_ptr<vexahost::FilterChannel> channel;
    uint32_t capacity = 0;
    /// Until the first block after prepare() has run, changes apply at once: nothing has been heard yet.
    bool started = false;

    std::array<float, controlCount> targets{};
    /// The value each control had at the end of the last block.
    std::array<float, controlCount> heard{};
    /// Whether the pin buffer holds `heard` as a constant over the whole capacity.
    std::array<bool, controlCount> bufferIsConstant{};
    uint32_t polesCurrent = 0;
    uint32_t typeCurrent = 0;
    uint32_t polesApplied = 0;
    uint32_t typeApplied = 0;
};

}  // namespace vexaplugin
