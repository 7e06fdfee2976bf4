#include "patch/folder_cleanup.hpp"

#include <cerrno>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace gu::patch {
namespace {

bool remove_entry(int parent, const char* name);

// Removes everything in the folder open as `folder`, then closes it.
bool empty_folder(int folder) {
    DIR* listing = fdopendir(folder);
    if (listing == nullptr) {
        close(folder);
        return false;
    }
    // Names first: removing entries while the listing is read may skip or repeat some.
    std::vector<std::string> names;
    while (const dirent* entry = readdir(listing)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") {
            names.push_back(name);
        }
    }
    bool removed = true;
    for (const std::string& name : names) {
        removed = remove_entry(dirfd(listing), name.c_str()) && removed;
    }
    closedir(listing);
    return removed;
}

bool remove_entry(int parent, const char* name) {
    // unlinkat without AT_REMOVEDIR removes a file or a link (to a folder too) and never follows it.
    if (unlinkat(parent, name, 0) == 0 || errno == ENOENT) {
        return true;
    }
    if (errno != EISDIR && errno != EPERM) {
        return false;
    }
    // A folder that became a link since is refused by O_NOFOLLOW instead of being entered.
    const int folder = openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder < 0) {
        return false;
    }
    const bool emptied = empty_folder(folder);
    return (unlinkat(parent, name, AT_REMOVEDIR) == 0 || errno == ENOENT) && emptied;
}

} // namespace

bool remove_tree_no_follow(const std::filesystem::path& path) {
    const std::filesystem::path target = path.has_filename() ? path : path.parent_path();
    const std::filesystem::path parent_path = target.parent_path();
    int parent = AT_FDCWD;
    if (!parent_path.empty()) {
        parent = open(parent_path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (parent < 0) {
            return errno == ENOENT;
        }
    }
    const bool removed = remove_entry(parent, target.filename().c_str());
    if (parent != AT_FDCWD) {
        close(parent);
    }
    return removed;
}

} // namespace gu::patch
