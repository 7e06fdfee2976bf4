// parse_manifest + validate_manifest of a whole installation's manifest: 20,000 files, 200,000 chunks.
// Targets: under 0.4 s, and a heap peak under 6 times the document size. The peak is measured by
// counting every byte that global operator new hands out while the call runs, above what was live
// before it (the document text itself is the caller's and is not counted).

#include "patch/store_documents.hpp"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>

namespace {

std::atomic<std::int64_t> g_live{0};
std::atomic<std::int64_t> g_peak{0};

// Every block carries its size in a header, so delete knows what it gives back.
constexpr std::size_t kHeader = alignof(std::max_align_t);

void* counted_new(std::size_t size) {
    void* block = std::malloc(size + kHeader);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    *static_cast<std::size_t*>(block) = size;
    const std::int64_t live = g_live.fetch_add(static_cast<std::int64_t>(size)) + static_cast<std::int64_t>(size);
    std::int64_t peak = g_peak.load();
    while (live > peak && !g_peak.compare_exchange_weak(peak, live)) {
    }
    return static_cast<char*>(block) + kHeader;
}

void counted_delete(void* pointer) noexcept {
    if (pointer == nullptr) {
        return;
    }
    void* block = static_cast<char*>(pointer) - kHeader;
    g_live.fetch_sub(static_cast<std::int64_t>(*static_cast<std::size_t*>(block)));
    std::free(block);
}

std::string hex64(std::uint64_t seed) {
    static const char digits[] = "0123456789abcdef";
    std::string text(64, '0');
    for (char& digit : text) {
        seed = seed * 6364136223846793005ull + 1442695040888963407ull;
        digit = digits[(seed >> 59) & 15];
    }
    return text;
}

// About 25 MB of JSON, laid out as a publisher might write it: one chunk per line.
std::string make_manifest(unsigned files, unsigned chunks_per_file) {
    std::string text;
    text.reserve(static_cast<std::size_t>(files) * chunks_per_file * 130);
    text += R"({"schema": 1, "product": "valdra7q", "channel": "windows", "version": "2026.12.1", )"
            R"("platform": "windows-x86", "total_size": 0, "preserve": ["Data/Local/*.ini"], "files": [)";
    std::uint64_t seed = 1;
    for (unsigned f = 0; f < files; ++f) {
        if (f != 0) {
            text += ",\n  ";
        }
        std::uint64_t size = 0;
        std::string chunks;
        for (unsigned c = 0; c < chunks_per_file; ++c) {
            const std::uint64_t n = 60000 + (++seed % 5000);
            size += n;
            chunks += c == 0 ? "\n    " : ",\n    ";
            chunks += R"({"h": ")" + hex64(seed) + R"(", "n": )" + std::to_string(n) + R"(, "z": )" +
                      std::to_string(n / 3) + "}";
        }
        text += R"({"path": "Data/World)" + std::to_string(f % 97) + "/Terrain" + std::to_string(f) +
                R"(.att", "size": )" + std::to_string(size) + R"(, "sha256": ")" + hex64(++seed) + R"(", "chunks": [)" +
                chunks + "]}";
    }
    text += "]}";
    return text;
}

void BM_ParseAndValidateManifest(benchmark::State& state) {
    const std::string text = make_manifest(20000, 10);
    const std::int64_t baseline = g_live.load();
    g_peak.store(baseline);
    for (auto _ : state) {
        gu::patch::Manifest manifest = gu::patch::parse_manifest(text);
        gu::patch::validate_manifest(manifest, "valdra7q", "windows-x86");
        benchmark::DoNotOptimize(manifest.files.data());
    }
    const double peak = static_cast<double>(g_peak.load() - baseline);
    state.counters["doc_bytes"] = static_cast<double>(text.size());
    state.counters["peak_heap_bytes"] = peak;
    state.counters["peak_over_doc"] = peak / static_cast<double>(text.size());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ParseAndValidateManifest)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

void* operator new(std::size_t size) {
    return counted_new(size);
}
void* operator new[](std::size_t size) {
    return counted_new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return counted_new(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
    return operator new(size, tag);
}
void operator delete(void* pointer) noexcept {
    counted_delete(pointer);
}
void operator delete[](void* pointer) noexcept {
    counted_delete(pointer);
}
void operator delete(void* pointer, std::size_t) noexcept {
    counted_delete(pointer);
}
void operator delete[](void* pointer, std::size_t) noexcept {
    counted_delete(pointer);
}
void operator delete(void* pointer, const std::nothrow_t&) noexcept {
    counted_delete(pointer);
}
void operator delete[](void* pointer, const std::nothrow_t&) noexcept {
    counted_delete(pointer);
}
