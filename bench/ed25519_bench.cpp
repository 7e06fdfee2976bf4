// Ed25519 verification of a 1 KiB message: the engine (both field representations) and libsodium's
// crypto_sign_verify_detached as the baseline, side by side in one run.

#include "patch/detail/ed25519_verify.hpp"
#include "patch/ed25519.hpp"

#include <benchmark/benchmark.h>
#include <sodium.h>

#include <stdexcept>
#include <string>
#include <time.h>

namespace {

// CPU time of this thread: the machine is shared, and wall time would charge other processes' slices to
// whichever side of the comparison they happened to interrupt.
double thread_seconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

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

// Alternates the engine and libsodium within each iteration, so both see the same machine state, timed in thread CPU
// time; reports microseconds per verification for both and engine / libsodium.
void BM_Ed25519VersusSodium(benchmark::State& state) {
    const SignedMessage& s = signed_message();
    double ours = 0;
    double sodium = 0;
    for (auto _ : state) {
        const double t0 = thread_seconds();
        benchmark::DoNotOptimize(gu::patch::ed25519_verify(s.signature, s.message, s.key));
        const double t1 = thread_seconds();
        benchmark::DoNotOptimize(sodium_verify(s));
        const double t2 = thread_seconds();
        ours += t1 - t0;
        sodium += t2 - t1;
    }
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
