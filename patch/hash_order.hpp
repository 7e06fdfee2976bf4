#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace gu::patch {

// The order in which `workers` threads hash files of these sizes. A file so big that it alone holds one
// thread for more than a quarter of its share starts first, the biggest first: started late, it would
// be hashed by one thread while the others have nothing left. The rest follow in the order given, so
// that a run's progress still moves in that order.
std::vector<std::size_t> hash_order(const std::vector<std::uint64_t>& sizes, unsigned workers);

} // namespace gu::patch
