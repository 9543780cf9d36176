#include "main/server/SystemProxy.h"

#include <cerrno>
#include <cstdlib>
#include <vector>

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include "base/Text.h"
#include "main/server/ShellOutput.h"

namespace tovarin {
namespace {

constexpr const char* kGSettings = "/usr/bin/gsettings";
constexpr const char* kProxySchema = "org.gnome.system.proxy";

std::vector<std::string> nonEmptyLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    if (end > start) lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

// A decimal integer with an optional sign, only digits after it, and no overflow.
std::optional<long long> decimalInteger(const std::string& text) {
  size_t digits = (!text.empty() && (text[0] == '+' || text[0] == '-')) ? 1 : 0;
  if (digits == text.size() || text.find_first_not_of("0123456789", digits) != std::string::npos) return std::nullopt;
  errno = 0;
  char* end = nullptr;
  long long value = std::strtoll(text.c_str(), &end, 10);
  if (errno == ERANGE || end != text.c_str() + text.size()) return std::nullopt;
  return value;
}

// Any Unicode white space or line break (U+00A0 and U+3000 included).
bool containsWhiteSpace(const std::string& text) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  const int32_t length = static_cast<int32_t>(text.size());
  for (int32_t i = 0; i < length;) {
    UChar32 c;
    U8_NEXT(bytes, i, length, c);
    if (c >= 0 && u_isUWhiteSpace(c)) return true;
  }
  return false;
}

// A GVariant text value: a quoted string ('...' or "..." with backslash escapes), or
// anything else as printed.
std::string unquoteGVariant(const std::string& value) {
  if (value.size() < 2 || (value[0] != '\'' && value[0] != '"') || value.back() != value[0]) return value;
  std::string text;
  for (size_t i = 1; i + 1 < value.size(); ++i) {
    char c = value[i];
    if (c == '\\' && i + 2 < value.size()) {
      char next = value[++i];
      switch (next) {
        case 'n': text += '\n'; break;
        case 't': text += '\t'; break;
        case 'r': text += '\r'; break;
        default: text += next; break;
      }
    } else {
      text += c;
    }
  }
  return text;
}

}  // namespace

namespace SystemProxy {

ProxySettingsTable parseSettingsText(const std::string& text) {
  ProxySettingsTable table;
  for (const std::string& line : nonEmptyLines(text)) {
    // Colons that would only make empty fields (at the start) are skipped; the first
    // colon after a non-empty field cuts, and the rest, later colons included, is
    // the value. Nothing after the cut means one field: no entry.
    size_t keyStart = line.find_first_not_of(':');
    if (keyStart == std::string::npos) continue;
    size_t colon = line.find(':', keyStart);
    if (colon == std::string::npos || colon + 1 == line.size()) continue;
    std::string key = text::trimWhitespace(line.substr(keyStart, colon - keyStart));
    std::string value = text::trimWhitespace(line.substr(colon + 1));
    table[key] = value;
  }
  return table;
}

ProxySettingsTable tableFromGSettings(const std::string& text) {
  std::map<std::string, std::string> settings;  // "schema key" -> value
  for (const std::string& line : nonEmptyLines(text)) {
    size_t firstSpace = line.find(' ');
    size_t secondSpace = firstSpace == std::string::npos ? firstSpace : line.find(' ', firstSpace + 1);
    if (secondSpace == std::string::npos) continue;
    settings[line.substr(0, secondSpace)] = unquoteGVariant(text::trimWhitespace(line.substr(secondSpace + 1)));
  }
  auto setting = [&](const std::string& key) {
    auto found = settings.find(key);
    return found == settings.end() ? std::string() : found->second;
  };
  const bool manual = setting(std::string(kProxySchema) + " mode") == "manual";
  ProxySettingsTable table;
  const std::pair<const char*, const char*> prefixes[] = {{"HTTP", ".http"}, {"HTTPS", ".https"}};
  for (const auto& [prefix, child] : prefixes) {
    const std::string schema = std::string(kProxySchema) + child;
    table[std::string(prefix) + "Enable"] = manual ? "1" : "0";
    if (settings.count(schema + " host")) table[std::string(prefix) + "Proxy"] = setting(schema + " host");
    if (settings.count(schema + " port")) table[std::string(prefix) + "Port"] = setting(schema + " port");
  }
  return table;
}

std::optional<std::string> proxyAddress(const ProxySettingsTable& table, const std::string& prefix) {
  auto enable = table.find(prefix + "Enable");
  if (enable == table.end() || enable->second != "1") return std::nullopt;
  auto host = table.find(prefix + "Proxy");
  auto port = table.find(prefix + "Port");
  if (host == table.end() || port == table.end() || port->second.empty()) return std::nullopt;
  auto portNumber = decimalInteger(port->second);
  if (!portNumber || *portNumber < 1 || *portNumber > 65535) return std::nullopt;
  std::string hostName = text::trimWhitespace(host->second);
  if (hostName.empty() || containsWhiteSpace(hostName) || hostName.find_first_of("/@#?") != std::string::npos) {
    return std::nullopt;
  }
  if (hostName.find(':') != std::string::npos && hostName[0] != '[') hostName = "[" + hostName + "]";
  return "http://" + hostName + ":" + std::to_string(*portNumber);
}

std::map<std::string, std::string> environmentFromTable(const ProxySettingsTable& table) {
  std::map<std::string, std::string> environment;
  if (auto address = proxyAddress(table, "HTTP")) environment["HTTP_PROXY"] = *address;
  if (auto address = proxyAddress(table, "HTTPS")) environment["HTTPS_PROXY"] = *address;
  return environment;
}

}  // namespace SystemProxy

std::map<std::string, std::string> systemProxyEnvironment() {
  // Listing a schema that is not installed prints nothing on standard output (the
  // complaint goes to standard error), unlike `get`, which aborts; so list.
  std::string listing = shellOutput(kGSettings, {"list-recursively", kProxySchema});
  if (listing.empty()) return {};
  return SystemProxy::environmentFromTable(SystemProxy::tableFromGSettings(listing));
}

}  // namespace tovarin
