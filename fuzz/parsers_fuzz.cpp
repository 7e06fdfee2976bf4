// The libFuzzer targets, one per parser of what a store, a server list or the player's folder may hold, each
// built from this file with KYR_FUZZ_<target> defined. A parser may refuse its input only with its documented
// answer; a crash, an overread under ASan, another exception or a broken promise checked here is a finding.

#include "support/scratch_folder.hpp"

#include "launcher/servers/server_directory.hpp"
#include "launcher/servers/server_list_bmd.hpp"
#include "launcher/servers/text_rules.hpp"
#include "patch/errors.hpp"
#include "patch/patch_state.hpp"
#include "patch/path_rules.hpp"
#include "patch/signed_document.hpp"
#include "patch/store_documents.hpp"
#include "patch/zstd_codec.hpp"

#include <zstd.h>

#include <cstdlib>

namespace {

namespace fs = std::filesystem;

void require(bool holds) {
    if (!holds) {
        std::abort();
    }
}

// A document and its ".sig" text, split at the input's first line break.
class SignedPair : public gu::patch::Fetcher {
public:
    explicit SignedPair(const std::string& text) : text_(text) {}
    std::string get(const std::string& path, std::uint64_t) override {
        const std::size_t cut = std::min(text_.find('\n'), text_.size());
        return path == "doc" ? text_.substr(0, cut) : text_.substr(cut);
    }
    void stream_from(const std::string&, std::uint64_t, std::uint64_t, const gu::patch::ByteSink&) override {
        std::abort();
    }

private:
    const std::string& text_;
};

void fuzz(const std::string& text) {
    try {
#if defined(KYR_FUZZ_signed_document)
        // The fuzzer cannot forge a signature: any document accepted is a finding.
        SignedPair pair(text);
        gu::patch::get_signed(pair, "doc", "11qYAYKxCrfVS/7TyWQHOg7hcvPapiMlrwIaaPcHURo=");
        require(false);
#elif defined(KYR_FUZZ_manifest)
        // A manifest that passes the validation has only safe paths, each file exactly covered by its chunks.
        const gu::patch::Manifest manifest = gu::patch::parse_manifest(text);
        gu::patch::validate_manifest(manifest, "valdra7q", "windows-x86");
        for (const gu::patch::ManifestFile& file : manifest.files) {
            std::uint64_t left = file.size;
            for (const gu::patch::ManifestChunk& chunk : file.chunks) {
                require(chunk.n <= left);
                left -= chunk.n;
            }
            require(left == 0 && gu::patch::is_safe_relative_path(file.path));
        }
#elif defined(KYR_FUZZ_pack_index)
        // Every location of an accepted index lies inside an existing pack.
        const gu::patch::PackIndex index = gu::patch::parse_pack_index(text);
        for (const auto& [hash, at] : index.chunks) {
            require(at.pack < index.packs.size() && at.length > 0 && at.offset <= index.packs[at.pack].size &&
                    at.length <= index.packs[at.pack].size - at.offset);
        }
#elif defined(KYR_FUZZ_zstd)
        // A success gives exactly the expected size: the one the frame declares, when small.
        const unsigned long long declared = ZSTD_getFrameContentSize(text.data(), text.size());
        const std::uint64_t expected = declared <= (1u << 20) ? declared : 1000;
        require(gu::patch::zstd_decompress(text, expected).size() == expected);
#elif defined(KYR_FUZZ_path_rules)
        // An accepted path holds no Windows separator, drive or stream colon, and stays below the root.
        if (gu::patch::is_safe_relative_path(text)) {
            require(text.find_first_of(std::string(":\\\0", 3)) == std::string::npos && text.front() != '/');
            const fs::path inside = (fs::path("/game") / text).lexically_normal().lexically_relative("/game");
            require(!inside.empty() && *inside.begin() != "..");
        }
#elif defined(KYR_FUZZ_patch_state)
        // Loading never fails, and what it loads survives a save and a second load.
        static const kyrtest::ScratchFolder folder;
        kyrtest::write_bytes(folder / "patchstate.json", text);
        const gu::patch::PatchState loaded = gu::patch::PatchState::load(folder.path());
        loaded.save(folder / "saved");
        const gu::patch::PatchState again = gu::patch::PatchState::load(folder / "saved");
        require(again.version == loaded.version && again.files == loaded.files && again.apk_sha == loaded.apk_sha);
#elif defined(KYR_FUZZ_server_directory)
        // An accepted list has servers, each with endpoints the game can connect to; a refusal says why.
        launcher::ServerDirectory directory;
        std::string error;
        const bool accepted = launcher::parseServerDirectory(text, directory, &error);
        require(accepted ? !directory.servers.empty() : directory.servers.empty() && !error.empty());
        for (const launcher::ServerEntry& server : directory.servers) {
            for (const launcher::ServerEndpoint& endpoint : server.endpoints) {
                require(launcher::isIPv4Literal(endpoint.ip) && endpoint.port >= 1 && endpoint.port <= 65535);
            }
            require(!server.endpoints.empty());
        }
#elif defined(KYR_FUZZ_server_list_bmd)
        require(launcher::decodeBmdRecords(text).size() <= launcher::kBmdMaxRecords);
#else
#error "define KYR_FUZZ_<target>"
#endif
    } catch (const gu::patch::ManifestError&) {
    } catch (const gu::patch::VerifyError&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz(std::string(reinterpret_cast<const char*>(data), size)); // exact size: ASan sees any overread
    return 0;
}
