// Parameter values as text: Pitch in volts with its nominal cutoff in Hz, and back.
#include "ParameterText.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "dsp/CoefficientUpdate.h"

namespace vexaplugin {

namespace {

using vexa::detail::voltsPerUnit;  // 1.0 on a module pin is 10 V
constexpr double hzPerKilohertz = 1000.0;

/// Whether `end` holds only `unit` (lower case, matched in any case) between spaces.
bool endsWithUnit(const char* end, const char* unit) {
    while (std::isspace(static_cast<unsigned char>(*end))) ++end;
    for (; *unit != '\0'; ++unit, ++end) {
        if (std::tolower(static_cast<unsigned char>(*end)) != *unit) return false;
    }
    while (std::isspace(static_cast<unsigned char>(*end))) ++end;
    return *end == '\0';
}

}  // namespace

double nominalCutoffHz(double pitchVolts) {
    return vexa::cutoffFrequency(static_cast<float>(pitchVolts / voltsPerUnit), vexa::detail::standardCeiling);
}

bool pitchToText(double volts, char* text, std::size_t size) {
    if (std::isnan(volts) || text == nullptr || size == 0) return false;
    const int written = std::snprintf(text, size, "%.2f V (%.0f Hz)", volts, nominalCutoffHz(volts));
    return written > 0 && static_cast<std::size_t>(written) < size;
}

std::optional<double> pitchFromText(const char* text) {
    if (text == nullptr) return std::nullopt;
    char* end = nullptr;
    const double number = std::strtod(text, &end);
    if (end == text || !std::isfinite(number)) return std::nullopt;
    double hz = 0.0;
    if (endsWithUnit(end, "hz")) {
        hz = number;
    } else if (endsWithUnit(end, "khz")) {
        hz = number * hzPerKilohertz;
    } else {
        // Volts, with or without the unit and the cutoff this plug-in shows after them.
        return number;
    }
    if (!(hz > 0.0)) return std::nullopt;
    return vexa::detail::referencePitch * voltsPerUnit + std::log2(hz / vexa::detail::referenceHz);
}

}  // namespace vexaplugin
