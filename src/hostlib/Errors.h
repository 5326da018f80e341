// The errors a host of ours reports: a request that makes no sense, a file that fails.
#pragma once

#include <stdexcept>

namespace vexahost {

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
