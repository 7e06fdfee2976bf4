#pragma once
// The store's three documents as the publisher writes them: compact JSON from Boost.JSON, members in a
// fixed order, so one input always gives the same bytes (and the same signature).

#include "tools/kyr-store/packs.hpp"

#include "patch/store_records.hpp"

#include <string>

namespace kyrstore {

// "schema" 1 and every member of the record; "preserve" is always written, empty or not.
std::string manifest_json(const gu::patch::Manifest& manifest);

// "product", "channel", "platform", "latest", then each of "serial", "updated_at" (when not empty) and
// "expires" that the record has.
std::string channel_json(const gu::patch::Channel& channel);

// "schema" 1, "channel", "version", "packs" and "chunks" (in pack order).
std::string pack_index_json(const std::string& channel, const std::string& version, const PackSet& packs);

} // namespace kyrstore
