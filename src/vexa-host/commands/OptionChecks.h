// Checks and messages the commands share: empty values, numbers in help texts, misspelt options.
#pragma once

#include <string>

#include <CLI/CLI.hpp>

namespace vexahost {

/// Refuses an empty value ("--poles ''"), which would otherwise mean the default.
extern const CLI::Validator notEmpty;

/// "3600", "0.5": a number as help texts and messages write it.
std::string numberText(double value);

/// The option of `command` that an unknown "--word" most likely meant
/// ("--pole" -> "--poles"), or empty when none is close.
std::string closestOption(const CLI::App& command, const std::string& word);

}  // namespace vexahost
