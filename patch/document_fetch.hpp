#pragma once

#include "patch/downloader_config.hpp"
#include "patch/fetcher.hpp"
#include "patch/signed_document.hpp"

#include <chrono>
#include <functional>
#include <string>

namespace gu::patch {

// A signed store document, retried along the configuration's document ladder and within its time budget
// counted from run_start. The last failure is rethrown; earlier ones are logged.
SignedDocument fetch_document(Fetcher& fetcher, const DownloaderConfig& config, const std::string& path,
                              const std::function<void(const std::string&)>& log,
                              std::chrono::steady_clock::time_point run_start);

} // namespace gu::patch
