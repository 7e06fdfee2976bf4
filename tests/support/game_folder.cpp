#include "support/game_folder.hpp"

#include "support/scratch_folder.hpp"

#include "patch/path_rules.hpp"

#include <random>

namespace kyrtest {
namespace {

namespace fs = std::filesystem;

// Random bytes, or text that zstd shrinks and content-defined chunking still cuts.
std::string makeBytes(std::mt19937_64& random, std::size_t size, bool text = false) {
    std::string bytes;
    while (bytes.size() < size) {
        bytes += text ? std::to_string(bytes.size()) + ": valdra rune " + std::to_string(random() % 999) + "\n"
                      : std::string(1, static_cast<char>(random()));
    }
    return bytes.substr(0, size);
}

std::string soundName(unsigned index) {
    return "Data/Sound/ambient" + std::to_string(100 + index) + ".ogg";
}

} // namespace

GameFiles makeGameVersion(int version) {
    std::mt19937_64 random(1);
    GameFiles files;
    files["Main.exe"] = makeBytes(random, 640 * 1024);
    files["Data/Textures/terrain.ozj"] = makeBytes(random, 900 * 1024 + 123);
    files["Data/Text/dialog_en.txt"] = makeBytes(random, 260 * 1024, true);
    files["Data/World1/a/b/terrain.map"] = makeBytes(random, 70 * 1024 + 7, true);
    files["Data/Empty.dat"] = "";
    for (unsigned i = 0; i < 40; ++i) {
        files[soundName(i)] = makeBytes(random, 4096 + random() % (36 * 1024));
    }
    if (version == 2) {
        files.at("Main.exe").replace(200 * 1024, 200, makeBytes(random, 200));
        files.at("Data/Text/dialog_en.txt") += makeBytes(random, 30 * 1024, true);
        for (unsigned i = 0; i < 30; ++i) {
            files.at(soundName(i)) = makeBytes(random, files.at(soundName(i)).size() + 100);
        }
        files.erase(soundName(38));
        files.erase(soundName(39));
        files["Data/New/event2.bin"] = makeBytes(random, 50 * 1024);
    }
    return files;
}

void writeGameFiles(const fs::path& folder, const GameFiles& files) {
    for (const auto& [path, bytes] : files) {
        fs::create_directories((folder / path).parent_path());
        write_bytes(folder / path, bytes);
    }
}

GameFiles readGameFolder(const fs::path& folder) {
    GameFiles files;
    for (const auto& entry :
         fs::exists(folder) ? fs::recursive_directory_iterator(folder) : fs::recursive_directory_iterator()) {
        const std::string relative = entry.path().lexically_relative(folder).generic_string();
        if (entry.is_regular_file() && !gu::patch::is_updater_file(relative)) {
            files[relative] = read_bytes(entry.path());
        }
    }
    return files;
}

std::string describeDifferences(const GameFiles& want, const GameFiles& got) {
    std::string report;
    for (const auto& [path, bytes] : want) {
        report += got.count(path) == 0    ? "missing: " + path + "\n"
                  : got.at(path) != bytes ? "differs: " + path + "\n"
                                          : "";
    }
    for (const auto& [path, bytes] : got) {
        report += want.count(path) == 0 ? "unexpected: " + path + "\n" : "";
    }
    return report;
}

std::string describeTornFiles(const GameFiles& before, const GameFiles& target, const GameFiles& found) {
    std::string report;
    for (const auto& [path, bytes] : found) {
        const bool old = before.count(path) != 0 && before.at(path) == bytes;
        report += old || (target.count(path) != 0 && target.at(path) == bytes) ? "" : "torn or foreign: " + path + "\n";
    }
    for (const auto& [path, bytes] : before) {
        report += found.count(path) == 0 ? "lost: " + path + "\n" : "";
    }
    return report;
}

} // namespace kyrtest
