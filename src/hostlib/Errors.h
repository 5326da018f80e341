// The three errors a host of ours reports: a request that makes no sense, a file that fails, a module that misbehaves.
#pragma once

#include <stdexcept>
#include <string>

namespace vexahost {

/// A request that cannot be carried out as asked (an unknown label, a number
/// that does not parse, a ramp with one end). A command line reports it in one
/// line with exit status 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// A file that cannot be read or written. Exit status 1.
class FileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// A module library that cannot be loaded, or a module that breaks its side of
/// the interface (no instance, a record without its magic, a pin missing, a
/// list or default text that does not parse). The message says what it did;
/// the caller, which knows the module's file, says which module. Exit status 1.
class ModuleError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace vexahost
