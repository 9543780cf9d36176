#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tovarin {

// The parts of an absolute or relative URL reference, split as written and never
// resolved against a base. Every part keeps its percent-encoding; the scheme and host
// keep their case. Pure; any thread.
struct UrlComponents {
  std::optional<std::string> scheme;
  std::optional<std::string> user;
  std::optional<std::string> password;
  std::optional<std::string> host;
  std::optional<int64_t> port;
  std::string path;
  std::optional<std::string> query;
  std::optional<std::string> fragment;

  // Nullopt when the text is not a URL reference: characters outside those a URL may
  // hold (spaces, controls, non-ASCII), a bad percent escape, a port that is not a
  // number from 0 to 65535, or a host with characters a host may not hold.
  [[nodiscard]] static std::optional<UrlComponents> parse(std::string_view text);

  bool operator==(const UrlComponents&) const = default;
};

}  // namespace tovarin
