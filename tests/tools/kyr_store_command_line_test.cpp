#include "tools/kyr-store/command_line.hpp"

#include <gtest/gtest.h>

namespace {

using kyrstore::Command;
using kyrstore::parse_command_line;

TEST(CommandLine, PublishOptionsAndDefaults) {
    const Command command =
        parse_command_line({"publish",     "--key",   "k",          "--in",    "game",       "--out", "store",
                            "--version",   "1.2",     "--preserve", "a/*.ini", "--preserve", "b.cfg", "--flat-manifest",
                            "--pack-size", "1048576", "--level",    "3",       "--threads",  "2",     "--channel",
                            "beta"});
    ASSERT_EQ(command.kind, Command::Kind::publish);
    const kyrstore::PublishOptions& o = command.publish;
    EXPECT_EQ(o.key_file, "k");
    EXPECT_EQ(o.game_dir, "game");
    EXPECT_EQ(o.store_dir, "store");
    EXPECT_EQ(o.version, "1.2");
    EXPECT_EQ(o.preserve, (std::vector<std::string>{"a/*.ini", "b.cfg"}));
    EXPECT_TRUE(o.flat_manifest);
    EXPECT_EQ(o.pack_size, 1048576u);
    EXPECT_EQ(o.level, 3);
    EXPECT_EQ(o.threads, 2u);
    EXPECT_EQ(o.channel, "beta");
    EXPECT_EQ(o.product, "valdra7q");
    EXPECT_EQ(o.platform, "windows-x86");

    const Command keygen = parse_command_line({"keygen", "--out", "new.key"});
    EXPECT_EQ(keygen.kind, Command::Kind::keygen);
    EXPECT_EQ(keygen.key_out, "new.key");
    EXPECT_EQ(parse_command_line({"--help"}).kind, Command::Kind::help);
}

TEST(CommandLine, UsageErrors) {
    const std::vector<std::string> publish = {"publish", "--key", "k", "--in", "g", "--out", "s", "--version", "1"};
    const auto with = [&](std::vector<std::string> extra) {
        std::vector<std::string> arguments = publish;
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        return arguments;
    };
    struct Case {
        const char* name;
        std::vector<std::string> arguments;
        const char* message;
    };
    const Case cases[] = {
        {"nothing", {}, "no command"},
        {"unknown command", {"serve"}, "unknown command"},
        {"keygen without --out", {"keygen"}, "--out KEYFILE"},
        {"keygen with extra", {"keygen", "--out", "a", "b"}, "--out KEYFILE"},
        {"publish without version", {"publish", "--key", "k", "--in", "g", "--out", "s"}, "--version"},
        {"missing value", with({"--level"}), "--level needs a value"},
        {"unknown option", with({"--fast", "1"}), "unknown option"},
        {"stray word", with({"extra"}), "unexpected"},
        {"level not a number", with({"--level", "nine"}), "whole number"},
        {"negative pack size", with({"--pack-size", "-5"}), "whole number"},
        {"huge number", with({"--pack-size", "123456789012345678901234"}), "whole number"},
        {"level too high", with({"--level", "99"}), "--level"},
        {"no threads", with({"--threads", "0"}), "at least 1"},
        {"pack size too small", with({"--pack-size", "100"}), "--pack-size"},
        {"unsafe version", with({"--version", "../1"}), "invalid version"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            parse_command_line(c.arguments);
            ADD_FAILURE() << "accepted";
        } catch (const kyrstore::UsageError& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
    }
}

} // namespace
