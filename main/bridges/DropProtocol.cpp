#include "main/bridges/DropProtocol.h"

#include <algorithm>
#include <array>

#include "base/Text.h"

namespace tovarin::DropProtocol {
namespace {

constexpr std::array<std::string_view, 4> imageExtensions = {"png", "jpg", "jpeg", "heic"};
constexpr std::array<std::string_view, 5> textExtensions = {"csv", "txt", "tsv", "md", "markdown"};

template <size_t N>
bool contains(const std::array<std::string_view, N>& set, std::string_view value) {
  for (auto item : set) {
    if (item == value) return true;
  }
  return false;
}

std::string_view trimmedOfTrailingSlashes(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  return path;
}

}  // namespace

std::string fileName(std::string_view path) {
  path = trimmedOfTrailingSlashes(path);
  const auto slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string lowercasedExtension(std::string_view path) {
  const std::string name = fileName(path);
  const auto dot = name.rfind('.');
  // A leading dot names a hidden file, not an extension.
  if (dot == std::string::npos || dot == 0) return {};
  return text::asciiLowercased(std::string_view(name).substr(dot + 1));
}

FileKind kindOf(std::string_view path) {
  const std::string extension = lowercasedExtension(path);
  if (contains(imageExtensions, extension)) return FileKind::image;
  if (contains(textExtensions, extension)) return FileKind::text;
  return FileKind::other;
}

bool accepts(std::string_view path) { return kindOf(path) != FileKind::other; }

std::vector<std::string> extensions() {
  std::vector<std::string> all(imageExtensions.begin(), imageExtensions.end());
  all.insert(all.end(), textExtensions.begin(), textExtensions.end());
  std::sort(all.begin(), all.end());
  return all;
}

}  // namespace tovarin::DropProtocol
