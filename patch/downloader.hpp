#pragma once
// One update run: brings an installation folder to the state of the channel's current signed manifest.

#include "patch/downloader_config.hpp"
#include "patch/fetcher.hpp"

namespace gu::patch {

class Downloader {
public:
    // The fetcher is not owned and must outlive the downloader; the configuration is copied.
    Downloader(Fetcher& fetcher, DownloaderConfig config);

    // Never throws for a std::exception: every failure ends as ok == false with its message. Callbacks
    // (may be empty) are called on this thread.
    RunResult run(const ProgressCallback& progress, const PhaseCallback& phase);

private:
    Fetcher& fetcher_;
    DownloaderConfig config_;
};

} // namespace gu::patch
