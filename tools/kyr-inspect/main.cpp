// kyr-inspect: reads the launcher's documents the way the launcher does and prints what it understood.
// Exit codes: 0 done, 1 the document was refused (the reason on stderr), 2 bad usage or unreadable file.

#include "launcher/servers/server_directory.hpp"
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

int runServers(const std::vector<std::string>& arguments) {
    std::string text;
    if (!readFile(arguments[0], text)) {
        std::cerr << "kyr-inspect: cannot read " << arguments[0] << '\n';
        return kExitUsage;
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

const Command kCommands[] = {
    {"servers", "FILE", 1, "parse a server directory document (servers.json) and print it as JSON", runServers},
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
