// Machine-readable output: one JSON object per line, built field by field in order.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kesmzn::tool {

// A JSON string literal for text (quotes added, escapes as JSON requires; bytes that are not UTF-8
// are written as \u00XX so the output always parses).
std::string JsonString(std::string_view text);

struct JsonObject {
    std::string text = "{";

    JsonObject& Add(std::string_view key, std::string_view value);
    JsonObject& Add(std::string_view key, const char* value) { return Add(key, std::string_view(value)); }
    JsonObject& Add(std::string_view key, std::int64_t value);
    JsonObject& Add(std::string_view key, int value) { return Add(key, static_cast<std::int64_t>(value)); }
    JsonObject& Add(std::string_view key, unsigned value) { return Add(key, static_cast<std::int64_t>(value)); }
    JsonObject& AddBool(std::string_view key, bool value);
    JsonObject& AddNull(std::string_view key);
    // An array of numbers, null where a value is missing.
    JsonObject& Add(std::string_view key, const std::vector<std::optional<int>>& values);
    // value is JSON already (a nested object).
    JsonObject& AddRaw(std::string_view key, std::string_view json);

    std::string Done() const { return text + "}"; }

private:
    void Key(std::string_view key);
};

}  // namespace kesmzn::tool
