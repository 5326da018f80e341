// The plug-ins' saved state (CLAP and VST3): its versions, a strict reader that validates a whole state before anything is applied, and its writer.
//
// Layout, every field a zero-terminated text, as DPF 1.6 lays out its own state:
//
//   vexa_state_version  1                       (absent in version 0, DPF's own state)
//   __dpf_program__     <factory preset row>
//   __dpf_parameters_begin__
//   <symbol> <value>    one pair per parameter, each at most once
//   __dpf_parameters_end__
//   0xfe                                        (the terminator, then a zero, then nothing)
//
// Versions: 0 is what DPF saved before the state had a version (the same
// fields without the version pair, values as "%.12g"); 1 adds the version pair
// and writes values as their shortest exact text; 2 adds Drive, Output, Mix, Key
// track, Model rate and Bypass. A parameter added later comes
// with a new version: its row names the version it first appears in and the
// value a state of an older version gets for it. A state must carry exactly the
// parameters of its version; an unknown version, symbol or field, a value that
// is not a finite number inside its range, a duplicate, a cut-short state or a
// byte after the terminator refuse the whole state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vexaplugin {

/// The state version this build writes, and the newest it reads.
inline constexpr uint32_t stateVersion = 2;
/// The key of the version pair (a key DPF's own reader passes over).
inline constexpr std::string_view stateVersionKey = "vexa_state_version";
/// A longer state is refused unread: ours are about 150 bytes.
inline constexpr std::size_t largestStateBytes = 64 * 1024;

/// One parameter as the state carries it, in the plug-in's parameter order.
struct StateParameter {
    const char* symbol;
    float minimum;
    float maximum;
    bool integer;               ///< written and read as a whole number
    uint32_t sinceVersion;      ///< the first state version that carries it
    float valueForOlderStates;  ///< its value when a state of an older version is loaded
};

/// What a state sets: the factory preset row DPF last loaded and every parameter's value.
struct PluginState {
    uint32_t program = 0;
    std::vector<float> values;  ///< by parameter, in the table's order
};

/// The parameters of the filter plug-ins with Pitch, Resonance and Zing as parameters (CLAP, VST3), in their order.
const std::vector<StateParameter>& filterStateParameters();

/// Reads a state of any version up to `newest`, or nothing when it must be refused.
std::optional<PluginState> decodeState(std::string_view bytes, const std::vector<StateParameter>& parameters,
                                       uint32_t programCount, uint32_t newest = stateVersion);

/// What DPF saves of this build's parameters (its own layout, without a version) read as this version's state.
std::optional<PluginState> decodeDpfSave(std::string_view bytes, const std::vector<StateParameter>& parameters,
                                         uint32_t programCount);

/// The state in this build's version.
std::string encodeState(const PluginState& state, const std::vector<StateParameter>& parameters);

/// The state in DPF's own layout (version 0), for DPF's loaders to apply: every parameter, in range.
std::string dpfState(const PluginState& state, const std::vector<StateParameter>& parameters);

/// DPF's layout with the program alone: DPF's loaders load that factory preset, which sets every parameter.
std::string dpfProgramState(uint32_t program);

}  // namespace vexaplugin
