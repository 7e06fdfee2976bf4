// sha256_hex_file over a 256 MiB file in the page cache, against OpenSSL hashing the same file read the
// same way (1 MiB blocks), side by side.

#include "patch/file_hash.hpp"

#include "bench/side_by_side.hpp"

#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kFileBytes = std::size_t{256} << 20;
constexpr std::size_t kBlockBytes = std::size_t{1} << 20;

// A file of random bytes, written once per run and removed at exit.
const std::filesystem::path& sample_file() {
    static const struct Sample {
        std::filesystem::path path = std::filesystem::temp_directory_path() / "kyr_file_hash_bench.bin";
        Sample() {
            std::vector<char> block(kBlockBytes);
            std::mt19937 rng(7);
            std::ofstream out(path, std::ios::binary | std::ios::trunc);
            for (std::size_t written = 0; written < kFileBytes; written += block.size()) {
                for (char& c : block) {
                    c = static_cast<char>(rng());
                }
                out.write(block.data(), static_cast<std::streamsize>(block.size()));
            }
        }
        ~Sample() {
            std::error_code ignored;
            std::filesystem::remove(path, ignored);
        }
    } sample;
    return sample.path;
}

void openssl_file_sha256(const std::filesystem::path& path, unsigned char* digest) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    std::vector<unsigned char> block(kBlockBytes);
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    EVP_DigestInit_ex(context, EVP_sha256(), nullptr);
    for (std::size_t got; (got = std::fread(block.data(), 1, block.size(), file)) > 0;) {
        EVP_DigestUpdate(context, block.data(), got);
    }
    EVP_DigestFinal_ex(context, digest, nullptr);
    EVP_MD_CTX_free(context);
    std::fclose(file);
}

void BM_Sha256HexFileVersusOpenSsl(benchmark::State& state) {
    const std::filesystem::path& path = sample_file();
    unsigned char digest[EVP_MAX_MD_SIZE];
    const kyrbench::SideBySide t = kyrbench::time_side_by_side(
        state, [&] { benchmark::DoNotOptimize(gu::patch::sha256_hex_file(path)); },
        [&] {
            openssl_file_sha256(path, digest);
            benchmark::DoNotOptimize(digest);
        });
    const double ours = t.ours_seconds;
    const double openssl = t.reference_seconds;
    const double bytes = static_cast<double>(state.iterations()) * static_cast<double>(kFileBytes);
    state.counters["sha256_hex_file_GBps"] = bytes / ours / 1e9;
    state.counters["openssl_GBps"] = bytes / openssl / 1e9;
    state.counters["ratio"] = openssl / ours;
}

} // namespace

BENCHMARK(BM_Sha256HexFileVersusOpenSsl)->Unit(benchmark::kMillisecond)->MinTime(2.0);
