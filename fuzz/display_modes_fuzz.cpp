// The resolution list built from an arbitrary list of driver modes (any sizes, repeats, garbage): the
// driver is asked for modes 0, 1, 2... until it says no more; the list holds every listed size of at
// least 640 x 480 that fits a signed int, once each, sorted, nothing else, and the fallback size alone when
// no size qualifies. Finding a size gives an entry equal to it, adding one only when it was missing.

#include "fuzz/fuzz_support.hpp"
#include "launcher/game/display_modes.hpp"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

bool qualifies(std::uint32_t width, std::uint32_t height) {
    return width >= 640 && height >= 480 && width <= INT_MAX && height <= INT_MAX;
}

bool before(const launcher::DisplayMode& a, const launcher::DisplayMode& b) {
    return a.width != b.width ? a.width < b.width : a.height < b.height;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    std::vector<std::pair<std::uint32_t, std::uint32_t>> driver;
    const std::size_t count = input.ConsumeIntegralInRange<std::size_t>(0, 40);
    for (std::size_t i = 0; i < count; ++i) {
        // Mostly plausible sizes, so that repeats and near-limit sizes come up often.
        const bool plausible = input.ConsumeBool();
        const std::uint32_t width =
            plausible ? input.ConsumeIntegralInRange<std::uint32_t>(600, 700) : input.ConsumeIntegral<std::uint32_t>();
        const std::uint32_t height =
            plausible ? input.ConsumeIntegralInRange<std::uint32_t>(440, 520) : input.ConsumeIntegral<std::uint32_t>();
        driver.emplace_back(width, height);
    }

    std::uint32_t asked = 0;
    launcher::DisplayModeList modes =
        launcher::buildDisplayModeList([&](std::uint32_t modeNumber, std::uint32_t& width, std::uint32_t& height) {
            kyrfuzz::require(modeNumber == asked++);
            kyrfuzz::require(modeNumber <= driver.size());
            if (modeNumber == driver.size()) {
                return false;
            }
            width = driver[modeNumber].first;
            height = driver[modeNumber].second;
            return true;
        });
    kyrfuzz::require(asked == driver.size() + 1);

    kyrfuzz::require(!modes.empty());
    for (std::size_t i = 1; i < modes.size(); ++i) {
        kyrfuzz::require(before(modes[i - 1], modes[i]));
    }
    const bool anyQualifies =
        std::any_of(driver.begin(), driver.end(), [](const auto& mode) { return qualifies(mode.first, mode.second); });
    if (!anyQualifies) {
        kyrfuzz::require(modes.size() == 1 && modes.front() == launcher::kFallbackDisplayMode);
    } else {
        for (const launcher::DisplayMode& mode : modes) {
            const auto listed = std::find(
                driver.begin(), driver.end(),
                std::make_pair(static_cast<std::uint32_t>(mode.width), static_cast<std::uint32_t>(mode.height)));
            kyrfuzz::require(mode.width >= 0 && mode.height >= 0 && listed != driver.end() &&
                             qualifies(listed->first, listed->second));
        }
        for (const auto& [width, height] : driver) {
            const launcher::DisplayMode wanted{static_cast<int>(width), static_cast<int>(height)};
            kyrfuzz::require(!qualifies(width, height) || std::find(modes.begin(), modes.end(), wanted) != modes.end());
        }
    }

    const launcher::DisplayModeList built = modes;
    const launcher::DisplayMode wanted{input.ConsumeIntegral<int>(), input.ConsumeIntegral<int>()};
    const bool present = std::find(built.begin(), built.end(), wanted) != built.end();
    const int index = launcher::findOrAddDisplayMode(modes, wanted.width, wanted.height);
    kyrfuzz::require(index >= 0 && static_cast<std::size_t>(index) < modes.size() && modes[index] == wanted);
    kyrfuzz::require(modes.size() == built.size() + (present ? 0 : 1));
    kyrfuzz::require(std::equal(built.begin(), built.end(), modes.begin()));
    return 0;
}
