// Runs the real kyr-inspect program on the sample documents in tests/data/servers and on game server files
// made by the test helpers.

#include "support/bmd_template.hpp"
#include "support/scratch_folder.hpp"
#include "support/valdra_main_encoder.hpp"

#include <boost/json.hpp>
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

struct ProgramRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string dataFile(const char* name) {
    const char* dir = std::getenv("KYR_TEST_DATA");
    return std::string(dir != nullptr ? dir : "tests/data") + "/servers/" + name;
}

std::string readAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Goes through the shell: file arguments are single-quoted by the caller, environment is a "NAME=value " prefix.
ProgramRun runInspect(const std::string& arguments, const std::string& environment = "") {
    static const kyrtest::ScratchFolder scratch;
    const std::filesystem::path errPath = scratch / "stderr.txt";
    const std::string command =
        environment + "'" + KYR_INSPECT_PATH + "' " + arguments + " 2>'" + errPath.string() + "'";
    ProgramRun run;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        ADD_FAILURE() << "cannot start " << command;
        return run;
    }
    char buffer[4096];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        run.out.append(buffer, got);
    }
    const int status = pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.err = readAll(errPath);
    std::filesystem::remove(errPath);
    return run;
}

TEST(KyrInspect, ExitCodesAndMessages) {
    const std::string noSuchFile = dataFile("does_not_exist.json");
    const struct {
        const char* name;
        std::string arguments;
        int exitCode;
        std::string errStart;
    } cases[] = {
        {"document refused", "servers '" + dataFile("no_usable_server.json") + "'", 1,
         "La lista de servidores llego vacia.\n"},
        {"byte-order mark refused", "servers '" + dataFile("byte_order_mark.json") + "'", 1,
         "La lista de servidores no es un JSON valido.\n"},
        {"missing file", "servers '" + noSuchFile + "'", 2, "kyr-inspect: cannot read " + noSuchFile + "\n"},
        {"folder instead of a file", "servers '" + dataFile("") + "'", 2, "kyr-inspect: cannot read "},
        {"no command", "", 2, "usage: kyr-inspect"},
        {"unknown command", "frobnicate", 2, "kyr-inspect: unknown command 'frobnicate'\n"},
        {"servers without a file", "servers", 2, "kyr-inspect: usage: kyr-inspect servers FILE\n"},
        {"servers with two files", "servers a b", 2, "kyr-inspect: usage: kyr-inspect servers FILE\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ProgramRun run = runInspect(c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err.compare(0, c.errStart.size(), c.errStart), 0) << run.err;
    }
}

TEST(KyrInspect, HelpGoesToStandardOutput) {
    const ProgramRun run = runInspect("--help");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.out.find("servers FILE"), std::string::npos) << run.out;
    EXPECT_EQ(run.err, "");
}

TEST(KyrInspect, PrintsTheParsedDirectoryInOrder) {
    const ProgramRun run = runInspect("servers '" + dataFile("two_servers.json") + "'");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    boost::system::error_code ec;
    const boost::json::value json = boost::json::parse(run.out, ec);
    ASSERT_FALSE(ec) << run.out;
    EXPECT_EQ(json.at("schema").as_int64(), 1);
    EXPECT_FALSE(json.at("newerSchema").as_bool());
    const auto& servers = json.at("servers").as_array();
    ASSERT_EQ(servers.size(), 2u);
    const auto& first = servers[0].as_object();
    EXPECT_EQ(first.at("slug").as_string(), "orvan-test");
    EXPECT_EQ(first.at("name").as_string(), "Orvan \"beta\"\\");
    EXPECT_EQ(first.at("description").as_string(), "Line one line two");
    EXPECT_EQ(first.at("access").as_string(), "code");
    EXPECT_EQ(first.at("endpoints").as_array()[0].at("label").as_string(), "AUTO");
    const auto& second = servers[1].as_object();
    EXPECT_EQ(second.at("slug").as_string(), "mirela-x9");
    EXPECT_EQ(second.at("name").as_string(), "Mirela \xC3\x97 9");
    EXPECT_EQ(second.at("ratesExp").as_string(), "900");
    EXPECT_EQ(second.at("tags").as_string(), "pvp, reset");
    const auto& endpoints = second.at("endpoints").as_array();
    ASSERT_EQ(endpoints.size(), 2u);
    EXPECT_EQ(endpoints[1].at("region").as_string(), "sa_east");
    EXPECT_EQ(endpoints[1].at("label").as_string(), "sa_east");
    EXPECT_EQ(second.at("channels").as_array()[1].at("name").as_string(), "PvP");
}

TEST(KyrInspect, NewerSchemaAndInvalidUtf8StillGiveValidJson) {
    const std::string arguments = "servers '" + dataFile("newer_schema_bad_utf8.json") + "'";
    const ProgramRun run = runInspect(arguments, "KYR_DEBUG_OUTPUT= ");
    EXPECT_EQ(run.err, "");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    boost::system::error_code ec;
    const boost::json::value json = boost::json::parse(run.out, ec);
    ASSERT_FALSE(ec) << run.out;
    EXPECT_EQ(json.at("schema").as_int64(), 2);
    EXPECT_TRUE(json.at("newerSchema").as_bool());
    EXPECT_NE(run.out.find(R"("raw \u00ff\u00c3 end")"), std::string::npos) << run.out;

    const ProgramRun debug = runInspect(arguments, "KYR_DEBUG_OUTPUT=1 ");
    EXPECT_EQ(debug.out, run.out);
    EXPECT_EQ(debug.err, "[launcher] servers.json schema=2 > 1 soportado: se ignora lo desconocido\n");
}

boost::json::value parsedOutput(const ProgramRun& run) {
    boost::system::error_code ec;
    boost::json::value json = boost::json::parse(run.out, ec);
    EXPECT_FALSE(ec) << run.out;
    return json;
}

class KyrInspectGameFiles : public ::testing::Test {
protected:
    void SetUp() override { std::filesystem::create_directories(local()); }
    std::filesystem::path local() const { return scratch_ / "Data" / "Local"; }
    std::string quoted(const std::filesystem::path& path) const { return "'" + path.string() + "'"; }

    kyrtest::ScratchFolder scratch_;
};

TEST_F(KyrInspectGameFiles, UsageAndRefusals) {
    kyrtest::write_bytes(scratch_ / "large.bmd", std::string(262145, 'x'));
    kyrtest::ValdraMainLayout shortFile;
    shortFile.size = 127;
    const std::filesystem::path shortGame = scratch_ / "short";
    std::filesystem::create_directories(shortGame / "Data" / "Local");
    kyrtest::write_bytes(shortGame / "Data" / "Local" / "valdra.main", kyrtest::encodeValdraMain(shortFile));
    const std::string missingClientFile = (scratch_ / "nowhere" / "Data" / "Local" / "valdra.main").string();

    const struct {
        const char* name;
        std::string arguments;
        int exitCode;
        std::string err;
    } cases[] = {
        {"bmd without a file", "bmd", 2, "kyr-inspect: usage: kyr-inspect bmd FILE\n"},
        {"stamp with two files", "stamp a b", 2, "kyr-inspect: usage: kyr-inspect stamp FILE\n"},
        {"client-servers without a folder", "client-servers", 2,
         "kyr-inspect: usage: kyr-inspect client-servers GAMEDIR\n"},
        {"bmd of a missing file", "bmd " + quoted(scratch_ / "missing.bmd"), 2,
         "kyr-inspect: cannot read " + (scratch_ / "missing.bmd").string() + "\n"},
        {"stamp of a missing file", "stamp " + quoted(scratch_ / "missing"), 2,
         "kyr-inspect: cannot read " + (scratch_ / "missing").string() + "\n"},
        {"bmd larger than the launcher reads", "bmd " + quoted(scratch_ / "large.bmd"), 1,
         "kyr-inspect: " + (scratch_ / "large.bmd").string() +
             " is larger than 262144 bytes: the launcher reads no records from it\n"},
        {"game folder without valdra.main", "client-servers " + quoted(scratch_ / "nowhere"), 2,
         "kyr-inspect: cannot read " + missingClientFile + "\n"},
        {"valdra.main of 127 bytes", "client-servers " + quoted(shortGame), 1,
         "kyr-inspect: " + (shortGame / "Data" / "Local" / "valdra.main").string() +
             " yields no server (shorter than 128 bytes, another magic, or no dotted-quad address)\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ProgramRun run = runInspect(c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, c.err);
    }
}

TEST_F(KyrInspectGameFiles, StampOfAFile) {
    kyrtest::write_bytes(scratch_ / "abc", "abc");
    const ProgramRun run = runInspect("stamp " + quoted(scratch_ / "abc"));
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "3-1a47e90b\n");
    EXPECT_EQ(run.err, "");
}

TEST_F(KyrInspectGameFiles, DecodesServerListBmd) {
    kyrtest::TemplateRecord main;
    main.id = 1;
    main.name = "Principal";
    main.sequence = 4;
    main.settings = {1, 2, 3, 4, 5, 6, 7, 8};
    main.description = std::string("Desc\0", 5);
    kyrtest::write_bytes(local() / "ServerList.bmd", kyrtest::bmdTemplateBytes({main, main}));

    const ProgramRun run = runInspect("bmd " + quoted(local() / "ServerList.bmd"));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const boost::json::value json = parsedOutput(run);
    EXPECT_EQ(json.at("size").as_int64(), 2 * (53 + 5));
    EXPECT_EQ(json.at("undecodedBytes").as_int64(), 0);
    const auto& records = json.at("records").as_array();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1].at("name").as_string(), "Principal");
    EXPECT_EQ(records[1].at("sequence").as_int64(), 4);
    EXPECT_EQ(records[1].at("settings").as_array()[7].as_int64(), 8);
}

TEST_F(KyrInspectGameFiles, PrintsTheClientServers) {
    kyrtest::ValdraMainLayout layout;
    layout.addressA = "127.0.0.1";
    layout.portA = 0;
    layout.flagB = 1;
    layout.portB = 55901;
    layout.addressB = "127.0.0.2";
    kyrtest::write_bytes(local() / "valdra.main", kyrtest::encodeValdraMain(layout));

    const ProgramRun run = runInspect("client-servers " + quoted(scratch_.path()));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const boost::json::value json = parsedOutput(run);
    EXPECT_TRUE(json.at("fromClient").as_bool());
    const auto& servers = json.at("servers").as_array();
    ASSERT_EQ(servers.size(), 2u);
    EXPECT_EQ(servers[0].at("slug").as_string(), "valdra-2");
    EXPECT_EQ(servers[0].at("endpoints").as_array()[0].at("port").as_int64(), 55901);
    EXPECT_EQ(servers[1].at("slug").as_string(), "valdra");
    EXPECT_EQ(servers[1].at("endpoints").as_array()[0].at("ip").as_string(), "127.0.0.1");
    EXPECT_EQ(servers[1].at("endpoints").as_array()[0].at("port").as_int64(), 44000);
}

} // namespace
