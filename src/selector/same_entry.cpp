#include "same_entry.h"

#include "path_parts.h"

#include <filesystem>
#include <map>
#include <sys/stat.h>
#include <tuple>

namespace framesifter {

RepeatedEntry FindRepeatedEntry(const std::vector<std::string>& paths) {
    using Key = std::tuple<dev_t, ino_t, std::string, std::string>;
    std::map<std::string, std::pair<dev_t, ino_t>> folders;  // looked up once each
    std::map<Key, int> seen;
    for (std::size_t k = 0; k < paths.size(); ++k) {
        std::string folder, name;
        SplitFolderAndName(paths[k], folder, name);
        auto found = folders.find(folder);
        if (found == folders.end()) {
            struct stat st {};
            const bool known = stat(folder.c_str(), &st) == 0;
            found = folders
                        .emplace(folder, known ? std::make_pair(st.st_dev, st.st_ino)
                                               : std::make_pair(dev_t(0), ino_t(0)))
                        .first;
        }
        const bool known = found->second != std::make_pair(dev_t(0), ino_t(0));
        const Key key{
            found->second.first, found->second.second,
            known ? std::string() : std::filesystem::path(folder).lexically_normal().string(),
            name};
        const auto inserted = seen.emplace(key, int(k));
        if (!inserted.second) return {inserted.first->second, int(k)};
    }
    return {};
}

}  // namespace framesifter
