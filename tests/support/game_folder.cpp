#include "support/game_folder.hpp"

#include "support/scratch_folder.hpp"

#include "patch/path_rules.hpp"

#include <random>

namespace kyrtest {
namespace {

namespace fs = std::filesystem;

std::string randomBytes(std::mt19937_64& random, std::size_t size) {
    std::string bytes(size, '\0');
    for (char& c : bytes) {
        c = static_cast<char>(random());
    }
    return bytes;
}

// Compressible but not repetitive: zstd shrinks it, and content-defined chunking still finds cuts.
std::string textBytes(std::mt19937_64& random, std::size_t size) {
    static const char* const kWords[] = {"sword", "shield", "valdra", "potion", "dungeon", "quest", "rune", "guild"};
    std::string text;
    for (unsigned line = 0; text.size() < size; ++line) {
        text += std::to_string(line) + ":";
        for (int w = 0; w < 8; ++w) {
            text += std::string(" ") + kWords[random() % 8];
        }
        text += '\n';
    }
    text.resize(size);
    return text;
}

std::string soundName(unsigned index) {
    return "Data/Sound/ambient" + std::to_string(100 + index) + ".ogg";
}

} // namespace

GameFiles makeGameFiles(const GameShape& shape) {
    std::mt19937_64 random(shape.seed);
    GameFiles files;
    files["Main.exe"] = randomBytes(random, 640 * 1024);
    files["Data/Textures/terrain.ozj"] = randomBytes(random, 900 * 1024 + 123);
    files["Data/Text/dialog_en.txt"] = textBytes(random, 260 * 1024);
    files["Data/World1/a/b/terrain.map"] = textBytes(random, 70 * 1024 + 7);
    files["Data/Empty.dat"] = "";
    for (unsigned i = 0; i < shape.soundFiles; ++i) {
        files[soundName(i)] = randomBytes(random, 4096 + random() % (36 * 1024));
    }
    return files;
}

GameFiles nextGameVersion(const GameFiles& previous, const GameShape& shape) {
    std::mt19937_64 random(shape.seed + 1);
    GameFiles next = previous;
    next.at("Main.exe").replace(previous.at("Main.exe").size() / 3, 200, randomBytes(random, 200));
    next.at("Data/Text/dialog_en.txt") += textBytes(random, 30 * 1024);
    for (unsigned i = 0; i < shape.soundChanges; ++i) {
        next.at(soundName(i)) = randomBytes(random, next.at(soundName(i)).size() + 100);
    }
    for (unsigned i = shape.soundFiles - shape.soundDrops; i < shape.soundFiles; ++i) {
        next.erase(soundName(i));
    }
    next["Data/New/event2.bin"] = randomBytes(random, 50 * 1024);
    return next;
}

void writeGameFiles(const fs::path& folder, const GameFiles& files) {
    for (const auto& [path, bytes] : files) {
        fs::create_directories((folder / path).parent_path());
        write_bytes(folder / path, bytes);
    }
}

GameFiles readGameFolder(const fs::path& folder) {
    GameFiles files;
    if (!fs::exists(folder)) {
        return files;
    }
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
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
        const auto found = got.find(path);
        report += found == got.end() ? "missing: " + path + "\n" : found->second != bytes ? "differs: " + path + "\n" : "";
    }
    for (const auto& [path, bytes] : got) {
        report += want.count(path) == 0 ? "unexpected: " + path + "\n" : "";
    }
    return report;
}

std::string describeTornFiles(const GameFiles& before, const GameFiles& target, const GameFiles& found) {
    std::string report;
    for (const auto& [path, bytes] : found) {
        const auto old = before.find(path);
        const auto wanted = target.find(path);
        if ((old == before.end() || old->second != bytes) && (wanted == target.end() || wanted->second != bytes)) {
            report += "torn or foreign: " + path + "\n";
        }
    }
    for (const auto& [path, bytes] : before) {
        report += found.count(path) == 0 ? "lost: " + path + "\n" : "";
    }
    return report;
}

std::string describeUnstagedFiles(const fs::path& root, const GameFiles& before, const GameFiles& target) {
    const GameFiles found = readGameFolder(root);
    const GameFiles staged = readGameFolder(root / ".updstage");
    const auto holds = [&](const GameFiles& files, const std::string& path) {
        const auto file = files.find(path);
        return file != files.end() && file->second == target.at(path);
    };
    bool begun = false;
    std::string unstaged;
    for (const auto& [path, bytes] : target) {
        const auto old = before.find(path);
        if (old == before.end() || old->second != bytes) {
            begun = begun || holds(found, path);
            unstaged += holds(found, path) || holds(staged, path) ? "" : "neither in place nor staged: " + path + "\n";
        }
    }
    return begun ? unstaged : "";
}

} // namespace kyrtest
