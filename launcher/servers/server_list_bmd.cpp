#include "launcher/servers/server_list_bmd.hpp"

#include "launcher/game/game_client_interface.hpp"
#include "launcher/servers/server_cache.hpp"
#include "launcher/servers/text_rules.hpp"
#include "launcher/shell/file_replace.hpp"
#include "launcher/shell/folder_path.hpp"
#include "launcher/shell/safe_path.hpp"

#include <algorithm>
#include <cstdio>

namespace launcher {

namespace {

constexpr std::size_t kFlagsAt = 34;
constexpr std::size_t kSequenceAt = 35;
constexpr std::size_t kSettingsAt = 36;
constexpr std::size_t kExtraAt = 44;
constexpr std::size_t kExtra2At = 48;
constexpr std::size_t kExtra3At = 50;
constexpr std::size_t kDescriptionLengthAt = 51;
constexpr int kHighestChannelCode = 255;
constexpr unsigned kLastSequence = 255;

constexpr char kCannotCreate[] = "No se pudo escribir Data\\Local\\ServerList.bmd (archivo en uso o de solo lectura).";
constexpr char kShortWrite[] = "No se pudo escribir Data\\Local\\ServerList.bmd (disco lleno?).";
constexpr char kNotReplaced[] = "No se pudo reemplazar Data\\Local\\ServerList.bmd.";
constexpr char kFolderNotOnDrive[] =
    "No se escribió Data\\Local\\ServerList.bmd: la carpeta Data o Data\\Local es un enlace que no lleva a "
    "una carpeta de un disco.";
constexpr char kTooManyGroups[] = "Demasiados grupos de servidor para ServerList.bmd: se escribieron los primeros.";

using Header = std::array<std::uint8_t, kBmdHeaderSize>;

std::uint8_t xorKey(std::size_t index) {
    return kBmdXorTable[index % kBmdXorTable.size()];
}

void putLittleEndian(Header& header, std::size_t at, std::uint32_t value, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        header[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

std::uint32_t getLittleEndian(const Header& header, std::size_t at, std::size_t count) {
    std::uint32_t value = 0;
    for (std::size_t i = count; i-- > 0;) {
        value = (value << 8) | header[at + i];
    }
    return value;
}

const BmdRecord* findTemplate(const std::vector<BmdRecord>& records, int id) {
    const auto found = std::find_if(records.begin(), records.end(), [id](const BmdRecord& r) { return r.id == id; });
    return found == records.end() ? nullptr : &*found;
}

bool canOpen(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return false;
    }
    std::fclose(file);
    return true;
}

} // namespace

std::string stampOf(std::string_view bytes) {
    std::uint32_t hash = 0x811C9DC5u;
    for (const char c : bytes) {
        hash ^= static_cast<std::uint8_t>(c);
        hash *= 16777619u;
    }
    char text[40];
    std::snprintf(text, sizeof text, "%lu-%08x", static_cast<unsigned long>(bytes.size()), static_cast<unsigned>(hash));
    return text;
}

void appendBmdRecord(std::string& out, const BmdRecord& record) {
    Header header{};
    putLittleEndian(header, 0, static_cast<std::uint32_t>(record.id), 2);
    std::copy_n(record.name.begin(), std::min(record.name.size(), kBmdNameLimit), header.begin() + 2);
    header[kFlagsAt] = record.flags;
    header[kSequenceAt] = record.sequence;
    std::copy(record.settings.begin(), record.settings.end(), header.begin() + kSettingsAt);
    putLittleEndian(header, kExtraAt, record.extra, 4);
    putLittleEndian(header, kExtra2At, record.extra2, 2);
    header[kExtra3At] = record.extra3;

    std::string description = record.description;
    while (!description.empty() && description.back() == '\0') {
        description.pop_back();
    }
    if (description.size() > kBmdDescriptionLimit) {
        description.resize(kBmdDescriptionLimit);
        dropCutUtf8Sequence(description);
    }
    description.push_back('\0');
    putLittleEndian(header, kDescriptionLengthAt, static_cast<std::uint32_t>(description.size()), 2);

    for (std::size_t i = 0; i < header.size(); ++i) {
        out.push_back(static_cast<char>(header[i] ^ xorKey(i)));
    }
    for (std::size_t j = 0; j < description.size(); ++j) {
        out.push_back(static_cast<char>(static_cast<std::uint8_t>(description[j]) ^ xorKey(j)));
    }
}

std::vector<BmdRecord> decodeBmdRecords(std::string_view bytes) {
    std::vector<BmdRecord> records;
    std::size_t at = 0;
    while (bytes.size() - at >= kBmdHeaderSize && records.size() < kBmdMaxRecords) {
        Header header;
        for (std::size_t i = 0; i < header.size(); ++i) {
            header[i] = static_cast<std::uint8_t>(bytes[at + i]) ^ xorKey(i);
        }
        const std::size_t length = getLittleEndian(header, kDescriptionLengthAt, 2);
        if (header[kDescriptionLengthAt + 1] >= 0x80 || length > bytes.size() - at - kBmdHeaderSize) {
            break;
        }
        BmdRecord record;
        record.id = static_cast<int>(getLittleEndian(header, 0, 2));
        const auto* nameField = reinterpret_cast<const char*>(header.data() + 2);
        const std::string_view name(nameField, kBmdNameField);
        record.name = cleanText(name.substr(0, name.find('\0')), kBmdNameField);
        record.flags = header[kFlagsAt];
        record.sequence = header[kSequenceAt];
        std::copy_n(header.begin() + kSettingsAt, record.settings.size(), record.settings.begin());
        record.extra = getLittleEndian(header, kExtraAt, 4);
        record.extra2 = static_cast<std::uint16_t>(getLittleEndian(header, kExtra2At, 2));
        record.extra3 = header[kExtra3At];
        at += kBmdHeaderSize;
        record.description.reserve(length);
        for (std::size_t j = 0; j < length; ++j) {
            record.description.push_back(static_cast<char>(static_cast<std::uint8_t>(bytes[at + j]) ^ xorKey(j)));
        }
        at += length;
        records.push_back(std::move(record));
    }
    return records;
}

std::vector<BmdRecord> readBmdRecords(const std::string& path) {
    std::string bytes;
    if (!readTextFile(path, bytes, kBmdFileLimit)) {
        return {};
    }
    return decodeBmdRecords(bytes);
}

std::vector<BmdGroup> bmdGroupsOf(const ServerEntry& server) {
    std::vector<BmdGroup> groups;
    for (const ServerChannel& channel : server.channels) {
        if (channel.code < 0 || channel.code > kHighestChannelCode) {
            continue;
        }
        const int id = channel.code / kBmdChannelsPerGroup;
        auto group = std::lower_bound(groups.begin(), groups.end(), id,
                                      [](const BmdGroup& g, int wanted) { return g.id < wanted; });
        if (group == groups.end() || group->id != id) {
            group = groups.insert(group, BmdGroup{id, {}});
        }
        if (group->name.empty()) {
            group->name = channel.group;
        }
    }
    return groups;
}

std::string buildServerListBmd(const ServerEntry& server, const std::vector<BmdRecord>& templateRecords,
                               std::string& warning) {
    const std::vector<BmdGroup> groups = bmdGroupsOf(server);
    std::string out;
    unsigned counter = 1;
    for (std::size_t g = 0; g < groups.size(); ++g) {
        BmdRecord record;
        record.id = groups[g].id;
        const BmdRecord* model = findTemplate(templateRecords, record.id);
        if (model != nullptr) {
            record.flags = model->flags;
            record.sequence = model->sequence;
            record.settings = model->settings;
            record.extra = model->extra;
            record.extra2 = model->extra2;
            record.extra3 = model->extra3;
            record.description = model->description;
        }
        if (!groups[g].name.empty()) {
            record.name = groups[g].name;
        } else if (model != nullptr && !model->name.empty()) {
            record.name = model->name;
        } else {
            record.name = "Servidor " + std::to_string(record.id);
        }
        if (record.description.empty()) {
            record.description = server.description;
        }
        // counter never passes 255 here: a sequence of 255 ends the build unless it is the last group.
        if (record.sequence < counter) {
            record.sequence = static_cast<std::uint8_t>(counter);
        }
        counter = record.sequence + 1u;
        appendBmdRecord(out, record);
        if (record.sequence == kLastSequence && g + 1 < groups.size()) {
            warning = kTooManyGroups;
            break;
        }
    }
    return out;
}

bool writeServerListBmd(const std::string& folder, const ServerEntry& server, const std::string& lastStamp,
                        std::string& newStamp, std::string& message) {
    const std::string path = joinFolderPath(folder, kServerListBmdPath);
    const std::string templatePath = path + kServerListBmdTemplateSuffix;
    if (!foldersStayOnDrives(folder, kGameLocalDataFolder)) {
        message = kFolderNotOnDrive;
        return false;
    }

    std::string current;
    const bool currentRead = readTextFile(path, current, kBmdFileLimit);
    // Only a file that carries the stamp of the launcher's last write is its own. Any other is saved as the
    // template, including one too large to read, which would otherwise be overwritten and lost.
    const bool ownFile = currentRead && !lastStamp.empty() && lastStamp == stampOf(current);
    if (!ownFile && (currentRead || canOpen(path))) {
        copyFileOver(path, templatePath);
    }
    // Channel codes outside 0 to 255 belong to no group; a server without a group gets no file at all.
    if (bmdGroupsOf(server).empty()) {
        return true;
    }

    std::vector<BmdRecord> templateRecords = readBmdRecords(templatePath);
    if (templateRecords.empty() && currentRead) {
        templateRecords = decodeBmdRecords(current);
    }
    std::string warning;
    const std::string output = buildServerListBmd(server, templateRecords, warning);

    switch (writeFileReplacing(path, output, true)) {
    case ReplaceWriteResult::CannotCreate:
        message = kCannotCreate;
        return false;
    case ReplaceWriteResult::ShortWrite:
        message = kShortWrite;
        return false;
    case ReplaceWriteResult::NotReplaced:
        message = kNotReplaced;
        return false;
    case ReplaceWriteResult::Written:
        break;
    }
    if (!warning.empty()) {
        message = warning;
    }
    newStamp = stampOf(output);
    return true;
}

} // namespace launcher
