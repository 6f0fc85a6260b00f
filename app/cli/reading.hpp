#pragma once
// Reading the argument vector against the declarations: "--" ends the options, "-" alone and texts not
// starting with "-" are positional, "--name=value", "-xVALUE", grouped short flags, an option's value in
// the next argument unless that is itself an option, exact names (prefixes of long names only with legacy
// prefixes). Errors are kept as their message; only the first one counts, but reading goes on so that
// the standard options are seen anywhere on the line.

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "command.hpp"

namespace cli {

struct occurrence {
    std::string name;                  // the declared name it matched
    std::optional<std::string> value;  // the attached or following value, when there is one
};

// The occurrences of one argument that were added: how many, and of them only what a message can name,
// the first two and the first given a value. A repeatable flag may come any number of times ("-vvv…" in
// long groups): its count needs no list, so memory stays the same however many there are.
class occurrence_list {
  public:
    void add(occurrence occ);
    std::size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }
    // The first (0) or the second (1) occurrence.
    const occurrence& operator[](std::size_t i) const { return kept_[i]; }
    // The first occurrence given a value, if any.
    const occurrence* first_with_value() const;

  private:
    std::size_t count_ = 0;
    std::vector<occurrence> kept_;  // the first two, then the first given a value when it came later
};

struct reading {
    // Per declared argument, in command-line order: every occurrence of a repeatable flag, the first two of
    // any other argument.
    std::vector<occurrence_list> occurrences;
    std::vector<std::string> positionals;
    std::optional<std::string> error;                  // the first reading error
    // Where the reading stopped, for completion: whether "--" ended the options, and the argument whose value
    // the next word would be (the last word was its option, still without a value).
    bool options_ended = false;
    std::optional<std::size_t> awaiting_value;
};

// An argument that is read as an option: "-" alone is not one (it is a positional, standard input).
bool is_option_occurrence(std::string_view a);
// Whether an option of this kind takes a value, attached or in the next word.
bool takes_value(argument_kind k);

// `args` excludes the invocation name.
reading read_arguments(std::span<const argument> arguments, std::span<const std::string> args,
                       const presentation& p);

}  // namespace cli
