#pragma once
// Reads byte ranges of local files (downloaded packs, installed files) for the chunk fetch. A file phase
// reads thousands of chunks, mostly consecutive ones of the same pack or file, so the last file stays
// open instead of being opened once per chunk.
//
// An open file cannot be replaced or deleted on Windows: whoever is about to replace, delete or move a
// file that may have been read must call release() first.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace gu::patch {

class RangeReader {
public:
    // Appends length bytes found at offset of file to out; name is what the messages show. Throws a
    // standard runtime error "cannot open " + name, or "short read from " + name when the file is shorter
    // than offset + length (checked before anything is allocated). out is unchanged after a failure.
    // A file that grows while it is open (a part being written) is measured again when a range passes
    // its end.
    void append(const std::filesystem::path& file, std::uint64_t offset, std::uint64_t length,
                const std::string& name, std::string& out);

    // The same range in a buffer of the reader's own, valid until the next call.
    std::string_view read(const std::filesystem::path& file, std::uint64_t offset, std::uint64_t length,
                          const std::string& name);

    // Closes the open file when it is `file`.
    void release(const std::filesystem::path& file);
    // Closes the open file, whichever it is.
    void release_all();

private:
    void open(const std::filesystem::path& file, const std::string& name);
    void measure();

    std::filesystem::path open_path_;
    std::ifstream in_;
    std::uint64_t open_size_ = 0;
    std::string scratch_;
};

} // namespace gu::patch
