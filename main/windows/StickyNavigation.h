#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace tovarin {

// Where a link that the sticky page opens in a new window goes. Pure; main thread.
namespace StickyNavigation {

// The bare main page of the local server (http, 127.0.0.1, `port`, path "/index.html",
// no user, password, query or fragment) calls `showMain`; any other http or https
// address calls `openExternal` with the address unchanged; anything else calls neither.
// At most one of them is called, once, before this returns.
void open(std::string_view url, int64_t port, const std::function<void()>& showMain,
          const std::function<void(const std::string&)>& openExternal);

// The scheme lower-cased is http or https.
[[nodiscard]] bool isWebAddress(std::string_view url);

}  // namespace StickyNavigation
}  // namespace tovarin
