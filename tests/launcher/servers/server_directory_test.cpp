#include "launcher/servers/server_directory.hpp"

#include "launcher/shell/debug_output.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using launcher::parseServerDirectory;
using launcher::ServerDirectory;
using launcher::ServerEntry;

const char kEndpoint[] = R"({"ip":"127.0.0.1","port":7777})";

// A server object with one valid endpoint; extra members go after it.
std::string server(const std::string& slug, const std::string& extra = "") {
    return R"({"slug":")" + slug + R"(","endpoints":[)" + kEndpoint + "]" + extra + "}";
}

std::string document(const std::string& servers, int schema = 1) {
    return R"({"schema":)" + std::to_string(schema) + R"(,"servers":[)" + servers + "]}";
}

std::string joined(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items) {
        text += (text.empty() ? "" : ",") + item;
    }
    return text;
}

// Parses a document that must hold exactly one server and returns it.
ServerEntry onlyServer(const std::string& text) {
    ServerDirectory directory;
    std::string error;
    EXPECT_TRUE(parseServerDirectory(text, directory, &error)) << error << "\n" << text;
    EXPECT_EQ(directory.servers.size(), 1u) << text;
    return directory.servers.empty() ? ServerEntry{} : directory.servers[0];
}

std::vector<std::string> slugsOf(const ServerDirectory& directory) {
    std::vector<std::string> slugs;
    for (const ServerEntry& entry : directory.servers) {
        slugs.push_back(entry.slug);
    }
    return slugs;
}

std::string capturedLines;

void captureLine(const char* text) {
    capturedLines += text;
}

// Routes debugger lines into capturedLines for the life of the test.
struct DebugCapture {
    DebugCapture() {
        capturedLines.clear();
        launcher::debugLineSink = captureLine;
    }
    ~DebugCapture() { launcher::debugLineSink = nullptr; }
};

TEST(ParseServerDirectory, RefusesDocumentsWithTheirReason) {
    const char* const notJson = "La lista de servidores no es un JSON valido.";
    const char* const noServers = "La lista de servidores no trae el campo servers.";
    const char* const noSchema = "La lista de servidores no declara un schema valido.";
    const char* const notList = "El campo servers no es una lista.";
    const char* const empty = "La lista de servidores llego vacia.";
    std::string sixtyFour;
    for (int i = 0; i < 64; ++i) {
        sixtyFour += "1,";
    }
    const struct {
        const char* name;
        std::string text;
        const char* want;
    } cases[] = {
        {"empty text", "", notJson},
        {"only white space", " \r\n\t", notJson},
        {"byte-order mark", "\xEF\xBB\xBF" + document(server("ok")), notJson},
        {"array at the root", "[" + document(server("ok")) + "]", notJson},
        {"unbalanced root object", R"({"schema":1,"servers":[)" + server("ok") + "]", notJson},
        {"unterminated string in the root", R"({"schema":1,"servers":[],"x":"})", notJson},
        {"no servers member", R"({"schema":1,"server":[]})", noServers},
        {"data is not an object", R"({"data":[{"schema":1,"servers":[]}]})", noServers},
        {"data without servers", R"({"data":{"schema":1}})", noServers},
        {"servers only deeper inside data", R"({"data":{"inner":{"schema":1,"servers":[]}}})", noServers},
        {"no schema", R"({"servers":[)" + server("ok") + "]}", noSchema},
        {"schema 0", document(server("ok"), 0), noSchema},
        {"negative schema", document(server("ok"), -1), noSchema},
        {"schema as a string", R"({"schema":"1","servers":[)" + server("ok") + "]}", noSchema},
        {"schema with ten digits", R"({"schema":1000000000,"servers":[]})", noSchema},
        {"schema beside data is not read", R"({"schema":1,"data":{"servers":[)" + server("ok") + "]}}", noSchema},
        {"servers is an object", R"({"schema":1,"servers":{"a":)" + server("ok") + "}}", notList},
        {"servers is a string", R"({"schema":1,"servers":"ok"})", notList},
        {"servers is empty", document(""), empty},
        {"no element is an object", document(R"("ok",1,null,[])"), empty},
        {"no server has a valid slug", document(server("X") + "," + server("a")), empty},
        {"servers without endpoints", document(R"({"slug":"ok"},{"slug":"ok2","endpoints":[]})"), empty},
        {"the only valid server is the 65th", document(sixtyFour + server("late")), empty},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ServerDirectory directory;
        std::string error;
        EXPECT_FALSE(parseServerDirectory(c.text, directory, &error));
        EXPECT_EQ(error, c.want);
        EXPECT_TRUE(directory.servers.empty());
    }
}

TEST(ParseServerDirectory, ResetsSchemaAndServersButNotTheFlags) {
    ServerDirectory directory;
    ASSERT_TRUE(parseServerDirectory(document(server("old")), directory, nullptr));
    directory.fromCache = true;
    directory.fromClient = true;
    directory.newerSchema = false;

    EXPECT_FALSE(parseServerDirectory("not json", directory, nullptr));
    EXPECT_EQ(directory.schema, 0);
    EXPECT_TRUE(directory.servers.empty());
    EXPECT_TRUE(directory.fromCache);
    EXPECT_TRUE(directory.fromClient);
    EXPECT_FALSE(directory.newerSchema);

    ASSERT_TRUE(parseServerDirectory(document(server("new")), directory, nullptr));
    EXPECT_EQ(directory.schema, 1);
    EXPECT_EQ(slugsOf(directory), std::vector<std::string>{"new"});
    EXPECT_TRUE(directory.fromCache);
    EXPECT_TRUE(directory.fromClient);
}

TEST(ParseServerDirectory, ReadsEveryFieldOfAServer) {
    const std::string text = R"({
        "schema": 1,
        "servers": [{
            "slug": "valdra-x5", "name": "Valdra x5", "shortName": "V5", "kind": "fast",
            "description": "Fast \"rates\"", "rates": {"exp": "x5", "drop": 2}, "tags": ["pvp", "new"],
            "order": 3, "access": "code", "state": "online", "online": 120, "maxOnline": 1000,
            "clientVersion": "1.04", "siteUrl": "https://example.invalid/\u00e9",
            "endpoints": [{"region": "EU", "label": "Europe", "ip": "10.0.0.1", "port": 44405, "priority": 2}],
            "channels": [{"code": 7, "name": "Main", "group": "Normal"}],
            "unknownMember": {"ignored": [1, 2]}
        }]
    })";
    const ServerEntry entry = onlyServer(text);
    EXPECT_EQ(entry.slug, "valdra-x5");
    EXPECT_EQ(entry.name, "Valdra x5");
    EXPECT_EQ(entry.shortName, "V5");
    EXPECT_EQ(entry.kind, "fast");
    EXPECT_EQ(entry.description, "Fast \"rates\"");
    EXPECT_EQ(entry.ratesExp, "x5");
    EXPECT_EQ(entry.ratesDrop, "2");
    EXPECT_EQ(entry.tags, "pvp, new");
    EXPECT_EQ(entry.order, 3);
    EXPECT_EQ(entry.access, "code");
    EXPECT_EQ(entry.state, "online");
    EXPECT_EQ(entry.online, 120);
    EXPECT_EQ(entry.maxOnline, 1000);
    EXPECT_EQ(entry.clientVersion, "1.04");
    EXPECT_EQ(entry.siteUrl, "https://example.invalid/\xC3\xA9");
    EXPECT_EQ(entry.selectedEndpoint, -1);
    ASSERT_EQ(entry.endpoints.size(), 1u);
    EXPECT_EQ(entry.endpoints[0].region, "eu");
    EXPECT_EQ(entry.endpoints[0].label, "Europe");
    EXPECT_EQ(entry.endpoints[0].ip, "10.0.0.1");
    EXPECT_EQ(entry.endpoints[0].port, 44405);
    EXPECT_EQ(entry.endpoints[0].priority, 2);
    EXPECT_EQ(entry.endpoints[0].latencyMs, -1);
    ASSERT_EQ(entry.channels.size(), 1u);
    EXPECT_EQ(entry.channels[0].code, 7);
    EXPECT_EQ(entry.channels[0].name, "Main");
    EXPECT_EQ(entry.channels[0].group, "Normal");
}

TEST(ParseServerDirectory, FillsDefaultsForMissingAndBadMembers) {
    const ServerEntry bare = onlyServer(document(server("bare")));
    EXPECT_EQ(bare.name, "bare");
    EXPECT_EQ(bare.access, "public");
    EXPECT_EQ(bare.state, "unknown");
    EXPECT_EQ(bare.order, 0);
    EXPECT_EQ(bare.online, 0);
    EXPECT_EQ(bare.maxOnline, 0);
    EXPECT_EQ(bare.kind, "");
    EXPECT_EQ(bare.tags, "");
    EXPECT_TRUE(bare.channels.empty());

    const ServerEntry bad = onlyServer(document(
        server("bad", R"(,"name":7,"order":"5","online":-5,"maxOnline":-1,"access":" \n","state":[],"rates":"x2")")));
    EXPECT_EQ(bad.name, "bad");
    EXPECT_EQ(bad.order, 0);
    EXPECT_EQ(bad.online, 0);
    EXPECT_EQ(bad.maxOnline, 0);
    EXPECT_EQ(bad.access, "public");
    EXPECT_EQ(bad.state, "unknown");
    EXPECT_EQ(bad.ratesExp, "");
}

TEST(ParseServerDirectory, FirstOfDuplicateMembersCounts) {
    const std::string text = R"({"schema":2,"schema":1,"servers":[)" +
                             server("first", R"(,"slug":"second","name":"A","name":"B")") + R"(],"servers":[]})";
    DebugCapture capture;
    ServerDirectory directory;
    ASSERT_TRUE(parseServerDirectory(text, directory, nullptr));
    EXPECT_EQ(directory.schema, 2);
    ASSERT_EQ(directory.servers.size(), 1u);
    EXPECT_EQ(directory.servers[0].slug, "first");
    EXPECT_EQ(directory.servers[0].name, "A");
}

TEST(ParseServerDirectory, AcceptsOnlyPlainSlugsOfTwoToThirtyTwoBytes) {
    const struct {
        const char* name;
        std::string slug;
        bool accepted;
    } cases[] = {
        {"small letters, digits, hyphens", "valdra-x5-2", true},
        {"two bytes", "ab", true},
        {"thirty-two bytes", std::string(32, 'a'), true},
        {"one byte", "a", false},
        {"thirty-three bytes", std::string(33, 'a'), false},
        {"capital letter", "Valdra", false},
        {"underscore", "val_dra", false},
        {"dot", "val.dra", false},
        {"space", "val dra", false},
        {"non-ASCII",
         "espa\xC3\xB1"
         "a",
         false},
        {"escapes are decoded first", "v\\u0061ldra", true},
        {"decoded capital", "v\\u0041ldra", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ServerDirectory directory;
        const bool ok = parseServerDirectory(document(server(c.slug)), directory, nullptr);
        EXPECT_EQ(ok, c.accepted);
    }
    ServerDirectory directory;
    EXPECT_FALSE(parseServerDirectory(document(R"({"slug":12,"endpoints":[)" + std::string(kEndpoint) + "]}"),
                                      directory, nullptr));
}

TEST(ParseServerDirectory, CleansAndLimitsTextFields) {
    const std::string fifty(50, 'n');
    const struct {
        const char* name;
        std::string nameJson;
        std::string want;
    } cases[] = {
        {"fifty bytes cut to forty", fifty, std::string(40, 'n')},
        {"character across byte forty removed whole",
         std::string(39, 'n') + "\xC3\xB1"
                                "x",
         std::string(39, 'n')},
        {"line feed inside becomes a space", "Valdra\\nx5", "Valdra x5"},
        {"raw control byte becomes a space", "Valdra\tx5", "Valdra x5"},
        {"only control bytes fall back to the slug", "\\n\\t\\u0001", "srv"},
        {"escaped surrogate pair gives two replacements", "a\\uD83D\\uDE00", "a\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"backspace, form feed and CR are dropped", "V\\ba\\fl\\rdra", "Valdra"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ServerEntry entry = onlyServer(document(server("srv", R"(,"name":")" + c.nameJson + "\"")));
        EXPECT_EQ(entry.name, c.want);
    }

    const ServerEntry entry = onlyServer(document(
        server("srv", R"(,"shortName":")" + std::string(20, 's') + R"(","kind":"evento\n","description":")" +
                          std::string(200, 'd') + R"(","access":"CODE  ","state":"online\t","clientVersion":")" +
                          std::string(17, 'v') + R"(","siteUrl":"  a\nb  ")")));
    EXPECT_EQ(entry.shortName, std::string(16, 's'));
    EXPECT_EQ(entry.kind, "evento");
    EXPECT_EQ(entry.description, std::string(160, 'd'));
    EXPECT_EQ(entry.access, "CODE");
    EXPECT_EQ(entry.state, "online");
    EXPECT_EQ(entry.clientVersion, std::string(16, 'v'));
    EXPECT_EQ(entry.siteUrl, "  a\nb  ");
}

TEST(ParseServerDirectory, KeepsOnlyUsableEndpoints) {
    const struct {
        const char* name;
        std::string endpoint;
        bool kept;
        const char* region;
        const char* label;
    } cases[] = {
        {"label given", R"({"region":"eu","label":"Europe","ip":"1.2.3.4","port":1})", true, "eu", "Europe"},
        {"no label, no region", R"({"ip":"1.2.3.4","port":65535})", true, "", "AUTO"},
        {"region normalised and used as label", R"({"region":"SA_East","ip":"1.2.3.4","port":80})", true, "sa_east",
         "sa_east"},
        {"region loses other bytes", R"({"region":"us west!2.b","ip":"1.2.3.4","port":80})", true, "uswest2.b",
         "uswest2.b"},
        {"region cut to sixteen bytes before normalising",
         R"({"region":"a b c d e f g h i j","ip":"1.2.3.4","port":80})", true, "abcdefgh", "abcdefgh"},
        {"region of only dropped bytes", R"({"region":"!!","ip":"1.2.3.4","port":80})", true, "", "AUTO"},
        {"label cut to twenty-four bytes", R"({"label":"0123456789abcdefghijklmnopq","ip":"1.2.3.4","port":80})", true,
         "", "0123456789abcdefghijklmn"},
        {"ip with a trailing line feed", R"({"ip":"1.2.3.4\n","port":80})", true, "", "AUTO"},
        {"host name", R"({"ip":"play.example.invalid","port":80})", false, "", ""},
        {"ip too long, valid once cut to fifteen bytes", R"({"ip":"192.168.100.2001","port":80})", false, "", ""},
        {"ip missing", R"({"port":80})", false, "", ""},
        {"port 0", R"({"ip":"1.2.3.4","port":0})", false, "", ""},
        {"port 65536", R"({"ip":"1.2.3.4","port":65536})", false, "", ""},
        {"negative port", R"({"ip":"1.2.3.4","port":-80})", false, "", ""},
        {"port as a string", R"({"ip":"1.2.3.4","port":"80"})", false, "", ""},
        {"port missing", R"({"ip":"1.2.3.4"})", false, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string servers =
            R"({"slug":"srv","endpoints":[)" + c.endpoint + "," + R"({"ip":"9.9.9.9","port":9})" + "]}";
        const ServerEntry entry = onlyServer(document(servers));
        ASSERT_EQ(entry.endpoints.size(), c.kept ? 2u : 1u);
        if (c.kept) {
            EXPECT_EQ(entry.endpoints[0].region, c.region);
            EXPECT_EQ(entry.endpoints[0].label, c.label);
            EXPECT_EQ(entry.endpoints[0].ip, "1.2.3.4");
        }
        EXPECT_EQ(entry.endpoints.back().ip, "9.9.9.9");
    }
    ServerDirectory directory;
    EXPECT_FALSE(parseServerDirectory(
        document(R"({"slug":"srv","endpoints":[{"ip":"host.invalid","port":1},{"ip":"1.2.3.4","port":0}]})"), directory,
        nullptr));
}

TEST(ParseServerDirectory, ExaminesTheFirstThirtyTwoEndpoints) {
    std::vector<std::string> endpoints = {"\"not an object\"", "[1]"};
    for (int port = 1; port <= 31; ++port) {
        endpoints.push_back(R"({"ip":"1.2.3.4","port":)" + std::to_string(port) + "}");
    }
    const ServerEntry entry = onlyServer(document(R"({"slug":"srv","endpoints":[)" + joined(endpoints) + "]}"));
    ASSERT_EQ(entry.endpoints.size(), 30u);
    EXPECT_EQ(entry.endpoints.front().port, 1);
    EXPECT_EQ(entry.endpoints.back().port, 30);
}

TEST(ParseServerDirectory, KeepsChannelsWithCodesFromZeroTo255) {
    const std::string channels = R"("channels":[{"code":0,"name":"Zero\n","group":"G"},{"code":255},{"code":256},)"
                                 R"({"code":-1},{"name":"no code"},{"code":"3"},7,{"code":3,"name":")" +
                                 std::string(40, 'c') + R"(","group":")" + std::string(40, 'g') + "\"}]";
    const ServerEntry entry = onlyServer(document(server("srv", "," + channels)));
    ASSERT_EQ(entry.channels.size(), 3u);
    EXPECT_EQ(entry.channels[0].code, 0);
    EXPECT_EQ(entry.channels[0].name, "Zero");
    EXPECT_EQ(entry.channels[0].group, "G");
    EXPECT_EQ(entry.channels[1].code, 255);
    EXPECT_EQ(entry.channels[1].name, "");
    EXPECT_EQ(entry.channels[2].code, 3);
    EXPECT_EQ(entry.channels[2].name, std::string(31, 'c'));
    EXPECT_EQ(entry.channels[2].group, std::string(31, 'g'));

    std::vector<std::string> many;
    for (int i = 0; i < 261; ++i) {
        many.push_back(R"({"code":)" + std::to_string(i % 256) + "}");
    }
    const ServerEntry full = onlyServer(document(server("srv", R"(,"channels":[)" + joined(many) + "]")));
    EXPECT_EQ(full.channels.size(), 260u);
}

TEST(ParseServerDirectory, JoinsTheFirstEightNonEmptyTags) {
    const struct {
        const char* name;
        std::string tags;
        const char* want;
    } cases[] = {
        {"one", R"(["pvp"])", "pvp"},
        {"empty and non-string elements skipped", R"(["", 5, "a", {"b":1}, " \n", "c"])", "a, c"},
        {"each cut to sixteen bytes", R"(["0123456789abcdefXYZ"])", "0123456789abcdef"},
        {"ninth element ignored", R"(["1","2","3","4","5","6","7","8","9"])", "1, 2, 3, 4, 5, 6, 7, 8"},
        {"skipped elements count toward the eight", R"([1,2,3,4,5,6,7,8,"late"])", ""},
        {"not an array", R"("pvp")", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(onlyServer(document(server("srv", R"(,"tags":)" + c.tags))).tags, c.want);
    }
}

TEST(ParseServerDirectory, ReadsRatesAsStringsOrNumbers) {
    const struct {
        const char* name;
        const char* rates;
        const char* exp;
        const char* drop;
    } cases[] = {
        {"number and string", R"({"exp":100,"drop":"x2"})", "100", "x2"},
        {"fraction as written", R"({"exp":1.50,"drop":true})", "1.50", "true"},
        {"containers give nothing", R"({"exp":{"a":1},"drop":[2]})", "", ""},
        {"cut to sixteen bytes", R"({"exp":"12345678901234567890"})", "1234567890123456", ""},
        {"not an object", "[100]", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ServerEntry entry = onlyServer(document(server("srv", std::string(R"(,"rates":)") + c.rates)));
        EXPECT_EQ(entry.ratesExp, c.exp);
        EXPECT_EQ(entry.ratesDrop, c.drop);
    }
}

TEST(ParseServerDirectory, ReadsTheServersInsideData) {
    ServerDirectory directory;
    ASSERT_TRUE(
        parseServerDirectory(R"({"data":{"schema":1,"servers":[)" + server("inner") + "]}}", directory, nullptr));
    EXPECT_EQ(directory.schema, 1);
    EXPECT_EQ(slugsOf(directory), std::vector<std::string>{"inner"});

    // "servers" at the root wins over "data", and then the root's schema counts.
    ASSERT_TRUE(parseServerDirectory(R"({"data":{"schema":1,"servers":[)" + server("inner") +
                                         R"(]},"schema":1,"servers":[)" + server("outer") + "]}",
                                     directory, nullptr));
    EXPECT_EQ(slugsOf(directory), std::vector<std::string>{"outer"});
}

TEST(ParseServerDirectory, NewerSchemaIsReadAndReported) {
    DebugCapture capture;
    ServerDirectory directory;
    ASSERT_TRUE(parseServerDirectory(document(server("srv", R"(,"future":{"x":[1]})"), 2), directory, nullptr));
    EXPECT_EQ(directory.schema, 2);
    EXPECT_TRUE(directory.newerSchema);
    EXPECT_EQ(capturedLines, "[launcher] servers.json schema=2 > 1 soportado: se ignora lo desconocido\n");

    capturedLines.clear();
    ServerDirectory current;
    ASSERT_TRUE(parseServerDirectory(document(server("srv")), current, nullptr));
    EXPECT_FALSE(current.newerSchema);
    EXPECT_EQ(capturedLines, "");

    // A refused document still reports its schema but leaves the flag alone, so the directory that a
    // fallback source fills next is not marked.
    ServerDirectory refused;
    EXPECT_FALSE(parseServerDirectory(document("", 999999999), refused, nullptr));
    EXPECT_FALSE(refused.newerSchema);
    EXPECT_EQ(capturedLines, "[launcher] servers.json schema=999999999 > 1 soportado: se ignora lo desconocido\n");
}

TEST(ParseServerDirectory, ExaminesTheFirstSixtyFourElements) {
    std::vector<std::string> elements(63, "null");
    elements.push_back(server("last"));
    elements.push_back(server("late"));
    ServerDirectory directory;
    ASSERT_TRUE(parseServerDirectory(document(joined(elements)), directory, nullptr));
    EXPECT_EQ(slugsOf(directory), std::vector<std::string>{"last"});
}

TEST(ParseServerDirectory, KeepsOnlyTheFirstUsableServerOfASlug) {
    const struct {
        const char* name;
        std::vector<std::string> servers;
        std::vector<std::string> want; // slug:name in directory order
    } cases[] = {
        {"same slug twice", {server("dup", R"(,"name":"A")"), server("dup", R"(,"name":"B")")}, {"dup:A"}},
        {"first of them unusable",
         {R"({"slug":"dup","name":"A","endpoints":[]})", server("dup", R"(,"name":"B")")},
         {"dup:B"}},
        {"a later one would sort first",
         {server("dup", R"(,"order":5,"name":"A")"), server("other", R"(,"order":1,"name":"O")"),
          server("dup", R"(,"order":0,"name":"Z")")},
         {"other:O", "dup:A"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ServerDirectory directory;
        ASSERT_TRUE(parseServerDirectory(document(joined(c.servers)), directory, nullptr));
        std::vector<std::string> got;
        for (const ServerEntry& entry : directory.servers) {
            got.push_back(entry.slug + ":" + entry.name);
        }
        EXPECT_EQ(got, c.want);
    }
}

TEST(ParseServerDirectory, SortsByOrderThenName) {
    const std::string text = document(joined({
        server("s1", R"(,"order":2,"name":"b")"),
        server("s2", R"(,"order":1,"name":"a")"),
        server("s3", R"(,"order":1,"name":"B")"),
        server("s4", R"(,"order":-1,"name":"z")"),
        server("s5", R"(,"name":"y")"),
    }));
    ServerDirectory directory;
    ASSERT_TRUE(parseServerDirectory(text, directory, nullptr));
    EXPECT_EQ(slugsOf(directory), (std::vector<std::string>{"s4", "s5", "s3", "s2", "s1"}));
}

TEST(SortServers, ComparesNamesAsUnsignedBytesAndKeepsTies) {
    const struct {
        const char* slug;
        int order;
        std::string name;
    } input[] = {
        {"accent", 0, "\xC3\x81rbol"}, {"longer", 0, "abc"}, {"prefix", 0, "ab"}, {"tie-1", 0, "m"},
        {"capital", 0, "Zeta"},        {"tie-2", 0, "m"},    {"first", -5, "zz"}, {"tie-3", 0, "m"},
    };
    std::vector<ServerEntry> servers;
    for (const auto& item : input) {
        ServerEntry entry;
        entry.slug = item.slug;
        entry.order = item.order;
        entry.name = item.name;
        servers.push_back(entry);
    }
    launcher::sortServers(servers);
    std::vector<std::string> slugs;
    for (const ServerEntry& entry : servers) {
        slugs.push_back(entry.slug);
    }
    EXPECT_EQ(slugs,
              (std::vector<std::string>{"first", "capital", "prefix", "longer", "tie-1", "tie-2", "tie-3", "accent"}));
}

TEST(FindServer, FindsTheFirstExactSlug) {
    ServerDirectory directory;
    for (const char* slug : {"alpha", "beta", "alpha"}) {
        ServerEntry entry;
        entry.slug = slug;
        directory.servers.push_back(entry);
    }
    const struct {
        const char* slug;
        int want;
    } cases[] = {{"alpha", 0}, {"beta", 1}, {"Beta", -1}, {"bet", -1}, {"gamma", -1}, {"", -1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.slug);
        EXPECT_EQ(launcher::findServer(directory, c.slug), c.want);
    }
    ServerEntry unnamed;
    directory.servers.push_back(unnamed);
    EXPECT_EQ(launcher::findServer(directory, ""), -1);
}

} // namespace
