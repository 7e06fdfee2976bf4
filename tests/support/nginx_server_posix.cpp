#include "support/nginx_server_posix.hpp"

#include "support/free_port_posix.hpp"
#include "support/scratch_folder.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <sstream>
#include <stdexcept>
#include <thread>

namespace kyrtest {
namespace {

namespace fs = std::filesystem;

constexpr int kStartAttempts = 5;
constexpr auto kStartTimeout = std::chrono::seconds(10);

bool accepts(std::uint16_t port) {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    if (s < 0) {
        return false;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    const bool connected = ::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(s);
    return connected;
}

// Every path nginx would otherwise take from its build (temporary bodies under /var/lib/nginx, the pid
// under /run) points into the work folder, so the server needs no rights outside it.
std::string configuration(const fs::path& work, const fs::path& documentRoot, std::uint16_t port,
                          const std::optional<TlsFiles>& tls, const std::string& serverDirectives) {
    const std::string w = work.string();
    std::ostringstream conf;
    conf << "master_process off;\n"
         << "worker_processes 1;\n"
         << "pid " << w << "/nginx.pid;\n"
         << "error_log " << w << "/error.log warn;\n"
         << "events { worker_connections 256; }\n"
         << "http {\n"
         << "    access_log " << w << "/access.log;\n"
         << "    client_body_temp_path " << w << "/tmp/body;\n"
         << "    proxy_temp_path " << w << "/tmp/proxy;\n"
         << "    fastcgi_temp_path " << w << "/tmp/fastcgi;\n"
         << "    uwsgi_temp_path " << w << "/tmp/uwsgi;\n"
         << "    scgi_temp_path " << w << "/tmp/scgi;\n"
         << "    default_type application/octet-stream;\n"
         << "    server {\n"
         << "        listen 127.0.0.1:" << port << (tls ? " ssl" : "") << ";\n"
         << "        server_name localhost;\n"
         << "        root " << documentRoot.string() << ";\n";
    if (tls) {
        conf << "        ssl_certificate " << tls->certificate.string() << ";\n"
             << "        ssl_certificate_key " << tls->key.string() << ";\n";
    }
    conf << serverDirectives << "    }\n"
         << "}\n";
    return conf.str();
}

void runOpenssl(const std::vector<std::string>& arguments) {
    static const std::string openssl = findExecutable("openssl");
    if (openssl.empty()) {
        throw std::runtime_error("openssl is not installed");
    }
    std::vector<std::string> command{openssl};
    command.insert(command.end(), arguments.begin(), arguments.end());
    const ProcessResult result = runProcess(command, std::chrono::seconds(60));
    if (result.exitCode != 0) {
        throw std::runtime_error("openssl " + arguments.front() + " failed: " + result.err);
    }
}

} // namespace

std::string NginxServer::program() {
    return findExecutable("nginx");
}

NginxServer::NginxServer(const fs::path& documentRoot, const fs::path& workFolder, const std::optional<TlsFiles>& tls,
                         const std::string& serverDirectives)
    : work_(fs::absolute(workFolder)), tls_(tls.has_value()) {
    fs::create_directories(work_ / "tmp");
    for (int attempt = 0; attempt < kStartAttempts; ++attempt) {
        if (start(fs::absolute(documentRoot), tls, serverDirectives)) {
            return;
        }
    }
    throw std::runtime_error("nginx did not start: " + errorLog());
}

bool NginxServer::start(const fs::path& documentRoot, const std::optional<TlsFiles>& tls,
                        const std::string& serverDirectives) {
    port_ = freeLoopbackPort();
    const fs::path conf = work_ / "nginx.conf";
    write_bytes(conf, configuration(work_, documentRoot, port_, tls, serverDirectives));
    process_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{program(), "-p", work_.string() + "/", "-c", conf.string(), "-e",
                                 (work_ / "error.log").string(), "-g", "daemon off;"},
        work_ / "stdout.log", work_ / "stderr.log");
    const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (!process_->running()) {
            return false; // most likely the port was taken in the meantime
        }
        if (accepts(port_)) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    process_.reset();
    return false;
}

std::string NginxServer::baseUrl() const {
    return (tls_ ? "https://localhost:" : "http://127.0.0.1:") + std::to_string(port_) + "/";
}

std::string NginxServer::errorLog() const {
    return read_bytes(work_ / "error.log") + read_bytes(work_ / "stderr.log");
}

TestCertificates makeTestCertificates(const fs::path& folder, const std::string& host) {
    fs::create_directories(folder);
    TestCertificates files;
    files.caCertificate = folder / "ca.crt";
    files.server.certificate = folder / "server.crt";
    files.server.key = folder / "server.key";
    const fs::path caKey = folder / "ca.key";
    const fs::path request = folder / "server.csr";
    const fs::path extensions = folder / "server.ext";
    // P-256 keys: generated in milliseconds, where RSA keys would cost the suite noticeable time.
    runOpenssl({"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout",
                caKey.string(), "-out", files.caCertificate.string(), "-days", "2", "-subj", "/CN=kyr test CA",
                "-addext", "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign,cRLSign"});
    runOpenssl({"req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout",
                files.server.key.string(), "-out", request.string(), "-subj", "/CN=" + host});
    write_bytes(extensions, "subjectAltName=DNS:" + host +
                                "\nbasicConstraints=CA:FALSE\n"
                                "keyUsage=critical,digitalSignature\nextendedKeyUsage=serverAuth\n");
    runOpenssl({"x509", "-req", "-in", request.string(), "-CA", files.caCertificate.string(), "-CAkey", caKey.string(),
                "-CAcreateserial", "-out", files.server.certificate.string(), "-days", "2", "-extfile",
                extensions.string()});
    return files;
}

} // namespace kyrtest
