#include "tools/kyr-inspect/bmd_json.hpp"

#include "support/bmd_template.hpp"

#include <boost/json.hpp>
#include <gtest/gtest.h>

#include <string>

namespace {

boost::json::object parsed(const std::string& text) {
    boost::system::error_code ec;
    boost::json::value value = boost::json::parse(text, ec);
    EXPECT_FALSE(ec) << text;
    return ec ? boost::json::object() : value.as_object();
}

TEST(BmdToJson, EveryFieldOfEveryRecord) {
    kyrtest::TemplateRecord first;
    first.id = 65535;
    first.name = "Main \"A\"";
    first.flags = 0x81;
    first.sequence = 255;
    first.settings = {3, 3, 3, 3, 2, 1, 1, 1};
    first.extra = 4294967295u;
    first.extra2 = 65535;
    first.extra3 = 7;
    first.description = std::string("Texto\0", 6);
    kyrtest::TemplateRecord second;
    second.id = 2;
    second.name = "Bad \xFF name";
    second.description = "no zero";
    const std::string bytes = kyrtest::bmdTemplateBytes({first, second}) + "tail";

    const boost::json::object json = parsed(inspect::bmdToJson(bytes));
    EXPECT_EQ(json.at("size").as_int64(), static_cast<std::int64_t>(bytes.size()));
    EXPECT_EQ(json.at("undecodedBytes").as_int64(), 4);
    EXPECT_EQ(json.at("stamp").as_string().size(), std::to_string(bytes.size()).size() + 9);
    const auto& records = json.at("records").as_array();
    ASSERT_EQ(records.size(), 2u);

    const auto& a = records[0].as_object();
    EXPECT_EQ(a.at("id").as_int64(), 65535);
    EXPECT_EQ(a.at("name").as_string(), "Main \"A\"");
    EXPECT_EQ(a.at("flags").as_int64(), 0x81);
    EXPECT_EQ(a.at("sequence").as_int64(), 255);
    const auto& settings = a.at("settings").as_array();
    ASSERT_EQ(settings.size(), 8u);
    EXPECT_EQ(settings[4].as_int64(), 2);
    EXPECT_EQ(settings[7].as_int64(), 1);
    EXPECT_EQ(a.at("extra").as_int64(), 4294967295);
    EXPECT_EQ(a.at("extra2").as_int64(), 65535);
    EXPECT_EQ(a.at("extra3").as_int64(), 7);
    EXPECT_EQ(a.at("descriptionLength").as_int64(), 6);
    EXPECT_EQ(a.at("description").as_string(), boost::json::string_view("Texto\0", 6));

    const auto& b = records[1].as_object();
    EXPECT_EQ(b.at("name").as_string(), "Bad \xC3\xBF name"); // the stray byte shown as \u00ff
    EXPECT_EQ(b.at("description").as_string(), "no zero");
}

TEST(BmdToJson, FileWithoutRecords) {
    const boost::json::object json = parsed(inspect::bmdToJson("abc"));
    EXPECT_EQ(json.at("size").as_int64(), 3);
    EXPECT_EQ(json.at("stamp").as_string(), "3-1a47e90b");
    EXPECT_EQ(json.at("undecodedBytes").as_int64(), 3);
    EXPECT_TRUE(json.at("records").as_array().empty());
}

} // namespace
