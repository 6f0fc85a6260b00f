#include "command.hpp"

#include <utility>

namespace cli {

argument flag(std::vector<std::string> names, std::string doc) {
    argument a;
    a.kind = argument_kind::flag;
    a.names = std::move(names);
    a.doc = std::move(doc);
    a.section = section_options;
    return a;
}

argument repeatable_flag(std::vector<std::string> names, std::string doc) {
    argument a = flag(std::move(names), std::move(doc));
    a.kind = argument_kind::repeatable_flag;
    return a;
}

argument option(std::vector<std::string> names, std::string value_name, std::string doc, converter convert,
                std::string absent) {
    argument a;
    a.kind = argument_kind::option;
    a.names = std::move(names);
    a.value_name = std::move(value_name);
    a.doc = std::move(doc);
    a.section = section_options;
    a.absent = std::move(absent);
    a.convert = std::move(convert);
    return a;
}

argument optional_value_option(std::vector<std::string> names, std::string value_name, std::string doc,
                               converter convert, std::string default_value, std::string absent) {
    argument a = option(std::move(names), std::move(value_name), std::move(doc), std::move(convert),
                        std::move(absent));
    a.kind = argument_kind::optional_value_option;
    a.default_value = std::move(default_value);
    return a;
}

argument positional(std::size_t position, std::string value_name, std::string doc, converter convert,
                    bool required) {
    argument a;
    a.kind = argument_kind::positional;
    a.value_name = std::move(value_name);
    a.doc = std::move(doc);
    a.section = section_arguments;
    a.position = position;
    a.required = required;
    a.convert = std::move(convert);
    return a;
}

argument repeatable_positional(std::size_t position, std::string value_name, std::string doc, converter convert,
                               bool required) {
    argument a = positional(position, std::move(value_name), std::move(doc), std::move(convert), required);
    a.kind = argument_kind::repeatable_positional;
    return a;
}

argument_id add(command& cmd, argument arg) {
    cmd.arguments.push_back(std::move(arg));
    return argument_id{cmd.arguments.size() - 1};
}

void add_checkpoint(command& cmd, std::function<void(const values&)> action) {
    cmd.checkpoints.push_back(checkpoint{cmd.arguments.size(), std::move(action)});
}

namespace {

const argument_value& slot(const values& v, argument_id id) {
    static const argument_value absent;
    return id.index < v.slots.size() ? v.slots[id.index] : absent;
}

}  // namespace

bool values::flag(argument_id id) const {
    const auto* b = std::get_if<bool>(&slot(*this, id));
    return b != nullptr && *b;
}

int values::count(argument_id id) const {
    const auto* n = std::get_if<int>(&slot(*this, id));
    return n != nullptr ? *n : 0;
}

std::optional<std::string> values::text(argument_id id) const {
    const auto* s = std::get_if<std::string>(&slot(*this, id));
    if (s == nullptr) return std::nullopt;
    return *s;
}

std::vector<std::string> values::texts(argument_id id) const {
    const auto* list = std::get_if<std::vector<std::string>>(&slot(*this, id));
    if (list == nullptr) return {};
    return *list;
}

}  // namespace cli
