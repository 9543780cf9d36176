#pragma once

#include <string>
#include <string_view>

// The tokens as CSS for the application's own local pages (starting and offline pages).
// Any thread.
namespace tovarin::TovarinWebTokens {

// The custom properties in both appearances and the base page layout; built once, on
// first use.
[[nodiscard]] const std::string& css();

// The keyboard focus ring of the page's controls.
inline constexpr std::string_view focusRing =
    ":focus-visible{outline:2px solid var(--accent);outline-offset:2px;\n"
    "               box-shadow:0 0 0 3.5px var(--accent-soft);border-radius:var(--radius-sm)}";

}  // namespace tovarin::TovarinWebTokens
