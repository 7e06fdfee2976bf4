// readGlVersion on arbitrary GL_VERSION and GL_RENDERER texts, checked against a reading of its own: a
// version that begins with "<major>.<minor>" (each a run of digits worth at most a million) sets both
// numbers, the renderer cut to its limit and capable for 3.3 and above; any other text leaves the
// previous result exactly as it was. The result returned is always the capable flag.

#include "fuzz/fuzz_support.hpp"
#include "launcher/game/gl_probe.hpp"

#include <fuzzer/FuzzedDataProvider.h>

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace {

// The number written by the run of digits at the front of text, consumed; nothing when there is no digit
// or the number passes a million.
std::optional<int> leading_number(std::string_view& text) {
    const std::size_t digits = text.find_first_not_of("0123456789");
    const std::string_view run = text.substr(0, digits);
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(run.data(), run.data() + run.size(), value);
    if (run.empty() || error != std::errc() || end != run.data() + run.size() || value > 1000000) {
        return std::nullopt;
    }
    text.remove_prefix(run.size());
    return static_cast<int>(value);
}

bool same(const launcher::GlProbeResult& a, const launcher::GlProbeResult& b) {
    return a.major == b.major && a.minor == b.minor && a.renderer == b.renderer && a.capable == b.capable;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    launcher::GlProbeResult previous;
    previous.major = input.ConsumeIntegral<int>();
    previous.minor = input.ConsumeIntegral<int>();
    previous.capable = input.ConsumeBool();
    previous.renderer = input.ConsumeRandomLengthString(8);
    const std::string renderer = input.ConsumeRandomLengthString(300);
    const std::string version = input.ConsumeRemainingBytesAsString();

    launcher::GlProbeResult result = previous;
    const bool capable = launcher::readGlVersion(result, version, renderer);
    kyrfuzz::require(capable == result.capable);

    std::string_view rest = version;
    const std::optional<int> major = leading_number(rest);
    std::optional<int> minor;
    if (major && !rest.empty() && rest.front() == '.') {
        rest.remove_prefix(1);
        minor = leading_number(rest);
    }
    if (!minor) {
        kyrfuzz::require(same(result, previous));
        return 0;
    }
    kyrfuzz::require(result.major == *major && result.minor == *minor);
    kyrfuzz::require(result.renderer == renderer.substr(0, launcher::kGlRendererLimit));
    kyrfuzz::require(result.capable == (*major > 3 || (*major == 3 && *minor >= 3)));
    return 0;
}
