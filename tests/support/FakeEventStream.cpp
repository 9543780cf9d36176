#include "tests/support/FakeEventStream.h"

#include <stdexcept>

namespace tovarin {

class FakeEventStream::Connection final : public EventStreamConnection {
 public:
  explicit Connection(std::shared_ptr<Stream> stream) : stream_(std::move(stream)) {}
  ~Connection() override { cancel(); }
  void cancel() override { stream_->cancelled = true; }

 private:
  std::shared_ptr<Stream> stream_;
};

std::unique_ptr<EventStreamConnection> FakeEventStream::open(EventStreamRequest request, TaskRunner& deliveryQueue,
                                                            EventStreamHandlers handlers) {
  auto stream = std::make_shared<Stream>();
  stream->request = std::move(request);
  stream->queue = &deliveryQueue;
  stream->handlers = std::move(handlers);
  streams_.push_back(stream);
  return std::make_unique<Connection>(std::move(stream));
}

bool FakeEventStream::isLive(size_t index) const {
  const auto& stream = *streams_.at(index);
  return !stream.cancelled && !stream.ended;
}

void FakeEventStream::respond(size_t index, int status) {
  auto stream = streams_.at(index);
  stream->queue->post([stream, status] {
    if (!stream->cancelled && stream->handlers.onResponse) stream->handlers.onResponse(status);
  });
}

void FakeEventStream::chunk(size_t index, std::string bytes) {
  auto stream = streams_.at(index);
  stream->queue->post([stream, bytes = std::move(bytes)] {
    if (!stream->cancelled && stream->handlers.onChunk) stream->handlers.onChunk(bytes);
  });
}

void FakeEventStream::end(size_t index, EventStreamEnd::Reason reason) {
  auto stream = streams_.at(index);
  if (stream->ended) throw std::logic_error("FakeEventStream: a stream ends once");
  stream->ended = true;
  stream->queue->post([stream, reason] {
    if (stream->cancelled) return;
    auto onEnd = std::move(stream->handlers.onEnd);
    stream->handlers = {};
    if (onEnd) onEnd(EventStreamEnd{reason, {}});
  });
}

}  // namespace tovarin
