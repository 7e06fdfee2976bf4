// SHA-256 throughput over 64 MiB: the engine's default (sha256_hex), each compression function on its own,
// and OpenSSL as the baseline, measured side by side in one run.

#include "patch/detail/sha256_blocks.hpp"
#include "patch/sha256.hpp"

#include "bench/side_by_side.hpp"

#include <benchmark/benchmark.h>
#include <openssl/sha.h>

#include <random>
#include <string>

namespace {

const std::string& message() {
    static const std::string data = [] {
        std::string bytes(64 << 20, '\0');
        std::mt19937 rng(1);
        for (char& c : bytes) {
            c = static_cast<char>(rng());
        }
        return bytes;
    }();
    return data;
}

void openssl_sha256(const std::string& data, unsigned char* digest) {
    SHA256(reinterpret_cast<const unsigned char*>(data.data()), data.size(), digest);
}

void with_engine(benchmark::State& state, gu::patch::detail::Sha256Blocks blocks) {
    if (blocks == nullptr) {
        state.SkipWithError("this CPU has no SHA extensions");
        return;
    }
    const std::string& data = message();
    for (auto _ : state) {
        gu::patch::Sha256 hasher(blocks);
        hasher.update(data);
        benchmark::DoNotOptimize(hasher.finish());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}

void BM_Sha256Hex(benchmark::State& state) {
    const std::string& data = message();
    for (auto _ : state) {
        benchmark::DoNotOptimize(gu::patch::sha256_hex(data));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}

void BM_Sha256Portable(benchmark::State& state) {
    with_engine(state, &gu::patch::detail::sha256_portable_blocks);
}

void BM_Sha256ShaExtensions(benchmark::State& state) {
    with_engine(state, gu::patch::detail::sha256_x86_blocks());
}

void BM_OpenSslSha256(benchmark::State& state) {
    const std::string& data = message();
    unsigned char digest[SHA256_DIGEST_LENGTH];
    for (auto _ : state) {
        openssl_sha256(data, digest);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}

// Both throughputs, side by side, and sha256_hex / OpenSSL.
void BM_Sha256HexVersusOpenSsl(benchmark::State& state) {
    const std::string& data = message();
    unsigned char digest[SHA256_DIGEST_LENGTH];
    const kyrbench::SideBySide t = kyrbench::time_side_by_side(
        state, [&] { benchmark::DoNotOptimize(gu::patch::sha256_hex(data)); },
        [&] {
            openssl_sha256(data, digest);
            benchmark::DoNotOptimize(digest);
        });
    const double ours = t.ours_seconds;
    const double openssl = t.reference_seconds;
    const double bytes = static_cast<double>(state.iterations()) * static_cast<double>(data.size());
    state.counters["sha256_hex_GBps"] = bytes / ours / 1e9;
    state.counters["openssl_GBps"] = bytes / openssl / 1e9;
    state.counters["ratio"] = openssl / ours;
}

} // namespace

BENCHMARK(BM_Sha256Hex)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sha256Portable)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Sha256ShaExtensions)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenSslSha256)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sha256HexVersusOpenSsl)->Unit(benchmark::kMillisecond)->MinTime(2.0);
