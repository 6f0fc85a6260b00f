#pragma once
/// \file
/// The library's version text.

#include <string>

namespace quarvel {

/// "version " + the build's version text + " protocol: client 13 worker 5"; one line, no line end. It is
/// built before any static initialiser of the program runs, so those may use it too.
extern const std::string version;

}  // namespace quarvel
