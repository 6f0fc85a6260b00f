#pragma once
// How a path is written once it is normalised: the same rule for the output files a record stores and for
// the file names the tools show in their messages.

#include <string>

namespace quarvel {

// Collapses every run of two or more "/" in `path` to one, in place, except that a path starting with
// "//" keeps those two leading separators ("///a" becomes "//a", "a//b/" becomes "a/b/").
void collapse_slashes(std::string& path);

}  // namespace quarvel
