#include "support/update_scenario_posix.hpp"

#include "support/process_posix.hpp"
#include "support/scratch_folder.hpp"

#include <stdexcept>

namespace kyrtest {

namespace fs = std::filesystem;

const UpdateScenario& sharedScenario(const std::string& kyrStore) {
    static const ScratchFolder folder;
    static const UpdateScenario scenario = [&] {
        const auto runStore = [](const std::vector<std::string>& command) {
            const ProcessResult result = runProcess(command, std::chrono::seconds(120));
            if (result.exitCode != 0) {
                throw std::runtime_error("kyr-store " + command[1] + " failed: " + result.err);
            }
            return result.out;
        };
        UpdateScenario made;
        made.served = folder / "served";
        writeGameFiles(folder / "game1", made.version1);
        writeGameFiles(folder / "game2", made.version2);
        made.keyFile = folder / "signing.key";
        const std::string key = made.keyFile.string();
        const std::string out = runStore({kyrStore, "keygen", "--out", key});
        made.publicKey = out.substr(0, out.find('\n'));
        for (const char* version : {"1", "2"}) {
            runStore({kyrStore, "publish", "--key", key, "--in", (folder / ("game" + std::string(version))).string(),
                      "--out", made.storeTwo().string(), "--version", version + std::string(".0.0"), "--pack-size",
                      "262144"});
            if (!fs::exists(made.storeOne())) {
                fs::copy(made.storeTwo(), made.storeOne(), fs::copy_options::recursive);
            }
        }
        return made;
    }();
    return scenario;
}

StoreFolderServer::StoreFolderServer(fs::path folder, Hook hook)
    : folder_(std::move(folder)), hook_(std::move(hook)), server_([this](const HttpRequest& request) {
          const fs::path file = folder_ / request.target.substr(1);
          HttpResponse response{404};
          if (request.method == "GET" && request.target.find("..") == std::string::npos && fs::is_regular_file(file)) {
              response = serveObject(request, read_bytes(file));
          }
          return hook_ ? hook_(request, std::move(response)) : response;
      }) {}

} // namespace kyrtest
