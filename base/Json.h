#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace tovarin {

using Json = nlohmann::json;

// Parses text as JSON without throwing; nullopt for anything that is not JSON.
std::optional<Json> parseJson(std::string_view text);

// An integer is a JSON number with an exact whole value that fits in 64 bits; a
// Boolean never counts as one.
std::optional<int64_t> jsonInteger(const Json& value);
std::optional<int64_t> jsonInteger(const Json& object, std::string_view key);

// A Boolean is JSON true or false only.
std::optional<bool> jsonBool(const Json& value);
std::optional<bool> jsonBool(const Json& object, std::string_view key);

std::optional<std::string> jsonString(const Json& object, std::string_view key);
// For a field that may be left out: false when the key holds something other than a
// string or null; otherwise true, with `field` set to the string or to nothing.
bool readOptionalString(const Json& object, std::string_view key, std::optional<std::string>& field);
// A finite JSON number (integer or not, never a Boolean).
std::optional<double> jsonNumber(const Json& value);
std::optional<double> jsonNumber(const Json& object, std::string_view key);

// Serialises for a page or a peer; invalid UTF-8 is replaced, never thrown on.
std::string toJsonText(const Json& value);

}  // namespace tovarin
