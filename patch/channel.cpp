#include "patch/json_fields.hpp"
#include "patch/store_documents.hpp"
#include "patch/utc_time.hpp"

#include <string>

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
    if (root.contains("serial")) {
        channel.serial = read_unsigned(root, "serial", what);
    }
    if (root.contains("expires")) {
        channel.expires = parse_utc_time(require_string(root, "expires", what));
        if (!channel.expires) {
            fail_document(R"(channel: field "expires" must be a UTC time such as "2027-01-06T12:00:00Z")");
        }
    }
    return channel;
}

void check_channel_freshness(const Channel& channel, std::optional<std::uint64_t> highest_accepted, std::int64_t now) {
    if (highest_accepted && !channel.serial) {
        fail_document("the store offers a channel without a serial, but this installation already had serial " +
                      std::to_string(*highest_accepted));
    }
    if (highest_accepted && *channel.serial < *highest_accepted) {
        fail_document("the store offers an older channel (serial " + std::to_string(*channel.serial) +
                      ") than this installation already had (serial " + std::to_string(*highest_accepted) + ")");
    }
    if (channel.expires && now >= *channel.expires) {
        fail_document("the store's channel expired at " + utc_time_text(*channel.expires) + " (now " +
                      utc_time_text(now) + "): the store is no longer kept current");
    }
}

} // namespace gu::patch
