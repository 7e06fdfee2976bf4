#include "patch/patch_state.hpp"

#include "patch/json_fields.hpp"
#include "patch/state_file.hpp"

#include <boost/json/serialize.hpp>

namespace gu::patch {
namespace {

constexpr const char* kFileName = "patchstate.json";

// Entries that are not a product's object of whole non-negative numbers are dropped, like bad file entries.
void load_channel_serials(const boost::json::object& object, PatchState& state) {
    const boost::json::value* serials = object.if_contains("channel_serials");
    if (serials == nullptr || !serials->is_object()) {
        return;
    }
    for (const boost::json::key_value_pair& product : serials->get_object()) {
        if (!product.value().is_object()) {
            continue;
        }
        for (const boost::json::key_value_pair& channel : product.value().get_object()) {
            const boost::json::value& serial = channel.value();
            if (serial.is_uint64() || (serial.is_int64() && serial.get_int64() >= 0)) {
                state.channel_serials[std::string(product.key())][std::string(channel.key())] =
                    serial.to_number<std::uint64_t>();
            }
        }
    }
}

} // namespace

std::optional<std::uint64_t> PatchState::channel_serial(const std::string& product, const std::string& channel) const {
    const auto of_product = channel_serials.find(product);
    if (of_product == channel_serials.end()) {
        return std::nullopt;
    }
    const auto found = of_product->second.find(channel);
    return found == of_product->second.end() ? std::nullopt : std::optional<std::uint64_t>(found->second);
}

PatchState PatchState::load(const std::filesystem::path& root) {
    PatchState state;
    const std::optional<boost::json::object> object = load_state_object(root / kFileName);
    if (!object) {
        return state;
    }
    state.version = optional_string(*object, "version");
    if (const boost::json::value* files = object->if_contains("files"); files != nullptr && files->is_object()) {
        for (const boost::json::key_value_pair& member : files->get_object()) {
            if (const boost::json::string* hash = member.value().if_string()) {
                state.files.emplace(std::string(member.key()), std::string(hash->data(), hash->size()));
            }
        }
    }
    state.apk_sha = optional_string(*object, "apk_sha");
    load_channel_serials(*object, state);
    return state;
}

void PatchState::save(const std::filesystem::path& root) const {
    boost::json::object files_object;
    files_object.reserve(files.size());
    for (const auto& [path, hash] : files) {
        files_object.emplace(path, hash);
    }
    boost::json::object object;
    object.emplace("version", version);
    object.emplace("files", std::move(files_object));
    object.emplace("apk_sha", apk_sha);
    if (!channel_serials.empty()) {
        boost::json::object serials;
        for (const auto& [product, channels] : channel_serials) {
            boost::json::object of_product;
            for (const auto& [channel, serial] : channels) {
                of_product.emplace(channel, serial);
            }
            serials.emplace(product, std::move(of_product));
        }
        object.emplace("channel_serials", std::move(serials));
    }
    save_state_text(root, kFileName, boost::json::serialize(object), "PatchState");
}

} // namespace gu::patch
