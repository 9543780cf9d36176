#pragma once

#include <functional>
#include <memory>
#include <string>

#include "base/HttpClient.h"
#include "base/TaskRunner.h"

namespace tovarin {

struct EventStreamRequest {
  std::string url;  // "http://host:port/path"; only plain http is spoken
  HttpHeaders headers;
  // Time without any byte from the peer (connecting included) after which the stream
  // ends with EventStreamEnd::Reason::idleTimeout. A stream that keeps sending lives on.
  double idleTimeoutSeconds = 60;
};

struct EventStreamEnd {
  enum class Reason {
    closed,       // the server ended the response or closed the connection
    idleTimeout,  // nothing arrived for idleTimeoutSeconds
    failed,       // no connection, a reset, a bad URL or a response that is not HTTP
  };
  Reason reason = Reason::failed;
  std::string detail;  // why, for a log line; empty when closed
};

// What the stream tells its owner, in this order: onResponse at most once (only when
// an HTTP response head arrived), onChunk for each run of body bytes as they arrive,
// then onEnd exactly once. A missing function is simply not called.
struct EventStreamHandlers {
  std::function<void(int status)> onResponse;
  std::function<void(std::string bytes)> onChunk;
  std::function<void(EventStreamEnd end)> onEnd;
};

// One open stream. Cancelling (or destroying) it from the delivery queue guarantees
// that no handler runs afterwards, not even onEnd. Safe to call from any thread.
class EventStreamConnection {
 public:
  virtual ~EventStreamConnection() = default;
  virtual void cancel() = 0;
};

// A long-lived GET whose body is read as it arrives (Server-Sent Events). Never uses a
// proxy or a cache. Handlers run on the TaskRunner the caller names, never on the
// network thread; the runner must outlive the connection's cancellation.
class EventStream {
 public:
  virtual ~EventStream() = default;
  [[nodiscard]] virtual std::unique_ptr<EventStreamConnection> open(EventStreamRequest request,
                                                                   TaskRunner& deliveryQueue,
                                                                   EventStreamHandlers handlers) = 0;
};

}  // namespace tovarin
