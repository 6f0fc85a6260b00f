// The parts of the grammar layer that do not depend on a grammar's type: its messages, the tag arithmetic
// of a CHOICE and the ambiguity rules, compiled once here rather than in every source file that defines a
// grammar.
#include <der/grammar.hpp>

#include <cstdint>
#include <sys/mman.h>

namespace quarvel::der {

std::string type_mismatch(form expected_form, tag expected, const element& got) {
    std::string m = "Type mismatch: expected: ";
    m += item_text(expected_form, expected);
    m += " got: ";
    m += item_text(got.form, got.tag);
    return m;
}

namespace detail {

void prefer_large_pages(void* address, std::size_t size) {
#ifdef MADV_HUGEPAGE
    // Only the whole large pages inside the range can be given.
    constexpr std::uintptr_t large_page = std::uintptr_t{1} << 21;
    const auto begin = (reinterpret_cast<std::uintptr_t>(address) + large_page - 1) & ~(large_page - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(address) + size) & ~(large_page - 1);
    if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)address;
    (void)size;
#endif
}


tag_set union_of(std::span<const tag_set> alternatives) {
    tag_set all;
    for (const tag_set& s : alternatives) all.add(s);
    return all;
}

std::optional<std::string> shared_tag(std::span<const tag_set> alternatives) {
    for (std::size_t i = 0; i < alternatives.size(); ++i)
        for (std::size_t j = i + 1; j < alternatives.size(); ++j)
            for (const tag& shared : alternatives[j])
                if (alternatives[i].contains(shared))
                    return "CHOICE: alternatives " + std::to_string(i + 1) + " and " + std::to_string(j + 1) +
                           " share the tag " + tag_text(shared);
    return std::nullopt;
}

std::optional<std::string> optional_shares_tag(std::span<const tag_set> elements, std::span<const bool> is_optional,
                                               std::span<const std::string_view> labels) {
    std::size_t since_required = 0;
    for (std::size_t i = 0; i < elements.size(); ++i) {
        for (std::size_t j = since_required; j < i; ++j)
            if (!elements[i].disjoint(elements[j]))
                return "SEQUENCE: element \"" + std::string(labels[i]) + "\" shares a tag with the optional element \"" +
                       std::string(labels[j]) + "\" before it";
        if (!is_optional[i]) since_required = i + 1;
    }
    return std::nullopt;
}

std::string explicit_refusal(const element& e, tag t) {
    if (!matches(e, t, form::constructed)) return type_mismatch(form::constructed, t, e);
    return element_list("EXPLICIT: sequence: ", child_cursor(e));
}

namespace {

fault_site* site_of(const tape* source) { return source ? &source->fault : nullptr; }

// The offset of the header of `e`, an element read from a tape or in a pass.
std::size_t header_offset(const element& e) {
    return static_cast<std::size_t>(e.contents.data() - e.source->input.data()) - e.header_size;
}

}  // namespace

void fault_at(const element& e) {
    fault_site* const site = site_of(e.source);
    if (site == nullptr || site->found) return;
    site->found = true;
    site->in_grammar = true;
    site->offset = header_offset(e);
}

void fault_at(const element& e, path_step step) {
    fault_at(e);
    fault_step(e.source, step);
}

void fault_step(const tape* source, path_step step) {
    if (fault_site* const site = site_of(source)) site->path.push_back(step);
}

std::unexpected<std::string> item_refused(const element& list, const element& item, std::string&& message) {
    // The item's index among the children, counted on the failure path alone.
    std::size_t index = 0;
    for (child_cursor cursor(list); !cursor.done() && cursor.peek().contents.data() != item.contents.data(); cursor.next())
        ++index;
    fault_at(item, {{}, index});
    return error(std::move(message));
}

bool keep_first(std::optional<std::string>& found, std::optional<std::string>&& next) {
    if (!found) found = std::move(next);
    return found.has_value();
}

}  // namespace detail

}  // namespace quarvel::der
