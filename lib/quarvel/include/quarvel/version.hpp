#pragma once
/// \file
/// The library's version: numbers to test at compile time, and the text of the build that is linked.
///
/// The version follows semantic versioning. While the major number is 0, a new minor number may change the
/// API and the ABI (the shared library's SONAME, `libquarvel.so.0`, then stays, so compare the numbers);
/// a new patch number never does.

#include <quarvel/export.hpp>

#include <string>

/// The major version number. (The build reads the version from these three lines.)
#define QUARVEL_VERSION_MAJOR 0
/// The minor version number.
#define QUARVEL_VERSION_MINOR 1
/// The patch version number.
#define QUARVEL_VERSION_PATCH 0
/// The version as one number to compare: major × 10000 + minor × 100 + patch (0.1.0 is 100).
#define QUARVEL_VERSION_NUMBER (QUARVEL_VERSION_MAJOR * 10000 + QUARVEL_VERSION_MINOR * 100 + QUARVEL_VERSION_PATCH)

namespace quarvel {

/// "version " + the build's version text + " protocol: client 13 worker 5"; one line, no line end. The
/// build's version text starts with the numbers above (a build from a git checkout adds what `git
/// describe` says). It is built before any static initialiser of the program runs, so those may use it too.
extern QUARVEL_API const std::string version;

}  // namespace quarvel
