#include "path_parts.h"

namespace framesifter {

void SplitFolderAndName(const std::string& path, std::string& folder, std::string& name) {
    std::string p = path;
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    const std::size_t slash = p.find_last_of('/');
    if (slash == std::string::npos) {
        folder = ".";
        name = p;
    } else {
        folder = slash == 0 ? "/" : p.substr(0, slash);
        name = p.substr(slash + 1);
    }
}

}  // namespace framesifter
