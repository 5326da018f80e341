// The list parameters' entries, read from the module's own list texts without making a module.
#include "ParameterTable.h"

#include "hostlib/PinChoices.h"

namespace vexaplugin {

namespace {

std::vector<Choice> choicesOf(vexa::FilterPin which) {
    const vexa::PinDescription& pin = detail::pin(which);
    const vexahost::ListChoices list = vexahost::ListChoices::parse(pin.extraText, pin.name);
    std::vector<Choice> choices;
    for (const auto& entry : list.entries()) {
        choices.push_back({entry.label, entry.value});
    }
    return choices;
}

}  // namespace

const std::vector<Choice>& poleChoices() {
    static const std::vector<Choice> choices = choicesOf(vexa::polesPin);
    return choices;
}

const std::vector<Choice>& typeChoices() {
    static const std::vector<Choice> choices = choicesOf(vexa::typePin);
    return choices;
}

const std::vector<Choice>& modelRateChoices() {
    static const std::vector<Choice> choices{{"Design rate", 0}, {"Session rate", 1}};
    return choices;
}

uint32_t positionOf(const std::vector<Choice>& choices, const char* label) {
    for (std::size_t i = 0; i < choices.size(); ++i) {
        if (choices[i].label == label) return static_cast<uint32_t>(i);
    }
    return 0;
}

}  // namespace vexaplugin
