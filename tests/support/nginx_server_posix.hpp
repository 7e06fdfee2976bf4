#pragma once
// A real web server for end-to-end tests: nginx serving a folder on 127.0.0.1 at a free port, over plain
// HTTP or HTTPS, with every file it writes (configuration, logs, pid, temporary bodies) in a folder of the
// test. It runs as one process in the foreground, a child of the test, killed when the object goes.

#include "support/process_posix.hpp"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace kyrtest {

struct TlsFiles {
    std::filesystem::path certificate; // PEM
    std::filesystem::path key;         // PEM
};

class NginxServer {
public:
    // The nginx program, or empty when it is not installed.
    static std::string program();

    // Throws std::runtime_error with nginx's error log when it does not start. serverDirectives are added
    // to the server block as they are (e.g. a location that answers with a redirect).
    NginxServer(const std::filesystem::path& documentRoot, const std::filesystem::path& workFolder,
                const std::optional<TlsFiles>& tls = std::nullopt, const std::string& serverDirectives = {});

    // "http://127.0.0.1:PORT/" or, with TLS, "https://localhost:PORT/" (the name the certificate holds).
    std::string baseUrl() const;
    // Lines that nginx logged as errors since it started.
    std::string errorLog() const;

private:
    bool start(const std::filesystem::path& documentRoot, const std::optional<TlsFiles>& tls,
               const std::string& serverDirectives);

    std::filesystem::path work_;
    bool tls_ = false;
    std::uint16_t port_ = 0;
    std::unique_ptr<ChildProcess> process_;
};

// A certificate authority made for one test and a server certificate it issued for `host` (CN and
// subjectAltName DNS:host), written with the openssl program into `folder`.
struct TestCertificates {
    std::filesystem::path caCertificate;
    TlsFiles server;
};

// Throws std::runtime_error with openssl's own message when a step fails.
TestCertificates makeTestCertificates(const std::filesystem::path& folder, const std::string& host = "localhost");

} // namespace kyrtest
