#include "patch/document_fetch.hpp"

#include <thread>

namespace gu::patch {

SignedDocument fetch_document(Fetcher& fetcher, const DownloaderConfig& config, const std::string& path,
                              const std::function<void(const std::string&)>& log,
                              std::chrono::steady_clock::time_point run_start) {
    const std::size_t attempts = config.document_retry_delays_ms.size() + 1;
    for (std::size_t k = 1;; ++k) {
        try {
            return get_signed_document(fetcher, path, config.pubkey_b64);
        } catch (const std::exception& e) {
            if (log) {
                log("meta " + path + " intento " + std::to_string(k) + "/" + std::to_string(attempts) +
                    " fallo: " + e.what());
            }
            if (k == attempts) {
                throw;
            }
            const auto elapsed =
                std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - run_start)
                    .count();
            if (config.document_budget_ms != 0 && static_cast<std::uint64_t>(elapsed) >= config.document_budget_ms) {
                if (log) {
                    log("meta " + path + ": presupuesto agotado (" + std::to_string(elapsed) +
                        " ms), se abandona la escalera");
                }
                throw;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(config.document_retry_delays_ms[k - 1]));
    }
}

} // namespace gu::patch
