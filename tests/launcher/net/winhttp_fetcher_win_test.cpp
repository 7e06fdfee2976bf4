#include "launcher/net/winhttp_fetcher.hpp"

#include "patch/errors.hpp"
#include "support/fetcher_contract.hpp"
#include "support/http_test_server.hpp"

#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>

namespace {

const kyrtest::FetcherMaker kWinHttp = [](const std::string& base) {
    return std::make_unique<launcher::WinHttpFetcher>(base);
};
const kyrtest::FetcherMaker kWinHttpIdleOneSecond = [](const std::string& base) {
    return std::make_unique<launcher::WinHttpFetcher>(base, 1000);
};

// WinHTTP against a real local server: the engine's fetcher contract, the launcher's headers, and the
// failures named by operation, code and address.
TEST(WinHttpFetcher, KeepsTheFetcherContract) {
    const std::string object = kyrtest::binaryObject(200000); // several read blocks
    kyrtest::expectHttpFetcherContract(kWinHttp, kWinHttpIdleOneSecond, object);

    std::string base;
    {
        kyrtest::HttpTestServer server([](const kyrtest::HttpRequest&) { return kyrtest::HttpResponse{503}; });
        launcher::WinHttpFetcher fetcher(server.baseUrl());
        EXPECT_EQ(kyrtest::messageOf<gu::patch::FetchError>([&] { fetcher.get("v1/x", 100); }),
                  "HTTP 503 " + server.baseUrl() + "v1/x");
        EXPECT_EQ(server.requests().at(0).headers.at("user-agent"), "7qvaldra-launcher/1.0");
        base = server.baseUrl();
    }
    launcher::WinHttpFetcher closed(base.substr(0, base.size() - 1)); // the slash is put back
    // WinHTTP's ERROR_WINHTTP_CANNOT_CONNECT, as a refused connection gives it.
    EXPECT_EQ(kyrtest::messageOf<gu::patch::FetchError>([&] { closed.get("v1/x", 100); }),
              "WinHTTP GET failed (0x00002EFD) " + base + "v1/x");
    EXPECT_EQ(kyrtest::messageOf<gu::patch::FetchError>([&] { closed.get(std::string(400, 'p'), 100); }).size(), 191u);
}

// The test build plants winhttp.dll and msimg32.dll beside this program and has Wine prefer them to its own,
// as Windows would take a copy planted in the game folder: the fetcher still works on the system's.
TEST(WinHttpFetcher, LoadsNoLibraryFromTheProgramFolder) {
    wchar_t program[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, program, MAX_PATH);
    ASSERT_TRUE(length > 0 && length < MAX_PATH);
    std::wstring folder(program, length);
    folder.resize(folder.rfind(L'\\') + 1);
    for (const wchar_t* name : {L"winhttp.dll", L"msimg32.dll"}) {
        ASSERT_NE(GetFileAttributesW((folder + name).c_str()), INVALID_FILE_ATTRIBUTES) << "not planted";
    }
    kyrtest::HttpTestServer server([](const kyrtest::HttpRequest&) { return kyrtest::HttpResponse{200, "ok"}; });
    EXPECT_EQ(launcher::WinHttpFetcher(server.baseUrl()).get("v1/x", 100), "ok");
    EXPECT_EQ(GetEnvironmentVariableW(L"KYR_PLANTED_LIBRARY_RAN", nullptr, 0), 0u);
}

} // namespace
