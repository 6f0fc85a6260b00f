#pragma once
// What the command tests share: the names they use, and the hexadecimal texts of members they spell out,
// each ending in a space so that it joins with what follows.

#include <string>

#include <quarvel/asn.hpp>
#include <quarvel/model.hpp>

#include "asn_bytes.hpp"

namespace cmd_bytes {

using namespace asn_bytes;
using quarvel::cmd;
using quarvel::asn::cmd_of_str;
using quarvel::asn::cmd_to_str;

inline const std::string uuid_octets = "0C 10 00 11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF ";
inline const std::string job_a = "30 0B 0C 01 61 0C 01 73 30 00 0C 01 70 ";
inline const std::string next_t0 = "18 0F 32 30 32 34 30 31 30 32 30 33 30 34 30 35 5A ";

}  // namespace cmd_bytes
