#pragma once
// The common ground of the updater's end-to-end tests: two versions of a synthetic game published by the
// real kyr-store program, and a server for store folders.

#include "support/game_folder.hpp"
#include "support/http_test_server.hpp"

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace kyrtest {

// Below served: "one/" is a store holding version "1.0.0"; "two/" holds "1.0.0" and then "2.0.0",
// published one after the other as an operator would, in packs of 256 KiB (an update needs several).
// Published once for the whole test program, removed at exit. Throws with kyr-store's message.
struct UpdateScenario {
    GameFiles version1 = makeGameVersion(1);
    GameFiles version2 = makeGameVersion(2);
    std::string publicKey;
    std::filesystem::path keyFile; // signed both stores
    std::filesystem::path served;
    std::filesystem::path storeOne() const { return served / "one"; }
    std::filesystem::path storeTwo() const { return served / "two"; }
};
const UpdateScenario& sharedScenario(const std::string& kyrStoreProgram);

// A store folder served over loopback HTTP as a static web server serves it (200, Range with 206 and 416,
// 404 for what is missing), with a hook that sees every request and may change its answer: the faults of a
// hostile network or a tampered store, injected one request at a time.
class StoreFolderServer {
public:
    // Gets the request and the honest answer; returns what is sent. Called on the server's threads.
    using Hook = std::function<HttpResponse(const HttpRequest&, HttpResponse)>;

    explicit StoreFolderServer(std::filesystem::path folder, Hook hook = {});

    std::string baseUrl() const { return server_.baseUrl(); }
    std::vector<HttpRequest> requests() const { return server_.requests(); }

private:
    const std::filesystem::path folder_;
    const Hook hook_;
    HttpTestServer server_;
};

} // namespace kyrtest
