#include "tools/kyr-store/command_line.hpp"

#include <algorithm>
#include <cctype>

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
        if (i + 1 >= arguments.size()) {
            throw UsageError(option.rfind("--", 0) == 0 ? option + " needs a value" : "unexpected \"" + option + "\"");
        }
        const std::string& value = arguments[++i];
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

Command parse_news(const std::vector<std::string>& arguments) {
    Command command;
    command.kind = Command::Kind::news;
    NewsOptions& options = command.news;
    bool has_key = false;
    bool has_in = false;
    bool has_out = false;
    for (std::size_t i = 1; i < arguments.size(); i += 2) {
        const std::string& option = arguments[i];
        if (i + 1 >= arguments.size()) {
            throw UsageError(option.rfind("--", 0) == 0 ? option + " needs a value" : "unexpected \"" + option + "\"");
        }
        const std::string& value = arguments[i + 1];
        if (option == "--key") {
            options.key_file = value;
            has_key = true;
        } else if (option == "--in") {
            options.input = value;
            has_in = true;
        } else if (option == "--out") {
            options.store_dir = value;
            has_out = true;
        } else if (option == "--channel") {
            options.channel = value;
        } else {
            throw UsageError("unknown option \"" + option + "\"");
        }
    }
    if (!has_key || !has_in || !has_out) {
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
    if (name == "news") {
        return parse_news(arguments);
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
           "                    [--level N] [--threads N]\n"
           "      publish GAMEDIR as version V of the channel in STOREDIR\n"
           "      defaults: --pack-size " +
           std::to_string(kDefaultPackSize) + ", --level " + std::to_string(kDefaultLevel) +
           ", --threads one per hardware thread\n"
           "  kyr-store news --key KEYFILE --in NEWS.json --out STOREDIR [--channel windows]\n"
           "      check NEWS.json ({\"headline\", \"items\": [{\"title\", \"body\", \"date\", \"link\"}]}, at most\n"
           "      three items) and publish it, signed, as the news that the channel's launchers show\n"
           "exit codes: 0 done, 1 failure (reason on stderr), 2 bad usage\n";
}

} // namespace kyrstore
