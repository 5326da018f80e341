// Parameter values as text for the plug-in formats that show text: Pitch in volts with its cutoff in Hz.
#pragma once

#include <cstddef>
#include <optional>

namespace vexaplugin {

/// The nominal cutoff of a Pitch in volts, in Hz, by the module's own mapping: 1 V/octave,
/// 440 Hz at 5 V, held at 55 Hz below 2 V and at the configurations' common ceiling above it.
double nominalCutoffHz(double pitchVolts);

/// Writes "6.00 V (880 Hz)" into `text` (always terminated); false for NaN or no room.
bool pitchToText(double volts, char* text, std::size_t size);

/// Reads a Pitch typed by a user: volts ("6", "6.00 V (880 Hz)") or a cutoff in Hz
/// ("880 Hz", "1.2 kHz"), which becomes the volts of that nominal cutoff. Nothing
/// for text that is neither, or a value that is not finite.
std::optional<double> pitchFromText(const char* text);

}  // namespace vexaplugin
