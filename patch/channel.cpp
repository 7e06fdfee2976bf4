#include "patch/json_fields.hpp"
#include "patch/store_documents.hpp"

namespace gu::patch {

Channel parse_channel(std::string_view text) {
    constexpr std::string_view what = "channel";
    const boost::json::object root = parse_document_object(text, what);
    Channel channel;
    channel.product = require_string(root, "product", what);
    channel.channel = require_string(root, "channel", what);
    channel.platform = require_string(root, "platform", what);
    channel.latest = require_string(root, "latest", what);
    channel.min_supported = optional_string(root, "min_supported");
    channel.updated_at = optional_string(root, "updated_at");
    channel.min_client_ios = optional_string(root, "min_client_ios");
    channel.min_client_android = optional_string(root, "min_client_android");
    return channel;
}

} // namespace gu::patch
