#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace tovarin {

using Json = nlohmann::json;

// The deepest nesting of arrays and objects accepted from outside. Copying, comparing
// and serialising a value recurse once per level, so text nested deeper than anything
// this program or its peers write is refused before a value is built from it.
inline constexpr int kMaxJsonDepth = 64;

// Parses text as JSON without throwing; nullopt for anything that is not exactly one
// JSON value (text after it, NUL bytes included, is refused) or that nests arrays and
// objects deeper than maxDepth.
std::optional<Json> parseJson(std::string_view text, int maxDepth = kMaxJsonDepth);

// Whether the arrays and objects of JSON text nest at most maxDepth deep. Linear, and
// meaningful only for text that is JSON; strings are skipped with their escapes.
bool jsonNestingWithin(std::string_view text, int maxDepth);

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
