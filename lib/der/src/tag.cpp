#include <der/tag.hpp>

#include <charconv>
#include <cstring>

namespace quarvel::der {

std::string_view class_word(tag_class cls) {
    switch (cls) {
        case tag_class::universal: return "UNIVERSAL";
        case tag_class::application: return "APPLICATION";
        case tag_class::context: return "CONTEXT";
        case tag_class::private_use: return "PRIVATE";
    }
    return "PRIVATE";
}

std::string_view form_word(form f) {
    switch (f) {
        case form::primitive: return "Primitive";
        case form::constructed: return "Constructed";
        case form::any: return "ANY";
    }
    return "ANY";
}

std::string tag_text(tag t) {
    std::string s(class_word(t.cls));
    s += ' ';
    s += std::to_string(t.number);
    return s;
}

item_text_buffer::item_text_buffer(form f, tag t) {
    const auto put = [this](std::string_view s) {
        std::memcpy(bytes + size, s.data(), s.size());
        size += s.size();
    };
    put("(");
    put(form_word(f));
    put(" ");
    put(class_word(t.cls));
    put(" ");
    size = static_cast<std::size_t>(std::to_chars(bytes + size, bytes + sizeof bytes, t.number).ptr - bytes);
    put(")");
}

std::string item_text(form f, tag t) { return std::string(item_text_buffer(f, t).view()); }

}  // namespace quarvel::der
