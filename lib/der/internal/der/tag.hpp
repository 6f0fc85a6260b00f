#pragma once
/// \file
/// Tags and forms of DER elements, with the words that messages use for them.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include <der/short_name.hpp>

namespace quarvel::der {

/// The class of a tag, with its value in the identifier octet's two high bits.
enum class tag_class : std::uint8_t {
    universal = 0,    ///< UNIVERSAL
    application = 1,  ///< APPLICATION
    context = 2,      ///< context-specific, written [n]
    private_use = 3,  ///< PRIVATE
};

/// Primitive or constructed; `any` only ever appears in an expectation that names no form.
enum class form : std::uint8_t {
    primitive,    ///< contents octets are the value
    constructed,  ///< contents octets are elements
    any,          ///< either (expectations only)
};

/// Two tags are equal when class and number are equal; the form is not part of the tag.
struct tag {
    tag_class cls = tag_class::universal;  ///< the class
    std::uint64_t number = 0;              ///< the number within the class
    friend constexpr bool operator==(const tag&, const tag&) = default;
};

/// The UNIVERSAL tag of this number.
constexpr tag universal(std::uint64_t number) { return {tag_class::universal, number}; }
/// The context-specific tag [number].
constexpr tag context(std::uint64_t number) { return {tag_class::context, number}; }

/// The universal tags in use.
namespace tags {
inline constexpr tag integer = universal(2);             ///< INTEGER
inline constexpr tag null = universal(5);                ///< NULL
inline constexpr tag utf8_string = universal(12);        ///< UTF8String
inline constexpr tag sequence = universal(16);           ///< SEQUENCE and SEQUENCE OF
inline constexpr tag utc_time = universal(23);           ///< UTCTime
inline constexpr tag generalized_time = universal(24);   ///< GeneralizedTime
}  // namespace tags

/// The octets of a header, read and written by these rules alone. The identifier octet holds the class in
/// its two high bits, the constructed bit, and in its five low bits a tag number below 31; a low number of
/// 31 announces a higher number in the octets that follow, base 128, most significant group first, every
/// group but the last with its high bit set. A length below 128 is one octet; a longer one is one octet
/// of 0x80 | n, then its n octets, big-endian. The octet 0x80 alone announces the indefinite form.
namespace header_octets {

inline constexpr unsigned class_shift = 6;             ///< the class's place in the identifier octet
inline constexpr std::uint8_t constructed_bit = 0x20;  ///< set in the identifier octet of a constructed element
inline constexpr std::uint8_t low_number_mask = 0x1F;  ///< the identifier octet's tag number
inline constexpr std::uint8_t high_number_mark = 31;   ///< the low number that announces a high one
inline constexpr std::uint8_t more_groups_bit = 0x80;  ///< a base-128 group that another one follows
inline constexpr std::uint8_t group_mask = 0x7F;       ///< a base-128 group's seven bits
inline constexpr unsigned group_bits = 7;
inline constexpr std::size_t max_high_number_octets = 8;  ///< octets of a high tag number at most
inline constexpr std::uint8_t long_length_bit = 0x80;    ///< the first length octet of the long form
inline constexpr std::uint8_t length_count_mask = 0x7F;  ///< the long form's count of length octets
inline constexpr std::uint8_t indefinite_length = 0x80;  ///< the first length octet of the indefinite form
inline constexpr std::size_t max_length_octets = 8;      ///< octets of a long-form length at most
inline constexpr std::uint64_t max_length = (std::uint64_t{1} << 62) - 1;  ///< the longest contents accepted

/// The class of an identifier octet.
constexpr tag_class class_of(std::uint8_t identifier) { return static_cast<tag_class>(identifier >> class_shift); }
/// Whether an identifier octet is a constructed element's.
constexpr bool is_constructed(std::uint8_t identifier) { return (identifier & constructed_bit) != 0; }
/// The form of an identifier octet.
constexpr form form_of(std::uint8_t identifier) { return is_constructed(identifier) ? form::constructed : form::primitive; }
/// The five low bits of an identifier octet: the tag number, or `high_number_mark`.
constexpr std::uint8_t low_number(std::uint8_t identifier) { return identifier & low_number_mask; }
/// The tag of an identifier octet, with its low number (the whole number unless it announces a high one).
constexpr tag tag_of(std::uint8_t identifier) { return tag{class_of(identifier), low_number(identifier)}; }
/// Whether an identifier octet announces a high tag number in the octets after it.
constexpr bool announces_high_number(std::uint8_t identifier) { return low_number(identifier) == high_number_mark; }
/// Whether a tag number is written in the identifier octet itself.
constexpr bool is_low_number(std::uint64_t number) { return number < high_number_mark; }
/// The identifier octet of `cls` and `f` (primitive or constructed) with the five low bits `low`.
constexpr std::uint8_t identifier_octet(tag_class cls, form f, std::uint8_t low) {
    return static_cast<std::uint8_t>(static_cast<unsigned>(cls) << class_shift | (f == form::constructed ? constructed_bit : 0) |
                                     low);
}
/// Whether a first length octet is the whole length (the short form).
constexpr bool is_short_length(std::uint8_t first) { return first < long_length_bit; }
/// Whether a length is written in the short form.
constexpr bool fits_short_length(std::uint64_t length) { return length < long_length_bit; }

}  // namespace header_octets

/// "UNIVERSAL", "APPLICATION", "CONTEXT" or "PRIVATE".
std::string_view class_word(tag_class cls);
/// "Primitive", "Constructed" or "ANY".
std::string_view form_word(form f);
/// The class word, a space and the number in decimal: "UNIVERSAL 16".
std::string tag_text(tag t);
/// "(" form word " " tag text ")": "(Primitive UNIVERSAL 5)".
std::string item_text(form f, tag t);

/// The item text built on the stack, for the lists of elements that messages lay out piece by piece.
struct item_text_buffer {
    char bytes[48];  // "(", the longest form and class words, 20 digits, two spaces, ")"
    std::size_t size = 0;

    item_text_buffer(form f, tag t);
    std::string_view view() const { return {bytes, size}; }
};

}  // namespace quarvel::der
