#include "support/game_folder.hpp"

#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <stdexcept>
#include <vector>

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
    static const char* const kWords[] = {"sword",  "shield", "valdra", "potion", "dungeon", "quest",
                                         "dragon", "castle", "mana",   "rune",   "guild",   "arrow"};
    std::string text;
    for (unsigned line = 0; text.size() < size; ++line) {
        text += std::to_string(line) + ":";
        for (int w = 0; w < 8; ++w) {
            text += ' ';
            text += kWords[random() % (sizeof kWords / sizeof kWords[0])];
        }
        text += '\n';
    }
    text.resize(size);
    return text;
}

// Half random, half text, interleaved in 4 KiB runs, like a packed model or map file.
std::string mixedBytes(std::mt19937_64& random, std::size_t size) {
    std::string bytes;
    for (bool noisy = true; bytes.size() < size; noisy = !noisy) {
        bytes += noisy ? randomBytes(random, 4096) : textBytes(random, 4096);
    }
    bytes.resize(size);
    return bytes;
}

std::string soundName(unsigned index) {
    std::ostringstream name;
    name << "Data/Sound/ambient" << index << ".ogg";
    return name.str();
}

bool isUpdaterFile(const std::string& relativePath) {
    const auto endsWith = [&](const std::string& tail) {
        return relativePath.size() >= tail.size() &&
               relativePath.compare(relativePath.size() - tail.size(), tail.size(), tail) == 0;
    };
    const bool atRoot = relativePath.find('/') == std::string::npos;
    return (atRoot && (relativePath.rfind("patchstate.", 0) == 0 || relativePath == ".update_done")) ||
           relativePath.rfind(".updstage/", 0) == 0 || relativePath.rfind(".updpacks/", 0) == 0 || endsWith(".updpart");
}

} // namespace

GameFiles makeGameFiles(const GameShape& shape) {
    std::mt19937_64 random(shape.seed);
    const std::size_t kib = shape.largeFiles ? 1024 : 64;
    GameFiles files;
    files["Main.exe"] = randomBytes(random, 640 * kib);
    files["Data/Textures/terrain.ozj"] = randomBytes(random, 900 * kib + 123);
    files["Data/Text/dialog_en.txt"] = textBytes(random, 260 * kib);
    files["Data/World1/a/b/terrain.map"] = mixedBytes(random, 300 * kib + 7);
    files["Data/Local/Text.bmd"] = mixedBytes(random, 70 * 1024);
    files["Data/Empty.dat"] = "";
    files["readme.txt"] = textBytes(random, 1500);
    for (unsigned i = 0; i < shape.soundFiles; ++i) {
        files[soundName(i)] = randomBytes(random, 4096 + random() % (36 * 1024));
    }
    return files;
}

GameFiles nextGameVersion(const GameFiles& previous, const GameShape& shape) {
    std::mt19937_64 random(shape.seed + 1);
    GameFiles next = previous;
    std::string& exe = next.at("Main.exe");
    const std::string patch = randomBytes(random, 200);
    exe.replace(exe.size() / 3, patch.size(), patch);
    next.at("Data/Text/dialog_en.txt") += textBytes(random, 30 * 1024);
    unsigned replaced = 0;
    for (auto& [path, bytes] : next) {
        if (path.rfind("Data/Sound/", 0) == 0 && replaced < shape.soundChanges) {
            bytes = randomBytes(random, bytes.size() + 100);
            ++replaced;
        }
    }
    for (unsigned dropped = 0; dropped < shape.soundDrops; ++dropped) {
        const auto last = std::prev(next.lower_bound("Data/Sound0"));
        next.erase(last);
    }
    next["Data/New/event2.bin"] = randomBytes(random, 50 * 1024);
    return next;
}

void writeGameFiles(const fs::path& folder, const GameFiles& files) {
    for (const auto& [path, bytes] : files) {
        const fs::path file = folder / fs::u8path(path);
        fs::create_directories(file.parent_path());
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out) {
            throw std::runtime_error("cannot write " + file.string());
        }
    }
}

GameFiles readGameFolder(const fs::path& folder) {
    GameFiles files;
    std::error_code ec;
    if (!fs::exists(folder, ec)) {
        return files;
    }
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
        if (!entry.is_regular_file()) {
            continue;
        }
        const std::string relative = entry.path().lexically_relative(folder).generic_u8string();
        if (isUpdaterFile(relative)) {
            continue;
        }
        std::ifstream in(entry.path(), std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        files[relative] = bytes.str();
    }
    return files;
}

std::string describeDifferences(const GameFiles& want, const GameFiles& got) {
    std::ostringstream report;
    for (const auto& [path, bytes] : want) {
        const auto found = got.find(path);
        if (found == got.end()) {
            report << "missing: " << path << '\n';
            continue;
        }
        if (found->second == bytes) {
            continue;
        }
        std::size_t first = 0;
        while (first < bytes.size() && first < found->second.size() && bytes[first] == found->second[first]) {
            ++first;
        }
        report << "differs: " << path << " (" << found->second.size() << " bytes, want " << bytes.size()
               << ", first difference at " << first << ")\n";
    }
    for (const auto& [path, bytes] : got) {
        if (want.count(path) == 0) {
            report << "unexpected: " << path << " (" << bytes.size() << " bytes)\n";
        }
    }
    return report.str();
}

std::string describeTornFiles(const GameFiles& before, const GameFiles& target, const GameFiles& found) {
    std::ostringstream report;
    for (const auto& [path, bytes] : found) {
        const auto old = before.find(path);
        const auto wanted = target.find(path);
        if (old != before.end() && old->second == bytes) {
            continue;
        }
        if (wanted != target.end() && wanted->second == bytes) {
            continue;
        }
        report << (old == before.end() && wanted == target.end() ? "foreign: " : "torn: ") << path << " ("
               << bytes.size() << " bytes)\n";
    }
    for (const auto& [path, bytes] : before) {
        if (found.count(path) == 0) {
            report << "lost: " << path << '\n';
        }
    }
    return report.str();
}

std::string describeUnstagedFiles(const fs::path& root, const GameFiles& before, const GameFiles& target) {
    const GameFiles found = readGameFolder(root);
    const GameFiles staged = readGameFolder(root / ".updstage");
    const auto holds = [&](const GameFiles& files, const std::string& path) {
        const auto file = files.find(path);
        return file != files.end() && file->second == target.at(path);
    };
    std::vector<std::string> changed;
    bool begun = false;
    for (const auto& [path, bytes] : target) {
        const auto old = before.find(path);
        if (old == before.end() || old->second != bytes) {
            changed.push_back(path);
            begun = begun || holds(found, path);
        }
    }
    std::string report;
    for (const std::string& path : changed) {
        if (begun && !holds(found, path) && !holds(staged, path)) {
            report += "neither in place nor staged: " + path + "\n";
        }
    }
    return report;
}

std::uint64_t totalSize(const GameFiles& files) {
    std::uint64_t total = 0;
    for (const auto& [path, bytes] : files) {
        total += bytes.size();
    }
    return total;
}

} // namespace kyrtest
