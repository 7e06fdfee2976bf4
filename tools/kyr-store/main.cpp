// kyr-store: the operators' publisher of the patch store. Exit codes: 0 done, 1 failure (reason on
// stderr), 2 bad usage.

#include "tools/common/terminal_progress.hpp"
#include "tools/kyr-store/command_line.hpp"
#include "tools/kyr-store/publish.hpp"
#include "tools/kyr-store/signing_key.hpp"

#include <cstdio>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

void print_summary(const kyrstore::PublishSummary& s, const std::string& version) {
    std::cout << "published version " << version << "\n"
              << "  files:       " << s.files << " (" << kyrtool::human_bytes(s.bytes) << ")\n"
              << "  chunks:      " << s.chunks << " distinct of " << s.chunk_uses << " uses; " << s.chunks_written
              << " new, " << s.chunks_reused << " reused";
    if (s.chunks_repaired > 0) {
        std::cout << ", " << s.chunks_repaired << " damaged objects rewritten";
    }
    std::cout << "\n"
              << "  compressed:  " << kyrtool::human_bytes(s.compressed_bytes) << " ("
              << kyrtool::human_bytes(s.written_bytes) << " written)\n"
              << "  packs:       " << s.packs << " (" << kyrtool::human_bytes(s.pack_bytes) << "), " << s.packs_written
              << " new\n"
              << "  manifest:    " << s.manifest_path << "\n"
              << "  channel:     " << s.channel_path << ", serial " << s.serial
              << (s.expires.empty() ? std::string() : ", expires " + s.expires) << "\n"
              << "  pack index:  " << s.pack_index_path << "\n"
              << "  public key:  " << s.public_key << "\n"
              << "  time:        " << s.duration.count() / 1000.0 << " s\n";
}

int run_prune(const kyrstore::PruneOptions& options) {
    const kyrstore::PruneSummary s = kyrstore::prune(options);
    if (options.dry_run) {
        for (const kyrstore::StoreFile& file : s.removed) {
            std::cout << "would remove " << file.path << " (" << file.size << " bytes)\n";
        }
    }
    std::cout << (options.dry_run ? "would keep " : "kept ") << s.kept.size() << " versions:";
    for (const kyrstore::PublishedVersion& version : s.kept) {
        std::cout << ' ' << version.manifest_path;
    }
    std::cout << "\n"
              << (options.dry_run ? "would remove " : "removed ") << s.manifests << " versions, " << s.chunk_objects
              << " chunk objects, " << s.packs << " packs, " << s.removed.size() << " files in all; "
              << kyrtool::human_bytes(s.bytes) << " (" << s.bytes << " bytes) freed\n";
    return 0;
}

int run_verify(const kyrstore::VerifyOptions& options) {
    kyrtool::ProgressBar bar(std::cout, kyrtool::is_terminal(1));
    kyrstore::VerifyObserver observer;
    observer.problem = [&](const std::string& line) {
        bar.end_line();
        std::cout << line << '\n';
    };
    observer.progress = [&](std::uint64_t done, std::uint64_t total) { bar.draw(done, total, "verifying"); };
    const kyrstore::VerifySummary s = kyrstore::verify_store(options, observer);
    bar.end_line();
    std::cout << (s.problems.empty() ? "store is sound: " : std::to_string(s.problems.size()) + " problems: ")
              << s.documents << " documents ("
              << (options.pubkey_b64.empty() ? "signatures NOT checked, give --pubkey" : "signatures checked") << "), "
              << s.manifests << (options.all ? " manifests (all), " : " current manifests, ") << s.chunk_objects
              << " chunk objects, " << s.packs << " packs with " << s.ranges << " chunk ranges; "
              << kyrtool::human_bytes(s.bytes_read) << " read in " << s.duration.count() / 1000.0 << " s\n";
    return s.problems.empty() ? 0 : kExitFailure;
}

int run_news(const kyrstore::NewsOptions& options) {
    const kyrstore::NewsSummary s =
        kyrstore::publish_news(options, [](const std::string& text) { std::cerr << "warning: " << text << '\n'; });
    std::cout << "published the news of channel " << options.channel << "\n"
              << "  items:       " << s.items << (s.headline ? ", with a headline" : ", no headline") << "\n"
              << "  document:    " << s.news_path << "\n"
              << "  public key:  " << s.public_key << "\n";
    return 0;
}

int run(const kyrstore::Command& command) {
    switch (command.kind) {
    case kyrstore::Command::Kind::help:
        std::cout << kyrstore::usage_text();
        return 0;
    case kyrstore::Command::Kind::keygen:
        std::cout << kyrstore::SigningKey::generate(command.key_out).public_key_base64() << '\n';
        return 0;
    case kyrstore::Command::Kind::resign: {
        const kyrstore::ResignSummary s =
            kyrstore::resign(command.resign, [](const std::string& text) { std::cerr << "warning: " << text << '\n'; });
        std::cout << "re-signed " << s.channel_path << ": version " << s.latest << ", serial " << s.serial << ", "
                  << (s.expires.empty() ? std::string("no expiry") : "expires " + s.expires) << '\n';
        return 0;
    }
    case kyrstore::Command::Kind::prune:
        return run_prune(command.prune);
    case kyrstore::Command::Kind::verify:
        return run_verify(command.verify);
    case kyrstore::Command::Kind::news:
        return run_news(command.news);
    case kyrstore::Command::Kind::publish:
        break;
    }
    kyrtool::ProgressBar bar(std::cout, kyrtool::is_terminal(1));
    kyrstore::PublishObserver observer;
    observer.notice = [&](const std::string& text) {
        bar.end_line();
        std::cerr << "warning: " << text << '\n';
    };
    observer.step = [&](const std::string& text) {
        bar.end_line();
        std::cout << text << '\n';
    };
    observer.progress = [&](std::uint64_t done, std::uint64_t total) { bar.draw(done, total); };
    const kyrstore::PublishSummary summary = kyrstore::publish(command.publish, observer);
    bar.end_line();
    print_summary(summary, command.publish.version);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    kyrstore::Command command;
    try {
        command = kyrstore::parse_command_line(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const kyrstore::UsageError& e) {
        std::cerr << "kyr-store: " << e.what() << "\n\n" << kyrstore::usage_text();
        return kExitUsage;
    }
    try {
        return run(command);
    } catch (const std::exception& e) {
        std::cout << std::flush;
        std::cerr << "kyr-store: " << e.what() << '\n';
        return kExitFailure;
    }
}
