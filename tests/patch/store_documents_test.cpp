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
    const ErrorCase cases[] = {
        // Document level.
        {"channel empty text", Document::Channel, "", "failed to parse channel: " + parser_message("")},
        {"manifest array", Document::Manifest, "[]", "manifest: top-level JSON must be an object"},

        // Channel.
        {"channel latest", Document::Channel,
         channel_doc(R"("product":"valdra7q","channel":"windows","platform":"windows-x86")"),
         "channel: missing required field \"latest\""},
        {"channel platform", Document::Channel,
         channel_doc(R"("product":"valdra7q","channel":"windows","platform":7,"latest":"1")"),
         "channel: field \"platform\" must be a string"},

        // Manifest structure.
        {"manifest schema", Document::Manifest, R"({"product":"valdra7q"})",
         "manifest: missing required field \"schema\""},
        {"manifest file sha256", Document::Manifest, manifest_doc(R"([{"path":"a","size":0,"chunks":[]}])"),
         "manifest file: missing required field \"sha256\""},
        {"manifest file size string", Document::Manifest, manifest_doc(file_doc(kTwoChunks, "\"7\"")),
         "manifest file: field \"size\" must be a number"},
        {"manifest file size", Document::Manifest, manifest_doc(file_doc(kTwoChunks, "-1")),
         "manifest file: field \"size\" must be >= 0"},
        {"preserve object", Document::Manifest,
         R"({"schema":1,"product":"p","version":"v","platform":"x","total_size":0,"preserve":{},"files":[]})",
         "manifest: field \"preserve\" must be an array"},
        {"files object", Document::Manifest, manifest_doc("{}"), "manifest: field \"files\" must be an array"},
        {"file number", Document::Manifest, manifest_doc("[1]"), "manifest: file entries must be objects"},
        {"chunks object", Document::Manifest, manifest_doc(file_doc("{}")),
         "manifest file \"a.bin\": \"chunks\" must be an array"},

        // Manifest semantics, in their order.
        {"schema 2", Document::Manifest,
         manifest_doc(file_doc(kTwoChunks), R"("schema":2,"product":"x",)"
                                            R"("version":"v","platform":"y","total_size":0)"),
         "manifest: unsupported schema 2"},
        {"product differs in case", Document::Manifest,
         manifest_doc("[]", R"("schema":1,"product":"Valdra7q","version":"v","platform":"other","total_size":0)"),
         "manifest: product mismatch (expected \"valdra7q\", got \"Valdra7q\")"},
        {"platform", Document::Manifest,
         manifest_doc("[]", R"("schema":1,"product":"valdra7q","version":"v","platform":"windows-x64","total_size":0)"),
         "manifest: platform mismatch (expected \"windows-x86\", got \"windows-x64\")"},
        {"traversal", Document::Manifest, manifest_doc(R"([{"path":"../x","size":0,"sha256":"s","chunks":[]}])"),
         "manifest: unsafe file path \"../x\""},
        {"device name", Document::Manifest, empty_files({"Data/com1.dat"}),
         "manifest: unsafe file path \"Data/com1.dat\": \"com1.dat\" is a reserved device name on Windows"},
        {"trailing blank", Document::Manifest, empty_files({"Data /x"}),
         "manifest: unsafe file path \"Data /x\": Windows drops a trailing dot or blank from \"Data \""},
        {"patch state", Document::Manifest, empty_files({"patchstate.json"}),
         "manifest: unsafe file path \"patchstate.json\": the updater's own file"},
        {"repeated path", Document::Manifest, empty_files({"a", "Data/x", "b", "Data/x"}),
         "manifest: file path \"Data/x\" clashes with \"Data/x\": the same file on Windows"},
        {"paths differing in case", Document::Manifest, empty_files({"Data/Map.bmd", "data/map.BMD"}),
         "manifest: file path \"data/map.BMD\" clashes with \"Data/Map.bmd\": the same file on Windows"},
        {"file, then a folder of that name", Document::Manifest, empty_files({"Data", "b", "DATA/x"}),
         "manifest: file path \"DATA/x\" clashes with \"Data\": a file and a folder of the same name on Windows"},
        {"folder, then a file of that name", Document::Manifest, empty_files({"a/b/c", "A/B"}),
         "manifest: file path \"A/B\" clashes with \"a/b/c\": a file and a folder of the same name on Windows"},
        {"sum differs", Document::Manifest, manifest_doc(file_doc(kTwoChunks, "8")),
         "manifest: file \"a.bin\" chunk sizes sum to 7 but size is 8"},
        {"a wrapped sum never matches", Document::Manifest,
         manifest_doc(file_doc(R"([{"h":"c1","n":18446744073709551615,"z":1},{"h":"c2","n":2,"z":1}])", "1")),
         "manifest: file \"a.bin\" chunk sizes sum to 1 but size is 1"},

        // Pack index.
        {"pack index schema", Document::PackIndex, R"({"channel":"w"})",
         "pack index: missing required field \"schema\""},
        {"before any other member", Document::PackIndex, R"({"schema":2,"packs":5})",
         "pack index: unsupported schema 2"},
        {"two dots", Document::PackIndex,
         R"({"schema":1,"channel":"w","packs":[{"name":"..","size":1,"sha256":"s"}],"chunks":{}})",
         "pack index: unsafe pack name \"..\""},
        {"two elements", Document::PackIndex, pack_doc(R"({"h1":[0,1]})"),
         "pack index: chunk \"h1\" must map to [pack, offset, len]"},
        {"past the last pack", Document::PackIndex, pack_doc(R"({"h1":[1,0,1]})"),
         "pack index: chunk \"h1\": pack out of range"},
        {"beyond 32 bits", Document::PackIndex, pack_doc(R"({"h1":[4294967296,0,1]})"),
         "pack index: chunk \"h1\": pack out of range"},
        {"fractional offset", Document::PackIndex, pack_doc(R"({"h1":[0,1.0,1]})"),
         "pack index: chunk \"h1\": non-integer location"},
        {"starts at the end", Document::PackIndex, pack_doc(R"({"h1":[0,100,1]})"),
         "pack index: chunk \"h1\": range outside pack \"p0001.pack\""},
        {"runs past the end", Document::PackIndex, pack_doc(R"({"h1":[0,50,51]})"),
         "pack index: chunk \"h1\": range outside pack \"p0001.pack\""},
        {"length that would wrap", Document::PackIndex, pack_doc(R"({"h1":[0,1,18446744073709551615]})"),
         "pack index: chunk \"h1\": range outside pack \"p0001.pack\""},
    };
    for (const ErrorCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(error_of([&] { read_document(c.kind, c.text); }), c.want);
    }
}

// A valid manifest and pack index parse whole, ranges up to the last byte of a pack included.
TEST(StoreDocuments, ValidDocumentsAreReadWhole) {
    const Manifest manifest = parse_manifest(
        R"({"schema":1,"product":"valdra7q","channel":"windows","version":"1.4.0","platform":"windows-x86",)"
        R"("total_size":12,"preserve":["Data/Local/*.ini"],"files":[)"
        R"({"path":"b/second.bin","size":12,"sha256":"bb","chunks":[{"h":"c1","n":5,"z":3},{"h":"c2","n":7,"z":4}]},)"
        R"({"path":"a/first.bin","size":0,"sha256":"aa","chunks":[],"unknown":true}]})");
    EXPECT_NO_THROW(validate_manifest(manifest, kProduct, kPlatform));
    EXPECT_EQ(manifest.version, "1.4.0");
    EXPECT_EQ(manifest.preserve, (std::vector<std::string>{"Data/Local/*.ini"}));
    ASSERT_EQ(manifest.files.size(), 2u);
    ASSERT_EQ(manifest.files[0].chunks.size(), 2u);
    EXPECT_EQ(manifest.files[0].chunks[1].h, "c2");
    EXPECT_EQ(manifest.files[0].chunks[1].n, 7u);
    EXPECT_EQ(manifest.files[0].chunks[1].z, 4u);

    const PackIndex index = parse_pack_index(pack_doc(R"({"c1":[0,0,100],"c2":[0,99,1]})"));
    ASSERT_EQ(index.packs.size(), 1u);
    EXPECT_EQ(index.packs[0].sha256, "ff");
    const ChunkLocation& last_byte = index.chunks.at("c2");
    EXPECT_EQ(last_byte.pack, 0u);
    EXPECT_EQ(last_byte.offset, 99u);
    EXPECT_EQ(last_byte.length, 1u);
}

} // namespace
