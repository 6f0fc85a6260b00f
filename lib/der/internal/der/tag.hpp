#pragma once
/// \file
/// Tags and forms of DER elements, with the words that messages use for them.

#include <cstdint>
#include <string>
#include <string_view>

namespace der {

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

}  // namespace der
