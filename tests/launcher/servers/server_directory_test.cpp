#include "launcher/servers/server_directory.hpp"

#include "launcher/servers/endpoint_choice.hpp"
#include "launcher/servers/latency_display.hpp"
#include "launcher/servers/text_rules.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace launcher {
namespace {

std::string server(const std::string& slug, const std::string& extra = "") {
    return R"({"slug":")" + slug + R"(","endpoints":[{"ip":"127.0.0.1","port":7777}])" + extra + "}";
}

std::string document(const std::string& servers, int schema = 1) {
    return R"({"schema":)" + std::to_string(schema) + R"(,"servers":[)" + servers + "]}";
}

std::string endpoints(const std::string& first, int padding = 0) {
    std::string list;
    for (int i = 0; i < padding; ++i) {
        list += "1,";
    }
    return document(R"({"slug":"sv","endpoints":[)" + list + first + R"(,{"ip":"127.0.0.1","port":7777}]})");
}

// "slug" of each server, then "ip:port region label" of each endpoint: a whole parse on one line.
std::string summary(const std::string& text) {
    ServerDirectory directory;
    std::string error;
    if (!parseServerDirectory(text, directory, &error)) {
        return "refused: " + error;
    }
    std::string out;
    for (const ServerEntry& entry : directory.servers) {
        out += (out.empty() ? "" : " | ") + entry.slug;
        for (const ServerEndpoint& e : entry.endpoints) {
            out += " " + e.ip + ":" + std::to_string(e.port) + " " + e.region + " " + e.label;
        }
    }
    return out;
}

TEST(ParseServerDirectory, RefusesBadDocumentsAndSkipsBadEntries) {
    const std::string ok = " 127.0.0.1:7777  AUTO", notJson = "refused: La lista de servidores no es un JSON valido.",
                      noSchema = "refused: La lista de servidores no declara un schema valido.",
                      empty = "refused: La lista de servidores llego vacia.";
    std::string sixtyFour;
    for (int i = 0; i < 64; ++i) {
        sixtyFour += "1,";
    }
    const struct {
        std::string text, want;
    } cases[] = {
        {"", notJson},
        {"\xEF\xBB\xBF" + document(server("ok")), notJson},
        {R"({"schema":1,"server":[]})", "refused: La lista de servidores no trae el campo servers."},
        {document(server("ok"), 0), noSchema},
        {R"({"schema":1,"servers":{"a":1}})", "refused: El campo servers no es una lista."},
        {document(R"({"slug":"ok","endpoints":[]})"), empty},
        {document(sixtyFour + server("late")), empty},
        {document(sixtyFour.substr(2) + server("last")), "last" + ok},
        {R"({"data":{"schema":1,"servers":[)" + server("in") + "]}}", "in" + ok},
        {document(server("ab")), "ab" + ok},
        {document(server("a")), empty},
        {document(server(std::string(33, 'a'))), empty},
        {document(server("Valdra") + "," + server("v_a")), empty},
        {document(server("v\\u0061l")), "val" + ok},
        {document(R"({"slug":"dup","endpoints":[]},)" + server("dup") + "," + server("dup", R"(,"order":-1)")),
         "dup" + ok},
        {document(server("s1", R"(,"order":2)") + "," + server("s2", R"(,"name":"b")") + "," +
                  server("s3", R"(,"name":"B")")),
         "s3" + ok + " | s2" + ok + " | s1" + ok},
        {endpoints(R"({"region":"SA East!","ip":"1.2.3.4","port":65535})"), "sv 1.2.3.4:65535 saeast saeast" + ok},
        {endpoints(R"({"label":"L","ip":"1.2.3.4","port":1})"), "sv 1.2.3.4:1  L" + ok},
        {endpoints(R"({"ip":"1.2.3.4","port":0})"), "sv" + ok},
        {endpoints(R"({"ip":"1.2.3.4","port":65536})"), "sv" + ok},
        {endpoints(R"({"ip":"a.example","port":80})"), "sv" + ok},
        {endpoints(R"({"ip":"192.168.100.2001","port":80})"), "sv" + ok},
        {endpoints(R"({"ip":"1.2.3.4","port":80})", 31), "sv 1.2.3.4:80  AUTO"},
        {endpoints(R"({"ip":"1.2.3.4","port":80})", 32), empty}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 120));
        EXPECT_EQ(summary(c.text), c.want);
    }
}

TEST(TextRules, CleanTextAndIPv4Literals) {
    EXPECT_EQ(cleanText(std::string("\n\na\r\n\t\0z \n ", 11), 16), "a z");
    EXPECT_EQ(cleanText("ab\ncd", 3), "ab") << "a control byte's space counts toward the limit";
    EXPECT_EQ(cleanText("ab \xE2\x82\xAC", 5), "ab ") << "a cut sequence goes whole, the space before stays";
    for (const char* no : {"256.0.0.1", "1.2.3.256", "1.2.3", "1.2.3.4.5", "1..2.3", "0001.2.3.4", " 1.2.3.4"}) {
        EXPECT_FALSE(isIPv4Literal(no)) << no;
    }
    EXPECT_TRUE(isIPv4Literal("255.255.255.255"));
}

struct Ep {
    int latency, priority;
};

ServerEntry serverWith(const std::string& slug, const std::vector<Ep>& endpoints, int pinned = -1) {
    ServerEntry server;
    server.slug = slug;
    server.selectedEndpoint = pinned;
    for (const Ep& e : endpoints) {
        server.endpoints.push_back({"eu", "eu", "127.0.0.1", 7000, e.priority, e.latency});
    }
    return server;
}

TEST(EndpointChoice, FollowsPinThenLatencyThenPriorityThenOrder) {
    const struct {
        std::vector<Ep> endpoints;
        int pinned, want;
    } cases[] = {{{}, 0, -1},
                 {{{40, 2}, {40, 1}}, -1, 1},
                 {{{40, 1}, {40, 2}}, -1, 0},
                 {{{40, 1}, {35, 9}}, -1, 1},
                 {{{-1, 0}, {0, 5}}, -1, 1},
                 {{{-2, 5}, {-1, 3}}, -1, 1},
                 {{{10, 0}, {999, 9}}, 1, 1},
                 {{{50, 0}, {20, 0}}, 2, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.endpoints.size());
        EXPECT_EQ(chooseEndpoint(serverWith("s", c.endpoints, c.pinned)), c.want);
    }
    const struct {
        int selected, count, direction, want;
    } steps[] = {{-1, 3, 1, 0}, {2, 3, 1, -1}, {-1, 3, -1, 2}, {0, 3, -1, -1}, {7, 3, 1, 0}, {0, 1, 1, -1}};
    for (const auto& c : steps) {
        SCOPED_TRACE(std::to_string(c.selected) + " by " + std::to_string(c.direction));
        EXPECT_EQ(stepPinnedEndpoint(c.selected, c.count, c.direction), c.want);
    }
}

TEST(LatencyDisplay, TextAndColourFollowTheThresholds) {
    const struct {
        int latency;
        const char* text;
        std::uint32_t colour;
    } cases[] = {{-1, "-- ms", 0x585050},
                 {79, "79 ms", 0x5EC522},
                 {80, "80 ms", 0x1C9FFF},
                 {179, "179 ms", 0x1C9FFF},
                 {180, "180 ms", 0x4A30D9}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.latency);
        EXPECT_EQ(latencyText(c.latency), c.text);
        EXPECT_EQ(latencyColour(c.latency), c.colour);
    }
}

} // namespace
} // namespace launcher
