#pragma once
// The grammars of the protocol commands, defined in asn_cmd.cpp.

#include <der/grammar.hpp>
#include <quarvel/model.hpp>

namespace quarvel::asn {

der::rule<client_or_worker> client_or_worker_syntax();
// One CHOICE of the tags [0] to [22], listed flat, one line per tag.
der::rule<cmd> cmd_syntax();

}  // namespace quarvel::asn
