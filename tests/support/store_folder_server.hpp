#pragma once
// A store folder served over loopback HTTP as a static web server serves it (200, Range with 206 and 416,
// 404 for what is missing), with a hook that sees every request and may change its answer: the faults of a
// hostile network or a tampered store, injected one request at a time.

#include "support/http_test_server.hpp"

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace kyrtest {

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
