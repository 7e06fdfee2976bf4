// kyr-store: the operators' publisher of the patch store. Exit codes: 0 done, 1 failure (reason on
// stderr), 2 bad usage.

#include "tools/kyr-store/command_line.hpp"
#include "tools/kyr-store/publish.hpp"
#include "tools/kyr-store/signing_key.hpp"

#include <cstdio>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

std::string human_bytes(std::uint64_t bytes) {
    const char* units[] = {"B", "KiB", "MiB", "GiB", "TiB"};
    double value = static_cast<double>(bytes);
    std::size_t unit = 0;
    while (value >= 1024 && unit + 1 < std::size(units)) {
        value /= 1024;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", value, units[unit]);
    return text;
}

// On a terminal one line redrawn in place; in a log nothing until the summary.
class ProgressBar {
public:
    explicit ProgressBar(bool terminal) : terminal_(terminal) {}
    // A failure message must not land at the end of a half-drawn bar.
    ~ProgressBar() { end_line(); }
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    void draw(std::uint64_t done, std::uint64_t total) {
        if (!terminal_) {
            return;
        }
        constexpr int kWidth = 40;
        const int filled = total == 0 ? kWidth : static_cast<int>(done * kWidth / total);
        std::cout << "\r[" << std::string(filled, '#') << std::string(kWidth - filled, '-') << "] "
                  << (total == 0 ? 100 : done * 100 / total) << "%  " << human_bytes(done) << " / "
                  << human_bytes(total) << "   " << std::flush;
        open_ = true;
    }

    // Ends a drawn bar's line so that the next text starts on its own line.
    void end_line() {
        if (open_) {
            std::cout << '\n';
            open_ = false;
        }
    }

private:
    bool terminal_;
    bool open_ = false;
};

void print_summary(const kyrstore::PublishSummary& s, const std::string& version) {
    std::cout << "published version " << version << "\n"
              << "  files:       " << s.files << " (" << human_bytes(s.bytes) << ")\n"
              << "  chunks:      " << s.chunks << " distinct of " << s.chunk_uses << " uses; " << s.chunks_written
              << " new, " << s.chunks_reused << " reused";
    if (s.chunks_repaired > 0) {
        std::cout << ", " << s.chunks_repaired << " damaged objects rewritten";
    }
    std::cout << "\n"
              << "  compressed:  " << human_bytes(s.compressed_bytes) << " (" << human_bytes(s.written_bytes)
              << " written)\n"
              << "  packs:       " << s.packs << " (" << human_bytes(s.pack_bytes) << "), " << s.packs_written
              << " new\n"
              << "  manifest:    " << s.manifest_path << "\n"
              << "  channel:     " << s.channel_path << "\n"
              << "  pack index:  " << s.pack_index_path << "\n"
              << "  public key:  " << s.public_key << "\n"
              << "  time:        " << s.duration.count() / 1000.0 << " s\n";
}

int run(const kyrstore::Command& command) {
    switch (command.kind) {
    case kyrstore::Command::Kind::help:
        std::cout << kyrstore::usage_text();
        return 0;
    case kyrstore::Command::Kind::keygen:
        std::cout << kyrstore::SigningKey::generate(command.key_out).public_key_base64() << '\n';
        return 0;
    case kyrstore::Command::Kind::publish:
        break;
    }
    ProgressBar bar(::isatty(STDOUT_FILENO) == 1);
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
