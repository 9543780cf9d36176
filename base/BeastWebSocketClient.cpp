#include "base/BeastWebSocketClient.h"

#include <chrono>
#include <deque>
#include <mutex>
#include <optional>
#include <string_view>

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>

#include "base/HttpTarget.h"
#include "base/NetworkThread.h"

namespace tovarin {
namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;

constexpr int kSwitchingProtocols = 101;

// Hands results from the network thread to the owner's queue. Once cancelled it never
// touches the queue again, and closures already queued do nothing.
class Delivery final : public std::enable_shared_from_this<Delivery> {
 public:
  Delivery(TaskRunner& queue, WebSocketHandlers handlers) : queue_(&queue), handlers_(std::move(handlers)) {}

  void open() {
    deliver([](WebSocketHandlers& handlers) {
      if (handlers.onOpen) handlers.onOpen();
    });
  }
  void message(WebSocketMessage message) {
    deliver([message = std::move(message)](WebSocketHandlers& handlers) mutable {
      if (handlers.onMessage) handlers.onMessage(std::move(message));
    });
  }
  void end(WebSocketEnd end) {
    deliver([end = std::move(end)](WebSocketHandlers& handlers) mutable {
      // Moved out first: the call may destroy the owner, and with it these captures.
      auto onEnd = std::move(handlers.onEnd);
      handlers = {};
      if (onEnd) onEnd(std::move(end));
    });
  }
  void cancel() {
    std::lock_guard lock(mutex_);
    queue_ = nullptr;
  }

 private:
  bool isCancelled() const {
    std::lock_guard lock(mutex_);
    return queue_ == nullptr;
  }
  void deliver(std::function<void(WebSocketHandlers&)> call) {
    std::lock_guard lock(mutex_);
    if (!queue_) return;
    queue_->post([self = shared_from_this(), call = std::move(call)] {
      if (!self->isCancelled()) call(self->handlers_);
    });
  }

  mutable std::mutex mutex_;
  TaskRunner* queue_;            // mutex_; null once cancelled
  WebSocketHandlers handlers_;   // delivery queue only
};

struct Outgoing {
  enum class Kind { text, binary, close } kind;
  std::string data;
  uint16_t closeCode = 0;
};

std::chrono::steady_clock::duration seconds(double value) {
  return std::chrono::duration_cast<std::chrono::steady_clock::duration>(
      std::chrono::duration<double>(std::max(0.001, value)));
}

// One socket's network side. Runs on the network thread only, except cancel() and
// enqueue(), which hop there.
class Socket final : public std::enable_shared_from_this<Socket> {
 public:
  Socket(asio::io_context& io, WebSocketRequest request, std::shared_ptr<Delivery> delivery)
      : io_(io), resolver_(io), ws_(io), request_(std::move(request)), delivery_(std::move(delivery)) {}

  void start() {
    asio::post(io_, [self = shared_from_this()] { self->begin(); });
  }

  void enqueue(Outgoing outgoing) {
    asio::post(io_, [self = shared_from_this(), outgoing = std::move(outgoing)]() mutable {
      if (self->finished_) return;
      self->outbox_.push_back(std::move(outgoing));
      if (self->open_ && !self->writing_) self->writeNext();
    });
  }

  void stopDelivering() { delivery_->cancel(); }

  void cancel() {
    delivery_->cancel();
    asio::post(io_, [self = shared_from_this()] {
      self->finished_ = true;
      self->resolver_.cancel();
      self->closeTransport();
    });
  }

 private:
  void begin() {
    if (finished_) return;
    constexpr std::string_view scheme = "ws://";
    std::optional<HttpTarget> target;
    if (request_.url.starts_with(scheme)) {
      target = HttpTarget::parse("http://" + request_.url.substr(scheme.size()));
    }
    if (!target) return finish({0, "bad URL: " + request_.url});
    for (const auto& [name, value] : request_.headers) {
      if (!HttpTarget::isSafeHeader(name, value)) return finish({0, "bad request header: " + name});
    }
    target_ = std::move(*target);
    resolver_.async_resolve(target_.host, target_.port,
                            [self = shared_from_this()](beast::error_code error, tcp::resolver::results_type results) {
                              self->onResolved(error, std::move(results));
                            });
  }

  void onResolved(beast::error_code error, tcp::resolver::results_type results) {
    if (finished_) return;
    if (error) return finish({0, "cannot resolve host: " + error.message()});
    beast::get_lowest_layer(ws_).expires_after(seconds(request_.handshakeTimeoutSeconds));
    beast::get_lowest_layer(ws_).async_connect(
        results, [self = shared_from_this()](beast::error_code error, const tcp::endpoint&) { self->onConnected(error); });
  }

  void onConnected(beast::error_code error) {
    if (finished_) return;
    if (error) return finish({0, "cannot connect: " + error.message()});
    // Small messages (audio chunks, control words) must not wait for an acknowledgement.
    beast::error_code ignored;
    beast::get_lowest_layer(ws_).socket().set_option(tcp::no_delay(true), ignored);
    // From here the socket's own timeouts rule; the stream's would cut a quiet socket.
    beast::get_lowest_layer(ws_).expires_never();
    websocket::stream_base::timeout timeouts{};
    timeouts.handshake_timeout = seconds(request_.handshakeTimeoutSeconds);
    timeouts.idle_timeout = websocket::stream_base::none();
    timeouts.keep_alive_pings = false;
    ws_.set_option(timeouts);
    ws_.set_option(websocket::stream_base::decorator([headers = request_.headers](websocket::request_type& head) {
      head.set(http::field::cache_control, "no-cache");
      for (const auto& [name, value] : headers) head.set(name, value);
    }));
    ws_.read_message_max(request_.maxMessageBytes);
    response_.result(0u);  // stays 0 unless a response head is read
    ws_.async_handshake(response_, target_.hostHeader, target_.path,
                        [self = shared_from_this()](beast::error_code error) { self->onHandshake(error); });
  }

  void onHandshake(beast::error_code error) {
    if (finished_) return;
    if (error) return finish({static_cast<int>(response_.result_int()), "handshake failed: " + error.message()});
    open_ = true;
    delivery_->open();
    if (!writing_) writeNext();
    read();
  }

  void read() {
    ws_.async_read(buffer_, [self = shared_from_this()](beast::error_code error, size_t) { self->onRead(error); });
  }

  void onRead(beast::error_code error) {
    if (finished_) return;
    if (error) return finish({kSwitchingProtocols, error == websocket::error::closed ? "closed" : error.message()});
    WebSocketMessage message{ws_.got_binary(), beast::buffers_to_string(buffer_.data())};
    buffer_.consume(buffer_.size());
    delivery_->message(std::move(message));
    read();
  }

  void writeNext() {
    if (finished_ || outbox_.empty()) {
      writing_ = false;
      return;
    }
    writing_ = true;
    Outgoing& next = outbox_.front();
    if (next.kind == Outgoing::Kind::close) {
      ws_.async_close(websocket::close_reason(next.closeCode),
                      [self = shared_from_this()](beast::error_code) { self->onWritten(); });
      return;
    }
    ws_.binary(next.kind == Outgoing::Kind::binary);
    ws_.async_write(asio::buffer(next.data), [self = shared_from_this()](beast::error_code, size_t) { self->onWritten(); });
  }

  // A failed write is not reported: the read that is always armed notices the broken
  // socket and ends it once.
  void onWritten() {
    if (!outbox_.empty()) outbox_.pop_front();
    writeNext();
  }

  void closeTransport() {
    beast::error_code ignored;
    auto& socket = beast::get_lowest_layer(ws_).socket();
    socket.shutdown(tcp::socket::shutdown_both, ignored);
    socket.close(ignored);
  }

  void finish(WebSocketEnd end) {
    if (finished_) return;
    finished_ = true;
    outbox_.clear();
    closeTransport();
    delivery_->end(std::move(end));
  }

  asio::io_context& io_;
  tcp::resolver resolver_;
  websocket::stream<beast::tcp_stream> ws_;
  beast::flat_buffer buffer_;
  websocket::response_type response_;
  WebSocketRequest request_;
  HttpTarget target_;
  std::deque<Outgoing> outbox_;
  bool open_ = false;
  bool writing_ = false;
  bool finished_ = false;
  std::shared_ptr<Delivery> delivery_;
};

class BeastWebSocketConnection final : public WebSocketConnection {
 public:
  explicit BeastWebSocketConnection(std::shared_ptr<Socket> socket) : socket_(std::move(socket)) {}
  // Once a close was asked for, the queued messages and the close still go out, so a
  // goodbye is not lost when its owner lets go right after saying it.
  ~BeastWebSocketConnection() override {
    std::lock_guard lock(mutex_);
    if (!socket_) return;
    if (closing_) {
      socket_->stopDelivering();
    } else {
      socket_->cancel();
    }
  }

  void sendText(std::string text) override { enqueue({Outgoing::Kind::text, std::move(text)}); }
  void sendBinary(std::string bytes) override { enqueue({Outgoing::Kind::binary, std::move(bytes)}); }
  void close(uint16_t code) override {
    std::lock_guard lock(mutex_);
    if (!socket_) return;
    closing_ = true;
    socket_->enqueue({Outgoing::Kind::close, {}, code});
  }
  void cancel() override {
    std::lock_guard lock(mutex_);
    if (auto socket = std::exchange(socket_, nullptr)) socket->cancel();
  }

 private:
  void enqueue(Outgoing outgoing) {
    std::lock_guard lock(mutex_);
    if (socket_) socket_->enqueue(std::move(outgoing));
  }

  std::mutex mutex_;
  std::shared_ptr<Socket> socket_;  // mutex_
  bool closing_ = false;            // mutex_
};

}  // namespace

std::unique_ptr<WebSocketConnection> BeastWebSocketClient::open(WebSocketRequest request, TaskRunner& deliveryQueue,
                                                               WebSocketHandlers handlers) {
  auto delivery = std::make_shared<Delivery>(deliveryQueue, std::move(handlers));
  auto socket = std::make_shared<Socket>(NetworkThread::shared().context(), std::move(request), std::move(delivery));
  socket->start();
  return std::make_unique<BeastWebSocketConnection>(std::move(socket));
}

}  // namespace tovarin
