#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

struct xcb_connection_t;

namespace tovarin {

// A connection to the X server through XCB, which reports a failed request (a window
// that went away) as a value rather than through Xlib's process-wide error handler, so
// that reading other clients' windows cannot disturb the toolkit's own connection.
// Used from one thread at a time.
class XcbConnection final {
 public:
  // A property's raw value and the type the owner gave it.
  struct Property {
    std::uint32_t type = 0;
    std::string bytes;
  };

  // Empty: $DISPLAY.
  explicit XcbConnection(const std::string& displayName);
  ~XcbConnection();
  XcbConnection(const XcbConnection&) = delete;
  XcbConnection& operator=(const XcbConnection&) = delete;

  // False when the server could not be reached or the connection broke since.
  [[nodiscard]] bool ok() const;
  [[nodiscard]] xcb_connection_t* raw() const { return connection_; }
  [[nodiscard]] std::uint32_t root() const { return root_; }
  // The atom of that name, made on first use; 0 when the server does not answer.
  [[nodiscard]] std::uint32_t atom(const std::string& name);
  // Up to maxBytes of the property; nothing when it or its window does not exist.
  [[nodiscard]] std::optional<Property> property(std::uint32_t window, std::uint32_t atom,
                                                 std::uint32_t maxBytes = 64 * 1024);
  // The first 32-bit item of a CARDINAL or WINDOW property.
  [[nodiscard]] std::optional<std::uint32_t> firstWord(std::uint32_t window, std::uint32_t atom);

 private:
  xcb_connection_t* connection_ = nullptr;
  std::uint32_t root_ = 0;
  std::map<std::string, std::uint32_t> atoms_;
};

}  // namespace tovarin
