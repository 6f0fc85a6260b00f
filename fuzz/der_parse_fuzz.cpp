// The element reader on any bytes: an element or a message, and a walk of every accepted element's
// children that stays inside the input; what it read before a fault is a tape whose headers, walked in
// reading order, lie inside the input and before the fault; read in one pass, the same fault.
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

// Every header that the reader recorded, also before a fault, lies inside the input, its contents too.
void walk_headers(std::string_view input) {
    der::tape t;
    const auto fault = der::check_headers(t, input);
    if (fault && (fault->offset > input.size() || !t.fault.found || t.fault.offset != fault->offset)) std::abort();
    const std::size_t limit = fault ? fault->offset : input.size();
    der::each_header(t, [&](const der::header_view& h) {
        if (h.offset >= limit || h.depth >= der::max_depth) std::abort();
        const auto contents = h.value.contents;
        if (contents.data() != input.data() + h.offset + h.header_size) std::abort();
        if (contents.data() + contents.size() > input.data() + input.size()) std::abort();
    });
    if (fault && der::reader_message(*fault, input, 64).empty()) std::abort();
}

bool same(const std::optional<der::reader_fault>& a, const std::optional<der::reader_fault>& b) {
    if (a.has_value() != b.has_value()) return false;
    return !a || (a->offset == b->offset && a->why == b->why && a->buffer.data() == b->buffer.data() &&
                  a->buffer.size() == b->buffer.size());
}

// Every child of a pass, each header checked as it is reached (a refused one reads as an element with
// nothing in it, so the recursion ends a level below the deepest allowed).
void walk_pass(const der::element& e) {
    if (e.form != der::form::constructed) return;
    for (der::child_cursor cursor(e); !cursor.done();) walk_pass(cursor.next());
}

// The decoders' one pass, reaching every header, ends with the fault that checking every header first finds,
// and so does the check without a tape.
void pass_agrees(std::string_view input) {
    der::tape checked;
    const auto fault = der::check_headers(checked, input);
    if (!same(der::first_fault(input), fault)) std::abort();
    der::tape t;
    const auto root = der::begin_pass(t, input);
    if (!root) {
        if (!same(root.error(), fault) || fault->offset != 0) std::abort();
        return;
    }
    walk_pass(*root);
    if (!same(der::finish_pass(t, *root), fault)) std::abort();
    if (!fault && der::root_size(*root) != der::parse(input)->size) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    walk_headers(input);
    pass_agrees(input);
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
