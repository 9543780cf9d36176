#pragma once

#include <optional>
#include <string>

namespace tovarin {

// A dropped text file's text, or the sentence that tells the user why there is none.
struct [[nodiscard]] DropTextResult {
  std::string text;
  std::optional<std::string> failure;
};

// Reads a dropped text file: at most 8 MiB, decoded as UTF-16 when it starts with a
// byte-order mark, else as strict UTF-8, else as GB 18030; trimmed. Any thread.
namespace DropTextReader {

inline constexpr std::string_view unreadable = "这个文件读不出来。";
inline constexpr std::string_view tooLarge = "这个文件太大了（超过 8MB），请先拆小再拖进来。";
inline constexpr std::string_view unknownEncoding = "认不出这个文件的文字编码，请另存为 UTF-8 再试。";
inline constexpr std::string_view emptyFile = "这个文件是空的。";

[[nodiscard]] DropTextResult read(const std::string& path);
// The decoding and trimming alone, for bytes already read.
[[nodiscard]] DropTextResult decode(std::string_view bytes);

}  // namespace DropTextReader

}  // namespace tovarin
