#include "patch/path_obstacles.hpp"

#include "patch/dropped_files.hpp"
#include "patch/folder_cleanup.hpp"
#include "patch/link_test.hpp"
#include "patch/local_path.hpp"
#include "patch/path_rules.hpp"

#include <stdexcept>
#include <system_error>
#include <unordered_map>

namespace gu::patch {
namespace {

namespace fs = std::filesystem;

enum class Kind { missing, folder, other };

// A link to a folder counts as the folder: installing through it is the player's choice (a game folder
// moved to another disk). Any other link is in the way like a file.
Kind kind_at(const fs::path& path) {
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (fs::is_directory(status)) {
        return Kind::folder;
    }
    return fs::exists(status) || is_link(path) ? Kind::other : Kind::missing;
}

std::string quoted(const std::string& text) {
    return "\"" + text + "\"";
}

class ObstacleJudge {
public:
    ObstacleJudge(const fs::path& root, const Manifest& installed) : root_(root) {
        for (const ManifestFile& file : installed.files) {
            by_name_.emplace(windows_key(file.path), &file);
        }
    }

    // The obstacle at `relative` on the way to `file`, or a throw naming what in it is the player's.
    PathObstacle judge(const std::string& relative, const ManifestFile& file, bool is_folder) const {
        PathObstacle obstacle{relative, {}};
        const std::string offender =
            is_folder ? first_foreign(relative, obstacle.installed) : foreign_file(relative, obstacle.installed);
        if (!offender.empty()) {
            throw std::runtime_error(
                "cannot install " + quoted(file.path) + ": the " + (is_folder ? "folder " : "file ") +
                quoted(relative) + " stands where the new version has a " + (is_folder ? "file" : "folder") + ", and " +
                (offender == relative ? "it" : quoted(offender)) +
                " is not a file of the installed version as it was installed; move it out of the game folder "
                "and update again");
        }
        return obstacle;
    }

private:
    // `relative` itself when it is not a file of the installed version holding its bytes (a link never
    // is), else empty.
    std::string foreign_file(const std::string& relative, std::vector<std::string>& installed) const {
        const auto found = by_name_.find(windows_key(relative));
        if (found == by_name_.end() || !holds_installed_bytes(root_, relative, *found->second)) {
            return relative;
        }
        installed.push_back(found->second->path);
        return {};
    }

    // The first thing below the folder `relative` that is not the installed version's, or empty.
    std::string first_foreign(const std::string& relative, std::vector<std::string>& installed) const {
        const fs::path folder = local_path(root_, relative);
        if (is_link(folder)) {
            return relative;
        }
        std::error_code ec;
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
            const std::string child = relative + "/" + it->path().filename().u8string();
            std::error_code kind_unknown;
            const std::string offender = !is_link(it->path()) && fs::is_directory(it->path(), kind_unknown)
                                             ? first_foreign(child, installed)
                                             : foreign_file(child, installed);
            if (!offender.empty()) {
                return offender;
            }
        }
        // A folder that cannot be read through may hold anything.
        return ec ? relative : std::string();
    }

    const fs::path& root_;
    std::unordered_map<std::string, const ManifestFile*> by_name_;
};

} // namespace

std::vector<PathObstacle> find_path_obstacles(const fs::path& root, const std::vector<ManifestFile>& files,
                                              const Manifest& installed) {
    const ObstacleJudge judge(root, installed);
    std::vector<PathObstacle> obstacles;
    std::unordered_map<std::string, Kind> kinds; // of the paths looked at, each judged once
    // Whether the new file can go on below `relative`, which is in the way as a folder or as a file.
    const auto clear = [&](const std::string& relative, const ManifestFile& file, Kind in_the_way) {
        const auto [known, added] = kinds.try_emplace(relative, Kind::missing);
        if (added) {
            known->second = kind_at(local_path(root, relative));
            if (known->second == in_the_way) {
                obstacles.push_back(judge.judge(relative, file, in_the_way == Kind::folder));
            }
        }
        return known->second == Kind::folder;
    };
    for (const ManifestFile& file : files) {
        bool below_folders = true;
        for (std::size_t slash = file.path.find('/'); slash != std::string::npos && below_folders;
             slash = file.path.find('/', slash + 1)) {
            below_folders = clear(file.path.substr(0, slash), file, Kind::other);
        }
        if (below_folders) {
            clear(file.path, file, Kind::folder);
        }
    }
    return obstacles;
}

void remove_path_obstacles(const fs::path& root, const std::vector<PathObstacle>& obstacles, FolderFlushes& changed) {
    for (const PathObstacle& obstacle : obstacles) {
        const fs::path target = local_path(root, obstacle.path);
        if (!remove_tree_no_follow(target)) {
            throw std::runtime_error("cannot remove " + quoted(obstacle.path) +
                                     ", which stands where the new version has a file or folder of that name");
        }
        changed.add_folders_of(target, root);
    }
}

} // namespace gu::patch
