#include "patch/signed_document.hpp"

#include "patch/errors.hpp"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

using namespace gu::patch;

// Made once with OpenSSL 3 (`openssl genpkey -algorithm ed25519`, `openssl pkeyutl -sign -rawin`), kept as
// text so that these run where no crypto library exists.
const std::string kKey = "3dBSAuUiFkFYZIeS7L+7kv7C6yaSPRUr/mLUzCOidP0=";
const std::string kDoc = "{\"product\":\"valdra7q\",\"channel\":\"windows\",\"latest\":\"1.0.3\"}\n";
const std::string kSig = "DG3iF/NgQhNXIzt/eqmDrqrq04UpzeUp1pysm/YmJNWzXTrNAvjzMiFHJ3qqzCt9F9OIAbhm1rEt78f21d8kAw==";
const std::string kPath = "v1/channels/windows.json";

// A store in memory that refuses a body past the limit asked, as the real fetchers do.
class MemoryStore : public Fetcher {
public:
    std::string get(const std::string& path, std::uint64_t max_bytes) override {
        const auto found = objects.find(path);
        if (found == objects.end() || found->second.size() > max_bytes) {
            throw FetchError(found == objects.end() ? "HTTP 404 " + path : size_limit_message(path, max_bytes));
        }
        return found->second;
    }
    void download(const std::string&, const std::string&) override {}
    void download_from(const std::string&, const std::string&, std::uint64_t) override {}
    std::map<std::string, std::string> objects;
};

std::string with_char(std::string text, std::size_t at, char c) {
    text[at] = c;
    return text;
}

TEST(GetSigned, OnlyTheExactSignedBytesUnderTheRightKeyAreAccepted) {
    struct Case {
        const char* name;
        std::string body;
        std::string sig;
        std::string key;
        std::string want; // the error; empty: the body is returned
    };
    const std::string refused = "verify: signature verification failed for \"" + kPath + "\"";
    const Case cases[] = {
        {"signature wrapped with blanks and CR LF", kDoc, kSig.substr(0, 40) + "\n \t" + kSig.substr(40) + "\r\n", kKey,
         ""},
        {"body changed by one byte", with_char(kDoc, 40, 'W'), kSig, kKey, refused},
        {"body without its line break", kDoc.substr(0, kDoc.size() - 1), kSig, kKey, refused},
        {"signature bits flipped", kDoc, with_char(kSig, 10, 'A'), kKey, refused},
        {"signature one byte short", kDoc, kSig.substr(0, 84), kKey, refused},
        {"signature character outside the alphabet", kDoc, with_char(kSig, 10, '-'), kKey, refused},
        {"key of another signer", kDoc, kSig, with_char(kKey, 3, 'C'), refused},
        {"empty key", kDoc, kSig, "", refused},
        {"signature padded past its limit", kDoc, kSig + std::string(4096, '\n'), kKey,
         "fetch: " + size_limit_message(kPath + ".sig", kMaxSignatureBytes)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MemoryStore store;
        store.objects = {{kPath, c.body}, {kPath + ".sig", c.sig}};
        std::string error;
        try {
            EXPECT_TRUE(get_signed(store, kPath, c.key) == c.body);
        } catch (const VerifyError& e) {
            error = std::string("verify: ") + e.what();
        } catch (const FetchError& e) {
            error = std::string("fetch: ") + e.what();
        }
        EXPECT_EQ(error, c.want);
    }
}

} // namespace
