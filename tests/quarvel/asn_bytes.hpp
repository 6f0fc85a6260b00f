#pragma once
// Octets for the encoding tests: hexadecimal texts as in the format's tables, and a few element
// builders for inputs that the encoders never produce (older forms, odd members).

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>

#include <quarvel/model.hpp>

#include "support/hex.hpp"

namespace asn_bytes {

// "A0 03 02 01 00" to its octets; spaces are ignored.
using test_support::hex;

// One element with a definite length: identifier octet, length, contents.
inline std::string element(unsigned char identifier, std::string_view contents) {
    std::string out(1, static_cast<char>(identifier));
    const std::size_t n = contents.size();
    if (n < 128) {
        out += static_cast<char>(n);
    } else {
        std::string length;
        for (std::size_t rest = n; rest != 0; rest >>= 8) length.insert(length.begin(), static_cast<char>(rest & 0xFF));
        out += static_cast<char>(0x80 | length.size());
        out += length;
    }
    out += contents;
    return out;
}

inline std::string concat(std::initializer_list<std::string_view> parts) {
    std::string out;
    for (std::string_view p : parts) out += p;
    return out;
}

inline std::string utf8(std::string_view text) { return element(0x0C, text); }
inline std::string sequence(std::initializer_list<std::string_view> members) { return element(0x30, concat(members)); }
inline std::string tagged(int number, std::string_view inner) { return element(static_cast<unsigned char>(0xA0 + number), inner); }

// The failure message of a decode, or a note that it succeeded.
template <class T>
std::string failure_of(const quarvel::result<T>& r) {
    return r ? std::string("(decoded)") : r.error();
}

// The values of the record's worked example.
inline const quarvel::uuid example_uuid{{0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD,
                                         0xEE, 0xFF}};
inline constexpr quarvel::timestamp t0{1'704'164'645, 0};  // 2024-01-02T03:04:05Z
inline const quarvel::script_job example_job{"a", "p", "s"};

inline constexpr std::string_view example_record_hex =
    "A0 67 30 65"
    " 30 0B 0C 01 61 0C 01 73 30 00 0C 01 70"
    " 0C 10 00 11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF"
    " 30 0B 30 09 02 03 4C 4B 40 0C 02 68 69"
    " 30 22 18 0F 32 30 32 34 30 31 30 32 30 33 30 34 30 35 5A 18 0F 32 30 32 34 30 31 30 32 30 33 30 34 30 36 5A"
    " A0 03 02 01 00"
    " 30 0E 30 0C 0C 07 6F 75 74 2E 74 78 74 0C 01 78";

inline quarvel::execution_record example_record() {
    return {example_job, example_uuid, {{5'000'000, "hi"}}, t0, {t0.seconds + 1, 0}, quarvel::Exited{0}, {{"out.txt", "x"}}};
}

// The members of the worked example, to build records that differ from it in one member.
struct members {
    std::string job = hex("30 0B 0C 01 61 0C 01 73 30 00 0C 01 70");
    std::string uuid = hex("0C 10 00 11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF");
    std::string console = hex("30 0B 30 09 02 03 4C 4B 40 0C 02 68 69");
    std::string started = hex("18 0F 32 30 32 34 30 31 30 32 30 33 30 34 30 35 5A");
    std::string finished = hex("18 0F 32 30 32 34 30 31 30 32 30 33 30 34 30 36 5A");
    std::string result = hex("A0 03 02 01 00");
    std::string output = hex("30 0E 30 0C 0C 07 6F 75 74 2E 74 78 74 0C 01 78");

    std::string record() const {
        return tagged(0, sequence({job, uuid, console, sequence({started, finished}), result, output}));
    }
};

}  // namespace asn_bytes
