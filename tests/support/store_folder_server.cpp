#include "support/store_folder_server.hpp"

#include "support/scratch_folder.hpp"

namespace kyrtest {

namespace fs = std::filesystem;

StoreFolderServer::StoreFolderServer(fs::path folder, Hook hook)
    : folder_(std::move(folder)), hook_(std::move(hook)), server_([this](const HttpRequest& request) {
          const fs::path file = folder_ / request.target.substr(1);
          HttpResponse response;
          response.status = 404;
          if (request.method == "GET" && request.target.find("..") == std::string::npos && fs::is_regular_file(file)) {
              response = serveObject(request, read_bytes(file));
          }
          return hook_ ? hook_(request, std::move(response)) : response;
      }) {}

} // namespace kyrtest
