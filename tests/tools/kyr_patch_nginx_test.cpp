// The real updater program against a real web server: stores made by kyr-store, served by nginx on
// loopback over HTTP and HTTPS, installed, updated and re-checked by kyr-patch.

#include "support/game_folder.hpp"
#include "support/nginx_server_posix.hpp"
#include "support/scratch_folder.hpp"
#include "support/update_scenario_posix.hpp"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <map>
#include <memory>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using kyrtest::GameFiles;
using kyrtest::resultCount;
using kyrtest::resultFlag;
using kyrtest::resultText;

// Small packs, so a cold install through packs downloads several and evicts each after its last file.
const std::vector<std::string> kPublishArguments{"--pack-size", "262144"};

struct FileIdentity {
    ino_t inode = 0;
    long long mtimeNs = 0;
    bool operator==(const FileIdentity& other) const { return inode == other.inode && mtimeNs == other.mtimeNs; }
};

// An installed file that was rewritten (a new ".updpart" renamed onto it) gets a new inode.
std::map<std::string, FileIdentity> identities(const fs::path& root, const GameFiles& files) {
    std::map<std::string, FileIdentity> result;
    for (const auto& [path, bytes] : files) {
        struct stat info {};
        if (::stat((root / path).c_str(), &info) == 0) {
            result[path] = {info.st_ino, info.st_mtim.tv_sec * 1000000000LL + info.st_mtim.tv_nsec};
        }
    }
    return result;
}

std::size_t packCount(const fs::path& store) {
    std::ifstream in(store / "v1/packs/index-windows.json", std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    boost::json::error_code ec;
    const boost::json::value index = boost::json::parse(text.str(), ec);
    return ec ? 0 : index.at("packs").as_array().size();
}

class KyrPatchOverNginx : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (kyrtest::NginxServer::program().empty()) {
            return;
        }
        folder_ = new kyrtest::ScratchFolder();
        scenario_ = new kyrtest::UpdateScenario(KYR_STORE_PATH, folder_->path(), {{}, kPublishArguments});
    }
    static void TearDownTestSuite() {
        delete scenario_;
        delete folder_;
        scenario_ = nullptr;
        folder_ = nullptr;
    }

    void SetUp() override {
        if (kyrtest::NginxServer::program().empty()) {
            GTEST_SKIP() << "nginx is not installed (Debian package nginx-light): the tests against a real web "
                            "server are skipped";
        }
        ASSERT_NE(scenario_, nullptr);
    }
    void TearDown() override { server_.reset(); }

    void startServer(const std::optional<kyrtest::TlsFiles>& tls = std::nullopt) {
        server_ = std::make_unique<kyrtest::NginxServer>(scenario_->servedFolder(), work_ / "nginx", tls);
    }

    kyrtest::PatchProgramRun update(const std::string& store, const fs::path& root,
                                    const std::vector<std::string>& extra = {}) const {
        std::vector<std::string> arguments{"update",      "--store",  server_->baseUrl() + store, "--root",
                                           root.string(), "--pubkey", scenario_->publicKey()};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        kyrtest::PatchProgramRun run = kyrtest::runPatchProgram(KYR_PATCH_PATH, arguments);
        EXPECT_FALSE(run.process.timedOut);
        EXPECT_EQ(run.process.exitCode, resultFlag(run.result, "ok") ? 0 : 1) << run.process.err;
        return run;
    }

    static kyrtest::ScratchFolder* folder_;
    static kyrtest::UpdateScenario* scenario_;
    kyrtest::ScratchFolder work_;
    std::unique_ptr<kyrtest::NginxServer> server_;
};

kyrtest::ScratchFolder* KyrPatchOverNginx::folder_ = nullptr;
kyrtest::UpdateScenario* KyrPatchOverNginx::scenario_ = nullptr;

TEST_F(KyrPatchOverNginx, InstallsUpdatesAndThenFindsEverythingCurrent) {
    startServer();
    const GameFiles& v1 = scenario_->version1();
    const GameFiles& v2 = scenario_->version2();
    std::size_t changed = 0;
    for (const auto& [path, bytes] : v2) {
        changed += (v1.count(path) == 0 || v1.at(path) != bytes) ? 1 : 0;
    }
    const struct {
        const char* name;
        std::vector<std::string> arguments;
        bool packs;
    } cases[] = {
        {"chunk by chunk", {}, false},
        {"through packs", {"--pack-min-chunks", "1"}, true},
        {"through packs with prefetch workers", {"--pack-min-chunks", "1", "--prefetch", "4"}, true},
        {"chunk by chunk with prefetch workers", {"--prefetch", "4"}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path root = work_ / c.name;

        const kyrtest::PatchProgramRun cold = update("one/", root, c.arguments);
        ASSERT_TRUE(resultFlag(cold.result, "ok")) << cold.process.out << cold.process.err;
        EXPECT_EQ(resultText(cold.result, "version"), "1.0.0");
        EXPECT_EQ(resultCount(cold.result, "files_installed"), v1.size());
        EXPECT_EQ(kyrtest::describeDifferences(v1, kyrtest::readGameFolder(root)), "");
        EXPECT_EQ(resultFlag(cold.result, "used_pack_index"), c.packs);
        EXPECT_EQ(resultCount(cold.result, "packs_downloaded"), c.packs ? packCount(scenario_->storeOne()) : 0u);
        EXPECT_FALSE(fs::exists(root / ".updpacks"));
        EXPECT_EQ(kyrtest::read_bytes(root / ".update_done"), "1.0.0");
        const std::uint64_t coldBytes = resultCount(cold.result, "bytes_downloaded");
        EXPECT_GT(coldBytes, 0u);

        const auto before = identities(root, v1);
        const kyrtest::PatchProgramRun incremental = update("two/", root, c.arguments);
        ASSERT_TRUE(resultFlag(incremental.result, "ok")) << incremental.process.out << incremental.process.err;
        EXPECT_EQ(resultText(incremental.result, "version"), "2.0.0");
        EXPECT_EQ(resultCount(incremental.result, "files_installed"), changed);
        EXPECT_EQ(resultCount(incremental.result, "files_current"), v2.size() - changed);
        EXPECT_EQ(kyrtest::describeDifferences(v2, kyrtest::readGameFolder(root)), "");
        EXPECT_LT(resultCount(incremental.result, "bytes_downloaded") * 4, coldBytes)
            << "an incremental update should download a small part of the game";
        const auto after = identities(root, v1);
        for (const auto& [path, identity] : before) {
            SCOPED_TRACE(path);
            EXPECT_EQ(after.at(path) == identity, v1.at(path) == v2.at(path)) << "only changed files are rewritten";
        }
        EXPECT_EQ(kyrtest::read_bytes(root / ".update_done"), "2.0.0");

        const auto installed = identities(root, v2);
        const kyrtest::PatchProgramRun current = update("two/", root, c.arguments);
        ASSERT_TRUE(resultFlag(current.result, "ok")) << current.process.out << current.process.err;
        EXPECT_EQ(resultCount(current.result, "files_installed"), 0u);
        EXPECT_EQ(resultCount(current.result, "files_current"), v2.size());
        EXPECT_EQ(resultCount(current.result, "bytes_downloaded"), 0u);
        EXPECT_EQ(resultCount(current.result, "packs_downloaded"), 0u);
        EXPECT_FALSE(resultFlag(current.result, "used_pack_index"));
        EXPECT_EQ(identities(root, v2), installed);
    }
}

TEST_F(KyrPatchOverNginx, InstallsOverHttpsWithTheTestCertificateAuthority) {
    const kyrtest::TestCertificates certificates = kyrtest::makeTestCertificates(work_ / "tls");
    startServer(certificates.server);
    ASSERT_EQ(server_->baseUrl().rfind("https://localhost:", 0), 0u);

    const fs::path root = work_ / "root";
    const kyrtest::PatchProgramRun run =
        update("two/", root, {"--ca", certificates.caCertificate.string(), "--pack-min-chunks", "1"});
    ASSERT_TRUE(resultFlag(run.result, "ok")) << run.process.out << run.process.err << server_->errorLog();
    EXPECT_EQ(kyrtest::describeDifferences(scenario_->version2(), kyrtest::readGameFolder(root)), "");
    EXPECT_GT(resultCount(run.result, "packs_downloaded"), 0u);
}

// In process, with the document ladder cut short: the program itself would wait out its 1 s and 3 s retries.
TEST_F(KyrPatchOverNginx, RefusesAServerCertificateThatNoTrustedAuthoritySigned) {
    const kyrtest::TestCertificates certificates = kyrtest::makeTestCertificates(work_ / "tls");
    startServer(certificates.server);
    const fs::path root = work_ / "root";
    const std::string store = server_->baseUrl() + "two/";

    const kyrtest::InProcessRun run = kyrtest::runUpdate({store}, kyrtest::quickConfig(root, scenario_->publicKey()));
    EXPECT_FALSE(run.result.ok);
    // CURLE_PEER_FAILED_VERIFICATION, in the WinHTTP fetcher's "%s (0x%08X) %s" form.
    EXPECT_EQ(run.result.error, "curl GET failed (0x0000003C) " + store + "v1/channels/windows.json");
    EXPECT_TRUE(kyrtest::readGameFolder(root).empty());
}

} // namespace
