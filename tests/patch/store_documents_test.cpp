#include "patch/store_documents.hpp"

#include "patch/errors.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

using namespace gu::patch;

// A manifest of files of size 0 without chunks at these paths, or with the given "files" array.
std::string manifest(const std::string& files, const std::string& head = R"("schema":1,"product":"valdra7q",)"
                                                                         R"("platform":"windows-x86")") {
    return "{" + head + R"(,"version":"1.4.0","total_size":7,"files":)" + files + "}";
}
std::string empty_files(std::initializer_list<const char*> paths) {
    std::string files;
    for (const char* path : paths) {
        files +=
            std::string(files.empty() ? "[" : ",") + R"({"path":")" + path + R"(","size":0,"sha256":"s","chunks":[]})";
    }
    return manifest(files + "]");
}
// One file "a.bin" of this size with chunks of 3 and 4 bytes, or the given "chunks" array.
std::string sized_file(const std::string& size,
                       const std::string& chunks = R"([{"h":"c1","n":3,"z":2},{"h":"c2","n":4,"z":3}])") {
    return manifest(R"([{"path":"a.bin","size":)" + size + R"(,"sha256":"aa","chunks":)" + chunks + "}]");
}
// A pack index with one pack "p0001.pack" of size 100 and the given "chunks" object.
std::string pack_index(const std::string& chunks, const std::string& name = "p0001.pack") {
    return R"({"schema":1,"channel":"windows","packs":[{"name":")" + name +
           R"(","size":100,"sha256":"ff"}],"chunks":)" + chunks + "}";
}

// A channel document with these members besides the four required ones.
std::string channel(const std::string& members) {
    return R"({"product":"p","channel":"c","platform":"x","latest":"1")" + (members.empty() ? "" : "," + members) + "}";
}

// Signed documents are still checked whole: each fault is refused with its own message.
TEST(StoreDocuments, MalformedOrUnsafeDocumentsAreRefused) {
    struct Case {
        char kind; // c channel, m manifest (parsed and validated), p pack index
        std::string text;
        std::string want; // empty: accepted
    };
    const std::string unsafe = "manifest: unsafe file path ";
    const std::string bad_expiry = R"(channel: field "expires" must be a UTC time such as "2027-01-06T12:00:00Z")";
    const std::string outside = "pack index: chunk \"h1\": range outside pack \"p0001.pack\"";
    const Case cases[] = {
        {'c', R"({"product":"p","channel":"c","platform":"x"})", "channel: missing required field \"latest\""},
        {'c', channel(R"("expires":"2100-02-29T00:00:00Z")"), bad_expiry},
        {'c', channel(R"("expires":"2027-01-06 12:00:00Z")"), bad_expiry},
        {'c', channel(R"("expires":"2027-01-06T12:00:00+01:00")"), bad_expiry},
        {'c', channel(R"("expires":1799236800)"), "channel: field \"expires\" must be a string"},
        {'c', channel(R"("serial":"42")"), "channel: field \"serial\" must be a number"},
        {'m', "[]", "manifest: top-level JSON must be an object"},
        {'m', manifest("[]", R"("schema":2,"product":"valdra7q","platform":"windows-x86")"),
         "manifest: unsupported schema 2"},
        {'m', manifest("[]", R"("schema":1,"product":"Valdra7q","platform":"windows-x86")"),
         "manifest: product mismatch (expected \"valdra7q\", got \"Valdra7q\")"},
        {'m', manifest("[]", R"("schema":1,"product":"valdra7q","platform":"windows-x64")"),
         "manifest: platform mismatch (expected \"windows-x86\", got \"windows-x64\")"},
        {'m', empty_files({"ok/../../x"}), unsafe + "\"ok/../../x\""},
        {'m', empty_files({"Data/com1.dat"}),
         unsafe + "\"Data/com1.dat\": \"com1.dat\" is a reserved device name on Windows"},
        {'m', empty_files({"Data /x"}), unsafe + "\"Data /x\": Windows drops a trailing dot or blank from \"Data \""},
        {'m', empty_files({"Data/Map.bmd", "data/map.BMD"}),
         "manifest: file path \"data/map.BMD\" clashes with \"Data/Map.bmd\": the same file on Windows"},
        {'m', empty_files({"Data/\xc3\x84.txt", "data/\xc3\xa4.TXT"}),
         "manifest: file path \"data/\xc3\xa4.TXT\" clashes with \"Data/\xc3\x84.txt\": the same file on Windows"},
        {'m', empty_files({"a/b/c", "A/B"}),
         "manifest: file path \"A/B\" clashes with \"a/b/c\": a file and a folder of the same name on Windows"},
        {'m', sized_file("7"), ""},
        {'m', sized_file("8"), "manifest: file \"a.bin\" chunk sizes sum to 7 but size is 8"},
        {'m', sized_file("1", R"([{"h":"c1","n":18446744073709551615,"z":1},{"h":"c2","n":2,"z":1}])"),
         "manifest: file \"a.bin\" chunk sizes sum to 1 but size is 1"},
        {'p', pack_index("{}", ".."), "pack index: unsafe pack name \"..\""},
        {'p', pack_index(R"({"h1":[0,1]})"), "pack index: chunk \"h1\" must map to [pack, offset, len]"},
        {'p', pack_index(R"({"h1":[0,99,1]})"), ""},
        {'p', pack_index(R"({"h1":[1,0,1]})"), "pack index: chunk \"h1\": pack out of range"},
        {'p', pack_index(R"({"h1":[4294967296,0,1]})"), "pack index: chunk \"h1\": pack out of range"},
        {'p', pack_index(R"({"h1":[0,100,1]})"), outside},
        {'p', pack_index(R"({"h1":[0,50,51]})"), outside},
        {'p', pack_index(R"({"h1":[0,1,18446744073709551615]})"), outside},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::string error;
        try {
            if (c.kind == 'c') {
                parse_channel(c.text);
            } else if (c.kind == 'm') {
                validate_manifest(parse_manifest(c.text), "valdra7q", "windows-x86");
            } else {
                const PackIndex index = parse_pack_index(c.text);
                EXPECT_EQ(index.chunks.at("h1").offset, 99u);
                EXPECT_EQ(index.chunks.at("h1").length, 1u);
            }
        } catch (const ManifestError& e) {
            error = e.what();
        }
        EXPECT_EQ(error, c.want);
    }
}

// The serial against the newest one accepted; the expiry against now (times from Python's calendar.timegm).
TEST(StoreDocuments, OlderSerialLessOrExpiredChannelsAreRefused) {
    struct Case {
        std::string members;
        std::optional<std::uint64_t> accepted;
        std::int64_t now;
        std::string want; // empty: accepted
    };
    const std::string expired = "the store's channel expired at ";
    const Case cases[] = {
        {"", std::nullopt, 0, ""},
        {R"("serial":41)", 42, 0,
         "the store offers an older channel (serial 41) than this installation already had (serial 42)"},
        {R"("serial":42)", 42, 0, ""},
        {"", 42, 0, "the store offers a channel without a serial, but this installation already had serial 42"},
        {R"("serial":42,"expires":"2027-01-06T12:00:00Z")", 42, 1799236799, ""},
        {R"("expires":"2027-01-06T12:00:00Z")", std::nullopt, 1799236800,
         expired + "2027-01-06T12:00:00Z (now 2027-01-06T12:00:00Z): the store is no longer kept current"},
        {R"("expires":"2000-02-29T23:59:59Z")", std::nullopt, 951868798, ""},
        {R"("expires":"2000-02-29T23:59:59Z")", std::nullopt, 1835481600,
         expired + "2000-02-29T23:59:59Z (now 2028-03-01T00:00:00Z): the store is no longer kept current"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.members + " now " + std::to_string(c.now));
        std::string error;
        try {
            check_channel_freshness(parse_channel(channel(c.members)), c.accepted, c.now);
        } catch (const ManifestError& e) {
            error = e.what();
        }
        EXPECT_EQ(error, c.want);
    }
}

} // namespace
