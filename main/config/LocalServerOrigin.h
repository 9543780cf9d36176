#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tovarin {

// How the program spells its local server's address, everywhere: the server listens on
// the loopback address only, and pages of it report exactly this security origin.
inline constexpr std::string_view localServerScheme = "http";
inline constexpr std::string_view localServerHost = "127.0.0.1";

// "http://127.0.0.1:<port>".
inline std::string localServerOrigin(int64_t port) {
  return std::string(localServerScheme) + "://" + std::string(localServerHost) + ":" + std::to_string(port);
}

}  // namespace tovarin
