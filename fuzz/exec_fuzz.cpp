#include <cstddef>
#include <cstdint>

#include <quarvel/asn.hpp>

#include "round_trip.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::check_round_trip({reinterpret_cast<const char*>(data), size}, quarvel::asn::exec_of_str,
                           quarvel::asn::exec_to_str);
    fuzz::check_located({reinterpret_cast<const char*>(data), size}, quarvel::asn::exec_of_str,
                        quarvel::asn::exec_of_str_located);
    return 0;
}
