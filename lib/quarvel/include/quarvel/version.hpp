#pragma once
/// \file
/// The library's version: numbers to test at compile time, and the text of the build that is linked.
///
/// The version follows semantic versioning. While the major number is 0, a new minor number may change the
/// API and the ABI, so each 0.x series has a shared library of its own: the SONAME `libquarvel.so.0.MINOR`
/// and the symbol version `QUARVEL_0.MINOR` (from 1.0 on, `libquarvel.so.MAJOR` and `QUARVEL_MAJOR`), and
/// the loader refuses a program built against another series. A new patch number never changes either.

#include <quarvel/export.hpp>

#include <string>

/// The major version number. (The build reads the version from these three lines.)
#define QUARVEL_VERSION_MAJOR 0
/// The minor version number.
#define QUARVEL_VERSION_MINOR 2
/// The patch version number.
#define QUARVEL_VERSION_PATCH 0
/// The version as one number to compare: major × 10000 + minor × 100 + patch (0.2.0 is 200).
#define QUARVEL_VERSION_NUMBER (QUARVEL_VERSION_MAJOR * 10000 + QUARVEL_VERSION_MINOR * 100 + QUARVEL_VERSION_PATCH)

namespace quarvel {

/// "version " + the build's version text + " protocol: client 13 worker 5"; one line, no line end. The
/// build's version text starts with the numbers above (a build from a git checkout adds what `git
/// describe` says). It is built before any static initialiser of the program runs, so those may use it too.
extern QUARVEL_API const std::string version;

}  // namespace quarvel
