#include "main/bridges/DropTextReader.h"

#include <fstream>
#include <sys/stat.h>

#include <unicode/ucnv.h>

#include "base/IcuUtf8.h"
#include "base/Text.h"
#include "main/bridges/DropProtocol.h"

namespace tovarin::DropTextReader {
namespace {

DropTextResult failed(std::string_view message) { return {{}, std::string(message)}; }

// Decodes all of the bytes with one converter, refusing any byte sequence the encoding
// does not define instead of replacing it.
std::optional<std::string> convert(const char* encoding, std::string_view bytes) {
  UErrorCode status = U_ZERO_ERROR;
  UConverter* converter = ucnv_open(encoding, &status);
  if (U_FAILURE(status)) return std::nullopt;
  ucnv_setToUCallBack(converter, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
  icu::UnicodeString text(bytes.data(), static_cast<int32_t>(bytes.size()), converter, status);
  ucnv_close(converter);
  if (U_FAILURE(status) || text.isBogus()) return std::nullopt;
  return toUtf8(text);
}

bool startsWithUtf16Mark(std::string_view bytes) {
  return bytes.size() >= 2 && ((bytes[0] == '\xFF' && bytes[1] == '\xFE') || (bytes[0] == '\xFE' && bytes[1] == '\xFF'));
}

std::optional<std::string> decodeText(std::string_view bytes) {
  // "UTF-16" reads the byte order from the mark and leaves the mark out.
  if (startsWithUtf16Mark(bytes)) return convert("UTF-16", bytes);
  if (auto text = convert("UTF-8", bytes)) return text;
  return convert("GB18030", bytes);
}

}  // namespace

DropTextResult decode(std::string_view bytes) {
  auto text = decodeText(bytes);
  if (!text) return failed(unknownEncoding);
  constexpr std::string_view utf8Mark = "\xEF\xBB\xBF";
  if (text->starts_with(utf8Mark)) text->erase(0, utf8Mark.size());
  std::string trimmed = text::trimWhitespace(*text);
  if (trimmed.empty()) return failed(emptyFile);
  return {std::move(trimmed), std::nullopt};
}

DropTextResult read(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return failed(unreadable);
  if (static_cast<uint64_t>(info.st_size) > DropProtocol::maxTextBytes) return failed(tooLarge);
  std::ifstream file(path, std::ios::binary);
  if (!file) return failed(unreadable);
  std::string bytes(static_cast<size_t>(info.st_size), '\0');
  file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (file.bad()) return failed(unreadable);
  bytes.resize(static_cast<size_t>(file.gcount()));
  // A file that grew since it was measured is read only up to the limit it passed.
  return decode(bytes);
}

}  // namespace tovarin::DropTextReader
