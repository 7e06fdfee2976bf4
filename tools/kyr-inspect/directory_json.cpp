#include "tools/kyr-inspect/directory_json.hpp"

#include <cstddef>
#include <vector>

namespace inspect {

namespace {

// Length of the well-formed UTF-8 sequence at i (RFC 3629: no overlong forms, no surrogates, nothing
// above U+10FFFF), or 0.
std::size_t utf8SequenceLength(std::string_view bytes, std::size_t i) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (bytes.size() - i < length) {
        return 0;
    }
    for (std::size_t k = 1; k < length; ++k) {
        const auto byte = static_cast<unsigned char>(bytes[i + k]);
        if (byte < (k == 1 ? low : 0x80) || byte > (k == 1 ? high : 0xBF)) {
            return 0;
        }
    }
    return length;
}

void appendByteEscape(std::string& out, unsigned char byte) {
    static const char kHex[] = "0123456789abcdef";
    out += "\\u00";
    out.push_back(kHex[byte >> 4]);
    out.push_back(kHex[byte & 0x0F]);
}

void newLine(std::string& out, int indent) {
    out.push_back('\n');
    out.append(static_cast<std::size_t>(indent) * 2, ' ');
}

// Writes one JSON object, members separated by commas, one per line or all on one line.
class ObjectWriter {
public:
    ObjectWriter(std::string& out, int indent, bool multiline) : out_(out), indent_(indent), multiline_(multiline) {
        out_.push_back('{');
    }

    void text(std::string_view key, std::string_view value) {
        name(key);
        appendJsonString(out_, value);
    }
    void number(std::string_view key, int value) {
        name(key);
        out_ += std::to_string(value);
    }
    void flag(std::string_view key, bool value) {
        name(key);
        out_ += value ? "true" : "false";
    }
    // Starts a member whose value the caller writes.
    void name(std::string_view key) {
        if (!empty_) {
            out_.push_back(',');
        }
        if (multiline_) {
            newLine(out_, indent_ + 1);
        } else if (!empty_) {
            out_.push_back(' ');
        }
        empty_ = false;
        appendJsonString(out_, key);
        out_ += ": ";
    }
    void close() {
        if (multiline_ && !empty_) {
            newLine(out_, indent_);
        }
        out_.push_back('}');
    }

private:
    std::string& out_;
    int indent_;
    bool multiline_;
    bool empty_ = true;
};

// An array of one-line objects, one per line.
template <typename Item, typename WriteItem>
void appendArray(std::string& out, int indent, const std::vector<Item>& items, WriteItem writeItem) {
    out.push_back('[');
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) {
            out.push_back(',');
        }
        newLine(out, indent + 1);
        writeItem(items[i]);
    }
    if (!items.empty()) {
        newLine(out, indent);
    }
    out.push_back(']');
}

void appendServer(std::string& out, int indent, const launcher::ServerEntry& server) {
    ObjectWriter object(out, indent, true);
    object.text("slug", server.slug);
    object.text("name", server.name);
    object.text("shortName", server.shortName);
    object.text("kind", server.kind);
    object.text("description", server.description);
    object.text("ratesExp", server.ratesExp);
    object.text("ratesDrop", server.ratesDrop);
    object.text("tags", server.tags);
    object.number("order", server.order);
    object.text("access", server.access);
    object.text("state", server.state);
    object.number("online", server.online);
    object.number("maxOnline", server.maxOnline);
    object.text("clientVersion", server.clientVersion);
    object.text("siteUrl", server.siteUrl);
    object.number("selectedEndpoint", server.selectedEndpoint);
    object.name("endpoints");
    appendArray(out, indent + 1, server.endpoints, [&](const launcher::ServerEndpoint& endpoint) {
        ObjectWriter item(out, 0, false);
        item.text("region", endpoint.region);
        item.text("label", endpoint.label);
        item.text("ip", endpoint.ip);
        item.number("port", endpoint.port);
        item.number("priority", endpoint.priority);
        item.number("latencyMs", endpoint.latencyMs);
        item.close();
    });
    object.name("channels");
    appendArray(out, indent + 1, server.channels, [&](const launcher::ServerChannel& channel) {
        ObjectWriter item(out, 0, false);
        item.number("code", channel.code);
        item.text("name", channel.name);
        item.text("group", channel.group);
        item.close();
    });
    object.close();
}

} // namespace

void appendJsonString(std::string& out, std::string_view bytes) {
    out.push_back('"');
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (byte >= 0x80) {
            const std::size_t length = utf8SequenceLength(bytes, i);
            if (length == 0) {
                appendByteEscape(out, byte);
                ++i;
            } else {
                out.append(bytes.substr(i, length));
                i += length;
            }
            continue;
        }
        switch (byte) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (byte < 0x20 || byte == 0x7F) {
                appendByteEscape(out, byte);
            } else {
                out.push_back(static_cast<char>(byte));
            }
            break;
        }
        ++i;
    }
    out.push_back('"');
}

std::string directoryToJson(const launcher::ServerDirectory& directory) {
    std::string out;
    ObjectWriter root(out, 0, true);
    root.number("schema", directory.schema);
    root.flag("fromCache", directory.fromCache);
    root.flag("fromClient", directory.fromClient);
    root.flag("newerSchema", directory.newerSchema);
    root.name("servers");
    appendArray(out, 1, directory.servers, [&](const launcher::ServerEntry& server) { appendServer(out, 2, server); });
    root.close();
    out.push_back('\n');
    return out;
}

} // namespace inspect
