// Checks and messages the commands share.
#include "vexa-host/commands/OptionChecks.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace vexahost {

const CLI::Validator notEmpty(
    [](std::string& value) { return value.empty() ? std::string("an empty value is no value; leave the option out for its default") : std::string(); },
    "", "not empty");

std::string numberText(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

namespace {

/// Edits (insertions, deletions, substitutions) that turn one word into the other.
std::size_t editDistance(const std::string& from, const std::string& to) {
    std::vector<std::size_t> row(to.size() + 1);
    for (std::size_t j = 0; j <= to.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= from.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= to.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (from[i - 1] == to[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[to.size()];
}

/// A misspelling this many edits away (or a prefix of the name) is still recognised.
constexpr std::size_t closeEnoughEdits = 2;

}  // namespace

std::string closestOption(const CLI::App& command, const std::string& word) {
    std::string name = word.substr(0, word.find('='));
    if (name.rfind("--", 0) != 0) return {};
    name.erase(0, 2);
    std::string best;
    std::size_t bestDistance = closeEnoughEdits + 1;
    for (const CLI::Option* option : command.get_options()) {
        for (const std::string& longName : option->get_lnames()) {
            const std::size_t distance = longName.rfind(name, 0) == 0 ? 1 : editDistance(name, longName);
            if (distance < bestDistance) {
                bestDistance = distance;
                best = "--" + longName;
            }
        }
    }
    return best;
}

}  // namespace vexahost
