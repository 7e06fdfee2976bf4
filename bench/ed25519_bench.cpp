// Ed25519 verification of a 1 KiB message: the engine (both field representations) and libsodium's
// crypto_sign_verify_detached as the baseline, side by side in one run.

#include "patch/detail/ed25519_verify.hpp"
#include "patch/ed25519.hpp"

#include "bench/side_by_side.hpp"

#include <benchmark/benchmark.h>
#include <sodium.h>

#include <stdexcept>
#include <string>

namespace {

struct SignedMessage {
    std::string key;
    std::string message;
    std::string signature;
};

const SignedMessage& signed_message() {
    static const SignedMessage s = [] {
        if (sodium_init() < 0) {
            throw std::runtime_error("sodium_init failed");
        }
        SignedMessage m;
        m.message.resize(1024);
        randombytes_buf(m.message.data(), m.message.size());
        unsigned char key[crypto_sign_PUBLICKEYBYTES];
        unsigned char secret[crypto_sign_SECRETKEYBYTES];
        unsigned char signature[crypto_sign_BYTES];
        crypto_sign_keypair(key, secret);
        crypto_sign_detached(signature, nullptr, reinterpret_cast<const unsigned char*>(m.message.data()),
                             m.message.size(), secret);
        m.key.assign(reinterpret_cast<char*>(key), sizeof key);
        m.signature.assign(reinterpret_cast<char*>(signature), sizeof signature);
        return m;
    }();
    return s;
}

bool sodium_verify(const SignedMessage& s) {
    return crypto_sign_verify_detached(reinterpret_cast<const unsigned char*>(s.signature.data()),
                                       reinterpret_cast<const unsigned char*>(s.message.data()), s.message.size(),
                                       reinterpret_cast<const unsigned char*>(s.key.data())) == 0;
}

template <bool (*kVerify)(std::string_view, std::string_view, std::string_view)>
void BM_Verify(benchmark::State& state) {
    const SignedMessage& s = signed_message();
    for (auto _ : state) {
        if (!kVerify(s.signature, s.message, s.key)) {
            state.SkipWithError("a valid signature was rejected");
            return;
        }
    }
}

void BM_SodiumVerify(benchmark::State& state) {
    const SignedMessage& s = signed_message();
    for (auto _ : state) {
        benchmark::DoNotOptimize(sodium_verify(s));
    }
}

// Microseconds per verification for the engine and libsodium, side by side, and engine / libsodium.
void BM_Ed25519VersusSodium(benchmark::State& state) {
    const SignedMessage& s = signed_message();
    const kyrbench::SideBySide t = kyrbench::time_side_by_side(
        state, [&] { benchmark::DoNotOptimize(gu::patch::ed25519_verify(s.signature, s.message, s.key)); },
        [&] { benchmark::DoNotOptimize(sodium_verify(s)); });
    const double ours = t.ours_seconds;
    const double sodium = t.reference_seconds;
    const double n = static_cast<double>(state.iterations());
    state.counters["ed25519_verify_us"] = ours / n * 1e6;
    state.counters["sodium_us"] = sodium / n * 1e6;
    state.counters["ratio"] = ours / sodium;
}

} // namespace

BENCHMARK(BM_Verify<gu::patch::ed25519_verify>)->Name("BM_Ed25519Verify")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Verify<gu::patch::detail::ed25519_verify_with<gu::patch::detail::Fe25>>)
    ->Name("BM_Ed25519VerifyTenLimbs")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SodiumVerify)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Ed25519VersusSodium)->Unit(benchmark::kMicrosecond)->MinTime(2.0);
