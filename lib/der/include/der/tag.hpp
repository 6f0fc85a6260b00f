#pragma once
// Tags and forms of DER elements, with the words that messages use for them.

#include <cstdint>
#include <string>
#include <string_view>

namespace der {

enum class tag_class : std::uint8_t { universal = 0, application = 1, context = 2, private_use = 3 };

// Primitive or constructed; `any` only ever appears in an expectation that names no form.
enum class form : std::uint8_t { primitive, constructed, any };

// Two tags are equal when class and number are equal; the form is not part of the tag.
struct tag {
    tag_class cls = tag_class::universal;
    std::uint64_t number = 0;
    friend constexpr bool operator==(const tag&, const tag&) = default;
};

constexpr tag universal(std::uint64_t number) { return {tag_class::universal, number}; }
constexpr tag context(std::uint64_t number) { return {tag_class::context, number}; }

namespace tags {
inline constexpr tag integer = universal(2);
inline constexpr tag null = universal(5);
inline constexpr tag utf8_string = universal(12);
inline constexpr tag sequence = universal(16);
inline constexpr tag utc_time = universal(23);
inline constexpr tag generalized_time = universal(24);
}  // namespace tags

// "UNIVERSAL", "APPLICATION", "CONTEXT" or "PRIVATE".
std::string_view class_word(tag_class cls);
// "Primitive", "Constructed" or "ANY".
std::string_view form_word(form f);
// The class word, a space and the number in decimal: "UNIVERSAL 16".
std::string tag_text(tag t);
// "(" form word " " tag text ")": "(Primitive UNIVERSAL 5)".
std::string item_text(form f, tag t);

}  // namespace der
