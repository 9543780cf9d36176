#include "base/BeastEventStream.h"

#include <array>
#include <chrono>
#include <mutex>
#include <optional>
#include <string_view>

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include "base/HttpTarget.h"
#include "base/NetworkThread.h"

namespace tovarin {
namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

// Hands results from the network thread to the owner's queue. Once cancelled it never
// touches the queue again, and closures already queued do nothing.
class Delivery final : public std::enable_shared_from_this<Delivery> {
 public:
  Delivery(TaskRunner& queue, EventStreamHandlers handlers) : queue_(&queue), handlers_(std::move(handlers)) {}

  void response(int status) {
    deliver([status](EventStreamHandlers& handlers) {
      if (handlers.onResponse) handlers.onResponse(status);
    });
  }
  void chunk(std::string bytes) {
    deliver([bytes = std::move(bytes)](EventStreamHandlers& handlers) mutable {
      if (handlers.onChunk) handlers.onChunk(std::move(bytes));
    });
  }
  void end(EventStreamEnd end) {
    deliver([end = std::move(end)](EventStreamHandlers& handlers) mutable {
      // Moved out first: the call may destroy the owner, and with it these captures.
      auto onEnd = std::move(handlers.onEnd);
      handlers = {};
      if (onEnd) onEnd(std::move(end));
    });
  }
  void cancel() {
    std::lock_guard lock(mutex_);
    cancelled_ = true;
    queue_ = nullptr;
  }

 private:
  bool isCancelled() const {
    std::lock_guard lock(mutex_);
    return cancelled_;
  }
  void deliver(std::function<void(EventStreamHandlers&)> call) {
    std::lock_guard lock(mutex_);
    if (cancelled_) return;
    queue_->post([self = shared_from_this(), call = std::move(call)] {
      if (!self->isCancelled()) call(self->handlers_);
    });
  }

  mutable std::mutex mutex_;
  bool cancelled_ = false;         // mutex_
  TaskRunner* queue_;              // mutex_; null once cancelled
  EventStreamHandlers handlers_;   // queue_ only
};

// One stream's network side. Runs on the network thread only, except cancel().
class Session final : public std::enable_shared_from_this<Session> {
 public:
  Session(asio::io_context& io, EventStreamRequest request, std::shared_ptr<Delivery> delivery)
      : io_(io),
        resolver_(io),
        stream_(io),
        request_(std::move(request)),
        idle_(std::chrono::duration_cast<std::chrono::steady_clock::duration>(
            std::chrono::duration<double>(std::max(0.001, request_.idleTimeoutSeconds)))),
        delivery_(std::move(delivery)) {
    parser_.body_limit(boost::none);  // a stream has no natural end
  }

  void start() {
    asio::post(io_, [self = shared_from_this()] { self->begin(); });
  }

  void cancel() {
    delivery_->cancel();
    asio::post(io_, [self = shared_from_this()] {
      self->finished_ = true;
      self->resolver_.cancel();
      beast::error_code ignored;
      self->stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
      self->stream_.close();
    });
  }

 private:
  void begin() {
    if (finished_) return;
    auto target = HttpTarget::parse(request_.url);
    if (!target) return finish({EventStreamEnd::Reason::failed, "bad URL: " + request_.url});
    head_ = {http::verb::get, target->path, 11};
    head_.set(http::field::host, target->hostHeader);
    head_.set(http::field::cache_control, "no-cache");
    for (const auto& [name, value] : request_.headers) {
      if (!HttpTarget::isSafeHeader(name, value)) {
        return finish({EventStreamEnd::Reason::failed, "bad request header: " + name});
      }
      head_.set(name, value);
    }
    // The loopback host resolves at once; the stream's timeout covers everything after.
    resolver_.async_resolve(target->host, target->port,
                            [self = shared_from_this()](beast::error_code error, tcp::resolver::results_type results) {
                              self->onResolved(error, std::move(results));
                            });
  }

  void onResolved(beast::error_code error, tcp::resolver::results_type results) {
    if (finished_) return;
    if (error) return finish(failure("cannot resolve host", error));
    stream_.expires_after(idle_);
    stream_.async_connect(results, [self = shared_from_this()](beast::error_code error, const tcp::endpoint&) {
      self->onConnected(error);
    });
  }

  void onConnected(beast::error_code error) {
    if (finished_) return;
    if (error) return finish(failure("cannot connect", error));
    stream_.expires_after(idle_);
    http::async_write(stream_, head_, [self = shared_from_this()](beast::error_code error, size_t) {
      self->onWritten(error);
    });
  }

  void onWritten(beast::error_code error) {
    if (finished_) return;
    if (error) return finish(failure("cannot send the request", error));
    stream_.expires_after(idle_);
    http::async_read_header(stream_, buffer_, parser_, [self = shared_from_this()](beast::error_code error, size_t) {
      self->onHead(error);
    });
  }

  void onHead(beast::error_code error) {
    if (finished_) return;
    if (error) return finish(failure("no HTTP response", error));
    delivery_->response(parser_.get().result_int());
    if (parser_.is_done()) return finish({EventStreamEnd::Reason::closed, {}});
    readBody();
  }

  void readBody() {
    parser_.get().body().data = body_.data();
    parser_.get().body().size = body_.size();
    stream_.expires_after(idle_);
    http::async_read_some(stream_, buffer_, parser_, [self = shared_from_this()](beast::error_code error, size_t) {
      self->onBody(error);
    });
  }

  void onBody(beast::error_code error) {
    if (finished_) return;
    if (error == http::error::need_buffer) error = {};
    const size_t got = body_.size() - parser_.get().body().size;
    if (got > 0) delivery_->chunk(std::string(body_.data(), got));
    if (error) {
      const bool peerEnded = error == http::error::end_of_stream || error == http::error::partial_message ||
                             error == asio::error::eof;
      if (peerEnded) return finish({EventStreamEnd::Reason::closed, {}});
      return finish(failure("stream broken", error));
    }
    if (parser_.is_done()) return finish({EventStreamEnd::Reason::closed, {}});
    readBody();
  }

  static EventStreamEnd failure(std::string_view what, beast::error_code error) {
    if (error == beast::error::timeout) return {EventStreamEnd::Reason::idleTimeout, "no data before the idle timeout"};
    return {EventStreamEnd::Reason::failed, std::string(what) + ": " + error.message()};
  }

  void finish(EventStreamEnd end) {
    if (finished_) return;
    finished_ = true;
    beast::error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
    stream_.close();
    delivery_->end(std::move(end));
  }

  asio::io_context& io_;
  tcp::resolver resolver_;
  beast::tcp_stream stream_;
  beast::flat_buffer buffer_;
  EventStreamRequest request_;
  const std::chrono::steady_clock::duration idle_;
  http::request<http::empty_body> head_;
  http::response_parser<http::buffer_body> parser_;
  std::array<char, 16384> body_{};
  bool finished_ = false;
  std::shared_ptr<Delivery> delivery_;
};

class BeastEventStreamConnection final : public EventStreamConnection {
 public:
  explicit BeastEventStreamConnection(std::shared_ptr<Session> session) : session_(std::move(session)) {}
  ~BeastEventStreamConnection() override { cancel(); }
  void cancel() override {
    std::lock_guard lock(mutex_);
    if (auto session = std::exchange(session_, nullptr)) session->cancel();
  }

 private:
  std::mutex mutex_;
  std::shared_ptr<Session> session_;  // mutex_
};

}  // namespace

std::unique_ptr<EventStreamConnection> BeastEventStream::open(EventStreamRequest request, TaskRunner& deliveryQueue,
                                                             EventStreamHandlers handlers) {
  auto delivery = std::make_shared<Delivery>(deliveryQueue, std::move(handlers));
  auto session = std::make_shared<Session>(NetworkThread::shared().context(), std::move(request), std::move(delivery));
  session->start();
  return std::make_unique<BeastEventStreamConnection>(std::move(session));
}

}  // namespace tovarin
