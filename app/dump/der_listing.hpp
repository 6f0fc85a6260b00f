#pragma once
// The structure of DER input, one line per element, whatever the input holds: the first element and
// everything nested in it, in reading order, as the element reader checked them. Nothing is decoded past
// the headers but a short preview of each primitive's contents, so a listing shows where an input that
// no decoder accepts goes wrong: it ends with the reader's fault, after every element read before it.
//
// Text, one line per element (two spaces of indentation per level), here for 30 08 02 01 05 0C 03 61 62 63
// followed by one more octet:
//   0: UNIVERSAL 16 Constructed, header 2, length 8
//   2:   UNIVERSAL 2 Primitive, header 2, length 1: 5
//   5:   UNIVERSAL 12 Primitive, header 2, length 3: "abc"
//   10: error: trailing bytes
// JSON Lines, one object per line, the same numbers:
//   {"offset":0,"depth":0,"tag":"UNIVERSAL 16","form":"constructed","header":2,"length":8}
//   {"offset":2,"depth":1,"tag":"UNIVERSAL 2","form":"primitive","header":2,"length":1,"preview":"5"}
//   {"offset":5,"depth":1,"tag":"UNIVERSAL 12","form":"primitive","header":2,"length":3,"preview":"\"abc\""}
//   {"offset":10,"error":"trailing bytes"}
// An input that ends inside its element is listed up to its end: every header before it, each element the
// end cuts marked with what is there (", cut: 2 of 5 octets"; JSON "cut":2 after its length), then the
// error line at the innermost element cut.
//
// Previews: an INTEGER the reader accepts in decimal; a UTF8String, UTCTime or GeneralizedTime as its
// first 40 octets between double quotes, by the terminal rule with a backslash and a quote escaped too, so
// that distinct contents never preview alike (text/terminal_text.hpp); NULL none; any other
// primitive its first 16 octets in hexadecimal; "..." follows a cut preview. An input is listed as its
// headers are read, with no memory per element; the contents are never copied.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include <quarvel/basic.hpp>

#include "output/buffer.hpp"

namespace dump {

struct der_listing {
    bool json = false;                  // JSON Lines instead of text
    std::uint64_t base = 0;             // the offset of the input in its file, added to every offset shown
    std::optional<std::uint64_t> frame;  // JSON: "frame" as the first member of every object
    std::optional<std::string_view> file;  // JSON: "file" before it, in a run over several FILEs
};

// The reader lays a long octet dump out over several lines; a line of a listing or of JSON keeps each fault
// on one line, so every line feed and the indentation after it become one space.
std::string one_line(std::string message);

// Lists the element at offset 0 of `input` onto `out`. A fault of the element reader, or octets after the
// element ("trailing bytes"), ends the listing with an error line (text "OFFSET: error: MESSAGE", JSON
// {"offset":O,"error":"MESSAGE"}, the message on one line and safe for a terminal) and is returned as
// "at offset O: MESSAGE".
// `done`, when given, is told as the walk over the input goes past another MiB how many octets from its
// start it is done with: a mapped file's pages behind it may go.
quarvel::result<void> list_der(output::buffer& out, std::string_view input, const der_listing& how,
                               const std::function<void(std::size_t)>* done = nullptr);

}  // namespace dump
