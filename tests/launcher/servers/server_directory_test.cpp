#include "launcher/servers/server_directory.hpp"

#include "launcher/shell/debug_output.hpp"

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

std::string repeated(const std::string& item, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        text += item + ",";
    }
    return text;
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
        for (const ServerEndpoint& endpoint : entry.endpoints) {
            out += " " + endpoint.ip + ":" + std::to_string(endpoint.port) + " " + endpoint.region + " " +
                   endpoint.label;
        }
    }
    return out;
}

TEST(ParseServerDirectory, RefusesBadDocumentsAndSkipsBadEntries) {
    const std::string ok = " 127.0.0.1:7777  AUTO";
    const std::string notJson = "refused: La lista de servidores no es un JSON valido.";
    const std::string noSchema = "refused: La lista de servidores no declara un schema valido.";
    const std::string empty = "refused: La lista de servidores llego vacia.";
    const std::string ep = R"(,{"ip":"127.0.0.1","port":7777}]})";
    const struct {
        const char* name;
        std::string text;
        std::string want;
    } cases[] = {
        {"empty text", "", notJson},
        {"byte-order mark", "\xEF\xBB\xBF" + document(server("ok")), notJson},
        {"unbalanced root", R"({"schema":1,"servers":[)" + server("ok") + "]", notJson},
        {"no servers member", R"({"schema":1,"server":[]})", "refused: La lista de servidores no trae el campo servers."},
        {"no schema", R"({"servers":[)" + server("ok") + "]}", noSchema},
        {"schema 0", document(server("ok"), 0), noSchema},
        {"schema as a string", R"({"schema":"1","servers":[)" + server("ok") + "]}", noSchema},
        {"servers not a list", R"({"schema":1,"servers":{"a":1}})", "refused: El campo servers no es una lista."},
        {"servers empty", document(""), empty},
        {"no endpoints", document(R"({"slug":"ok","endpoints":[]})"), empty},
        {"only the 65th element usable", document(repeated("1", 64) + server("late")), empty},
        {"64th element read", document(repeated("null", 63) + server("last") + "," + server("late")), "last" + ok},
        {"inside data", R"({"data":{"schema":1,"servers":[)" + server("in") + "]}}", "in" + ok},
        {"slug of two bytes", document(server("ab")), "ab" + ok},
        {"slug of one byte", document(server("a")), empty},
        {"slug of 32 bytes", document(server(std::string(32, 'a'))), std::string(32, 'a') + ok},
        {"slug of 33 bytes", document(server(std::string(33, 'a'))), empty},
        {"slug with a capital", document(server("Valdra")), empty},
        {"slug with an underscore", document(server("val_dra")), empty},
        {"slug escape decoded first", document(server("v\\u0061l")), "val" + ok},
        {"first usable of a slug wins",
         document(R"({"slug":"dup","endpoints":[]},)" + server("dup") + "," + server("dup", R"(,"order":-1)")),
         "dup" + ok},
        {"port 1 and 65535, region cleaned",
         document(R"({"slug":"sv","endpoints":[{"region":"SA East!","ip":"1.2.3.4","port":1},)"
                  R"({"label":"L","ip":"1.2.3.4","port":65535}]})"),
         "sv 1.2.3.4:1 saeast saeast 1.2.3.4:65535  L"},
        {"port 0 skipped", document(R"({"slug":"sv","endpoints":[{"ip":"1.2.3.4","port":0})" + ep), "sv" + ok},
        {"port 65536 skipped", document(R"({"slug":"sv","endpoints":[{"ip":"1.2.3.4","port":65536})" + ep),
         "sv" + ok},
        {"port as a string skipped", document(R"({"slug":"sv","endpoints":[{"ip":"1.2.3.4","port":"80"})" + ep),
         "sv" + ok},
        {"host name skipped", document(R"({"slug":"sv","endpoints":[{"ip":"a.example","port":80})" + ep), "sv" + ok},
        {"ip valid only once cut to 15 bytes",
         document(R"({"slug":"sv","endpoints":[{"ip":"192.168.100.2001","port":80})" + ep), "sv" + ok},
        {"33rd endpoint not examined",
         document(R"({"slug":"sv","endpoints":[)" + repeated("1", 32) + R"({"ip":"1.2.3.4","port":80}]})"), empty},
        {"sorted by order then name bytes",
         document(server("s1", R"(,"order":2)") + "," + server("s2", R"(,"name":"b")") + "," +
                  server("s3", R"(,"name":"B")") + "," + server("s4", R"(,"order":-1)")),
         "s4" + ok + " | s3" + ok + " | s2" + ok + " | s1" + ok},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(summary(c.text), c.want);
    }
}

TEST(ParseServerDirectory, ReadsCleansAndLimitsTheFields) {
    const std::string channels = R"(,"channels":[{"code":0,"name":"Zero\n","group":"G"},{"code":255},{"code":256},)"
                                 R"({"code":-1},{"code":"3"},7])";
    const std::string text = document(server(
        "srv", R"(,"name":")" + std::string(39, 'n') + "\xC3\xB1" + R"(x","kind":"evento\n","order":"5",)" +
                   R"("description":")" + std::string(200, 'd') + R"(","rates":{"exp":100,"drop":"x2"},)" +
                   R"("tags":["", 5, "a", "0123456789abcdefXYZ"],"online":-5,"maxOnline":1000,)" +
                   R"("access":" \n","state":[],"siteUrl":"  a\nb  ")" + channels));
    ServerDirectory directory;
    ASSERT_TRUE(parseServerDirectory(text, directory, nullptr));
    ASSERT_EQ(directory.servers.size(), 1u);
    const ServerEntry& entry = directory.servers[0];
    EXPECT_EQ(entry.name, std::string(39, 'n'));
    EXPECT_EQ(entry.kind, "evento");
    EXPECT_EQ(entry.order, 0);
    EXPECT_EQ(entry.description, std::string(160, 'd'));
    EXPECT_EQ(entry.ratesExp + "/" + entry.ratesDrop, "100/x2");
    EXPECT_EQ(entry.tags, "a, 0123456789abcdef");
    EXPECT_EQ(entry.online, 0);
    EXPECT_EQ(entry.maxOnline, 1000);
    EXPECT_EQ(entry.access + "/" + entry.state, "public/unknown");
    EXPECT_EQ(entry.siteUrl, "  a\nb  ");
    ASSERT_EQ(entry.channels.size(), 2u);
    EXPECT_EQ(entry.channels[0].code, 0);
    EXPECT_EQ(entry.channels[0].name + "/" + entry.channels[0].group, "Zero/G");
    EXPECT_EQ(entry.channels[1].code, 255);
}

TEST(ParseServerDirectory, NewerSchemaIsReadAndReportedAndAFailureResetsOnlyTheServers) {
    static std::string lines;
    lines.clear();
    debugLineSink = [](const char* text) { lines += text; };
    ServerDirectory directory;
    directory.fromCache = true;
    ASSERT_TRUE(parseServerDirectory(document(server("srv", R"(,"future":{"x":[1]})"), 2), directory, nullptr));
    EXPECT_TRUE(directory.newerSchema);
    EXPECT_EQ(lines, "[launcher] servers.json schema=2 > 1 soportado: se ignora lo desconocido\n");

    directory.newerSchema = false;
    EXPECT_FALSE(parseServerDirectory(document("", 3), directory, nullptr));
    debugLineSink = nullptr;
    EXPECT_FALSE(directory.newerSchema) << "a refused newer document marks nothing";
    EXPECT_TRUE(directory.servers.empty());
    EXPECT_TRUE(directory.fromCache);
}

TEST(FindServer, FindsTheFirstExactSlug) {
    ServerDirectory directory;
    for (const char* slug : {"alpha", "beta", "alpha", ""}) {
        directory.servers.emplace_back().slug = slug;
    }
    const struct {
        const char* slug;
        int want;
    } cases[] = {{"alpha", 0}, {"beta", 1}, {"Beta", -1}, {"bet", -1}, {"", -1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.slug);
        EXPECT_EQ(findServer(directory, c.slug), c.want);
    }
}

} // namespace
} // namespace launcher
