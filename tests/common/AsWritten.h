// Comparing a float with a number as written to so many digits.
#pragma once

#include <cmath>
#include <string>

#include <gtest/gtest.h>

namespace vexatest {

/// Half a unit in the last digit of a decimal as written ("8.1362e-05" -> 5e-10).
inline double halfUnitInLastPlace(const std::string& written) {
    const auto exponentAt = written.find_first_of("eE");
    const std::string mantissa = written.substr(0, exponentAt);
    const int exponent = exponentAt == std::string::npos ? 0 : std::stoi(written.substr(exponentAt + 1));
    const auto point = mantissa.find('.');
    const int decimals = point == std::string::npos ? 0 : static_cast<int>(mantissa.size() - point - 1);
    return 0.5 * std::pow(10.0, exponent - decimals);
}

/// Passes when `actual` rounds to the value as written, to the digits shown.
inline testing::AssertionResult matchesAsWritten(double actual, const std::string& written) {
    const double expected = std::stod(written);
    // A hair of slack for the last bit of a float that lands on the rounding edge.
    const double tolerance = halfUnitInLastPlace(written) * 1.02;
    if (std::fabs(actual - expected) <= tolerance) return testing::AssertionSuccess();
    return testing::AssertionFailure() << actual << " is not " << written << " to the digits shown (off by "
                                       << std::fabs(actual - expected) << ", allowed " << tolerance << ")";
}

}  // namespace vexatest
