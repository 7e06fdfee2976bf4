#include "support/fault_injector.hpp"

#include <functional>
#include <random>

namespace kyrtest {
namespace {

enum class Fault {
    notFound,
    serverError,
    unavailable,
    dropMidBody,
    ignoreRange,
    truncatedBody,
    flippedBytes,
    stall,
    noAnswer
};
constexpr Fault kFaults[] = {Fault::notFound,     Fault::serverError, Fault::unavailable,
                             Fault::dropMidBody,  Fault::ignoreRange, Fault::truncatedBody,
                             Fault::flippedBytes, Fault::stall,       Fault::noAnswer};

// Every message a run may end with when the network or the store misbehaves: each names what failed.
const char* const kClearFailures[] = {"HTTP 404 ",
                                      "HTTP 500 ",
                                      "HTTP 503 ",
                                      "curl GET failed (0x",
                                      "curl download failed (0x",
                                      "signature verification failed for \"",
                                      "\": sha256 mismatch (got \"",
                                      "zstd_decompress: "};

HttpResponse statusOnly(int status) {
    HttpResponse response;
    response.status = status;
    return response;
}

} // namespace

FaultInjector::FaultInjector(StoreFolderServer& server, std::uint64_t seed, double rate, int stallMs)
    : server_(server), seed_(seed), rate_(rate), stallMs_(stallMs) {}

HttpResponse FaultInjector::operator()(const HttpRequest& request, HttpResponse response) {
    unsigned nth = 0;
    {
        std::lock_guard<std::mutex> guard(lock_);
        nth = seen_[request.target]++;
    }
    std::seed_seq seq{seed_, static_cast<std::uint64_t>(std::hash<std::string>()(request.target)),
                      static_cast<std::uint64_t>(nth)};
    std::mt19937_64 random(seq);
    if (std::uniform_real_distribution<double>(0, 1)(random) >= rate_) {
        return response;
    }
    const Fault fault = kFaults[random() % (sizeof kFaults / sizeof kFaults[0])];
    {
        std::lock_guard<std::mutex> guard(lock_);
        ++injected_;
    }
    switch (fault) {
    case Fault::notFound:
        return statusOnly(404);
    case Fault::serverError:
        return statusOnly(500);
    case Fault::unavailable:
        return statusOnly(503);
    case Fault::dropMidBody:
        response.cutAfter = response.body.size() / 2;
        return response;
    case Fault::ignoreRange: {
        HttpRequest whole = request;
        whole.headers.erase("range");
        return server_.honestAnswer(whole);
    }
    case Fault::truncatedBody:
        response.body.resize(response.body.size() * 2 / 3);
        return response;
    case Fault::flippedBytes:
        for (int i = 0; i < 3 && !response.body.empty(); ++i) {
            response.body[random() % response.body.size()] ^= static_cast<char>(1 + random() % 255);
        }
        return response;
    case Fault::stall:
        response.stallMs = stallMs_;
        return response;
    case Fault::noAnswer:
        response.sendHeaders = false;
        return response;
    }
    return response;
}

unsigned FaultInjector::injected() const {
    std::lock_guard<std::mutex> guard(lock_);
    return injected_;
}

bool isClearTransportFailure(const std::string& error) {
    for (const char* text : kClearFailures) {
        if (error.find(text) != std::string::npos) {
            return true;
        }
    }
    return false;
}

} // namespace kyrtest
