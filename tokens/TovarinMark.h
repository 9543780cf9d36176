#pragma once

#include <string>
#include <string_view>

// The brand mark: three slanted bars on a 64 x 64 canvas. Any thread.
namespace tovarin::TovarinMark {

inline constexpr double canvasSize = 64;

inline constexpr std::string_view path =
    "M23 8h30a3 3 0 0 1 3 3v3.2a4 4 0 0 1-3.4 3.9l-30 4.7a3 3 0 0 1-3.6-3v-6.9A4.9 4.9 0 0 1 23 "
    "8ZM11.4 27.2l40-6.2a4 4 0 0 1 4.6 4v2.6a4 4 0 0 1-3.4 3.9l-40 6.2A4 4 0 0 1 8 33.8v-2.6a4 4 "
    "0 0 1 3.4-4Zm0 16.2 28-4.4a4 4 0 0 1 4.6 4v2.6a4 4 0 0 1-3.4 3.9l-28 4.4A4 4 0 0 1 8 "
    "50v-2.6a4 4 0 0 1 3.4-4Z";

// The inline svg element, size points wide and high (the size truncated to an integer),
// filled with the brand colour. size must be finite and fit a 64-bit integer: our own
// pages pass small constants, so anything else is a programming error and aborts.
[[nodiscard]] std::string svg(double size);

}  // namespace tovarin::TovarinMark
