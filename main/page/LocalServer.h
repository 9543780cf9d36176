#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "main/page/WebView.h"

namespace tovarin {

// The local server as the hosted pages meet it: the one origin whose pages the windows
// show, and the frames that may use what the program offers those pages. Host and
// scheme are compared exactly as written ("127.0.0.1", "http"): the program itself
// always spells them so, and a spelling it never uses is not its server. Pure value;
// any thread.
class LocalServer final {
 public:
  explicit LocalServer(int64_t port);

  int64_t port() const { return port_; }
  // "http://127.0.0.1:<port>", as a frame of the server reports its security origin.
  const std::string& origin() const { return origin_; }

  // Whether `url` is on the server: scheme "http", host "127.0.0.1" and the port.
  [[nodiscard]] bool serves(std::string_view url) const;
  // The bare main page: "/index.html" on the server (the scheme in any case), with no
  // user, password, query or fragment.
  [[nodiscard]] bool isBareMainPage(std::string_view url) const;
  // Whether `host` and `port` name the server (an authentication challenge).
  [[nodiscard]] bool isServer(std::string_view host, int64_t port) const;

  // A frame of the server's origin, main frame or not, whose facts are known. A
  // sandboxed frame of the server has an opaque origin and is not one.
  [[nodiscard]] bool isOriginOf(const MessageSource& source) const;
  // The page itself: the main frame, of the server's origin and showing one of its
  // addresses.
  [[nodiscard]] bool isMainFrameOf(const MessageSource& source) const;
  // A frame the page vouches for: one of the server's origin (compared as parsed), one
  // that inherited an about: origin, or one whose known facts carry no origin at all.
  // Facts the engine could not give, and opaque origins, are never vouched for.
  [[nodiscard]] bool vouchesFor(const MessageSource& source) const;

 private:
  int64_t port_;
  std::string origin_;
};

}  // namespace tovarin
