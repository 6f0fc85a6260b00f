#pragma once
// What the state tests share: the names they use, the worked example's script job as it is written, and
// the schedule item that holds it.

#include <string>

#include <quarvel/asn.hpp>
#include <quarvel/model.hpp>

#include "asn_bytes.hpp"

namespace state_bytes {

using namespace asn_bytes;
using quarvel::state;
using quarvel::state_item;
using quarvel::asn::state_of_str;
using quarvel::asn::state_to_str;

inline const std::string job_a = hex("30 0B 0C 01 61 0C 01 73 30 00 0C 01 70");  // script job a, s, p

inline const state_item schedule_a{state_item::Schedule{{t0, quarvel::period::Daily, example_job}}};

}  // namespace state_bytes
