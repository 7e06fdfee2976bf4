#include "patch/signed_document.hpp"

#include "patch/errors.hpp"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

using gu::patch::FetchError;
using gu::patch::get_signed;
using gu::patch::VerifyError;

// Made once with OpenSSL 3: `openssl genpkey -algorithm ed25519 -out key.pem`; the public key is the last
// 32 bytes of `openssl pkey -in key.pem -pubout -outform DER`, in Base64; each signature is
// `openssl pkeyutl -sign -rawin -inkey key.pem -in DOC | base64 -w0`. Kept as text so these tests run
// where no crypto library exists (the Windows build).
const std::string kPublicKey = "3dBSAuUiFkFYZIeS7L+7kv7C6yaSPRUr/mLUzCOidP0=";
const std::string kChannelDoc = "{\"product\":\"valdra7q\",\"channel\":\"windows\",\"latest\":\"1.0.3\"}\n";
const std::string kChannelSig =
    "DG3iF/NgQhNXIzt/eqmDrqrq04UpzeUp1pysm/YmJNWzXTrNAvjzMiFHJ3qqzCt9F9OIAbhm1rEt78f21d8kAw==";
const std::string kBinaryDoc("bin\0\xff\r\n", 7);
const std::string kBinarySig =
    "PFBkMrw4CTaNRdMSz6FnbSWR09XVROQjSwgge70bsucoMW6UL6KdxesgxBvO84AQtjNiSjt8eKa4lYj1ooTFAg==";

const std::string kPath = "v1/channels/valdra7q/windows.json";

// A store held in memory; a missing object is the HTTP fetcher's 404, a body past the limit its refusal.
class MemoryStore : public gu::patch::Fetcher {
public:
    std::string get(const std::string& path, std::uint64_t max_bytes) override {
        limits[path] = max_bytes;
        const auto found = objects.find(path);
        if (found == objects.end()) {
            throw FetchError("HTTP 404 https://store.example/" + path);
        }
        if (found->second.size() > max_bytes) {
            throw FetchError(gu::patch::size_limit_message("https://store.example/" + path, max_bytes));
        }
        return found->second;
    }
    void download(const std::string&, const std::string&) override { FAIL() << "not used"; }
    void download_from(const std::string&, const std::string&, std::uint64_t) override { FAIL() << "not used"; }

    std::map<std::string, std::string> objects;
    std::map<std::string, std::uint64_t> limits; // the last limit asked for each path
};

std::string with_char(std::string text, std::size_t at, char c) {
    text[at] = c;
    return text;
}

TEST(GetSigned, AcceptsTheExactSignedBytesWhateverTheSignatureLayout) {
    struct Case {
        const char* name;
        std::string body;
        std::string sig;
    };
    const Case cases[] = {
        {"bare 88 characters", kChannelDoc, kChannelSig},
        {"trailing CR LF", kChannelDoc, kChannelSig + "\r\n"},
        {"wrapped with blanks and tabs", kChannelDoc, kChannelSig.substr(0, 40) + "\n \t" + kChannelSig.substr(40)},
        {"binary document, zero byte inside", kBinaryDoc, kBinarySig},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MemoryStore store;
        store.objects = {{kPath, c.body}, {kPath + ".sig", c.sig}};
        EXPECT_TRUE(get_signed(store, kPath, kPublicKey) == c.body);
        EXPECT_EQ(store.limits,
                  (std::map<std::string, std::uint64_t>{{kPath, gu::patch::kMaxDocumentBytes},
                                                        {kPath + ".sig", gu::patch::kMaxSignatureBytes}}));
    }
}

TEST(GetSigned, RefusesEveryUnprovenDocument) {
    struct Case {
        const char* name;
        std::string body;
        std::string sig;
        std::string key;
    };
    const Case cases[] = {
        {"body changed by one byte", with_char(kChannelDoc, 40, 'W'), kChannelSig, kPublicKey},
        {"signature of another document", kChannelDoc, kBinarySig, kPublicKey},
        {"signature bits flipped", kChannelDoc, with_char(kChannelSig, 10, 'A'), kPublicKey},
        {"signature one byte short", kChannelDoc, kChannelSig.substr(0, 84), kPublicKey},
        {"key of another signer", kChannelDoc, kChannelSig, with_char(kPublicKey, 3, 'C')},
        {"empty key", kChannelDoc, kChannelSig, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MemoryStore store;
        store.objects = {{kPath, c.body}, {kPath + ".sig", c.sig}};
        try {
            get_signed(store, kPath, c.key);
            ADD_FAILURE() << "accepted";
        } catch (const VerifyError& e) {
            EXPECT_EQ(e.what(), "signature verification failed for \"" + kPath + "\"");
        }
    }
}

TEST(GetSigned, MissingOrOversizedObjectsSurfaceAsFetchErrors) {
    struct Case {
        const char* name;
        std::map<std::string, std::string> objects;
        std::string want;
    };
    const Case cases[] = {
        {"document missing", {{kPath + ".sig", kChannelSig}}, "HTTP 404 https://store.example/" + kPath},
        {"signature padded past its limit",
         {{kPath, kChannelDoc}, {kPath + ".sig", kChannelSig + std::string(4096 - kChannelSig.size() + 1, '\n')}},
         "object larger than 4096 bytes: https://store.example/" + kPath + ".sig"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MemoryStore store;
        store.objects = c.objects;
        try {
            get_signed(store, kPath, kPublicKey);
            ADD_FAILURE() << "accepted";
        } catch (const FetchError& e) {
            EXPECT_EQ(e.what(), c.want);
        }
    }
}

} // namespace
