#include <quarvel/model.hpp>
#include <quarvel/version.hpp>

namespace quarvel {

const std::string version = "version " QUARVEL_VERSION_TEXT " protocol: client " +
                            std::to_string(client_protocol_version) + " worker " +
                            std::to_string(worker_protocol_version);

}  // namespace quarvel
