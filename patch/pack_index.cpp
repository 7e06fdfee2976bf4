#include "patch/json_fields.hpp"
#include "patch/path_rules.hpp"
#include "patch/store_documents.hpp"

#include <boost/json/monotonic_resource.hpp>

#include <cstdint>
#include <utility>

namespace gu::patch {
namespace {

constexpr std::string_view kPackIndex = "pack index";

[[noreturn]] void fail_chunk(std::string_view hash, std::string_view tail) {
    std::string message = "pack index: chunk \"";
    message += hash;
    message += "\"";
    message += tail;
    fail_document(std::move(message));
}

PackEntry read_pack(const boost::json::value& element) {
    const boost::json::object* object = element.if_object();
    if (object == nullptr) {
        fail_document("pack index: pack entry must be an object");
    }
    PackEntry pack;
    pack.name = require_string(*object, "name", kPackIndex);
    pack.size = read_unsigned(*object, "size", kPackIndex);
    pack.sha256 = require_string(*object, "sha256", kPackIndex);
    if (!is_safe_pack_name(pack.name)) {
        fail_document("pack index: unsafe pack name \"" + pack.name + "\"");
    }
    return pack;
}

ChunkLocation read_chunk_location(std::string_view hash, const boost::json::value& value,
                                  const std::vector<PackEntry>& packs) {
    const boost::json::array* triple = value.if_array();
    if (triple == nullptr || triple->size() != 3) {
        fail_chunk(hash, " must map to [pack, offset, len]");
    }
    const std::uint64_t pack = read_location((*triple)[0], hash);
    const std::uint64_t offset = read_location((*triple)[1], hash);
    const std::uint64_t length = read_location((*triple)[2], hash);
    if (pack > UINT32_MAX || pack >= packs.size()) {
        fail_chunk(hash, ": pack out of range");
    }
    const PackEntry& entry = packs[static_cast<std::size_t>(pack)];
    if (length == 0 || offset > entry.size || length > entry.size - offset) {
        fail_chunk(hash, ": range outside pack \"" + entry.name + "\"");
    }
    return ChunkLocation{static_cast<std::uint32_t>(pack), offset, length};
}

} // namespace

PackIndex parse_pack_index(std::string_view text) {
    boost::json::monotonic_resource arena;
    const boost::json::object root = parse_document_object(text, kPackIndex, &arena);

    PackIndex index;
    index.schema = read_schema(root, kPackIndex);
    if (index.schema != 1) {
        fail_document("pack index: unsupported schema " + std::to_string(index.schema));
    }
    index.channel = require_string(root, "channel", kPackIndex);
    index.version = optional_string(root, "version");

    const boost::json::array* packs = require_field(root, "packs", kPackIndex).if_array();
    if (packs == nullptr) {
        fail_document("pack index: \"packs\" must be an array");
    }
    index.packs.reserve(packs->size());
    for (const boost::json::value& element : *packs) {
        index.packs.push_back(read_pack(element));
    }

    const boost::json::object* chunks = require_field(root, "chunks", kPackIndex).if_object();
    if (chunks == nullptr) {
        fail_document("pack index: \"chunks\" must be an object");
    }
    index.chunks.reserve(chunks->size());
    for (const boost::json::key_value_pair& member : *chunks) {
        const std::string_view hash(member.key().data(), member.key().size());
        // emplace keeps the first location of a hash that is already present.
        index.chunks.emplace(std::string(hash), read_chunk_location(hash, member.value(), index.packs));
    }
    return index;
}

const ChunkLocation* pack_location(const PackIndex& index, const ManifestChunk& chunk) {
    const auto found = index.chunks.find(chunk.h);
    return found != index.chunks.end() && found->second.length == chunk.z ? &found->second : nullptr;
}

} // namespace gu::patch
