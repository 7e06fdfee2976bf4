#include "tools/kyr-store/chunk_objects.hpp"

#include "tools/kyr-store/staged_file.hpp"

#include "patch/chunk_fetch.hpp"
#include "patch/sha256.hpp"
#include "patch/zstd_codec.hpp"

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>

#include <zstd.h>

namespace kyrstore {
namespace {

namespace fs = std::filesystem;

// An existing object is sound when it decompresses to exactly the chunk's bytes.
bool is_sound_object(const fs::path& path, const std::string& h, std::uint64_t n, std::uint64_t& z) {
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open()) {
        return false;
    }
    const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        return false;
    }
    try {
        if (gu::patch::sha256_hex(gu::patch::zstd_decompress(data, n)) != h) {
            return false;
        }
    } catch (const std::exception&) {
        return false;
    }
    z = data.size();
    return true;
}

} // namespace

fs::path chunk_object_path(const fs::path& store, std::string_view h) {
    return store / gu::patch::chunk_path(h);
}

ChunkObjectWriter::ChunkObjectWriter(fs::path store, int level)
    : store_(std::move(store)), context_(ZSTD_createCCtx()) {
    if (context_ == nullptr) {
        throw std::runtime_error("zstd: cannot create a compression context");
    }
    const std::size_t result = ZSTD_CCtx_setParameter(context_, ZSTD_c_compressionLevel, level);
    if (ZSTD_isError(result)) {
        ZSTD_freeCCtx(context_);
        throw std::runtime_error(std::string("zstd: ") + ZSTD_getErrorName(result));
    }
}

ChunkObjectWriter::~ChunkObjectWriter() {
    ZSTD_freeCCtx(context_);
}

std::string ChunkObjectWriter::compress(std::string_view bytes) {
    std::string out(ZSTD_compressBound(bytes.size()), '\0');
    // ZSTD_compress2 knows the whole input, so the frame header carries the content size.
    const std::size_t size = ZSTD_compress2(context_, out.data(), out.size(), bytes.data(), bytes.size());
    if (ZSTD_isError(size)) {
        throw std::runtime_error(std::string("zstd: ") + ZSTD_getErrorName(size));
    }
    out.resize(size);
    return out;
}

StoredObject ChunkObjectWriter::store(const std::string& h, std::string_view bytes) {
    const fs::path path = chunk_object_path(store_, h);
    StoredObject object;
    std::error_code ec;
    if (fs::exists(path, ec)) {
        if (is_sound_object(path, h, bytes.size(), object.z)) {
            object.fate = ObjectFate::reused;
            return object;
        }
        object.fate = ObjectFate::repaired;
    }
    fs::create_directories(path.parent_path(), ec);
    if (ec && !fs::is_directory(path.parent_path())) {
        throw std::runtime_error("cannot create folder " + path.parent_path().u8string() + ": " + ec.message());
    }
    const std::string compressed = compress(bytes);
    write_staged(path, compressed, false);
    object.z = compressed.size();
    return object;
}

} // namespace kyrstore
