#include "patch/hash_order.hpp"

#include <algorithm>
#include <numeric>

namespace gu::patch {

std::vector<std::size_t> hash_order(const std::vector<std::uint64_t>& sizes, unsigned workers) {
    std::vector<std::size_t> order(sizes.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    if (workers < 2) {
        return order;
    }
    // In long double: the sizes a manifest names may add up past 64 bits, and so may a size times 4 * workers.
    const long double total = std::accumulate(sizes.begin(), sizes.end(), 0.0L);
    const auto big = [&](std::size_t i) { return static_cast<long double>(sizes[i]) * 4 * workers > total; };
    const auto first_small = std::stable_partition(order.begin(), order.end(), big);
    std::stable_sort(order.begin(), first_small, [&](std::size_t a, std::size_t b) { return sizes[a] > sizes[b]; });
    return order;
}

} // namespace gu::patch
