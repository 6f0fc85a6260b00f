#pragma once
// The rule for the path of an output file, applied to every `data` entry that is read (also to the
// discarded "files" of a script job).

#include <string>
#include <string_view>

#include <quarvel/basic.hpp>

namespace quarvel::asn {

// The path checked and normalised: it must be non-empty and free of the octet 0, else the failure
// "\"...\": invalid path" (the path quoted and escaped, see `quoted_path`). A valid path has every run
// of "/" collapsed to one, except that a leading "//" keeps both separators.
result<std::string> valid_path(std::string&& path);

// The path between double quotation marks, escaped octet by octet: \" \\ \b \t \n \r, the octets
// 20 to 7E as they are, every other octet as \x and two upper-case hexadecimal digits.
std::string quoted_path(std::string_view path);

}  // namespace quarvel::asn
