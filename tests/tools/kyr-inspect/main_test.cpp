// Runs the real kyr-inspect program on the sample documents in tests/data/servers and on game files made by
// the test helpers: what it prints, what it refuses, and its exit codes.

#include "support/bmd_template.hpp"
#include "support/scratch_folder.hpp"
#include "support/valdra_main_encoder.hpp"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>

namespace {

namespace fs = std::filesystem;

struct ProgramRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string dataFile(const char* name) {
    const char* dir = std::getenv("KYR_TEST_DATA");
    return std::string(dir != nullptr ? dir : "tests/data") + "/servers/" + name;
}

// Through the shell, which also starts a cross-built program through its emulator's wrapper.
ProgramRun runInspect(const fs::path& errFile, const std::string& arguments, const std::string& environment) {
    const std::string command = environment + " '" + KYR_INSPECT_PATH + "' " + arguments + " 2>'" +
                                errFile.string() + "'";
    ProgramRun run;
    FILE* pipe = popen(command.c_str(), "r");
    char buffer[4096];
    for (std::size_t got; pipe != nullptr && (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        run.out.append(buffer, got);
    }
    const int status = pipe != nullptr ? pclose(pipe) : -1;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.err = kyrtest::read_bytes(errFile);
    return run;
}

TEST(KyrInspect, PrintsWhatItReadsAndRefusesWithItsExitCodes) {
    const kyrtest::ScratchFolder scratch;
    const auto quoted = [&](const fs::path& path) { return "'" + path.string() + "'"; };
    kyrtest::TemplateRecord main;
    main.id = 1;
    main.name = "Principal";
    main.settings = {1, 2, 3, 4, 5, 6, 7, 8};
    main.description = std::string("Desc\0", 5);
    kyrtest::TemplateRecord bad = main;
    bad.name = "Bad \xFF name";
    kyrtest::write_bytes(scratch / "ServerList.bmd", kyrtest::bmdTemplateBytes({main, bad}));
    kyrtest::write_bytes(scratch / "large.bmd", std::string(262145, 'x'));
    kyrtest::write_bytes(scratch / "abc", "abc");
    kyrtest::ValdraMainLayout layout;
    layout.addressA = "127.0.0.1";
    layout.flagB = 1;
    layout.portB = 55901;
    layout.addressB = "127.0.0.2";
    fs::create_directories(scratch / "game" / "Data" / "Local");
    kyrtest::write_bytes(scratch / "game" / "Data" / "Local" / "valdra.main", kyrtest::encodeValdraMain(layout));
    layout.size = 127;
    fs::create_directories(scratch / "short" / "Data" / "Local");
    kyrtest::write_bytes(scratch / "short" / "Data" / "Local" / "valdra.main", kyrtest::encodeValdraMain(layout));
    const std::string missing = dataFile("does_not_exist.json");
    const struct {
        const char* name;
        std::string arguments;
        int exitCode;
        std::vector<std::string> out; // parts of stdout
        std::string err;              // the start of stderr; empty: nothing
        std::string environment = "KYR_DEBUG_OUTPUT=";
    } cases[] = {
        {"servers", "servers '" + dataFile("two_servers.json") + "'", 0,
         {"\"slug\": \"orvan-test\"", "\"name\": \"Orvan \\\"beta\\\"\\\\\"", "\"name\": \"Mirela \xC3\x97 9\"",
          "\"region\": \"sa_east\", \"label\": \"sa_east\"", "\"newerSchema\": false"}, ""},
        {"newer schema and invalid UTF-8", "servers '" + dataFile("newer_schema_bad_utf8.json") + "'", 0,
         {"\"newerSchema\": true", "\"raw \\u00ff\\u00c3 end\""}, ""},
        {"the same with debug output", "servers '" + dataFile("newer_schema_bad_utf8.json") + "'", 0,
         {"\"newerSchema\": true"}, "[launcher] servers.json schema=2 > 1 soportado: se ignora lo desconocido\n",
         "KYR_DEBUG_OUTPUT=1"},
        {"no usable server", "servers '" + dataFile("no_usable_server.json") + "'", 1, {},
         "La lista de servidores llego vacia.\n"},
        {"byte-order mark", "servers '" + dataFile("byte_order_mark.json") + "'", 1, {},
         "La lista de servidores no es un JSON valido.\n"},
        {"missing file", "servers '" + missing + "'", 2, {}, "kyr-inspect: cannot read " + missing + "\n"},
        {"no command", "", 2, {}, "usage: kyr-inspect"},
        {"help", "--help", 0, {"servers FILE"}, ""},
        {"unknown command", "frobnicate", 2, {}, "kyr-inspect: unknown command 'frobnicate'\n"},
        {"servers with two files", "servers a b", 2, {}, "kyr-inspect: usage: kyr-inspect servers FILE\n"},
        {"stamp", "stamp " + quoted(scratch / "abc"), 0, {"3-1a47e90b\n"}, ""},
        {"bmd", "bmd " + quoted(scratch / "ServerList.bmd"), 0,
         {"\"name\": \"Principal\"", "\"name\": \"Bad \\u00ff name\"", "\"undecodedBytes\": 0", "\"size\": 116"}, ""},
        {"bmd larger than the launcher reads", "bmd " + quoted(scratch / "large.bmd"), 1, {},
         "kyr-inspect: " + (scratch / "large.bmd").string() +
             " is larger than 262144 bytes: the launcher reads no records from it\n"},
        {"client servers", "client-servers " + quoted(scratch / "game"), 0,
         {"\"fromClient\": true", "\"slug\": \"valdra-2\"", "\"port\": 55901", "\"ip\": \"127.0.0.1\", \"port\": 44000"},
         ""},
        {"valdra.main of 127 bytes", "client-servers " + quoted(scratch / "short"), 1, {},
         "kyr-inspect: " + (scratch / "short" / "Data" / "Local" / "valdra.main").string() + " yields no server"},
        {"game folder without valdra.main", "client-servers " + quoted(scratch / "abc"), 2, {},
         "kyr-inspect: cannot read "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ProgramRun run = runInspect(scratch / "stderr", c.arguments, c.environment);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_EQ(run.out.empty(), c.out.empty()) << run.out;
        for (const std::string& part : c.out) {
            EXPECT_NE(run.out.find(part), std::string::npos) << part << " in\n" << run.out;
        }
        EXPECT_EQ(run.err.rfind(c.err, 0), 0u) << run.err;
        EXPECT_EQ(run.err.empty(), c.err.empty()) << run.err;
    }
}

} // namespace
