// List pins' entries read from their list texts, and numbers of volts.
#include "hostlib/PinChoices.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <stdexcept>

#include "hostlib/Errors.h"

namespace vexahost {

namespace {

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

/// "Poles" names its entries "... Pole": the singular of the pin's name.
std::string singularOf(const std::string& pinName) {
    if (pinName.size() > 1 && pinName.back() == 's') return pinName.substr(0, pinName.size() - 1);
    return pinName;
}

std::string withoutTrailingWord(const std::string& label, const std::string& word) {
    std::string suffix = lowered(word);
    suffix.insert(0, 1, ' ');
    const std::string lower = lowered(label);
    if (!word.empty() && lower.size() > suffix.size() &&
        lower.compare(lower.size() - suffix.size(), suffix.size(), suffix) == 0) {
        return trimmed(label.substr(0, label.size() - suffix.size()));
    }
    return label;
}

}  // namespace

bool parseNumber(const std::string& text, double& number) {
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (first != last && *first == '+') {
        ++first;
        if (first != last && *first == '-') return false;  // one sign at most: "+-5" is no number
    }
    if (first == last) return false;
    double value = 0.0;
    const auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc{} || end != last || !std::isfinite(value)) return false;
    number = value;
    return true;
}

double parseVolts(const std::string& text, const std::string& optionName) {
    double volts = 0.0;
    if (!parseNumber(text, volts)) throw UsageError(optionName + ": '" + text + "' is not a number of volts");
    return volts;
}

ListChoices ListChoices::parse(const std::string& listText, const std::string& pinName) {
    ListChoices result;
    result.pinName = pinName;
    result.droppedWord = singularOf(pinName);
    std::size_t position = 0;
    while (position <= listText.size()) {
        const std::size_t comma = std::min(listText.find(',', position), listText.size());
        const std::string entry = trimmed(listText.substr(position, comma - position));
        position = comma + 1;
        if (entry.empty()) continue;
        const auto equals = entry.find('=');
        double value = 0.0;
        if (equals == std::string::npos || !parseNumber(trimmed(entry.substr(equals + 1)), value)) {
            throw ModuleError("pin " + pinName + ": list entry '" + entry + "' has no value");
        }
        ListChoice choice;
        choice.label = withoutTrailingWord(trimmed(entry.substr(0, equals)), result.droppedWord);
        choice.value = static_cast<int16_t>(value);
        result.choices.push_back(choice);
    }
    if (result.choices.empty()) throw ModuleError("pin " + pinName + " has an empty list");
    return result;
}

const ListChoice& ListChoices::find(const std::string& text) const {
    const std::string wanted = lowered(withoutTrailingWord(trimmed(text), droppedWord));
    for (const ListChoice& choice : choices) {
        if (lowered(choice.label) == wanted) return choice;
    }
    double value = 0.0;
    if (parseNumber(wanted, value) && value == std::floor(value)) {
        for (const ListChoice& choice : choices) {
            if (choice.value == value) return choice;
        }
    }
    throw UsageError("unknown " + lowered(pinName) + " '" + text + "' (choose one of " + labelList() +
                     " or its number)");
}

const ListChoice& ListChoices::byValue(int16_t value) const {
    for (const ListChoice& choice : choices) {
        if (choice.value == value) return choice;
    }
    throw ModuleError("pin " + pinName + " has no entry with value " + std::to_string(value));
}

std::string ListChoices::labelList() const {
    std::string list;
    for (const ListChoice& choice : choices) {
        if (!list.empty()) list += ", ";
        list += choice.label;
    }
    return list;
}

}  // namespace vexahost
