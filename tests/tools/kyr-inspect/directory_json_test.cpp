#include "tools/kyr-inspect/directory_json.hpp"

#include <boost/json.hpp>
#include <gtest/gtest.h>

#include <string>

namespace {

TEST(AppendJsonString, EscapesWhatJsonRequiresAndMarksInvalidBytes) {
    const struct {
        const char* name;
        std::string input;
        std::string want;
    } cases[] = {
        {"plain", "Valdra", R"("Valdra")"},
        {"empty", "", R"("")"},
        {"quote and backslash", "a\"b\\c", R"("a\"b\\c")"},
        {"common control bytes", "\n\r\t", R"("\n\r\t")"},
        {"other control bytes", std::string("\0\x01\x1f\x7f", 4), R"("\u0000\u0001\u001f\u007f")"},
        {"slash kept", "a/b", R"("a/b")"},
        {"two-byte sequence kept", "\xC3\xB1", "\"\xC3\xB1\""},
        {"three-byte sequence kept", "\xE2\x82\xAC", "\"\xE2\x82\xAC\""},
        {"four-byte sequence kept", "\xF0\x9F\x98\x80", "\"\xF0\x9F\x98\x80\""},
        {"lone continuation byte",
         "a\x80"
         "b",
         R"("a\u0080b")"},
        {"lead byte at the end", "a\xC3", R"("a\u00c3")"},
        {"lead byte before ASCII",
         "\xC3"
         "a",
         R"("\u00c3a")"},
        {"overlong two-byte form", "\xC0\x80", R"("\u00c0\u0080")"},
        {"overlong three-byte form", "\xE0\x80\x80", R"("\u00e0\u0080\u0080")"},
        {"encoded surrogate", "\xED\xA0\x80", R"("\u00ed\u00a0\u0080")"},
        {"above U+10FFFF", "\xF4\x90\x80\x80", R"("\u00f4\u0090\u0080\u0080")"},
        {"invalid lead byte", "\xFF", R"("\u00ff")"},
        {"truncated four-byte sequence", "\xF0\x9F\x98", R"("\u00f0\u009f\u0098")"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string out = "x";
        inspect::appendJsonString(out, c.input);
        EXPECT_EQ(out, "x" + c.want);
    }
}

TEST(DirectoryToJson, WritesEveryFieldAsValidJson) {
    launcher::ServerDirectory directory;
    directory.schema = 2;
    directory.fromCache = true;
    directory.newerSchema = true;
    launcher::ServerEntry entry;
    entry.slug = "srv";
    entry.name = "N\xC3\xB1 \"q\" \xFF";
    entry.ratesExp = "100";
    entry.order = -3;
    entry.online = 7;
    entry.siteUrl = "line\nbreak";
    entry.endpoints.push_back({"eu", "EU", "127.0.0.1", 80, 2, -1});
    entry.endpoints.push_back({"", "AUTO", "127.0.0.2", 81, 0, 15});
    entry.channels.push_back({255, "Main", "G"});
    directory.servers.push_back(entry);
    directory.servers.push_back(launcher::ServerEntry{});

    boost::system::error_code ec;
    const boost::json::value json = boost::json::parse(inspect::directoryToJson(directory), ec);
    ASSERT_FALSE(ec) << ec.message();
    const auto& root = json.as_object();
    EXPECT_EQ(root.at("schema").as_int64(), 2);
    EXPECT_TRUE(root.at("fromCache").as_bool());
    EXPECT_FALSE(root.at("fromClient").as_bool());
    EXPECT_TRUE(root.at("newerSchema").as_bool());
    const auto& servers = root.at("servers").as_array();
    ASSERT_EQ(servers.size(), 2u);

    const auto& server = servers[0].as_object();
    EXPECT_EQ(server.size(), 18u);
    EXPECT_EQ(server.at("slug").as_string(), "srv");
    // The invalid byte comes back as U+00FF, every other byte as it was.
    EXPECT_EQ(server.at("name").as_string(), "N\xC3\xB1 \"q\" \xC3\xBF");
    EXPECT_EQ(server.at("ratesExp").as_string(), "100");
    EXPECT_EQ(server.at("order").as_int64(), -3);
    EXPECT_EQ(server.at("online").as_int64(), 7);
    EXPECT_EQ(server.at("siteUrl").as_string(), "line\nbreak");
    EXPECT_EQ(server.at("selectedEndpoint").as_int64(), -1);
    const auto& endpoints = server.at("endpoints").as_array();
    ASSERT_EQ(endpoints.size(), 2u);
    EXPECT_EQ(endpoints[0].as_object().at("region").as_string(), "eu");
    EXPECT_EQ(endpoints[0].as_object().at("priority").as_int64(), 2);
    EXPECT_EQ(endpoints[1].as_object().at("label").as_string(), "AUTO");
    EXPECT_EQ(endpoints[1].as_object().at("port").as_int64(), 81);
    EXPECT_EQ(endpoints[1].as_object().at("latencyMs").as_int64(), 15);
    const auto& channels = server.at("channels").as_array();
    ASSERT_EQ(channels.size(), 1u);
    EXPECT_EQ(channels[0].as_object().at("code").as_int64(), 255);
    EXPECT_EQ(channels[0].as_object().at("group").as_string(), "G");

    const auto& empty = servers[1].as_object();
    EXPECT_TRUE(empty.at("endpoints").as_array().empty());
    EXPECT_TRUE(empty.at("channels").as_array().empty());
}

TEST(DirectoryToJson, EmptyDirectoryIsValidJson) {
    boost::system::error_code ec;
    const boost::json::value json = boost::json::parse(inspect::directoryToJson({}), ec);
    ASSERT_FALSE(ec) << ec.message();
    EXPECT_EQ(json.at("schema").as_int64(), 0);
    EXPECT_TRUE(json.at("servers").as_array().empty());
}

} // namespace
