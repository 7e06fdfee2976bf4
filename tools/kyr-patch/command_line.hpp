#pragma once
// The command line of kyr-patch, the headless updater: parsed without side effects so that every usage
// error is reported before the installation is touched.

#include "patch/downloader_config.hpp"
#include "tools/kyr-patch/store_source.hpp"

#include <stdexcept>
#include <string>
#include <vector>

namespace kyrpatch {

// Bad usage: the program prints the message and the usage text and exits with 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct UpdateCommand {
    bool help = false;
    std::vector<StoreSource> stores; // in failover order: the first is the primary
    std::string ca_file;
    gu::patch::DownloaderConfig config; // product, channel, platform, key, root and the switches
};

// `arguments` without the program name. Throws UsageError.
UpdateCommand parse_command_line(const std::vector<std::string>& arguments);

std::string usage_text();

} // namespace kyrpatch
