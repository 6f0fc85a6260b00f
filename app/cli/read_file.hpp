#pragma once
// Reading a tool's input file: the file named on the command line, or standard input for "-".

#include <string>

#include <quarvel/basic.hpp>

namespace cli {

// Reads a whole file, or standard input for "-", in binary. Failures are "NAME: REASON", with runs of "/"
// in NAME collapsed to one.
quarvel::result<std::string> read_whole_file(const std::string& name);

}  // namespace cli
