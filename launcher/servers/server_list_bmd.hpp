#pragma once
// Data\Local\ServerList.bmd, the game's list of server groups, rewritten before the game starts so that it
// shows the groups of the chosen server. The game's own file is kept as ServerList.bmd.orig, the template
// for the record fields that the launcher does not own; a stamp of the last file written (BmdStamp in
// launcher.ini) tells the launcher's own file from one that the game's patcher or the player put there.

#include "launcher/servers/server_directory.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace launcher {

inline constexpr std::size_t kBmdHeaderSize = 53;
inline constexpr std::size_t kBmdNameField = 32;
inline constexpr std::size_t kBmdNameLimit = 31;
inline constexpr std::size_t kBmdDescriptionLimit = 250;
inline constexpr std::size_t kBmdFileLimit = 256 * 1024;
inline constexpr std::size_t kBmdMaxRecords = 64;
inline constexpr int kBmdChannelsPerGroup = 20;

// Every stored byte is XOR-ed with this table, indexed from the start of the header and again from the
// start of the description.
inline constexpr std::array<std::uint8_t, 3> kBmdXorTable = {0x5A, 0x3C, 0x96};

// The fields of a group that has no record in the template.
inline constexpr std::array<std::uint8_t, 8> kBmdDefaultSettings = {3, 3, 3, 3, 2, 1, 1, 1};

// One group record. flags, settings and the extras are the game's, carried over from the template.
struct BmdRecord {
    int id = 0;
    std::string name;
    std::uint8_t flags = 0;
    std::uint8_t sequence = 0;
    std::array<std::uint8_t, 8> settings = kBmdDefaultSettings;
    std::uint32_t extra = 0;
    std::uint16_t extra2 = 0;
    std::uint8_t extra3 = 0;
    std::string description; // as read, its terminating zero byte included
};

// A group of the chosen server: channel code / 20, named by the first non-empty "group" of its channels.
struct BmdGroup {
    int id = 0;
    std::string name;
};

// "%lu-%08x" of the length and the 32-bit FNV-1a hash of the bytes; "3-1a47e90b" for "abc".
std::string stampOf(std::string_view bytes);

// Appends one record: the name cut to 31 bytes, the description without its trailing zero bytes, cut to
// 250 bytes without leaving half a UTF-8 sequence, then one zero byte.
void appendBmdRecord(std::string& out, const BmdRecord& record);

// The records of a file's bytes, at most 64; reading stops before a record whose description length has
// its top bit set or whose description runs past the end.
std::vector<BmdRecord> decodeBmdRecords(std::string_view bytes);

// The records of the file at path; none when it is missing, unreadable or larger than 256 KiB.
std::vector<BmdRecord> readBmdRecords(const std::string& path);

// The distinct groups of the server's channels, in ascending order.
std::vector<BmdGroup> bmdGroupsOf(const ServerEntry& server);

// The file's bytes for the server, with fields carried over from the first template record of each group.
// warning receives a text when the groups ran out of sequence values and only the first were built.
std::string buildServerListBmd(const ServerEntry& server, const std::vector<BmdRecord>& templateRecords,
                               std::string& warning);

// Saves a foreign ServerList.bmd as the template, then rewrites the file for the server (nothing when it
// has no channels). newStamp receives the stamp of the file written; message a failure text or the
// truncation warning; each is left alone otherwise. False only when the new file could not be put in
// place; the previous ServerList.bmd then stays as it was.
bool writeServerListBmd(const std::string& folder, const ServerEntry& server, const std::string& lastStamp,
                        std::string& newStamp, std::string& message);

} // namespace launcher
