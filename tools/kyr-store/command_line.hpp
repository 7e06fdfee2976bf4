#pragma once
// The command line of kyr-store, parsed without side effects so that every usage error is found before
// a key or a store is touched.

#include "tools/kyr-store/news.hpp"
#include "tools/kyr-store/prune.hpp"
#include "tools/kyr-store/publish.hpp"
#include "tools/kyr-store/store_verify.hpp"

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace kyrstore {

// Bad usage: the program prints the message and the usage text and exits with 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Command {
    enum class Kind { help, keygen, publish, resign, prune, verify, news };
    Kind kind = Kind::help;
    std::filesystem::path key_out; // keygen
    PublishOptions publish;
    ResignOptions resign;
    PruneOptions prune;
    VerifyOptions verify;
    NewsOptions news;
};

// `arguments` without the program name. Throws UsageError.
Command parse_command_line(const std::vector<std::string>& arguments);

std::string usage_text();

} // namespace kyrstore
