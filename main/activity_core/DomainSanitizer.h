#pragma once

#include <optional>
#include <string>

// The cleaning of a web host before it is recorded: lower-case ASCII host names and
// IPv4 literals only. A port, an underscore, an IPv6 literal, a percent escape or a
// non-ASCII name gives nothing.
namespace tovarin::DomainSanitizer {

[[nodiscard]] std::optional<std::string> clean(const std::optional<std::string>& host);
// The clean host of an http or https URL; nothing for any other text.
[[nodiscard]] std::optional<std::string> host(const std::optional<std::string>& url);

}  // namespace tovarin::DomainSanitizer
