// States saved before Model rate existed, made to load as they sounded: the filter at the session's rate.
#pragma once

#include <string>

namespace vexaplugin {

/// DPF's state text of the plug-ins (zero-terminated keys and values, its
/// section marks) with "model_rate" set to "Session rate" where its parameter
/// section names no Model rate: such a state was saved before the choice
/// existed, when the filter always ran at the session's rate. Any other text,
/// a newer state or one without a parameter section, comes back unchanged.
std::string withModelRateOfOlderState(std::string state);

}  // namespace vexaplugin
