// The real kyr-inspect program on the sample documents in tests/data/servers and on game files made by the
// test helpers: what it prints, what it refuses, and its exit codes; and the JSON text it writes.

#include "tools/kyr-inspect/directory_json.hpp"

#include "support/bmd_template.hpp"
#include "support/process_posix.hpp"
#include "support/scratch_folder.hpp"
#include "support/valdra_main_encoder.hpp"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

namespace fs = std::filesystem;

std::string dataFile(const char* name) {
    return std::string(std::getenv("KYR_TEST_DATA") != nullptr ? std::getenv("KYR_TEST_DATA") : "tests/data") +
           "/servers/" + name;
}

// Through the shell, which also starts a cross-built program through its emulator's wrapper.
kyrtest::ProcessResult runInspect(const std::string& arguments) {
    const std::string command = "KYR_DEBUG_OUTPUT= '" + std::string(KYR_INSPECT_PATH) + "' " + arguments;
    return kyrtest::runProcess({"/bin/sh", "-c", command}, std::chrono::seconds(60));
}

TEST(KyrInspect, PrintsWhatItReadsAndRefusesWithItsExitCodes) {
    const kyrtest::ScratchFolder scratch;
    const auto quoted = [&](const fs::path& path) { return "'" + path.string() + "'"; };
    kyrtest::TemplateRecord main;
    main.name = "Principal";
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
    const std::string missing = dataFile("does_not_exist.json");
    const auto servers = [](const char* file) { return "servers '" + dataFile(file) + "'"; };
    const struct {
        std::string arguments;
        int exitCode;
        std::vector<std::string> want; // parts of stdout for exit code 0, else the start of stderr
    } cases[] = {
        {servers("two_servers.json"),
         0,
         {"\"slug\": \"orvan-test\"", "\"name\": \"Orvan \\\"beta\\\"\\\\\"", "\"name\": \"Mirela \xC3\x97 9\"",
          "\"region\": \"sa_east\", \"label\": \"sa_east\"", "\"newerSchema\": false"}},
        {servers("newer_schema_bad_utf8.json"), 0, {"\"newerSchema\": true", "\"raw \\u00ff\\u00c3 end\""}},
        {servers("no_usable_server.json"), 1, {"La lista de servidores llego vacia.\n"}},
        {servers("byte_order_mark.json"), 1, {"La lista de servidores no es un JSON valido.\n"}},
        {"servers '" + missing + "'", 2, {"kyr-inspect: cannot read " + missing + "\n"}},
        {"", 2, {"usage: kyr-inspect"}},
        {"stamp " + quoted(scratch / "abc"), 0, {"3-1a47e90b\n"}},
        {"bmd " + quoted(scratch / "ServerList.bmd"),
         0,
         {"\"name\": \"Principal\"", "\"name\": \"Bad \\u00ff name\"", "\"undecodedBytes\": 0", "\"size\": 116"}},
        {"bmd " + quoted(scratch / "large.bmd"),
         1,
         {"kyr-inspect: " + (scratch / "large.bmd").string() + " is larger than 262144 bytes: the launcher reads no"}},
        {"client-servers " + quoted(scratch / "game"),
         0,
         {"\"slug\": \"valdra-2\"", "\"port\": 55901", "\"ip\": \"127.0.0.1\", \"port\": 44000"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        const kyrtest::ProcessResult run = runInspect(c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode);
        for (const std::string& part : c.want) {
            const bool found = c.exitCode == 0 ? run.out.find(part) != std::string::npos : run.err.rfind(part, 0) == 0;
            EXPECT_TRUE(found) << part << " in\n" << run.out << run.err;
        }
        EXPECT_EQ(c.exitCode == 0 ? run.err : run.out, "");
    }
}

// Every byte that is not valid UTF-8 is shown as the code point of its value, so the output is valid JSON.
TEST(AppendJsonString, EscapesWhatJsonRequiresAndMarksInvalidBytes) {
    const struct {
        const char* name;
        std::string input;
        std::string want;
    } cases[] = {
        {"quote and backslash", "a\"b\\c/", R"("a\"b\\c/")"},
        {"control bytes", std::string("\n\r\t\0\x1f\x7f", 6), R"("\n\r\t\u0000\u001f\u007f")"},
        {"sequences of two, three and four bytes kept", "\xC3\xB1\xE2\x82\xAC\xF0\x9F\x98\x80",
         "\"\xC3\xB1\xE2\x82\xAC\xF0\x9F\x98\x80\""},
        {"lead byte at the end", "a\xC3", R"("a\u00c3")"},
        {"overlong two-byte forms", "\xC0\x80\xC1\xBF", R"("\u00c0\u0080\u00c1\u00bf")"},
        {"overlong three-byte form", "\xE0\x80\x80", R"("\u00e0\u0080\u0080")"},
        {"encoded surrogate", "\xED\xA0\x80", R"("\u00ed\u00a0\u0080")"},
        {"truncated four-byte sequence", "\xF0\x9F\x98", R"("\u00f0\u009f\u0098")"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string out = "x";
        inspect::appendJsonString(out, c.input);
        EXPECT_EQ(out, "x" + c.want);
    }
}

} // namespace
