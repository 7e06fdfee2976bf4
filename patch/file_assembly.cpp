#include "patch/file_assembly.hpp"

#include "patch/errors.hpp"
#include "patch/install_file.hpp"
#include "patch/sha256.hpp"

namespace gu::patch {

namespace {

const std::pair<std::size_t, std::size_t>* find_chunk(const AssembledFile& file, const std::string& hash) {
    const auto found = file.chunks.find(hash);
    return found != file.chunks.end() ? &found->second : nullptr;
}

} // namespace

AssembledFile assemble_file(const ManifestFile& file, ChunkFetchContext& context, const AssembledFile* neighbour,
                            const std::function<void(std::uint64_t)>& after_chunk) {
    AssembledFile assembled;
    assembled.file = &file;
    std::string& buffer = assembled.bytes;
    buffer.reserve(static_cast<std::size_t>(file.size));
    for (const ManifestChunk& chunk : file.chunks) {
        const std::size_t offset = buffer.size();
        if (const auto own = assembled.chunks.find(chunk.h); own != assembled.chunks.end()) {
            buffer.append(std::string_view(buffer).substr(own->second.first, own->second.second));
        } else if (const auto* place = neighbour != nullptr ? find_chunk(*neighbour, chunk.h) : nullptr) {
            buffer.append(neighbour->bytes, place->first, place->second);
        } else {
            buffer += fetch_chunk(context, chunk);
        }
        assembled.chunks.emplace(chunk.h, std::make_pair(offset, buffer.size() - offset));
        after_chunk(buffer.size());
    }
    return assembled;
}

void verify_and_install(const AssembledFile& assembled, const std::filesystem::path& install_root,
                        const std::filesystem::path& anchor_dir) {
    const ManifestFile& file = *assembled.file;
    const std::string actual = sha256_hex(assembled.bytes);
    if (actual != file.sha256) {
        throw VerifyError("file \"" + file.path + "\": assembled sha256 mismatch (expected \"" + file.sha256 +
                          "\", got \"" + actual + "\")");
    }
    install_file(install_root, file.path, assembled.bytes, anchor_dir);
}

FileWriter::FileWriter(std::filesystem::path install_root, std::filesystem::path anchor_dir)
    : install_root_(std::move(install_root)), anchor_dir_(std::move(anchor_dir)) {}

FileWriter::~FileWriter() {
    if (writing_.valid()) {
        writing_.wait();
    }
}

void FileWriter::start(AssembledFile assembled) {
    pending_ = std::move(assembled);
    writing_ = std::async(std::launch::async, [this] { verify_and_install(*pending_, install_root_, anchor_dir_); });
}

std::optional<AssembledFile> FileWriter::finish() {
    if (!pending_) {
        return std::nullopt;
    }
    writing_.get(); // before the bytes move: the write reads them until it is done
    std::optional<AssembledFile> written = std::move(pending_);
    pending_.reset();
    return written;
}

} // namespace gu::patch
