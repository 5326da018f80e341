// The filter as a channel a host runs: its pins found by name, one instance driven block by block.
#pragma once

#include <cstdint>
#include <memory>

#include "hostlib/HostInstance.h"
#include "hostlib/ModuleLibrary.h"
#include "hostlib/PinChoices.h"

namespace vexahost {

/// Where the filter's pins are and what they default to, as the module itself
/// describes them (names, default texts, list texts).
struct FilterPins {
    int32_t signal = 0;
    int32_t pitch = 0;
    int32_t resonance = 0;
    int32_t zing = 0;
    int32_t poles = 0;
    int32_t type = 0;
    int32_t output = 0;
    double pitchDefaultVolts = 0.0;
    double resonanceDefaultVolts = 0.0;
    double zingDefaultVolts = 0.0;
    ListChoice polesDefault;
    ListChoice typeDefault;
    ListChoices poleChoices;
    ListChoices typeChoices;

    /// Reads the descriptions through a short-lived instance; throws
    /// ModuleError when a pin is missing or its texts do not parse.
    static FilterPins describe(const ModuleEntryPoints& entries);
};

/// How one filter instance is set up before it is opened.
struct FilterSetup {
    int16_t poles = 0;
    int16_t type = 0;
    float sampleRate = 48000.0f;
    int32_t blockSize = 64;
    /// Control pins whose value changes over time are reported as streaming.
    bool pitchStreams = false;
    bool resonanceStreams = false;
    bool zingStreams = false;
};

/// One filter instance driven block by block as a host drives it: the caller
/// writes a block's inputs at the start of the pin buffers, calls process and
/// reads the output there.
class FilterChannel {
public:
    FilterChannel(const ModuleEntryPoints& entries, const FilterPins& pins, const FilterSetup& setup);

    float* signal() { return host->buffer(pins.signal); }
    float* pitch() { return host->buffer(pins.pitch); }
    float* resonance() { return host->buffer(pins.resonance); }
    float* zing() { return host->buffer(pins.zing); }
    const float* output() { return host->buffer(pins.output); }
    int32_t blockSize() const { return setup.blockSize; }

    /// Runs one block of `count` samples (at most the block size).
    void process(int32_t count) { host->process(0, count); }

    /// Change a list pin between blocks as a host does: the new value, then a
    /// status event for that pin. Neither allocates.
    void selectPoles(int16_t value);
    void selectType(int16_t value);

private:
    FilterPins pins;
    FilterSetup setup;
    std::unique_ptr<HostInstance> host;
};

}  // namespace vexahost
