#pragma once
// A store read from a folder instead of a web server: a copy of the store on a disk or a LAN share, for
// players without a network and for operators' checks. The same objects, read as files: get returns one
// within its limit, a stream hands one over from an offset, and every store path is checked before it
// touches the disk, so nothing outside the folder is ever read.

#include "patch/fetcher.hpp"

#include <cstdint>
#include <filesystem>
#include <string>

namespace gu::patch {

class FolderFetcher : public Fetcher {
public:
    // folder is UTF-8 text, like every local path that the engine is given.
    explicit FolderFetcher(const std::string& folder);

    std::string get(const std::string& path, std::uint64_t max_bytes) override;
    // Reads the object block by block from offset. An object larger than max_bytes is refused before any
    // of it is handed on, and so is a non-zero offset at or past its end (an HTTP store answers 416 there).
    void stream_from(const std::string& path, std::uint64_t offset, std::uint64_t max_bytes,
                     const ByteSink& sink) override;

    // How messages name an object: the folder as given, a "/" when it lacks one, and the store path.
    std::string where(const std::string& path) const;

private:
    // The object's file. A store path that is not a plain relative "a/b" path (absolute, a drive, "..",
    // a backslash) is a FetchError.
    std::filesystem::path object_file(const std::string& path) const;

    std::string folder_;
    std::filesystem::path root_;
};

} // namespace gu::patch
