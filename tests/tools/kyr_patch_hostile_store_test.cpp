// A store that lies: documents with unsafe paths under a valid signature, documents changed after
// signing, a chunk object and a pack with flipped bytes. The updater refuses what it cannot trust, with the
// engine's message, and writes nothing it could not verify.

#include "support/game_folder.hpp"
#include "support/scratch_folder.hpp"
#include "support/store_folder_server.hpp"
#include "support/update_scenario_posix.hpp"

#include "patch/zstd_codec.hpp"

#include <boost/json.hpp>
#include <gtest/gtest.h>
#include <sodium.h>

#include <functional>
#include <map>

namespace {

namespace fs = std::filesystem;
using kyrtest::GameFiles;
using kyrtest::HttpRequest;
using kyrtest::HttpResponse;

const std::string kChannel = "v1/channels/windows.json";
const std::string kManifest = "v1/manifests/windows-x86/1.0.0.json";
const std::string kPackIndex = "v1/packs/index-windows.json";

std::string base64(const unsigned char* bytes, std::size_t size) {
    std::string text(sodium_base64_ENCODED_LEN(size, sodium_base64_VARIANT_ORIGINAL), '\0');
    sodium_bin2base64(text.data(), text.size(), bytes, size, sodium_base64_VARIANT_ORIGINAL);
    text.resize(text.size() - 1); // the terminating NUL
    return text;
}

// A key pair of the test's own, standing for an attacker who holds a key, or for an operator who signs
// whatever the test makes.
class OwnKey {
public:
    OwnKey() {
        if (sodium_init() < 0) {
            throw std::runtime_error("libsodium cannot start");
        }
        crypto_sign_keypair(public_, secret_);
    }
    std::string publicKeyBase64() const { return base64(public_, sizeof public_); }
    // The text of a ".sig" object, as kyr-store writes it.
    std::string signatureText(const std::string& document) const {
        unsigned char signature[crypto_sign_BYTES];
        crypto_sign_detached(signature, nullptr, reinterpret_cast<const unsigned char*>(document.data()),
                             document.size(), secret_);
        return base64(signature, sizeof signature) + "\n";
    }

private:
    unsigned char public_[crypto_sign_PUBLICKEYBYTES];
    unsigned char secret_[crypto_sign_SECRETKEYBYTES];
};

// Store path -> the bytes served instead of the stored ones.
using Replacements = std::map<std::string, std::string>;

// Serves a store folder with some objects replaced. With a signer, every ".sig" is made afresh over the
// document as served, so a replaced document is correctly signed for a client that trusts that key.
class TamperedStore {
public:
    TamperedStore(const fs::path& folder, Replacements replaced, const OwnKey* signer)
        : folder_(folder), replaced_(std::move(replaced)), signer_(signer),
          server_(folder, [this](const HttpRequest& request, HttpResponse honest) {
              return answer(request, std::move(honest));
          }) {}

    std::string baseUrl() const { return server_.baseUrl(); }

private:
    std::string served(const std::string& path) const {
        const auto found = replaced_.find(path);
        return found != replaced_.end() ? found->second : kyrtest::read_bytes(folder_ / path);
    }

    HttpResponse answer(const HttpRequest& request, HttpResponse honest) const {
        const std::string path = request.target.substr(1);
        const std::string sigSuffix = ".sig";
        const bool isSignature = path.size() > sigSuffix.size() &&
                                 path.compare(path.size() - sigSuffix.size(), sigSuffix.size(), sigSuffix) == 0;
        if (signer_ != nullptr && isSignature) {
            return kyrtest::serveObject(request,
                                        signer_->signatureText(served(path.substr(0, path.size() - sigSuffix.size()))));
        }
        if (replaced_.count(path) != 0) {
            return kyrtest::serveObject(request, replaced_.at(path));
        }
        return honest;
    }

    const fs::path folder_;
    const Replacements replaced_;
    const OwnKey* signer_;
    kyrtest::StoreFolderServer server_;
};

boost::json::object readJson(const fs::path& file) {
    return boost::json::parse(kyrtest::read_bytes(file)).as_object();
}

std::vector<std::string> filesBelow(const fs::path& folder) {
    std::vector<std::string> found;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
        if (!entry.is_directory()) {
            found.push_back(entry.path().lexically_relative(folder).generic_string());
        }
    }
    return found;
}

class HostileStore : public ::testing::Test {
protected:
    fs::path store() const { return scenario_->storeOne(); }
    std::string stored(const std::string& path) const { return kyrtest::read_bytes(store() / path); }

    // The stored manifest with the path of its last file replaced.
    std::string manifestWithPath(const std::string& unsafe) const {
        boost::json::object manifest = readJson(store() / kManifest);
        manifest.at("files").as_array().back().as_object()["path"] = unsafe;
        return boost::json::serialize(manifest);
    }

    const kyrtest::UpdateScenario* scenario_ = &kyrtest::sharedScenario(KYR_STORE_PATH);
    kyrtest::ScratchFolder work_;
};

TEST_F(HostileStore, RefusesDocumentsThatAreUnsafeOrNotSignedByTheTrustedKey) {
    const OwnKey ownKey;
    std::string flippedManifest = stored(kManifest);
    flippedManifest[flippedManifest.size() / 2] ^= 0x01;
    std::string movedChannel = stored(kChannel);
    movedChannel.replace(movedChannel.find("\"1.0.0\""), 7, "\"2.0.0\"");
    const struct {
        const char* name;
        Replacements replaced;
        bool signedByOwnKey; // every ".sig" made with ownKey
        bool trustOwnKey;    // the client trusts ownKey, not the publisher's key
        std::string want;
    } cases[] = {
        {"manifest naming a parent folder, correctly signed",
         {{kManifest, manifestWithPath("../evil")}},
         true,
         true,
         "manifest: unsafe file path \"../evil\""},
        {"manifest climbing out through a folder, correctly signed",
         {{kManifest, manifestWithPath("a/../../b")}},
         true,
         true,
         "manifest: unsafe file path \"a/../../b\""},
        {"channel changed after signing",
         {{kChannel, movedChannel}},
         false,
         false,
         "signature verification failed for \"" + kChannel + "\""},
        {"manifest with one byte flipped after signing",
         {{kManifest, flippedManifest}},
         false,
         false,
         "signature verification failed for \"" + kManifest + "\""},
        {"documents signed by a key the client does not trust",
         {},
         true,
         false,
         "signature verification failed for \"" + kChannel + "\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TamperedStore server(store(), c.replaced, c.signedByOwnKey ? &ownKey : nullptr);
        const fs::path place = work_ / c.name;
        fs::create_directories(place);
        const std::string key = c.trustOwnKey ? ownKey.publicKeyBase64() : scenario_->publicKey();

        const kyrtest::InProcessRun run =
            kyrtest::runUpdate({server.baseUrl()}, kyrtest::quickConfig(place / "root", key));
        EXPECT_FALSE(run.result.ok);
        EXPECT_EQ(run.result.error, c.want);
        EXPECT_EQ(filesBelow(place), std::vector<std::string>{}) << "nothing is written, inside the root or out";
    }
}

TEST_F(HostileStore, RefusesAChunkObjectWithAFlippedByteAndDoesNotInstallItsFile) {
    // Main.exe is random data, so its chunk objects are stored, not compressed: a flipped byte still
    // decompresses, to other bytes, and only the hash can tell.
    std::string chunk;
    std::uint64_t chunkSize = 0;
    const boost::json::object manifest = readJson(store() / kManifest);
    for (const boost::json::value& file : manifest.at("files").as_array()) {
        if (file.at("path").as_string() == "Main.exe") {
            const boost::json::value& first = file.at("chunks").as_array().at(0);
            chunk = std::string(first.at("h").as_string());
            chunkSize = first.at("n").to_number<std::uint64_t>();
        }
    }
    ASSERT_EQ(chunk.size(), 64u);
    const std::string objectPath = "v1/chunks/" + chunk.substr(0, 2) + "/" + chunk + ".zst";
    std::string object = stored(objectPath);
    object.back() ^= 0x20;
    ASSERT_EQ(gu::patch::zstd_decompress(object, chunkSize).size(), chunkSize);

    const struct {
        const char* name;
        bool transactional;
    } cases[] = {{"in place", false}, {"transactional", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TamperedStore server(store(), {{objectPath, object}}, nullptr);
        const fs::path root = work_ / c.name;
        gu::patch::DownloaderConfig config = kyrtest::quickConfig(root, scenario_->publicKey());
        config.transactional = c.transactional;

        const kyrtest::InProcessRun run = kyrtest::runUpdate({server.baseUrl()}, config);
        EXPECT_FALSE(run.result.ok);
        EXPECT_EQ(run.result.error.rfind("chunk \"" + chunk + "\": sha256 mismatch (got \"", 0), 0u)
            << run.result.error;
        const GameFiles found = kyrtest::readGameFolder(root);
        EXPECT_EQ(found.count("Main.exe"), 0u);
        EXPECT_FALSE(fs::exists(root / "Main.exe.updpart"));
        EXPECT_EQ(kyrtest::describeTornFiles({}, scenario_->version1(), found), "");
        if (c.transactional) {
            EXPECT_TRUE(found.empty()) << "a transactional run installs nothing before every file is verified";
        }
    }
}

TEST_F(HostileStore, FallsBackToChunkObjectsWhenThePackCannotBeTrusted) {
    const boost::json::object index = readJson(store() / kPackIndex);
    const std::string packPath = "v1/packs/" + std::string(index.at("packs").as_array().at(0).at("name").as_string());
    std::string pack = stored(packPath);
    pack[pack.size() / 2] ^= 0x01;
    std::string changedIndex = stored(kPackIndex);
    changedIndex.replace(changedIndex.find("\"schema\":1"), 10, "\"schema\":1 ");

    const struct {
        const char* name;
        Replacements replaced;
        bool usedPackIndex;
        std::vector<std::string> logged;
    } cases[] = {
        {"pack with a flipped byte",
         {{packPath, pack}},
         true,
         {"failed: pack sha mismatch", "demoted to per-chunk", "second chance"}},
        {"pack index changed after signing", {{kPackIndex, changedIndex}}, false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TamperedStore server(store(), c.replaced, nullptr);
        const fs::path root = work_ / c.name;
        gu::patch::DownloaderConfig config = kyrtest::quickConfig(root, scenario_->publicKey());
        config.pack_min_chunks = 1;

        const kyrtest::InProcessRun run = kyrtest::runUpdate({server.baseUrl()}, config);
        ASSERT_TRUE(run.result.ok) << run.result.error;
        EXPECT_EQ(kyrtest::describeDifferences(scenario_->version1(), kyrtest::readGameFolder(root)), "");
        EXPECT_EQ(run.result.used_pack_index, c.usedPackIndex);
        EXPECT_EQ(run.result.packs_downloaded, 0u);
        for (const std::string& line : c.logged) {
            EXPECT_TRUE(kyrtest::logMentions(run.log, line)) << line;
        }
    }
}

} // namespace
