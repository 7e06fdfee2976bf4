#include "tools/kyr-store/game_folder.hpp"

#include "support/scratch_folder.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;
using kyrstore::GameFile;
using kyrstore::scan_game_folder;

void put(const fs::path& file, std::string_view bytes) {
    fs::create_directories(file.parent_path());
    kyrtest::write_bytes(file, bytes);
}

TEST(GameFolderNames, PathsThatWindowsAndTheEngineAccept) {
    struct Case {
        const char* name;
        std::string path;
        const char* want; // part of the reason; empty: publishable
    };
    const Case cases[] = {
        {"plain", "Data/Local/a.bmd", ""},
        {"dots inside a name", "a..b/c.d.e", ""},
        {"UTF-8", "Datos/ca\xc3\xb1\xc3\xb3n.txt", ""},
        {"device-like but longer", "console.txt", ""},
        {"COM10 is no device", "COM10", ""},
        {"empty", "", "not a safe relative path"},
        {"absolute", "/x", "not a safe relative path"},
        {"parent segment", "a/../b", "not a safe relative path"},
        {"doubled slash", "a//b", "not a safe relative path"},
        {"drive letter", "C:/x", "not a safe relative path"},
        {"backslash", "a\\b", "not a safe relative path"},
        {"control byte",
         "a\x01"
         "b",
         "control character"},
        {"delete byte", "a\x7f", "control character"},
        {"less-than", "a<b", "'<'"},
        {"pipe", "a|b", "'|'"},
        {"question mark", "what?", "'?'"},
        {"star", "a*", "'*'"},
        {"double quote", "say\"hi\"", "'\"'"},
        {"trailing dot", "dir./x", "trailing dot"},
        {"trailing blank", "x ", "trailing dot or blank"},
        {"device", "CON", "reserved device name"},
        {"device with extension", "Data/nul.txt", "reserved device name"},
        {"device in lower case", "lpt9.log", "reserved device name"},
        {"updater's partial file", "Data/x.updpart", "updater's own"},
        {"device as a folder", "aux/x", "reserved device name"},
        {"bad UTF-8 byte", "a\xff", "UTF-8"},
        {"overlong slash", "a\xc0\xaf", "UTF-8"},
        {"surrogate", "a\xed\xa0\x80", "UTF-8"},
        {"truncated sequence", "a\xe2\x82", "UTF-8"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string reason = kyrstore::unpublishable_path_reason(c.path);
        if (*c.want == '\0') {
            EXPECT_EQ(reason, "");
        } else {
            EXPECT_NE(reason.find(c.want), std::string::npos) << reason;
        }
    }
}

TEST(GameFolderNames, StoreNamesAreSingleSafeSegments) {
    struct Case {
        std::string name;
        bool safe;
    };
    const Case cases[] = {
        {"1.0.3", true},
        {"windows-x86", true},
        {"valdra7q", true},
        {"2026.12_rc+1", true},
        {"", false},
        {".hidden", false},
        {"..", false},
        {"a/b", false},
        {"a b", false},
        {"c:x", false},
        {"a\\b", false},
        {std::string(129, 'v'), false},
        {std::string(128, 'v'), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(kyrstore::unsafe_name_reason(c.name).empty(), c.safe);
    }
}

TEST(GameFolderScan, ListsRegularFilesSortedAndSkipsTheUpdatersOwn) {
    kyrtest::ScratchFolder scratch;
    const fs::path game = scratch / "game";
    put(game / "Main.exe", "exe");
    put(game / "Data" / "Local" / "b.bmd", "bb");
    put(game / "Data" / "a.bmd", "a");
    put(game / "sub" / "patchstate.json", "kept: only the root one is the updater's");
    put(game / "patchstate.json", "{}");
    put(game / ".update_done", "1.0");
    put(game / ".updstage" / "Main.exe", "staged");
    put(game / ".UpdPacks" / "current.part", "partial");
    put(game / "PatchState.Manifest.json", "{}");
    put(game / "patchstate.json.tmp", "{");
    put(game / "Data" / "a.bmd.updpart", "half");
    fs::create_directories(game / "empty" / "folder");

    std::vector<std::string> notices;
    const std::vector<GameFile> files =
        scan_game_folder(game, [&](const std::string& text) { notices.push_back(text); });
    std::vector<std::string> paths;
    for (const GameFile& file : files) {
        paths.push_back(file.path);
        EXPECT_EQ(file.size, fs::file_size(file.source));
    }
    const std::vector<std::string> want = {"Data/Local/b.bmd", "Data/a.bmd", "Main.exe", "sub/patchstate.json"};
    EXPECT_EQ(paths, want);
    EXPECT_EQ(notices.size(), 7u);
}

TEST(GameFolderScan, RefusesWhatCannotBePublishedFaithfully) {
    struct Case {
        const char* name;
        std::function<void(const fs::path&)> arrange;
        const char* message;
    };
    const Case cases[] = {
        {"symbolic link to a file", [](const fs::path& g) { fs::create_symlink("/etc/hostname", g / "h"); },
         "symbolic link \"h\""},
        {"symbolic link to a folder", [](const fs::path& g) { fs::create_directory_symlink("/etc", g / "etc"); },
         "symbolic link \"etc\""},
        {"named pipe", [](const fs::path& g) { ASSERT_EQ(::mkfifo((g / "pipe").c_str(), 0600), 0); },
         "special file \"pipe\""},
        {"files differing in case", [](const fs::path& g) { put(g / "data" / "A.txt", "2"); }, "same file on Windows"},
        {"file and folder differing in case", [](const fs::path& g) { put(g / "DATA", "3"); }, "a file and a folder"},
        {"unsafe name", [](const fs::path& g) { put(g / "data" / "x:y", "4"); }, "\"data/x:y\""},
        {"not a folder",
         [](const fs::path& g) {
             fs::remove_all(g);
             put(g, "file");
         },
         "is not a folder"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        kyrtest::ScratchFolder scratch;
        const fs::path game = scratch / "game";
        put(game / "data" / "a.txt", "1");
        c.arrange(game);
        try {
            scan_game_folder(game, [](const std::string&) {});
            ADD_FAILURE() << "accepted";
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
    }
}

} // namespace
