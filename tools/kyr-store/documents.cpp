#include "tools/kyr-store/documents.hpp"

#include "patch/utc_time.hpp"

#include <boost/json.hpp>

namespace kyrstore {

namespace json = boost::json;

std::string manifest_json(const gu::patch::Manifest& manifest) {
    json::array preserve;
    for (const std::string& pattern : manifest.preserve) {
        preserve.emplace_back(pattern);
    }
    json::array files;
    files.reserve(manifest.files.size());
    for (const gu::patch::ManifestFile& file : manifest.files) {
        json::array chunks;
        chunks.reserve(file.chunks.size());
        for (const gu::patch::ManifestChunk& chunk : file.chunks) {
            chunks.push_back(json::object{{"h", chunk.h}, {"n", chunk.n}, {"z", chunk.z}});
        }
        files.push_back(json::object{
            {"path", file.path}, {"size", file.size}, {"sha256", file.sha256}, {"chunks", std::move(chunks)}});
    }
    const json::object document{{"schema", 1},
                                {"product", manifest.product},
                                {"channel", manifest.channel},
                                {"version", manifest.version},
                                {"platform", manifest.platform},
                                {"total_size", manifest.total_size},
                                {"preserve", std::move(preserve)},
                                {"files", std::move(files)}};
    return json::serialize(document);
}

std::string channel_json(const gu::patch::Channel& channel) {
    json::object document{{"product", channel.product},
                          {"channel", channel.channel},
                          {"platform", channel.platform},
                          {"latest", channel.latest}};
    if (channel.serial) {
        document["serial"] = *channel.serial;
    }
    if (!channel.updated_at.empty()) {
        document["updated_at"] = channel.updated_at;
    }
    if (channel.expires) {
        document["expires"] = gu::patch::utc_time_text(*channel.expires);
    }
    return json::serialize(document);
}

std::string pack_index_json(const std::string& channel, const std::string& version, const PackSet& packs) {
    json::array entries;
    for (const gu::patch::PackEntry& pack : packs.packs) {
        entries.push_back(json::object{{"name", pack.name}, {"size", pack.size}, {"sha256", pack.sha256}});
    }
    json::object chunks;
    chunks.reserve(packs.locations.size());
    for (const auto& [h, location] : packs.locations) {
        chunks[h] = json::array{location.pack, location.offset, location.length};
    }
    const json::object document{{"schema", 1},
                                {"channel", channel},
                                {"version", version},
                                {"packs", std::move(entries)},
                                {"chunks", std::move(chunks)}};
    return json::serialize(document);
}

} // namespace kyrstore
