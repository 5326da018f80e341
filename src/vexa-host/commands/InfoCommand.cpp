// `vexa-host info`: the module's properties, about text and pin table.
#include "vexa-host/commands/InfoCommand.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <stdexcept>
#include <utility>
#include <vector>

#include "hostlib/HostInstance.h"
#include "hostlib/ModuleLibrary.h"
#include "hostlib/PinChoices.h"

namespace vexahost {

namespace {

const char* directionName(int32_t direction) { return direction == PinDirectionOut ? "out" : "in"; }

const char* dataTypeName(int32_t dataType) {
    switch (dataType) {
    case PinDataTypeAudio: return "audio";
    case PinDataTypeList: return "list";
    default: return "other";
    }
}

/// List entries per line when a list pin's entries are printed.
constexpr std::size_t entriesPerLine = 6;
/// Characters per entry, "3-2:5f = 23" and a space.
constexpr std::size_t entryWidth = 13;
/// A range text holds two pairs of numbers, low and high.
constexpr std::size_t rangeNumbers = 4;

std::optional<ListChoices> choicesOf(const PinInfo& pin) {
    if (pin.dataType != PinDataTypeList || !pin.hasExtra) return std::nullopt;
    try {
        return ListChoices::parse(pin.extraText, pin.name);
    } catch (const ModuleError&) {
        return std::nullopt;  // shown as the module wrote it
    }
}

/// A list pin's default as its label ("2:4f (5)"), an audio pin's in volts ("5 V").
std::string defaultOf(const PinInfo& pin, const std::optional<ListChoices>& choices) {
    if (!pin.hasDefault) return "-";
    double value = 0.0;
    if (!parseNumber(pin.defaultText, value)) return pin.defaultText;
    if (pin.dataType == PinDataTypeAudio) return pin.defaultText + " V";
    if (choices) {
        for (const ListChoice& choice : choices->entries()) {
            if (choice.value == value) return choice.label + " (" + pin.defaultText + ")";
        }
    }
    return pin.defaultText;
}

/// An audio pin's range text as our host reads it: the control's low and high
/// ends in volts, twice ("5,15,5,15": 5 V to 15 V).
std::string rangeOf(const std::string& text) {
    std::vector<double> numbers;
    std::size_t position = 0;
    while (position <= text.size()) {
        const std::size_t comma = std::min(text.find(',', position), text.size());
        double number = 0.0;
        if (!parseNumber(text.substr(position, comma - position), number)) return text;
        numbers.push_back(number);
        position = comma + 1;
    }
    if (numbers.size() != rangeNumbers) return text;
    char described[128];
    if (numbers[0] == numbers[2] && numbers[1] == numbers[3]) {
        std::snprintf(described, sizeof described, "control %g V to %g V (\"%s\")", numbers[0], numbers[1],
                      text.c_str());
    } else {
        std::snprintf(described, sizeof described, "control %g V to %g V, then %g V to %g V (\"%s\")", numbers[0],
                      numbers[1], numbers[2], numbers[3], text.c_str());
    }
    return described;
}

}  // namespace

int printModuleInfo(const std::string& modulePath) {
    const ModuleLibrary library(modulePath);
    const ModuleIdentity identity = readIdentity(library.entryPoints());
    if (identity.result != 1) throw vexahost::ModuleError("the library reports no module at index 0");
    std::printf("Module:            %s\n", library.path().c_str());
    std::printf("Id:                %s\n", identity.id.c_str());
    std::printf("Name:              %s\n", identity.name.c_str());
    std::printf("Interface version: %d\n\n", identity.interfaceVersion);
    std::printf("About:\n%s\n\n", identity.about.c_str());

    HostInstance instance(library.entryPoints());
    std::printf("Pins:\n");
    std::printf("  %-2s %-10s %-4s %-6s %-9s %s\n", "#", "name", "dir", "type", "default", "range / list");
    const auto& pins = instance.describedPins();
    std::vector<std::pair<std::string, ListChoices>> lists;
    for (std::size_t i = 0; i < pins.size(); ++i) {
        const PinInfo& pin = pins[i];
        const std::optional<ListChoices> choices = choicesOf(pin);
        std::string extra = "-";
        if (choices) {
            extra = std::to_string(choices->entries().size()) + " entries, below";
            lists.emplace_back(pin.name, *choices);
        } else if (pin.hasExtra) {
            extra = pin.dataType == PinDataTypeAudio ? rangeOf(pin.extraText) : pin.extraText;
        }
        std::printf("  %-2zu %-10s %-4s %-6s %-9s %s\n", i, pin.name.c_str(), directionName(pin.direction),
                    dataTypeName(pin.dataType), defaultOf(pin, choices).c_str(), extra.c_str());
    }
    for (const auto& [name, choices] : lists) {
        std::printf("\n%s (label = value, in the list's order):\n", name.c_str());
        const auto& entries = choices.entries();
        std::string line;
        for (std::size_t i = 0; i < entries.size(); ++i) {
            std::string entry = entries[i].label + " = " + std::to_string(entries[i].value);
            entry.resize(std::max(entry.size() + 1, entryWidth), ' ');
            line += entry;
            if ((i + 1) % entriesPerLine == 0 || i + 1 == entries.size()) {
                line.erase(line.find_last_not_of(' ') + 1);
                std::printf("  %s\n", line.c_str());
                line.clear();
            }
        }
    }
    return 0;
}

}  // namespace vexahost
