// The element reader on any bytes: an element or a message, and a walk of every accepted element's
// children that stays inside the input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include <der/element.hpp>

namespace {

std::size_t walk(const der::element& e, std::size_t depth) {
    if (depth > der::max_depth) std::abort();
    if (e.form != der::form::constructed) return 1;
    std::size_t count = 1;
    for (der::child_cursor cursor(e); !cursor.done();) count += walk(cursor.next(), depth + 1);
    return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    auto parsed = der::parse(input);
    if (!parsed) {
        if (parsed.error().empty()) std::abort();
        return 0;
    }
    if (parsed->size > size) std::abort();
    const auto contents = parsed->root.contents;
    if (contents.data() < input.data() || contents.data() + contents.size() > input.data() + input.size()) std::abort();
    walk(parsed->root, 1);
    return 0;
}
