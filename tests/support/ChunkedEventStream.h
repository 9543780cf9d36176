#pragma once

#include <string>
#include <string_view>

namespace tovarin {

// The bytes a loopback handler writes to play an event-stream server that sends its body
// in chunked transfer encoding: the response head, then one chunk per write the test
// wants the client to see apart.
struct ChunkedEventStream {
  static constexpr std::string_view head =
      "HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\nTransfer-Encoding: chunked\r\n\r\n";

  // One chunk: hexadecimal size line, payload, CRLF.
  static std::string chunk(std::string_view payload);
  // The head and a first chunk, for a single write.
  static std::string opening(std::string_view payload);
};

}  // namespace tovarin
