#include <quarvel/model.hpp>
#include <quarvel/version.hpp>

#include "version_text.hpp"

namespace quarvel {

// The text cannot be a constant (it is longer than any string built at compile time may be), so it is
// built first of all: before every static initialiser of default priority, those of the programs that
// link the library among them, which may then copy it. Priorities up to 100 belong to the implementation.
__attribute__((init_priority(101))) const std::string version =
    "version " QUARVEL_VERSION_TEXT " protocol: client " + std::to_string(client_protocol_version) + " worker " +
    std::to_string(worker_protocol_version);

}  // namespace quarvel
