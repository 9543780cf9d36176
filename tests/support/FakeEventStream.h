#pragma once

#include <memory>
#include <string>
#include <vector>

#include "base/EventStream.h"

namespace tovarin {

// Records every open() and lets the test play the server: respond(), chunk() and end()
// post the handler calls onto the delivery queue, as the real stream does, and drop
// them once the owner cancelled that stream.
class FakeEventStream final : public EventStream {
 public:
  [[nodiscard]] std::unique_ptr<EventStreamConnection> open(EventStreamRequest request, TaskRunner& deliveryQueue,
                                                           EventStreamHandlers handlers) override;

  size_t openCount() const { return streams_.size(); }
  const EventStreamRequest& request(size_t index) const { return streams_.at(index)->request; }
  // Neither cancelled by its owner nor ended by the test.
  bool isLive(size_t index) const;
  bool isCancelled(size_t index) const { return streams_.at(index)->cancelled; }

  void respond(size_t index, int status);
  void chunk(size_t index, std::string bytes);
  void end(size_t index, EventStreamEnd::Reason reason = EventStreamEnd::Reason::closed);
  size_t latest() const { return streams_.size() - 1; }

 private:
  struct Stream {
    EventStreamRequest request;
    TaskRunner* queue = nullptr;
    EventStreamHandlers handlers;
    bool cancelled = false;
    bool ended = false;
  };
  class Connection;

  std::vector<std::shared_ptr<Stream>> streams_;
};

}  // namespace tovarin
