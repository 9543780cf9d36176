#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Which dropped or imported files the program reads, by extension alone: the content is
// not looked at, so a folder named "notes.txt" passes here and fails on reading.
namespace tovarin::DropProtocol {

inline constexpr std::string_view pageBridge = "__dropText";
inline constexpr std::string_view overlayText = "松开，在本机提取文字";
inline constexpr size_t maxTextBytes = 8'388'608;

enum class FileKind { image, text, other };

// The path's extension in lower case ("" when it has none).
[[nodiscard]] std::string lowercasedExtension(std::string_view path);
[[nodiscard]] FileKind kindOf(std::string_view path);
[[nodiscard]] bool accepts(std::string_view path);
// Every extension accepted, lower case, sorted.
[[nodiscard]] std::vector<std::string> extensions();
// The last path component, as it stands.
[[nodiscard]] std::string fileName(std::string_view path);

}  // namespace tovarin::DropProtocol
