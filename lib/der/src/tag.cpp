#include <der/tag.hpp>

namespace der {

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

std::string item_text(form f, tag t) {
    std::string s = "(";
    s += form_word(f);
    s += ' ';
    s += tag_text(t);
    s += ')';
    return s;
}

}  // namespace der
