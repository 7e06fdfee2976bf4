#include "patch/json_fields.hpp"

#include "patch/errors.hpp"

#include <boost/json/parse.hpp>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

// Sizes and locations come from signed documents: only numbers are read, negative integers refused, and
// fractions or numbers beyond 64 bits never wrap to a small value.
TEST(JsonFields, SizesAndLocationsAreReadOnlyFromNumbers) {
    struct Case {
        const char* name;
        std::string value;
        std::string want_size;     // read_unsigned, or its error
        std::string want_location; // read_location, or its error
    };
    const std::string not_a_number = "doc: field \"v\" must be a number";
    const std::string not_integer = "pack index: chunk \"h\": non-integer location";
    const Case cases[] = {
        {"uint64 max", "18446744073709551615", "18446744073709551615", "18446744073709551615"},
        {"fraction", "12.9", "12", not_integer},
        {"double beyond 2^64 saturates", "1e30", "18446744073709551615", not_integer},
        {"minus one", "-1", "doc: field \"v\" must be >= 0", "18446744073709551615"},
        {"string", "\"12\"", not_a_number, not_integer},
        {"null", "null", not_a_number, not_integer},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const boost::json::value value = boost::json::parse("{\"v\":" + c.value + "}");
        const auto text_of = [](auto read) {
            try {
                return std::to_string(read());
            } catch (const gu::patch::ManifestError& e) {
                return std::string(e.what());
            }
        };
        EXPECT_EQ(text_of([&] { return gu::patch::read_unsigned(value.as_object(), "v", "doc"); }), c.want_size);
        EXPECT_EQ(text_of([&] { return gu::patch::read_location(value.at("v"), "h"); }), c.want_location);
    }
}

} // namespace
