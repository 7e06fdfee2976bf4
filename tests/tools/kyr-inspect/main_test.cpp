// Runs the real kyr-inspect program on the sample documents in tests/data/servers.

#include <boost/json.hpp>
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

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
    const std::filesystem::path errPath =
        std::filesystem::temp_directory_path() / ("kyr-inspect-test-" + std::to_string(getpid()) + ".err");
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

} // namespace
