// Checks and messages the commands share: empty values, numbers in help texts, misspelt options.
#pragma once

#include <string>

#include <CLI/CLI.hpp>

namespace vexahost {

/// The --poles help of every command: it takes the module's own numbering, which
/// the plug-ins' Poles parameter (a list position) does not share.
inline constexpr const char* polesOptionHelp =
    "Pole configuration: a label (\"4:5f\") or the module's own value (17 is \"4:5f\"; `info` lists them), not the "
    "plug-ins' Poles number, which counts list positions (17 there is \"4:3f\"); default: the pin's default";

/// Refuses an empty value ("--poles ''"), which would otherwise mean the default.
extern const CLI::Validator notEmpty;

/// "3600", "0.5": a number as help texts and messages write it.
std::string numberText(double value);

/// The option of `command` that an unknown "--word" most likely meant
/// ("--pole" -> "--poles"), or empty when none is close.
std::string closestOption(const CLI::App& command, const std::string& word);

}  // namespace vexahost
