#include "base/Json.h"

#include <cmath>

namespace tovarin {

bool jsonNestingWithin(std::string_view text, int maxDepth) {
  int depth = 0;
  bool inString = false;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (inString) {
      if (c == '\\') ++i;
      else if (c == '"') inString = false;
      continue;
    }
    switch (c) {
      case '"': inString = true; break;
      case '[':
      case '{':
        if (++depth > maxDepth) return false;
        break;
      case ']':
      case '}': --depth; break;
      default: break;
    }
  }
  return true;
}

std::optional<Json> parseJson(std::string_view text, int maxDepth) {
  // The parser takes a NUL byte for the end of its input and would accept whatever a
  // valid value it follows hides; JSON has no place for a raw NUL, so such text is refused.
  if (text.find('\0') != std::string_view::npos) return std::nullopt;
  if (!jsonNestingWithin(text, maxDepth)) return std::nullopt;
  Json parsed = Json::parse(text.begin(), text.end(), nullptr, /*allow_exceptions=*/false);
  if (parsed.is_discarded()) return std::nullopt;
  return parsed;
}

std::optional<int64_t> jsonInteger(const Json& value) {
  if (value.is_number_integer()) {
    if (value.is_number_unsigned()) {
      auto unsignedValue = value.get<uint64_t>();
      if (unsignedValue > static_cast<uint64_t>(INT64_MAX)) return std::nullopt;
      return static_cast<int64_t>(unsignedValue);
    }
    return value.get<int64_t>();
  }
  if (value.is_number_float()) {
    double number = value.get<double>();
    // 2^63 itself is out of range; every double below it with no fraction fits.
    if (!std::isfinite(number) || std::trunc(number) != number) return std::nullopt;
    if (number < -9223372036854775808.0 || number >= 9223372036854775808.0) return std::nullopt;
    return static_cast<int64_t>(number);
  }
  return std::nullopt;
}

namespace {
const Json* member(const Json& object, std::string_view key) {
  if (!object.is_object()) return nullptr;
  auto found = object.find(key);
  return found == object.end() ? nullptr : &*found;
}
}  // namespace

std::optional<int64_t> jsonInteger(const Json& object, std::string_view key) {
  const Json* value = member(object, key);
  return value ? jsonInteger(*value) : std::nullopt;
}

std::optional<bool> jsonBool(const Json& value) {
  if (!value.is_boolean()) return std::nullopt;
  return value.get<bool>();
}

std::optional<bool> jsonBool(const Json& object, std::string_view key) {
  const Json* value = member(object, key);
  return value ? jsonBool(*value) : std::nullopt;
}

std::optional<std::string> jsonString(const Json& object, std::string_view key) {
  const Json* value = member(object, key);
  if (!value || !value->is_string()) return std::nullopt;
  return value->get<std::string>();
}

bool readOptionalString(const Json& object, std::string_view key, std::optional<std::string>& field) {
  const Json* value = member(object, key);
  if (!value || value->is_null()) {
    field.reset();
    return true;
  }
  if (!value->is_string()) return false;
  field = value->get<std::string>();
  return true;
}

std::optional<double> jsonNumber(const Json& value) {
  if (!value.is_number()) return std::nullopt;
  double number = value.get<double>();
  if (!std::isfinite(number)) return std::nullopt;
  return number;
}

std::optional<double> jsonNumber(const Json& object, std::string_view key) {
  const Json* value = member(object, key);
  return value ? jsonNumber(*value) : std::nullopt;
}

std::string toJsonText(const Json& value) {
  return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace tovarin
