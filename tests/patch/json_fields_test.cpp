#include "patch/json_fields.hpp"

#include "patch/errors.hpp"

#include <boost/json/parse.hpp>
#include <boost/json/serialize.hpp>
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>

namespace {

using gu::patch::ManifestError;

boost::json::object object_of(const std::string& text) {
    return boost::json::parse(text).as_object();
}

// The ManifestError message of `action`, or a marker that makes a wrong expectation easy to read.
std::string error_of(const std::function<void()>& action) {
    try {
        action();
    } catch (const ManifestError& e) {
        return e.what();
    } catch (const std::exception& e) {
        return std::string("<other exception: ") + e.what() + ">";
    }
    return "<no error>";
}

TEST(FieldReaders, RequiredAndOptionalStrings) {
    const boost::json::object object = object_of(R"({"s":"text","n":5,"z":null,"e":""})");
    EXPECT_EQ(gu::patch::require_string(object, "s", "doc"), "text");
    EXPECT_EQ(gu::patch::require_string(object, "e", "doc"), "");
    EXPECT_EQ(error_of([&] { gu::patch::require_string(object, "missing", "doc"); }),
              "doc: missing required field \"missing\"");
    EXPECT_EQ(error_of([&] { gu::patch::require_string(object, "n", "doc"); }), "doc: field \"n\" must be a string");
    EXPECT_EQ(error_of([&] { gu::patch::require_string(object, "z", "doc"); }), "doc: field \"z\" must be a string");
    EXPECT_EQ(gu::patch::optional_string(object, "s"), "text");
    EXPECT_EQ(gu::patch::optional_string(object, "n"), "");
    EXPECT_EQ(gu::patch::optional_string(object, "missing"), "");
    EXPECT_EQ(gu::patch::require_field(object, "n", "doc").as_int64(), 5);
}

TEST(FieldReaders, StringsKeepEmbeddedNulBytes) {
    const boost::json::object object = object_of(R"({"s":"a\u0000b"})");
    EXPECT_EQ(gu::patch::require_string(object, "s", "doc"), std::string("a\0b", 3));
}

TEST(ReadSchema, TakesTheLow32BitsOfAnyNumber) {
    struct Case {
        const char* name;
        std::string text;
        std::int32_t want;
    };
    const Case cases[] = {
        {"one", R"({"schema":1})", 1},
        {"negative", R"({"schema":-7})", -7},
        {"fraction truncated toward zero", R"({"schema":1.9})", 1},
        {"negative fraction truncated toward zero", R"({"schema":-1.9})", -1},
        {"exponent form", R"({"schema":2e0})", 2},
        {"2^32 + 1 wraps to 1", R"({"schema":4294967297})", 1},
        {"unsigned beyond int64", R"({"schema":18446744073709551615})", -1},
        {"huge double saturates", R"({"schema":1e300})", -1},
        {"huge negative double saturates", R"({"schema":-1e300})", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(gu::patch::read_schema(object_of(c.text), "doc"), c.want);
    }
}

TEST(ReadSchema, RefusesMissingAndNonNumbers) {
    EXPECT_EQ(error_of([] { gu::patch::read_schema(object_of("{}"), "doc"); }),
              "doc: missing required field \"schema\"");
    for (const char* text : {R"({"schema":"1"})", R"({"schema":true})", R"({"schema":null})", R"({"schema":[1]})"}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(error_of([&] { gu::patch::read_schema(object_of(text), "doc"); }),
                  "doc: field \"schema\" must be a number");
    }
}

TEST(ReadUnsigned, ReadsEveryNumberKind) {
    struct Case {
        const char* name;
        std::string text;
        std::uint64_t want;
    };
    const Case cases[] = {
        {"zero", R"({"v":0})", 0},
        {"int64 max", R"({"v":9223372036854775807})", 9223372036854775807ull},
        {"uint64 max", R"({"v":18446744073709551615})", UINT64_MAX},
        {"12.9 reads as 12", R"({"v":12.9})", 12},
        {"negative fraction truncates to 0", R"({"v":-0.5})", 0},
        {"negative double has no sign test", R"({"v":-3.5})", 0},
        {"double beyond 2^64 saturates", R"({"v":1e30})", UINT64_MAX},
        {"minus zero", R"({"v":-0})", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(gu::patch::read_unsigned(object_of(c.text), "v", "doc"), c.want);
    }
}

TEST(ReadUnsigned, RefusesNegativeIntegersAndNonNumbers) {
    struct Case {
        const char* name;
        std::string text;
        std::string want;
    };
    const Case cases[] = {
        {"missing", "{}", "doc: missing required field \"v\""},
        {"minus one", R"({"v":-1})", "doc: field \"v\" must be >= 0"},
        {"int64 min", R"({"v":-9223372036854775808})", "doc: field \"v\" must be >= 0"},
        {"string", R"({"v":"12"})", "doc: field \"v\" must be a number"},
        {"bool", R"({"v":false})", "doc: field \"v\" must be a number"},
        {"null", R"({"v":null})", "doc: field \"v\" must be a number"},
        {"object", R"({"v":{}})", "doc: field \"v\" must be a number"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(error_of([&] { gu::patch::read_unsigned(object_of(c.text), "v", "doc"); }), c.want);
    }
}

TEST(ReadLocation, TakesOnlyIntegersAsTheir64BitPattern) {
    const boost::json::array values = boost::json::parse(R"([0, 7, -1, 18446744073709551615])").as_array();
    EXPECT_EQ(gu::patch::read_location(values[0], "h"), 0u);
    EXPECT_EQ(gu::patch::read_location(values[1], "h"), 7u);
    EXPECT_EQ(gu::patch::read_location(values[2], "h"), UINT64_MAX);
    EXPECT_EQ(gu::patch::read_location(values[3], "h"), UINT64_MAX);

    const boost::json::array refused = boost::json::parse(R"([1.0, "1", null, [1], true])").as_array();
    for (const boost::json::value& value : refused) {
        SCOPED_TRACE(boost::json::serialize(value));
        EXPECT_EQ(error_of([&] { gu::patch::read_location(value, "abc"); }),
                  "pack index: chunk \"abc\": non-integer location");
    }
}

} // namespace
