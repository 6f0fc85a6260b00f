#pragma once
// The tools' output buffer is the library's sink (quarvel_toolkit/sink.hpp): the one bounded buffer and the
// one policy for failed writes of everything the tools print, the formatter's printed forms among it. A
// reader that went away fails the run quietly only when SIGPIPE is ignored (ignored_signal.hpp).

#include <quarvel_toolkit/sink.hpp>

namespace output {

using buffer = quarvel::sink;
using quarvel::standard_output_failure;

}  // namespace output
