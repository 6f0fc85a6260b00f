#pragma once

#include <string>

namespace quarvel {

// "version " + the build's version text + " protocol: client 13 worker 5"; one line, no line end.
extern const std::string version;

}  // namespace quarvel
