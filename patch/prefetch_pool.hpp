#pragma once
// The prefetch pool: before the sequential pass assembles a file, a few worker threads download the
// file's missing chunk objects in parallel, so that fetch_chunk then finds them in `prefetched`.

#include "patch/chunk_fetch.hpp"
#include "patch/downloader_config.hpp"
#include "patch/store_records.hpp"
#include "patch/thread_starter.hpp"

#include <functional>
#include <thread>
#include <vector>

namespace gu::patch {

// Downloads, with up to config.prefetch_workers threads (none below 2), the distinct chunk objects of
// `chunks` that neither the installed files (local_chunks, previous_chunks) nor a usable pack can serve,
// and moves them into context.prefetched. A chunk whose download fails is simply left out: fetch_chunk
// fetches it itself. Workers only use context.retry_fetch (without store waits) and their own buffers;
// everything else, the log included, is touched on the calling thread. Throws "cancelled".
void prefetch_chunks(ChunkFetchContext& context, const DownloaderConfig& config,
                     const std::vector<ManifestChunk>& chunks, const ThreadStarter& start_thread = {});

} // namespace gu::patch
