// The entries of a list pin, as its list text names them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dsp/CoefficientUpdate.h"

namespace vexahost {

/// One entry of a list pin: the label the user sees and the value the pin carries.
struct ListChoice {
    std::string label;
    int16_t value = 0;
};

/// The choices of a list pin, read from the pin's own list text
/// ("LP=0, HP=1", "2:2 Pole=0, 2:2f Pole=1, ..."), in the order the list shows them.
class ListChoices {
public:
    ListChoices() = default;

    /// Parses a list text; a trailing word that names the pin ("Pole" on the
    /// Poles pin) is dropped from each label. Throws ModuleError on a
    /// malformed list.
    static ListChoices parse(const std::string& listText, const std::string& pinName);

    const std::vector<ListChoice>& entries() const { return choices; }

    /// The entry named by a label (any letter case, with or without the pin's
    /// word) or by its value; throws UsageError naming the pin and the labels.
    const ListChoice& find(const std::string& text) const;
    /// The entry with this value, as the module's own default names it; throws ModuleError.
    const ListChoice& byValue(int16_t value) const;
    /// All labels, comma separated, for messages.
    std::string labelList() const;

private:
    std::string pinName;
    std::string droppedWord;
    std::vector<ListChoice> choices;
};

/// The host carries 1.0 for 10 V; pin defaults and the command line speak volts.
constexpr double voltsPerHostUnit = vexa::detail::voltsPerUnit;
inline float hostValueFromVolts(double volts) { return static_cast<float>(volts / voltsPerHostUnit); }

/// A whole decimal number, or nothing: "5", "-2.5", "1e-3" (no trailing text, no inf or nan).
bool parseNumber(const std::string& text, double& number);
/// Volts given for an option; throws UsageError naming the option.
double parseVolts(const std::string& text, const std::string& optionName);

}  // namespace vexahost
