#include "tools/kyr-store/command_line.hpp"

#include "patch/base64.hpp"

#include <algorithm>
#include <cctype>
#include <functional>

namespace kyrstore {
namespace {

std::uint64_t parse_number(const std::string& option, const std::string& text) {
    if (text.empty() || text.size() > 19) {
        throw UsageError(option + " needs a whole number, got \"" + text + "\"");
    }
    std::uint64_t value = 0;
    for (const char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) {
            throw UsageError(option + " needs a whole number, got \"" + text + "\"");
        }
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return value;
}

// The value after the option at `i`, which then points at the value.
const std::string& option_value(const std::vector<std::string>& arguments, std::size_t& i) {
    const std::string& option = arguments[i];
    if (i + 1 >= arguments.size()) {
        throw UsageError(option.rfind("--", 0) == 0 ? option + " needs a value" : "unexpected \"" + option + "\"");
    }
    return arguments[++i];
}

Command parse_keygen(const std::vector<std::string>& arguments) {
    Command command;
    command.kind = Command::Kind::keygen;
    if (arguments.size() != 3 || arguments[1] != "--out") {
        throw UsageError("keygen needs exactly --out KEYFILE");
    }
    command.key_out = arguments[2];
    return command;
}

Command parse_publish(const std::vector<std::string>& arguments) {
    Command command;
    command.kind = Command::Kind::publish;
    PublishOptions& options = command.publish;
    bool has_key = false;
    bool has_in = false;
    bool has_out = false;
    bool has_version = false;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& option = arguments[i];
        if (option == "--flat-manifest") {
            options.flat_manifest = true;
            continue;
        }
        const std::string& value = option_value(arguments, i);
        if (option == "--key") {
            options.key_file = value;
            has_key = true;
        } else if (option == "--in") {
            options.game_dir = value;
            has_in = true;
        } else if (option == "--out") {
            options.store_dir = value;
            has_out = true;
        } else if (option == "--version") {
            options.version = value;
            has_version = true;
        } else if (option == "--product") {
            options.product = value;
        } else if (option == "--channel") {
            options.channel = value;
        } else if (option == "--platform") {
            options.platform = value;
        } else if (option == "--preserve") {
            options.preserve.push_back(value);
        } else if (option == "--pack-size") {
            options.pack_size = parse_number(option, value);
        } else if (option == "--level") {
            options.level = static_cast<int>(std::min<std::uint64_t>(parse_number(option, value), 1000));
        } else if (option == "--expires") {
            options.expires_days = parse_number(option, value);
        } else if (option == "--threads") {
            options.threads = static_cast<unsigned>(std::min<std::uint64_t>(parse_number(option, value), 100000));
            if (options.threads == 0) {
                throw UsageError("--threads must be at least 1");
            }
        } else {
            throw UsageError("unknown option \"" + option + "\"");
        }
    }
    if (!has_key || !has_in || !has_out || !has_version) {
        throw UsageError("publish needs --key, --in, --out and --version");
    }
    const std::string problem = option_problem(options);
    if (!problem.empty()) {
        throw UsageError(problem);
    }
    return command;
}

// The options of resign, prune, verify and news: flags, and options with a value handed to `take`, which returns
// whether it knew the option.
void parse_store_options(const std::vector<std::string>& arguments, const std::vector<std::string>& flags,
                         const std::function<bool(const std::string&, const std::string&)>& take) {
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& option = arguments[i];
        if (std::find(flags.begin(), flags.end(), option) != flags.end()) {
            take(option, {});
            continue;
        }
        if (i + 1 >= arguments.size()) {
            throw UsageError(option.rfind("--", 0) == 0 ? option + " needs a value" : "unexpected \"" + option + "\"");
        }
        if (!take(option, arguments[++i])) {
            throw UsageError("unknown option \"" + option + "\"");
        }
    }
}

Command parse_resign(const std::vector<std::string>& arguments) {
    Command command;
    command.kind = Command::Kind::resign;
    ResignOptions& options = command.resign;
    parse_store_options(arguments, {}, [&](const std::string& option, const std::string& value) {
        if (option == "--key") {
            options.key_file = value;
        } else if (option == "--out") {
            options.store_dir = value;
        } else if (option == "--channel") {
            options.channel = value;
        } else if (option == "--expires") {
            options.expires_days = parse_number(option, value);
        } else {
            return false;
        }
        return true;
    });
    if (options.key_file.empty() || options.store_dir.empty()) {
        throw UsageError("resign needs --key and --out");
    }
    const std::string problem = resign_problem(options);
    if (!problem.empty()) {
        throw UsageError(problem);
    }
    return command;
}

Command parse_prune(const std::vector<std::string>& arguments) {
    Command command;
    command.kind = Command::Kind::prune;
    PruneOptions& options = command.prune;
    bool has_keep = false;
    parse_store_options(arguments, {"--dry-run"}, [&](const std::string& option, const std::string& value) {
        if (option == "--dry-run") {
            options.dry_run = true;
        } else if (option == "--out") {
            options.store_dir = value;
        } else if (option == "--keep") {
            options.keep = parse_number(option, value);
            has_keep = true;
        } else {
            return false;
        }
        return true;
    });
    if (options.store_dir.empty() || !has_keep) {
        throw UsageError("prune needs --out and --keep");
    }
    if (options.keep == 0) {
        throw UsageError("--keep must be at least 1: the current version always stays");
    }
    return command;
}

Command parse_verify(const std::vector<std::string>& arguments) {
    Command command;
    command.kind = Command::Kind::verify;
    VerifyOptions& options = command.verify;
    parse_store_options(arguments, {"--all"}, [&](const std::string& option, const std::string& value) {
        if (option == "--all") {
            options.all = true;
        } else if (option == "--out") {
            options.store_dir = value;
        } else if (option == "--pubkey") {
            if (value.size() != 44 || gu::patch::base64_decode(value).size() != 32) {
                throw UsageError("--pubkey needs the 44-character public key that keygen printed");
            }
            options.pubkey_b64 = value;
        } else {
            return false;
        }
        return true;
    });
    if (options.store_dir.empty()) {
        throw UsageError("verify needs --out");
    }
    return command;
}

Command parse_news(const std::vector<std::string>& arguments) {
    Command command;
    command.kind = Command::Kind::news;
    NewsOptions& options = command.news;
    parse_store_options(arguments, {}, [&](const std::string& option, const std::string& value) {
        if (option == "--key") {
            options.key_file = value;
        } else if (option == "--in") {
            options.input = value;
        } else if (option == "--out") {
            options.store_dir = value;
        } else if (option == "--channel") {
            options.channel = value;
        } else {
            return false;
        }
        return true;
    });
    if (options.key_file.empty() || options.input.empty() || options.store_dir.empty()) {
        throw UsageError("news needs --key, --in and --out");
    }
    const std::string problem = news_option_problem(options);
    if (!problem.empty()) {
        throw UsageError(problem);
    }
    return command;
}

} // namespace

Command parse_command_line(const std::vector<std::string>& arguments) {
    if (arguments.empty()) {
        throw UsageError("no command given");
    }
    const std::string& name = arguments[0];
    if (name == "help" || name == "--help" || name == "-h") {
        return Command{};
    }
    if (name == "keygen") {
        return parse_keygen(arguments);
    }
    if (name == "publish") {
        return parse_publish(arguments);
    }
    if (name == "resign") {
        return parse_resign(arguments);
    }
    if (name == "news") {
        return parse_news(arguments);
    }
    if (name == "prune") {
        return parse_prune(arguments);
    }
    if (name == "verify") {
        return parse_verify(arguments);
    }
    throw UsageError("unknown command \"" + name + "\"");
}

std::string usage_text() {
    return "usage:\n"
           "  kyr-store keygen --out KEYFILE\n"
           "      create a signing key (mode 0600, never overwritten) and print its public key\n"
           "  kyr-store publish --key KEYFILE --in GAMEDIR --out STOREDIR --version V\n"
           "                    [--product valdra7q] [--channel windows] [--platform windows-x86]\n"
           "                    [--flat-manifest] [--preserve GLOB]... [--pack-size BYTES]\n"
           "                    [--level N] [--threads N] [--expires DAYS]\n"
           "      publish GAMEDIR as version V of the channel in STOREDIR; with --expires, installations\n"
           "      refuse the channel DAYS days from now unless it is published or re-signed again\n"
           "      defaults: --pack-size " +
           std::to_string(kDefaultPackSize) + ", --level " + std::to_string(kDefaultLevel) +
           ", --threads one per hardware thread\n"
           "  kyr-store resign --key KEYFILE --out STOREDIR [--channel windows] [--expires DAYS]\n"
           "      sign the current channel again, same version, with a new expiry (none without --expires)\n"
           "  kyr-store prune --out STOREDIR --keep N [--dry-run]\n"
           "      remove what only versions older than the newest N of each channel use (the current\n"
           "      version always stays); --dry-run lists what would go\n"
           "  kyr-store verify --out STOREDIR [--all] [--pubkey KEY]\n"
           "      check the signatures, the objects of the current versions (--all: of every version)\n"
           "      and the packs; exit code 1 when anything is wrong\n"
           "  kyr-store news --key KEYFILE --in NEWS.json --out STOREDIR [--channel windows]\n"
           "      check NEWS.json ({\"headline\", \"items\": [{\"title\", \"body\", \"date\", \"link\"}]}, at most\n"
           "      three items) and publish it, signed, as the news that the channel's launchers show\n"
           "exit codes: 0 done, 1 failure (reason on stderr), 2 bad usage\n";
}

} // namespace kyrstore
