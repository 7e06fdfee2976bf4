#pragma once
// Field readers shared by the store document parsers. Each takes a label `what` that begins its
// messages ("channel", "manifest", "manifest file", "manifest chunk", "pack index") and throws
// ManifestError on the first failure.

#include <boost/json/object.hpp>
#include <boost/json/storage_ptr.hpp>
#include <boost/json/value.hpp>

#include <cstdint>
#include <string>
#include <string_view>

namespace gu::patch {

// Throws ManifestError with the message: the one way a document check fails.
[[noreturn]] void fail_document(std::string message);

// Parses the whole text as one JSON value (default options) that must be an object. The DOM is
// allocated from `storage`, so a caller may hand in an arena for a large document.
boost::json::object parse_document_object(std::string_view text, std::string_view what,
                                          boost::json::storage_ptr storage = {});

const boost::json::value& require_field(const boost::json::object& object, std::string_view key, std::string_view what);

std::string require_string(const boost::json::object& object, std::string_view key, std::string_view what);

// Absent or not a string: the empty string, no error.
std::string optional_string(const boost::json::object& object, std::string_view key);

// The member "schema" as a signed 32-bit number (the low 32 bits of the value read).
std::int32_t read_schema(const boost::json::object& object, std::string_view what);

std::uint64_t read_unsigned(const boost::json::object& object, std::string_view key, std::string_view what);

// One element of a pack index location [pack, offset, len]: only JSON integers, taken as their 64-bit
// pattern. `hash` names the chunk in the message.
std::uint64_t read_location(const boost::json::value& element, std::string_view hash);

} // namespace gu::patch
