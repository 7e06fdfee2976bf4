#include "patch/json_fields.hpp"

#include "patch/errors.hpp"

#include <boost/json/parse.hpp>

#include <cmath>
#include <limits>
#include <utility>

namespace gu::patch {
namespace {

std::string field_message(std::string_view what, std::string_view key, std::string_view tail) {
    std::string message(what);
    message += ": field \"";
    message += key;
    message += "\" ";
    message += tail;
    return message;
}

// Float-to-integer casts are undefined outside the target range, and hostile documents can hold any
// number, so both truncations saturate at the range ends instead.
std::int64_t truncate_to_int64(double value) {
    constexpr double two_pow_63 = 9223372036854775808.0;
    if (std::isnan(value)) {
        return 0;
    }
    if (value >= two_pow_63) {
        return std::numeric_limits<std::int64_t>::max();
    }
    if (value < -two_pow_63) {
        return std::numeric_limits<std::int64_t>::min();
    }
    return static_cast<std::int64_t>(value);
}

// No sign test: a negative value truncates to 0 rather than failing.
std::uint64_t truncate_to_uint64(double value) {
    constexpr double two_pow_64 = 18446744073709551616.0;
    if (!(value > 0.0)) {
        return 0;
    }
    if (value >= two_pow_64) {
        return std::numeric_limits<std::uint64_t>::max();
    }
    return static_cast<std::uint64_t>(value);
}

} // namespace

void fail_document(std::string message) {
    throw ManifestError(std::move(message));
}

boost::json::object parse_document_object(std::string_view text, std::string_view what,
                                          boost::json::storage_ptr storage) {
    boost::system::error_code ec;
    boost::json::value root =
        boost::json::parse(boost::json::string_view(text.data(), text.size()), ec, std::move(storage));
    if (ec) {
        std::string message = "failed to parse ";
        message += what;
        message += ": ";
        message += ec.message();
        fail_document(std::move(message));
    }
    if (!root.is_object()) {
        std::string message(what);
        message += ": top-level JSON must be an object";
        fail_document(std::move(message));
    }
    return std::move(root.get_object());
}

const boost::json::value& require_field(const boost::json::object& object, std::string_view key,
                                        std::string_view what) {
    const boost::json::value* value = object.if_contains(boost::json::string_view(key.data(), key.size()));
    if (value == nullptr) {
        std::string message(what);
        message += ": missing required field \"";
        message += key;
        message += '"';
        fail_document(std::move(message));
    }
    return *value;
}

std::string require_string(const boost::json::object& object, std::string_view key, std::string_view what) {
    const boost::json::value& value = require_field(object, key, what);
    const boost::json::string* text = value.if_string();
    if (text == nullptr) {
        fail_document(field_message(what, key, "must be a string"));
    }
    return std::string(text->data(), text->size());
}

std::string optional_string(const boost::json::object& object, std::string_view key) {
    const boost::json::value* value = object.if_contains(boost::json::string_view(key.data(), key.size()));
    if (value == nullptr || !value->is_string()) {
        return {};
    }
    const boost::json::string& text = value->get_string();
    return std::string(text.data(), text.size());
}

std::int32_t read_schema(const boost::json::object& object, std::string_view what) {
    constexpr std::string_view key = "schema";
    const boost::json::value& value = require_field(object, key, what);
    std::uint64_t bits = 0;
    switch (value.kind()) {
    case boost::json::kind::int64:
        bits = static_cast<std::uint64_t>(value.get_int64());
        break;
    case boost::json::kind::uint64:
        bits = value.get_uint64();
        break;
    case boost::json::kind::double_:
        bits = static_cast<std::uint64_t>(truncate_to_int64(value.get_double()));
        break;
    default:
        fail_document(field_message(what, key, "must be a number"));
    }
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(bits));
}

std::uint64_t read_unsigned(const boost::json::object& object, std::string_view key, std::string_view what) {
    const boost::json::value& value = require_field(object, key, what);
    switch (value.kind()) {
    case boost::json::kind::uint64:
        return value.get_uint64();
    case boost::json::kind::int64:
        if (value.get_int64() < 0) {
            fail_document(field_message(what, key, "must be >= 0"));
        }
        return static_cast<std::uint64_t>(value.get_int64());
    case boost::json::kind::double_:
        return truncate_to_uint64(value.get_double());
    default:
        fail_document(field_message(what, key, "must be a number"));
    }
}

std::uint64_t read_location(const boost::json::value& element, std::string_view hash) {
    if (const std::int64_t* signed_value = element.if_int64()) {
        return static_cast<std::uint64_t>(*signed_value);
    }
    if (const std::uint64_t* unsigned_value = element.if_uint64()) {
        return *unsigned_value;
    }
    std::string message = "pack index: chunk \"";
    message += hash;
    message += "\": non-integer location";
    fail_document(std::move(message));
}

} // namespace gu::patch
