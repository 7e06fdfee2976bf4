// kyr-inspect: reads the launcher's documents the way the launcher does and prints what it understood.
// Exit codes: 0 done, 1 the document was refused (the reason on stderr), 2 bad usage or unreadable file.

#include "launcher/game/game_client_interface.hpp"
#include "launcher/servers/client_server_file.hpp"
#include "launcher/servers/server_directory.hpp"
#include "launcher/servers/server_list_bmd.hpp"
#include "launcher/shell/folder_path.hpp"
#include "tools/kyr-inspect/bmd_json.hpp"
#include "tools/kyr-inspect/directory_json.hpp"

#include <cstddef>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

constexpr int kExitRefused = 1;
constexpr int kExitUsage = 2;

struct Command {
    const char* name;
    const char* arguments;
    std::size_t argumentCount;
    const char* summary;
    int (*run)(const std::vector<std::string>& arguments);
};

bool readFile(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    // istream::read turns a read error (a folder given as FILE, for one) into badbit instead of throwing.
    char block[8192];
    while (in.read(block, sizeof block) || in.gcount() > 0) {
        text.append(block, static_cast<std::size_t>(in.gcount()));
    }
    return !in.bad();
}

int cannotRead(const std::string& path) {
    std::cerr << "kyr-inspect: cannot read " << path << '\n';
    return kExitUsage;
}

int runServers(const std::vector<std::string>& arguments) {
    std::string text;
    if (!readFile(arguments[0], text)) {
        return cannotRead(arguments[0]);
    }
    launcher::ServerDirectory directory;
    std::string error;
    if (!launcher::parseServerDirectory(text, directory, &error)) {
        std::cerr << error << '\n';
        return kExitRefused;
    }
    std::cout << inspect::directoryToJson(directory);
    return 0;
}

int runBmd(const std::vector<std::string>& arguments) {
    std::string bytes;
    if (!readFile(arguments[0], bytes)) {
        return cannotRead(arguments[0]);
    }
    if (bytes.size() > launcher::kBmdFileLimit) {
        std::cerr << "kyr-inspect: " << arguments[0] << " is larger than " << launcher::kBmdFileLimit
                  << " bytes: the launcher reads no records from it\n";
        return kExitRefused;
    }
    std::cout << inspect::bmdToJson(bytes);
    return 0;
}

int runClientServers(const std::vector<std::string>& arguments) {
    const std::string path = launcher::joinFolderPath(arguments[0], launcher::kClientServerFilePath);
    if (!std::ifstream(path, std::ios::binary)) {
        return cannotRead(path);
    }
    launcher::ServerDirectory directory;
    if (!launcher::loadClientServerList(arguments[0], directory)) {
        std::cerr << "kyr-inspect: " << path
                  << " yields no server (shorter than 128 bytes, another magic, or no dotted-quad address)\n";
        return kExitRefused;
    }
    std::cout << inspect::directoryToJson(directory);
    return 0;
}

int runStamp(const std::vector<std::string>& arguments) {
    std::string bytes;
    if (!readFile(arguments[0], bytes)) {
        return cannotRead(arguments[0]);
    }
    std::cout << launcher::stampOf(bytes) << '\n';
    return 0;
}

const Command kCommands[] = {
    {"servers", "FILE", 1, "parse a server directory document (servers.json) and print it as JSON", runServers},
    {"bmd", "FILE", 1, "decode a game server list file (ServerList.bmd) and print its records as JSON", runBmd},
    {"client-servers", "GAMEDIR", 1,
     "print the servers that the client's GAMEDIR\\Data\\Local\\valdra.main yields, as servers does", runClientServers},
    {"stamp", "FILE", 1, "print a file's stamp as launcher.ini keeps it in BmdStamp (length-fnv1a)", runStamp},
};

void printUsage(std::ostream& out) {
    out << "usage: kyr-inspect COMMAND [ARGUMENTS]\ncommands:\n";
    for (const Command& command : kCommands) {
        out << "  " << command.name << ' ' << command.arguments << "\n      " << command.summary << '\n';
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        printUsage(std::cerr);
        return kExitUsage;
    }
    const std::string name = argv[1];
    if (name == "-h" || name == "--help" || name == "help") {
        printUsage(std::cout);
        return 0;
    }
    for (const Command& command : kCommands) {
        if (name != command.name) {
            continue;
        }
        const std::vector<std::string> arguments(argv + 2, argv + argc);
        if (arguments.size() != command.argumentCount) {
            std::cerr << "kyr-inspect: usage: kyr-inspect " << command.name << ' ' << command.arguments << '\n';
            return kExitUsage;
        }
        return command.run(arguments);
    }
    std::cerr << "kyr-inspect: unknown command '" << name << "'\n";
    printUsage(std::cerr);
    return kExitUsage;
}
