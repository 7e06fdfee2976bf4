// kyr-patch: the headless updater for players on Linux and operators' smoke tests. Exit codes: 0 updated,
// 1 the update failed (the result says why), 2 bad usage.

#include "patch/downloader.hpp"
#include "patch/failover_fetcher.hpp"
#include "tools/common/terminal_progress.hpp"
#include "tools/kyr-patch/command_line.hpp"
#include "tools/kyr-patch/run_report.hpp"

#include <csignal>
#include <iostream>
#include <memory>

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

volatile std::sig_atomic_t interrupted = 0;

void on_interrupt(int) { interrupted = 1; }

const char* phase_text(int phase) {
    switch (phase) {
    case 0: return "Checking for updates...";
    case 1: return "Downloading game data...";
    case 2: return "Installing...";
    default: return "Applying update...";
    }
}

using Fetchers = std::vector<std::unique_ptr<gu::patch::Fetcher>>;

// One fetcher per --store, in failover order. Throws UsageError for a store this build cannot read.
Fetchers make_fetchers(const kyrpatch::UpdateCommand& command) {
    Fetchers fetchers;
    for (const kyrpatch::StoreSource& store : command.stores) {
        fetchers.push_back(kyrpatch::make_store_fetcher(store, command.ca_file, command.config.idle_timeout_ms));
    }
    return fetchers;
}

int update(kyrpatch::UpdateCommand& command, const Fetchers& fetchers) {
    std::vector<gu::patch::FetchSource> sources;
    for (std::size_t i = 0; i < fetchers.size(); ++i) {
        sources.push_back({fetchers[i].get(), command.stores[i].location});
    }

    kyrtool::ProgressBar bar(std::cerr, kyrtool::is_terminal(2));
    const auto print_line = [&](const std::string& line) {
        bar.end_line();
        std::cerr << line << '\n';
    };
    gu::patch::FailoverFetcher fetcher(sources, print_line);
    gu::patch::DownloaderConfig& config = command.config;
    config.log = print_line;
    config.cancel = [] { return interrupted != 0; };
    std::signal(SIGINT, on_interrupt);
    std::signal(SIGTERM, on_interrupt);

    std::string phase_label;
    const gu::patch::PhaseCallback phase = [&](int value) {
        phase_label = phase_text(value);
        print_line(phase_label);
    };
    const gu::patch::ProgressCallback progress = [&](unsigned, unsigned, unsigned, std::uint64_t done,
                                                     std::uint64_t total) { bar.draw(done, total, phase_label); };

    gu::patch::Downloader downloader(fetcher, config);
    const gu::patch::RunResult result = downloader.run(progress, phase);
    bar.end_line();
    std::cout << kyrpatch::run_result_json(result) << std::endl;
    return result.ok ? 0 : kExitFailure;
}

} // namespace

int main(int argc, char** argv) {
    kyrpatch::UpdateCommand command;
    Fetchers fetchers;
    try {
        command = kyrpatch::parse_command_line(std::vector<std::string>(argv + 1, argv + argc));
        fetchers = make_fetchers(command);
    } catch (const kyrpatch::UsageError& e) {
        std::cerr << "kyr-patch: " << e.what() << "\n\n" << kyrpatch::usage_text();
        return kExitUsage;
    }
    if (command.help) {
        std::cout << kyrpatch::usage_text();
        return 0;
    }
    try {
        return update(command, fetchers);
    } catch (const std::exception& e) {
        std::cerr << "kyr-patch: " << e.what() << '\n';
        return kExitFailure;
    }
}
