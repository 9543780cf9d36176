#pragma once

#include "base/EventStream.h"

namespace tovarin {

// The event stream over Boost.Beast on NetworkThread::shared(). Each open() makes one
// HTTP/1.1 connection; body bytes are handed over as soon as they are read.
class BeastEventStream final : public EventStream {
 public:
  [[nodiscard]] std::unique_ptr<EventStreamConnection> open(EventStreamRequest request, TaskRunner& deliveryQueue,
                                                           EventStreamHandlers handlers) override;
};

}  // namespace tovarin
