#include "json.h"

#include <cstdio>

namespace kesmzn::tool {
namespace {

// Length of the valid UTF-8 sequence starting at text[at], or 0.
std::size_t Utf8Length(std::string_view text, std::size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    std::size_t length = 0;
    if (lead >= 0xC2 && lead <= 0xDF) length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF) length = 3;
    else if (lead >= 0xF0 && lead <= 0xF4) length = 4;
    if (length == 0 || at + length > text.size()) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80) return 0;
    }
    return length;
}

void AppendEscape(std::string& out, unsigned byte) {
    char escape[8];
    std::snprintf(escape, sizeof escape, "\\u%04X", byte);
    out += escape;
}

}  // namespace

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (std::size_t at = 0; at < text.size(); ++at) {
        const auto byte = static_cast<unsigned char>(text[at]);
        switch (byte) {
            case '"': out += "\\\""; continue;
            case '\\': out += "\\\\"; continue;
            case '\n': out += "\\n"; continue;
            case '\r': out += "\\r"; continue;
            case '\t': out += "\\t"; continue;
            default: break;
        }
        if (byte < 0x20 || byte == 0x7F) {
            AppendEscape(out, byte);
        } else if (byte < 0x80) {
            out += static_cast<char>(byte);
        } else if (const std::size_t length = Utf8Length(text, at); length != 0) {
            out.append(text.substr(at, length));
            at += length - 1;
        } else {
            AppendEscape(out, byte);
        }
    }
    return out + "\"";
}

void JsonObject::Key(std::string_view key) {
    if (text.size() > 1) text += ",";
    text += JsonString(key);
    text += ":";
}

JsonObject& JsonObject::Add(std::string_view key, std::string_view value) {
    Key(key);
    text += JsonString(value);
    return *this;
}

JsonObject& JsonObject::Add(std::string_view key, std::int64_t value) {
    Key(key);
    text += std::to_string(value);
    return *this;
}

JsonObject& JsonObject::AddBool(std::string_view key, bool value) {
    Key(key);
    text += value ? "true" : "false";
    return *this;
}

JsonObject& JsonObject::AddNull(std::string_view key) {
    Key(key);
    text += "null";
    return *this;
}

JsonObject& JsonObject::Add(std::string_view key, const std::vector<std::optional<int>>& values) {
    Key(key);
    text += "[";
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i != 0) text += ",";
        text += values[i] ? std::to_string(*values[i]) : "null";
    }
    text += "]";
    return *this;
}

JsonObject& JsonObject::AddRaw(std::string_view key, std::string_view json) {
    Key(key);
    text += json;
    return *this;
}

}  // namespace kesmzn::tool
