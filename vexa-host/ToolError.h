#pragma once

#include <stdexcept>

namespace vexahost {

/// Exit codes of the command line: 1 when a file cannot be read or written or
/// the work fails, 2 when the arguments make no sense.
constexpr int exitFailure = 1;
constexpr int exitBadArguments = 2;

/// An argument that cannot be used (an unknown label, a number that does not
/// parse, a ramp with one end): reported in one line, exit code 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// A file that cannot be read or written: reported in one line, exit code 1.
class FileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace vexahost
