#include "main/page/ShellPanels.h"

#include <cerrno>

#include "base/IcuRegex.h"
#include "base/Text.h"
#include "base/UrlComponents.h"
#include "main/page/ShellPanelCopy.h"

namespace tovarin::ShellPanels {

namespace {

constexpr std::size_t kTitleSearchCharacters = 48;
constexpr std::string_view kFallbackFilename = "岚笺导出";

bool endsSentence(std::string_view character) {
  return character == "。" || character == "？" || character == "！" || character == "?" || character == "!" ||
         character == "\n";
}

bool isAsciiAlnum(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); }

// Decodes one UTF-8 scalar at `offset`; ill-formed bytes read as one U+FFFD each.
char32_t scalarAt(std::string_view text, std::size_t& offset) {
  auto byte = static_cast<unsigned char>(text[offset]);
  std::size_t length = byte < 0x80 ? 1 : (byte >> 5) == 0x6 ? 2 : (byte >> 4) == 0xE ? 3 : (byte >> 3) == 0x1E ? 4 : 0;
  if (length == 0 || offset + length > text.size()) {
    ++offset;
    return 0xFFFD;
  }
  char32_t scalar = length == 1 ? byte : byte & (0xFF >> (length + 1));
  for (std::size_t i = 1; i < length; ++i) {
    auto next = static_cast<unsigned char>(text[offset + i]);
    if ((next & 0xC0) != 0x80) {
      ++offset;
      return 0xFFFD;
    }
    scalar = (scalar << 6) | (next & 0x3F);
  }
  offset += length;
  return scalar;
}

bool separatesNames(char32_t scalar) {
  return scalar == '/' || scalar == ':' || scalar == '\\' || text::isControlOrFormat(scalar);
}

}  // namespace

bool isSecret(std::string_view message) {
  static const IcuRegex secret("(?is).*(?:口令|密码|passphrase|password|PIN\\b).*");
  return secret.matchesWhole(message);
}

std::pair<std::string, std::string> split(std::string_view message) {
  std::string trimmed = text::trimWhitespace(message);
  std::size_t offset = 0;
  for (const std::string& character : text::graphemes(trimmed, kTitleSearchCharacters)) {
    offset += character.size();
    if (endsSentence(character)) {
      return {text::trimWhitespace(std::string_view(trimmed).substr(0, offset)),
              text::trimWhitespace(std::string_view(trimmed).substr(offset))};
    }
  }
  return {trimmed, ""};
}

std::string clip(std::string_view text, std::size_t limit) {
  std::string prefix = text::graphemePrefix(text, limit);
  if (prefix.size() >= text.size()) return std::string(text);
  return prefix + "…";
}

std::vector<std::string> fileExtensions(const std::vector<std::string>& extensions) {
  std::vector<std::string> out;
  for (const std::string& given : extensions) {
    std::string_view bare = given;
    while (!bare.empty() && (bare.front() == '.' || bare.front() == ' ')) bare.remove_prefix(1);
    while (!bare.empty() && (bare.back() == '.' || bare.back() == ' ')) bare.remove_suffix(1);
    if (bare.empty() || bare.size() > 32) continue;
    std::string lower = text::lowercased(bare);
    // Only letters, digits and inner dots, dashes, pluses and underscores name a type:
    // anything else would turn into a file pattern of its own.
    bool plain = true;
    for (char c : lower) plain = plain && (isAsciiAlnum(c) || c == '.' || c == '-' || c == '+' || c == '_');
    if (plain) out.push_back(std::move(lower));
  }
  return out;
}

bool acceptsDownload(const std::optional<std::string>& url, const LocalServer& server) {
  if (!url) return false;
  auto parts = UrlComponents::parse(*url);
  if (!parts || !parts->scheme) return false;
  if (url->starts_with("blob:" + server.origin() + "/")) return true;
  if (text::lowercased(*parts->scheme) == "data") return true;
  return server.serves(*url);
}

std::string safeFilename(std::string_view name) {
  std::string joined;
  std::size_t offset = 0;
  while (offset < name.size()) {
    std::size_t start = offset;
    char32_t scalar = scalarAt(name, offset);
    if (separatesNames(scalar)) {
      joined += '-';
    } else if (scalar == 0xFFFD && offset - start == 1 && static_cast<unsigned char>(name[start]) >= 0x80) {
      joined += "\xEF\xBF\xBD";
    } else {
      joined.append(name.substr(start, offset - start));
    }
  }
  std::string trimmed = text::trimWhitespace(joined);
  if (trimmed.empty() || trimmed == "." || trimmed == "..") return std::string(kFallbackFilename);
  return trimmed;
}

std::string_view failureReason(const SaveError& error) {
  if (error.kind != SaveError::Kind::system) return ShellPanelCopy::reasonGeneric;
  switch (error.code) {
    case ENOSPC:
    case EDQUOT: return ShellPanelCopy::reasonNoSpace;
    case ENOENT:
    case EPERM:
    case EACCES:
    case EROFS: return ShellPanelCopy::reasonNoPermission;
    default: return ShellPanelCopy::reasonGeneric;
  }
}

bool isIdentifier(std::string_view text) {
  if (text.empty() || text.size() > 128 || !isAsciiAlnum(text.front())) return false;
  for (char c : text) {
    if (!isAsciiAlnum(c) && c != '.' && c != '_' && c != ':' && c != '-') return false;
  }
  return true;
}

}  // namespace tovarin::ShellPanels
