#include "widget/WidgetOptions.h"

#include <charconv>

namespace tovarin {

namespace {

std::optional<int> integer(std::string_view text) {
  int value = 0;
  auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (failure != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<std::pair<int, int>> parsePosition(std::string_view text) {
  auto comma = text.find(',');
  if (comma == std::string_view::npos) return std::nullopt;
  auto x = integer(text.substr(0, comma));
  auto y = integer(text.substr(comma + 1));
  if (!x || !y) return std::nullopt;
  return std::make_pair(*x, *y);
}

}  // namespace

std::optional<WidgetOptions> WidgetOptions::parse(const std::vector<std::string>& arguments, std::string& error) {
  WidgetOptions options;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& name = arguments[i];
    if (name == "--preview") {
      options.preview = true;
      continue;
    }
    if (i + 1 >= arguments.size()) {
      error = name.rfind("--", 0) == 0 ? name + " needs a value" : "unknown argument " + name;
      return std::nullopt;
    }
    const std::string& value = arguments[++i];
    if (name == "--family") {
      auto family = familyNamed(value);
      if (!family) return error = "unknown family " + value, std::nullopt;
      options.family = *family;
    } else if (name == "--info") {
      options.infoPath = value;
    } else if (name == "--scheme") {
      if (value != "light" && value != "dark") return error = "unknown scheme " + value, std::nullopt;
      options.scheme = value == "dark" ? TovarinColorToken::Scheme::dark : TovarinColorToken::Scheme::light;
    } else if (name == "--position") {
      options.position = parsePosition(value);
      if (!options.position) return error = "bad position " + value, std::nullopt;
    } else if (name == "--render") {
      options.renderPath = value;
    } else if (name == "--scale") {
      auto scale = integer(value);
      if (!scale || *scale < 1 || *scale > 4) return error = "bad scale " + value, std::nullopt;
      options.scale = *scale;
    } else {
      error = "unknown argument " + name;
      return std::nullopt;
    }
  }
  return options;
}

}  // namespace tovarin
