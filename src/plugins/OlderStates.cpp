// Older states: a Model rate of "Session rate" added to a saved parameter section that names none.
#include "OlderStates.h"

#include <cstring>

namespace vexaplugin {

namespace {

constexpr char parametersBegin[] = "__dpf_parameters_begin__";
constexpr char parametersEnd[] = "__dpf_parameters_end__";
constexpr char modelRateSymbol[] = "model_rate";
/// Session rate's position in Model rate's list, as DPF writes an integer parameter.
constexpr char sessionRateValue[] = "1";

}  // namespace

std::string withModelRateOfOlderState(std::string state) {
    // The zero-terminated strings in order; keys and values alternate inside the section.
    std::size_t position = 0;
    bool inParameters = false;
    bool atKey = true;
    while (position < state.size()) {
        const std::size_t end = state.find('\0', position);
        if (end == std::string::npos) return state;
        const char* text = state.c_str() + position;
        if (!inParameters) {
            inParameters = std::strcmp(text, parametersBegin) == 0;
        } else if (std::strcmp(text, parametersEnd) == 0) {
            std::string added = std::string(modelRateSymbol) + '\0' + sessionRateValue + '\0';
            state.insert(position, added);
            return state;
        } else if (atKey && std::strcmp(text, modelRateSymbol) == 0) {
            return state;
        } else {
            atKey = !atKey;
        }
        position = end + 1;
    }
    return state;
}

}  // namespace vexaplugin
