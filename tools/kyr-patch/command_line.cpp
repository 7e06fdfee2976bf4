#include "tools/kyr-patch/command_line.hpp"

#include <charconv>
#include <functional>
#include <map>

namespace kyrpatch {
namespace {

std::uint32_t parse_count(const std::string& option, const std::string& text) {
    std::uint32_t value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end) {
        throw UsageError(option + " needs a whole number, not \"" + text + "\"");
    }
    return value;
}

// Whole seconds, as milliseconds.
std::uint32_t parse_seconds(const std::string& option, const std::string& text) {
    constexpr std::uint32_t kMaxSeconds = UINT32_MAX / 1000;
    const std::uint32_t seconds = parse_count(option, text);
    if (seconds > kMaxSeconds) {
        throw UsageError(option + " takes at most " + std::to_string(kMaxSeconds) + " seconds");
    }
    return seconds * 1000;
}

} // namespace

std::string usage_text() {
    return "usage: kyr-patch update --store STORE [--store STORE]... --root DIR --pubkey B64\n"
           "                        [--product P] [--channel C] [--platform X] [--flat-manifest]\n"
           "                        [--transactional] [--remove-dropped] [--pack-min-chunks N] [--prefetch N]\n"
           "                        [--ca FILE] [--idle-timeout SECONDS] [--limit-rate KBPS]\n"
           "\n"
           "Brings DIR to the current signed manifest of the channel. A STORE is an http:// or https:// URL,\n"
           "a folder that holds a copy of the store, or a file:///folder/ URL. Several --store options are\n"
           "tried in order (failover). --remove-dropped removes, after a successful update, the files that the\n"
           "previous version installed and this one no longer lists, when they are still as installed. A\n"
           "download that receives nothing for --idle-timeout seconds (60 by default, 0: no limit) is a failed\n"
           "attempt and is retried. --limit-rate holds all downloads together to KBPS kilobytes (1,000 bytes)\n"
           "per second on average (0, the default: no limit). --prefetch N lets up to N threads fetch chunk\n"
           "objects ahead (1, the default: none): four at first, more while a distant store keeps the run\n"
           "waiting.\n"
           "Progress goes to stderr; the result is printed on stdout as one JSON object.\n"
           "Exit codes: 0 updated, 1 the update failed, 2 bad usage.\n";
}

UpdateCommand parse_command_line(const std::vector<std::string>& arguments) {
    UpdateCommand command;
    if (arguments.empty() || arguments[0] == "--help" || arguments[0] == "-h") {
        command.help = true;
        return command;
    }
    if (arguments[0] != "update") {
        throw UsageError("unknown command \"" + arguments[0] + "\"");
    }
    gu::patch::DownloaderConfig& config = command.config;
    const std::map<std::string, std::function<void(const std::string&)>> valued = {
        {"--store", [&](const std::string& v) { command.stores.push_back(parse_store_source(v)); }},
        {"--root", [&](const std::string& v) { config.root_dir = v; }},
        {"--pubkey", [&](const std::string& v) { config.pubkey_b64 = v; }},
        {"--product", [&](const std::string& v) { config.product = v; }},
        {"--channel", [&](const std::string& v) { config.channel = v; }},
        {"--platform", [&](const std::string& v) { config.platform = v; }},
        {"--pack-min-chunks", [&](const std::string& v) { config.pack_min_chunks = parse_count("--pack-min-chunks", v); }},
        {"--prefetch", [&](const std::string& v) { config.prefetch_workers = parse_count("--prefetch", v); }},
        {"--ca", [&](const std::string& v) { command.ca_file = v; }},
        {"--idle-timeout", [&](const std::string& v) { config.idle_timeout_ms = parse_seconds("--idle-timeout", v); }},
        {"--limit-rate",
         [&](const std::string& v) {
             config.download_limit_bytes_per_s = std::uint64_t{parse_count("--limit-rate", v)} * 1000;
         }},
    };
    const std::map<std::string, std::function<void()>> switches = {
        {"--flat-manifest", [&] { config.flat_manifest_path = true; }},
        {"--transactional", [&] { config.transactional = true; }},
        {"--remove-dropped", [&] { config.remove_dropped = true; }},
    };
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& option = arguments[i];
        if (const auto flag = switches.find(option); flag != switches.end()) {
            flag->second();
        } else if (const auto setter = valued.find(option); setter != valued.end()) {
            if (i + 1 == arguments.size()) {
                throw UsageError(option + " needs a value");
            }
            setter->second(arguments[++i]);
        } else {
            throw UsageError("unknown option \"" + option + "\"");
        }
    }
    if (command.stores.empty() || config.root_dir.empty() || config.pubkey_b64.empty()) {
        throw UsageError("update needs --store, --root and --pubkey");
    }
    return command;
}

} // namespace kyrpatch
