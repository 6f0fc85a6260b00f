#pragma once
// Shell completion, answered from a command's declarations, so that every tool built on this layer
// completes without code of its own. The arguments that begin with "--__complete=" are reserved for it.
//
// Protocol. The shell runs the tool as
//
//     TOOL --__complete=1 WORD... CURRENT
//
// where the WORDs are the arguments already on the command line (without the tool's name) and CURRENT is
// the word under the cursor, up to the cursor ("" when a new word begins). The query is answered on
// standard output, and the tool exits with 0 without running its action or showing its manual, whatever
// the words hold:
//
//     CANDIDATE<TAB>DESCRIPTION     zero or more lines, each a complete replacement for CURRENT (so each
//     CANDIDATE                     begins with CURRENT), with an optional one-line description
//     :DIRECTIVE                    the closing line: a decimal sum of the flags below
//
// Directive flags:
//     1  error: nothing can be completed (the query itself was malformed)
//     2  no space: do not add a space after the completed word
//     4  files: complete file names, in the shell's own way
//     8  directories: complete directory names, in the shell's own way
// With 4 or 8 there are no candidate lines; for a CURRENT of the form --name=VALUE the shell completes
// VALUE and keeps "--name=" in front of it.
//
// Only the first argument can make a query, and only as "--__complete=1": any other argument beginning
// with "--__complete=" (another protocol, or one further on the line) is read as usual, that is as an
// unknown option.
//
// What is completed: option names, long and short, when CURRENT begins with "-" (and "--" has not ended
// the options); an option's value in the next word or after "=": the keys of an enumeration, files for
// a file, directories for a directory; a positional argument by its conversion in the same way (a
// repeatable one, such as FILE…, for every word from its position on).
//
// A CURRENT that is a whole long name of an option with a required value is completed as "NAME=" with
// the no-space flag, so that its value follows. A partial name is completed to the name alone; the
// scripts ask again with a single long name that comes back, so that one Tab gives "--color=".

#include <span>
#include <string>
#include <string_view>

#include "command.hpp"

namespace cli {

inline constexpr std::string_view completion_query = "--__complete=1";

namespace completion_directive {
inline constexpr int error = 1;
inline constexpr int no_space = 2;
inline constexpr int files = 4;
inline constexpr int directories = 8;
}  // namespace completion_directive

// The answer to a query: `cmd` with its standard options, `words` the arguments after the query argument
// (the last one is CURRENT). The words before CURRENT are read as a run reads them, legacy prefixes
// included when `p` has them; candidates are always whole names.
std::string completion_answer(const command& cmd, std::span<const std::string> words, const presentation& p);

}  // namespace cli
