#include "patch/store_documents.hpp"

#include "patch/errors.hpp"

#include <boost/json/parse.hpp>
#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

using namespace gu::patch;

constexpr const char* kProduct = "valdra7q";
constexpr const char* kPlatform = "windows-x86";

enum class Document { Channel, Manifest, PackIndex };

// Runs what the update run does with a document of this kind: parse, and for a manifest also validate.
void read_document(Document kind, const std::string& text) {
    switch (kind) {
    case Document::Channel:
        parse_channel(text);
        break;
    case Document::Manifest:
        validate_manifest(parse_manifest(text), kProduct, kPlatform);
        break;
    case Document::PackIndex:
        parse_pack_index(text);
        break;
    }
}

std::string error_of(const std::function<void()>& action) {
    try {
        action();
    } catch (const ManifestError& e) {
        return e.what();
    } catch (const std::exception& e) {
        return std::string("<other exception: ") + e.what() + ">";
    }
    return "<no error>";
}

std::string parser_message(const std::string& text) {
    boost::system::error_code ec;
    boost::json::parse(text, ec);
    return ec.message();
}

std::string channel_doc(const std::string& members) {
    return "{" + members + "}";
}

const std::string kChannelMembers =
    R"("product":"valdra7q","channel":"windows","platform":"windows-x86","latest":"1.4.0")";

// A manifest with the given "files" array; the top-level members before it can be replaced.
std::string manifest_doc(const std::string& files,
                         const std::string& head = R"("schema":1,"product":"valdra7q","version":"1.4.0",)"
                                                   R"("platform":"windows-x86","total_size":7)") {
    return "{" + head + R"(,"files":)" + files + "}";
}

// One file "a.bin" of size 7 with the given "chunks" array.
std::string file_doc(const std::string& chunks, const std::string& size = "7") {
    return R"([{"path":"a.bin","size":)" + size + R"(,"sha256":"aa","chunks":)" + chunks + "}]";
}

// A manifest whose files, of size 0 without chunks, have these paths.
std::string empty_files(std::initializer_list<const char*> paths) {
    std::string files;
    for (const char* path : paths) {
        files +=
            std::string(files.empty() ? "[" : ",") + R"({"path":")" + path + R"(","size":0,"sha256":"s","chunks":[]})";
    }
    return manifest_doc(files + "]");
}

const std::string kTwoChunks = R"([{"h":"c1","n":3,"z":2},{"h":"c2","n":4,"z":3}])";

// A pack index with one pack "p0001.pack" of size 100 and the given "chunks" object.
std::string pack_doc(const std::string& chunks) {
    return R"({"schema":1,"channel":"windows","packs":[{"name":"p0001.pack","size":100,"sha256":"ff"}],)"
           R"("chunks":)" +
           chunks + "}";
}

struct ErrorCase {
    const char* name;
    Document kind;
    std::string text;
    std::string want;
};

TEST(StoreDocuments, EveryFailureHasItsExactMessage) {
    const std::string truncated = R"({"schema":1,"product":)";
    const ErrorCase cases[] = {
        // Document level.
        {"M1 channel empty text", Document::Channel, "", "failed to parse channel: " + parser_message("")},
        {"M1 manifest truncated", Document::Manifest, truncated,
         "failed to parse manifest: " + parser_message(truncated)},
        {"M1 pack index bad token", Document::PackIndex, "{schema:1}",
         "failed to parse pack index: " + parser_message("{schema:1}")},
        {"M2 manifest array", Document::Manifest, "[]", "manifest: top-level JSON must be an object"},
        {"M2 channel string", Document::Channel, "\"x\"", "channel: top-level JSON must be an object"},
        {"M2 pack index number", Document::PackIndex, "42", "pack index: top-level JSON must be an object"},

        // Channel.
        {"M3 channel latest", Document::Channel,
         channel_doc(R"("product":"valdra7q","channel":"windows","platform":"windows-x86")"),
         "channel: missing required field \"latest\""},
        {"M3 channel checks product first", Document::Channel, channel_doc(R"("latest":"1")"),
         "channel: missing required field \"product\""},
        {"M4 channel platform", Document::Channel,
         channel_doc(R"("product":"valdra7q","channel":"windows","platform":7,"latest":"1")"),
         "channel: field \"platform\" must be a string"},

        // Manifest structure.
        {"M3 manifest schema", Document::Manifest, R"({"product":"valdra7q"})",
         "manifest: missing required field \"schema\""},
        {"M3 manifest files", Document::Manifest,
         R"({"schema":1,"product":"p","version":"v","platform":"x","total_size":0})",
         "manifest: missing required field \"files\""},
        {"M3 manifest file sha256", Document::Manifest, manifest_doc(R"([{"path":"a","size":0,"chunks":[]}])"),
         "manifest file: missing required field \"sha256\""},
        {"M3 manifest file chunks", Document::Manifest, manifest_doc(R"([{"path":"a","size":0,"sha256":"s"}])"),
         "manifest file: missing required field \"chunks\""},
        {"M3 manifest chunk h", Document::Manifest, manifest_doc(file_doc(R"([{"n":7,"z":1}])")),
         "manifest chunk: missing required field \"h\""},
        {"M4 manifest version", Document::Manifest,
         R"({"schema":1,"product":"p","version":null,"platform":"x","total_size":0,"files":[]})",
         "manifest: field \"version\" must be a string"},
        {"M4 manifest file path", Document::Manifest, manifest_doc(R"([{"path":3,"size":"x"}])"),
         "manifest file: field \"path\" must be a string"},
        {"M5 manifest schema string", Document::Manifest, R"({"schema":"1"})",
         "manifest: field \"schema\" must be a number"},
        {"M5 manifest file size string", Document::Manifest, manifest_doc(file_doc(kTwoChunks, "\"7\"")),
         "manifest file: field \"size\" must be a number"},
        {"M5 manifest chunk z bool", Document::Manifest, manifest_doc(file_doc(R"([{"h":"c","n":7,"z":true}])")),
         "manifest chunk: field \"z\" must be a number"},
        {"M6 manifest total size", Document::Manifest,
         R"({"schema":1,"product":"p","version":"v","platform":"x","total_size":-1,"files":[]})",
         "manifest: field \"total_size\" must be >= 0"},
        {"M6 manifest file size", Document::Manifest, manifest_doc(file_doc(kTwoChunks, "-1")),
         "manifest file: field \"size\" must be >= 0"},
        {"M6 manifest chunk n", Document::Manifest, manifest_doc(file_doc(R"([{"h":"c","n":-5,"z":1}])")),
         "manifest chunk: field \"n\" must be >= 0"},
        {"M7 preserve object", Document::Manifest,
         R"({"schema":1,"product":"p","version":"v","platform":"x","total_size":0,"preserve":{},"files":[]})",
         "manifest: field \"preserve\" must be an array"},
        {"M7 preserve null", Document::Manifest,
         R"({"schema":1,"product":"p","version":"v","platform":"x","total_size":0,"preserve":null,"files":[]})",
         "manifest: field \"preserve\" must be an array"},
        {"M8 preserve number", Document::Manifest,
         R"({"schema":1,"product":"p","version":"v","platform":"x","total_size":0,"preserve":["a",1],"files":[]})",
         "manifest: \"preserve\" entries must be strings"},
        {"M8 before the files", Document::Manifest,
         R"({"schema":1,"product":"p","version":"v","platform":"x","total_size":0,"preserve":[null],"files":7})",
         "manifest: \"preserve\" entries must be strings"},
        {"M9 files object", Document::Manifest, manifest_doc("{}"), "manifest: field \"files\" must be an array"},
        {"M10 file number", Document::Manifest, manifest_doc("[1]"), "manifest: file entries must be objects"},
        {"M10 after a good file", Document::Manifest,
         manifest_doc(R"([{"path":"a","size":0,"sha256":"s","chunks":[]},[]])"),
         "manifest: file entries must be objects"},
        {"M11 chunks object", Document::Manifest, manifest_doc(file_doc("{}")),
         "manifest file \"a.bin\": \"chunks\" must be an array"},
        {"M12 chunk array", Document::Manifest, manifest_doc(file_doc(R"([{"h":"c1","n":7,"z":2},[]])")),
         "manifest file \"a.bin\": chunk entries must be objects"},

        // Manifest semantics, in their order.
        {"M13 schema 2", Document::Manifest,
         manifest_doc(file_doc(kTwoChunks), R"("schema":2,"product":"x",)"
                                            R"("version":"v","platform":"y","total_size":0)"),
         "manifest: unsupported schema 2"},
        {"M13 schema 0 from a fraction", Document::Manifest,
         manifest_doc("[]",
                      R"("schema":0.99,"product":"valdra7q","version":"v","platform":"windows-x86","total_size":0)"),
         "manifest: unsupported schema 0"},
        {"M13 negative schema", Document::Manifest,
         manifest_doc("[]",
                      R"("schema":-3,"product":"valdra7q","version":"v","platform":"windows-x86","total_size":0)"),
         "manifest: unsupported schema -3"},
        {"M14 product differs in case", Document::Manifest,
         manifest_doc("[]", R"("schema":1,"product":"Valdra7q","version":"v","platform":"other","total_size":0)"),
         "manifest: product mismatch (expected \"valdra7q\", got \"Valdra7q\")"},
        {"M15 platform", Document::Manifest,
         manifest_doc("[]", R"("schema":1,"product":"valdra7q","version":"v","platform":"windows-x64","total_size":0)"),
         "manifest: platform mismatch (expected \"windows-x86\", got \"windows-x64\")"},
        {"M16 traversal", Document::Manifest, manifest_doc(R"([{"path":"../x","size":0,"sha256":"s","chunks":[]}])"),
         "manifest: unsafe file path \"../x\""},
        {"M16 backslash", Document::Manifest, manifest_doc(R"([{"path":"a\\b","size":0,"sha256":"s","chunks":[]}])"),
         "manifest: unsafe file path \"a\\b\""},
        {"M16 before the sizes of the same file", Document::Manifest,
         manifest_doc(R"([{"path":"C:/x","size":9,"sha256":"s","chunks":[]}])"), "manifest: unsafe file path \"C:/x\""},
        {"device name", Document::Manifest, empty_files({"Data/com1.dat"}),
         "manifest: unsafe file path \"Data/com1.dat\": \"com1.dat\" is a reserved device name on Windows"},
        {"device name with an extension", Document::Manifest, empty_files({"ok", "NUL.txt"}),
         "manifest: unsafe file path \"NUL.txt\": \"NUL.txt\" is a reserved device name on Windows"},
        {"trailing blank", Document::Manifest, empty_files({"Data /x"}),
         "manifest: unsafe file path \"Data /x\": Windows drops a trailing dot or blank from \"Data \""},
        {"trailing dot", Document::Manifest, empty_files({"x."}),
         "manifest: unsafe file path \"x.\": Windows drops a trailing dot or blank from \"x.\""},
        {"patch state", Document::Manifest, empty_files({"patchstate.json"}),
         "manifest: unsafe file path \"patchstate.json\": the updater's own file"},
        {"updater's part file", Document::Manifest, empty_files({"Data/Main.exe.updpart"}),
         "manifest: unsafe file path \"Data/Main.exe.updpart\": the updater's own file"},
        {"staged file", Document::Manifest, empty_files({".updstage/Main.exe"}),
         "manifest: unsafe file path \".updstage/Main.exe\": the updater's own file"},
        {"repeated path", Document::Manifest, empty_files({"a", "Data/x", "b", "Data/x"}),
         "manifest: file path \"Data/x\" clashes with \"Data/x\": the same file on Windows"},
        {"paths differing in case", Document::Manifest, empty_files({"Data/Map.bmd", "data/map.BMD"}),
         "manifest: file path \"data/map.BMD\" clashes with \"Data/Map.bmd\": the same file on Windows"},
        {"paths differing by a dot segment", Document::Manifest, empty_files({"./x", "x"}),
         "manifest: file path \"x\" clashes with \"./x\": the same file on Windows"},
        {"file, then a folder of that name", Document::Manifest, empty_files({"Data", "b", "DATA/x"}),
         "manifest: file path \"DATA/x\" clashes with \"Data\": a file and a folder of the same name on Windows"},
        {"folder, then a file of that name", Document::Manifest, empty_files({"a/b/c", "A/B"}),
         "manifest: file path \"A/B\" clashes with \"a/b/c\": a file and a folder of the same name on Windows"},
        {"file below a known folder, then its folder", Document::Manifest, empty_files({"a/b/c", "a/b/d", "a"}),
         "manifest: file path \"a\" clashes with \"a/b/c\": a file and a folder of the same name on Windows"},
        {"M17 sum differs", Document::Manifest, manifest_doc(file_doc(kTwoChunks, "8")),
         "manifest: file \"a.bin\" chunk sizes sum to 7 but size is 8"},
        {"M17 empty chunks need size 0", Document::Manifest, manifest_doc(file_doc("[]", "3")),
         "manifest: file \"a.bin\" chunk sizes sum to 0 but size is 3"},
        {"M17 a wrapped sum never matches", Document::Manifest,
         manifest_doc(file_doc(R"([{"h":"c1","n":18446744073709551615,"z":1},{"h":"c2","n":2,"z":1}])", "1")),
         "manifest: file \"a.bin\" chunk sizes sum to 1 but size is 1"},
        {"M17 of the second file", Document::Manifest,
         manifest_doc(R"([{"path":"a","size":0,"sha256":"s","chunks":[]},)"
                      R"({"path":"b","size":1,"sha256":"s","chunks":[{"h":"c","n":2,"z":1}]}])"),
         "manifest: file \"b\" chunk sizes sum to 2 but size is 1"},

        // Pack index.
        {"M3 pack index schema", Document::PackIndex, R"({"channel":"w"})",
         "pack index: missing required field \"schema\""},
        {"M5 pack index schema", Document::PackIndex, R"({"schema":null})",
         "pack index: field \"schema\" must be a number"},
        {"M18 before any other member", Document::PackIndex, R"({"schema":2,"packs":5})",
         "pack index: unsupported schema 2"},
        {"M3 pack index channel", Document::PackIndex, R"({"schema":1,"packs":[],"chunks":{}})",
         "pack index: missing required field \"channel\""},
        {"M3 pack index packs", Document::PackIndex, R"({"schema":1,"channel":"w","chunks":{}})",
         "pack index: missing required field \"packs\""},
        {"M19 packs object", Document::PackIndex, R"({"schema":1,"channel":"w","packs":{},"chunks":{}})",
         "pack index: \"packs\" must be an array"},
        {"M20 pack string", Document::PackIndex, R"({"schema":1,"channel":"w","packs":["p"],"chunks":{}})",
         "pack index: pack entry must be an object"},
        {"M4 pack name", Document::PackIndex,
         R"({"schema":1,"channel":"w","packs":[{"name":[],"size":1,"sha256":"s"}],"chunks":{}})",
         "pack index: field \"name\" must be a string"},
        {"M6 pack size", Document::PackIndex,
         R"({"schema":1,"channel":"w","packs":[{"name":"p","size":-1,"sha256":"s"}],"chunks":{}})",
         "pack index: field \"size\" must be >= 0"},
        {"M3 pack sha256 before the name rule", Document::PackIndex,
         R"({"schema":1,"channel":"w","packs":[{"name":"..","size":1}],"chunks":{}})",
         "pack index: missing required field \"sha256\""},
        {"M21 two dots", Document::PackIndex,
         R"({"schema":1,"channel":"w","packs":[{"name":"..","size":1,"sha256":"s"}],"chunks":{}})",
         "pack index: unsafe pack name \"..\""},
        {"M21 slash", Document::PackIndex,
         R"({"schema":1,"channel":"w","packs":[{"name":"a/b","size":1,"sha256":"s"}],"chunks":{}})",
         "pack index: unsafe pack name \"a/b\""},
        {"M21 empty", Document::PackIndex,
         R"({"schema":1,"channel":"w","packs":[{"name":"","size":1,"sha256":"s"}],"chunks":{}})",
         "pack index: unsafe pack name \"\""},
        {"M3 pack index chunks", Document::PackIndex, R"({"schema":1,"channel":"w","packs":[]})",
         "pack index: missing required field \"chunks\""},
        {"M22 chunks array", Document::PackIndex, pack_doc("[]"), "pack index: \"chunks\" must be an object"},
        {"M23 two elements", Document::PackIndex, pack_doc(R"({"h1":[0,1]})"),
         "pack index: chunk \"h1\" must map to [pack, offset, len]"},
        {"M23 four elements", Document::PackIndex, pack_doc(R"({"h1":[0,1,1,1]})"),
         "pack index: chunk \"h1\" must map to [pack, offset, len]"},
        {"M23 not an array", Document::PackIndex, pack_doc(R"({"h1":{"pack":0}})"),
         "pack index: chunk \"h1\" must map to [pack, offset, len]"},
        {"M24 minus one", Document::PackIndex, pack_doc(R"({"h1":[-1,0,1]})"),
         "pack index: chunk \"h1\": pack out of range"},
        {"M24 past the last pack", Document::PackIndex, pack_doc(R"({"h1":[1,0,1]})"),
         "pack index: chunk \"h1\": pack out of range"},
        {"M24 beyond 32 bits", Document::PackIndex, pack_doc(R"({"h1":[4294967296,0,1]})"),
         "pack index: chunk \"h1\": pack out of range"},
        {"M24 before the range", Document::PackIndex, pack_doc(R"({"h1":[3,0,0]})"),
         "pack index: chunk \"h1\": pack out of range"},
        {"M25 fractional offset", Document::PackIndex, pack_doc(R"({"h1":[0,1.0,1]})"),
         "pack index: chunk \"h1\": non-integer location"},
        {"M25 read before the pack range", Document::PackIndex, pack_doc(R"({"h1":[9,0,"1"]})"),
         "pack index: chunk \"h1\": non-integer location"},
        {"M25 null pack", Document::PackIndex, pack_doc(R"({"h1":[null,0,1]})"),
         "pack index: chunk \"h1\": non-integer location"},
        {"M26 zero length", Document::PackIndex, pack_doc(R"({"h1":[0,0,0]})"),
         "pack index: chunk \"h1\": range outside pack \"p0001.pack\""},
        {"M26 starts at the end", Document::PackIndex, pack_doc(R"({"h1":[0,100,1]})"),
         "pack index: chunk \"h1\": range outside pack \"p0001.pack\""},
        {"M26 runs past the end", Document::PackIndex, pack_doc(R"({"h1":[0,50,51]})"),
         "pack index: chunk \"h1\": range outside pack \"p0001.pack\""},
        {"M26 offset minus one", Document::PackIndex, pack_doc(R"({"h1":[0,-1,1]})"),
         "pack index: chunk \"h1\": range outside pack \"p0001.pack\""},
        {"M26 length that would wrap", Document::PackIndex, pack_doc(R"({"h1":[0,1,18446744073709551615]})"),
         "pack index: chunk \"h1\": range outside pack \"p0001.pack\""},
        {"M26 of the second chunk", Document::PackIndex, pack_doc(R"({"h1":[0,0,100],"h2":[0,101,1]})"),
         "pack index: chunk \"h2\": range outside pack \"p0001.pack\""},
    };
    for (const ErrorCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(error_of([&] { read_document(c.kind, c.text); }), c.want);
    }
}

TEST(ParseChannel, ReadsEveryMember) {
    const Channel channel = parse_channel(
        channel_doc(kChannelMembers + R"(,"min_supported":"1.0","updated_at":"2026-01-02","min_client_ios":"3",)"
                                      R"("min_client_android":"4","extra":[1])"));
    EXPECT_EQ(channel.product, "valdra7q");
    EXPECT_EQ(channel.channel, "windows");
    EXPECT_EQ(channel.platform, "windows-x86");
    EXPECT_EQ(channel.latest, "1.4.0");
    EXPECT_EQ(channel.min_supported, "1.0");
    EXPECT_EQ(channel.updated_at, "2026-01-02");
    EXPECT_EQ(channel.min_client_ios, "3");
    EXPECT_EQ(channel.min_client_android, "4");
}

TEST(ParseChannel, OptionalMembersOfAnotherKindReadAsEmpty) {
    const Channel channel =
        parse_channel(channel_doc(kChannelMembers + R"(,"min_supported":1,"updated_at":null,"min_client_ios":[])"));
    EXPECT_EQ(channel.min_supported, "");
    EXPECT_EQ(channel.updated_at, "");
    EXPECT_EQ(channel.min_client_ios, "");
    EXPECT_EQ(channel.min_client_android, "");
}

TEST(ParseChannel, EmptyLatestParses) {
    EXPECT_EQ(parse_channel(R"({"product":"p","channel":"c","platform":"x","latest":""})").latest, "");
}

TEST(ParseManifest, ReadsTheWholeStructure) {
    const Manifest manifest = parse_manifest(
        R"({"schema":1,"product":"valdra7q","channel":"windows","version":"1.4.0","platform":"windows-x86",)"
        R"("total_size":12,"preserve":["Data/Local/*.ini","launcher.ini"],"files":[)"
        R"({"path":"b/second.bin","size":12.9,"sha256":"bb","chunks":[{"h":"c1","n":5,"z":3},{"h":"c2","n":7,"z":4}]},)"
        R"({"path":"a/first.bin","size":0,"sha256":"aa","chunks":[],"unknown":true}]})");
    EXPECT_EQ(manifest.schema, 1);
    EXPECT_EQ(manifest.product, "valdra7q");
    EXPECT_EQ(manifest.channel, "windows");
    EXPECT_EQ(manifest.version, "1.4.0");
    EXPECT_EQ(manifest.platform, "windows-x86");
    EXPECT_EQ(manifest.total_size, 12u);
    EXPECT_EQ(manifest.preserve, (std::vector<std::string>{"Data/Local/*.ini", "launcher.ini"}));
    ASSERT_EQ(manifest.files.size(), 2u);
    const ManifestFile& first = manifest.files[0];
    EXPECT_EQ(first.path, "b/second.bin");
    EXPECT_EQ(first.size, 12u);
    EXPECT_EQ(first.sha256, "bb");
    ASSERT_EQ(first.chunks.size(), 2u);
    EXPECT_EQ(first.chunks[1].h, "c2");
    EXPECT_EQ(first.chunks[1].n, 7u);
    EXPECT_EQ(first.chunks[1].z, 4u);
    EXPECT_EQ(manifest.files[1].path, "a/first.bin");
    EXPECT_TRUE(manifest.files[1].chunks.empty());
    EXPECT_NO_THROW(validate_manifest(manifest, kProduct, kPlatform));
}

TEST(ParseManifest, OptionalMembersMayBeAbsent) {
    const Manifest manifest = parse_manifest(manifest_doc("[]"));
    EXPECT_EQ(manifest.channel, "");
    EXPECT_TRUE(manifest.preserve.empty());
    EXPECT_TRUE(manifest.files.empty());
}

TEST(ParseManifest, StructureOnlyLeavesTheChecksToValidation) {
    const std::string text =
        manifest_doc(R"([{"path":"../x","size":5,"sha256":"s","chunks":[]}])",
                     R"("schema":9,"product":"other","version":"v","platform":"mac","total_size":0)");
    const Manifest manifest = parse_manifest(text);
    EXPECT_EQ(manifest.schema, 9);
    EXPECT_EQ(error_of([&] { validate_manifest(manifest, kProduct, kPlatform); }), "manifest: unsupported schema 9");
}

TEST(ParseManifest, LaterDuplicateMembersWinAsInTheJsonParser) {
    // The earlier "files" is not even an array: only the last occurrence of a key counts.
    const Manifest manifest =
        parse_manifest(R"({"schema":1,"product":"valdra7q","version":"v1","platform":"windows-x86","total_size":0,)"
                       R"("files":{},"version":"v2","files":[{"path":"x","size":0,"sha256":"s","chunks":[]}]})");
    EXPECT_EQ(manifest.version, "v2");
    ASSERT_EQ(manifest.files.size(), 1u);
    EXPECT_EQ(manifest.files[0].path, "x");
}

TEST(ValidateManifest, AcceptsSafePathsWithMatchingSums) {
    const Manifest manifest = parse_manifest(manifest_doc(
        R"([{"path":"./x","size":0,"sha256":"s","chunks":[]},)"
        R"({"path":"Data/Local/a.bmd","size":9,"sha256":"s","chunks":[{"h":"c","n":4,"z":1},{"h":"c","n":5,"z":1}]}])"));
    EXPECT_NO_THROW(validate_manifest(manifest, kProduct, kPlatform));
}

TEST(ParsePackIndex, ReadsPacksAndLocations) {
    const PackIndex index =
        parse_pack_index(R"({"schema":1,"channel":"windows","version":"1.4.0","packs":[)"
                         R"({"name":"p0001.pack","size":100,"sha256":"f1"},{"name":".","size":5,"sha256":"f2"}],)"
                         R"("chunks":{"c1":[0,0,100],"c2":[0,99,1],"c3":[1,4,1]}})");
    EXPECT_EQ(index.schema, 1);
    EXPECT_EQ(index.channel, "windows");
    EXPECT_EQ(index.version, "1.4.0");
    ASSERT_EQ(index.packs.size(), 2u);
    EXPECT_EQ(index.packs[0].name, "p0001.pack");
    EXPECT_EQ(index.packs[0].size, 100u);
    EXPECT_EQ(index.packs[0].sha256, "f1");
    EXPECT_EQ(index.packs[1].name, ".");
    ASSERT_EQ(index.chunks.size(), 3u);
    const ChunkLocation& last_byte = index.chunks.at("c2");
    EXPECT_EQ(last_byte.pack, 0u);
    EXPECT_EQ(last_byte.offset, 99u);
    EXPECT_EQ(last_byte.length, 1u);
    EXPECT_EQ(index.chunks.at("c3").pack, 1u);
    EXPECT_EQ(index.chunks.at("c1").length, 100u);
}

TEST(ParsePackIndex, VersionIsOptional) {
    EXPECT_EQ(parse_pack_index(pack_doc("{}")).version, "");
}

TEST(ParsePackIndex, DuplicateChunkKeysKeepTheParsersLastValue) {
    // The JSON parser keeps the last value of a repeated key, so an invalid earlier value is never seen.
    const PackIndex shadowed = parse_pack_index(pack_doc(R"({"h":[0,0,0],"h":[0,5,2]})"));
    ASSERT_EQ(shadowed.chunks.size(), 1u);
    EXPECT_EQ(shadowed.chunks.at("h").offset, 5u);
    EXPECT_EQ(error_of([] { parse_pack_index(pack_doc(R"({"h":[0,5,2],"h":[0,0,0]})")); }),
              "pack index: chunk \"h\": range outside pack \"p0001.pack\"");
}

} // namespace
