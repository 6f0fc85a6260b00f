#pragma once
// Every grammar of the library's three encodings, for use as members of other grammars and in tests:
// the job execution record (record.hpp), the scheduler state (state.hpp), the commands (cmd.hpp).

#include <quarvel/grammars/cmd.hpp>
#include <quarvel/grammars/record.hpp>
#include <quarvel/grammars/state.hpp>
