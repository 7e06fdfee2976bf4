#include "support/store_folder_server.hpp"

#include <fstream>
#include <sstream>

namespace kyrtest {

namespace fs = std::filesystem;

StoreFolderServer::StoreFolderServer(fs::path folder, Hook hook)
    : folder_(std::move(folder)), hook_(std::move(hook)),
      server_([this](const HttpRequest& request) { return answer(request); }) {}

void StoreFolderServer::setHook(Hook hook) {
    std::lock_guard<std::mutex> lock(mutex_);
    hook_ = std::move(hook);
}

HttpResponse StoreFolderServer::honestAnswer(const HttpRequest& request) const {
    HttpResponse missing;
    missing.status = 404;
    const std::string& target = request.target;
    if (request.method != "GET" || target.empty() || target[0] != '/' || target.find("..") != std::string::npos) {
        return missing;
    }
    const fs::path file = folder_ / fs::u8path(target.substr(1));
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) {
        return missing;
    }
    std::ifstream in(file, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return serveObject(request, bytes.str());
}

HttpResponse StoreFolderServer::answer(const HttpRequest& request) {
    Hook hook;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        hook = hook_;
    }
    HttpResponse response = honestAnswer(request);
    return hook ? hook(request, std::move(response)) : response;
}

} // namespace kyrtest
