#include <quarvel_toolkit/path_rule.hpp>

namespace quarvel {

void collapse_slashes(std::string& path) {
    std::size_t kept = path.starts_with("//") ? 2 : 0;
    for (std::size_t read = kept; read < path.size(); ++read) {
        if (path[read] == '/' && kept > 0 && path[kept - 1] == '/') continue;
        path[kept++] = path[read];
    }
    path.resize(kept);
}

}  // namespace quarvel
