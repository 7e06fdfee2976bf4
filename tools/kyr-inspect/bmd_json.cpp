#include "tools/kyr-inspect/bmd_json.hpp"

#include "launcher/servers/server_list_bmd.hpp"
#include "tools/kyr-inspect/directory_json.hpp"

#include <cstddef>
#include <string>
#include <vector>

namespace inspect {

namespace {

// Members of one JSON object, written in order with the given separator between them.
class Members {
public:
    Members(std::string& out, const char* separator) : out_(out), separator_(separator) {}

    void number(std::string_view key, long long value) { raw(key, std::to_string(value)); }
    void text(std::string_view key, std::string_view value) {
        name(key);
        appendJsonString(out_, value);
    }
    void raw(std::string_view key, const std::string& value) {
        name(key);
        out_ += value;
    }

private:
    void name(std::string_view key) {
        if (!first_) {
            out_ += separator_;
        }
        first_ = false;
        appendJsonString(out_, key);
        out_ += ": ";
    }

    std::string& out_;
    const char* separator_;
    bool first_ = true;
};

void appendRecord(std::string& out, const launcher::BmdRecord& record) {
    std::string settings = "[";
    for (std::size_t i = 0; i < record.settings.size(); ++i) {
        settings += (i > 0 ? ", " : "") + std::to_string(record.settings[i]);
    }
    settings += "]";

    out += "{";
    Members members(out, ", ");
    members.number("id", record.id);
    members.text("name", record.name);
    members.number("flags", record.flags);
    members.number("sequence", record.sequence);
    members.raw("settings", settings);
    members.number("extra", record.extra);
    members.number("extra2", record.extra2);
    members.number("extra3", record.extra3);
    members.number("descriptionLength", static_cast<long long>(record.description.size()));
    members.text("description", record.description);
    out += "}";
}

} // namespace

std::string bmdToJson(std::string_view fileBytes) {
    const std::vector<launcher::BmdRecord> records = launcher::decodeBmdRecords(fileBytes);
    std::size_t decoded = 0;
    std::string list = "[";
    for (std::size_t i = 0; i < records.size(); ++i) {
        decoded += launcher::kBmdHeaderSize + records[i].description.size();
        list += i > 0 ? ",\n    " : "\n    ";
        appendRecord(list, records[i]);
    }
    list += records.empty() ? "]" : "\n  ]";

    std::string out = "{\n  ";
    Members members(out, ",\n  ");
    members.number("size", static_cast<long long>(fileBytes.size()));
    members.text("stamp", launcher::stampOf(fileBytes));
    members.number("undecodedBytes", static_cast<long long>(fileBytes.size() - decoded));
    members.raw("records", list);
    out += "\n}\n";
    return out;
}

} // namespace inspect
