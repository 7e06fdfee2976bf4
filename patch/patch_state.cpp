#include "patch/patch_state.hpp"

#include "patch/json_fields.hpp"
#include "patch/state_file.hpp"

#include <boost/json/serialize.hpp>

namespace gu::patch {
namespace {

constexpr const char* kFileName = "patchstate.json";

} // namespace

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
    save_state_text(root, kFileName, boost::json::serialize(object), "PatchState");
}

} // namespace gu::patch
