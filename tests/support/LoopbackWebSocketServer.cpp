#include "tests/support/LoopbackWebSocketServer.h"

#include <poll.h>

#include <chrono>

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>

namespace tovarin {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;

struct LoopbackWebSocketServer::State {
  asio::io_context io;
  tcp::acceptor acceptor{io};
  std::atomic<bool> stopping{false};
};

namespace {

constexpr auto kSlice = std::chrono::milliseconds(20);

// Runs the connection's own io_context in short slices until done() or the deadline,
// so that a stopping server is noticed.
class Peer final : public LoopbackWebSocketPeer {
 public:
  Peer(std::shared_ptr<asio::io_context> io, tcp::socket socket, std::atomic<bool>& stopping)
      : io_(std::move(io)), ws_(std::move(socket)), stopping_(stopping) {}

  bool readUpgrade() {
    bool done = false;
    beast::error_code result;
    http::async_read(ws_.next_layer(), buffer_, upgrade_, [&](beast::error_code error, size_t) {
      result = error;
      done = true;
    });
    if (!runUntil(done, 10) || result) return false;
    request_.method = std::string(upgrade_.method_string());
    request_.target = std::string(upgrade_.target());
    for (const auto& field : upgrade_) request_.headers.emplace_back(field.name_string(), field.value());
    return true;
  }

  const LoopbackRequest& request() const override { return request_; }

  bool accept() override {
    bool done = false;
    beast::error_code result;
    ws_.read_message_max(64 * 1024 * 1024);
    ws_.async_accept(upgrade_, [&](beast::error_code error) {
      result = error;
      done = true;
    });
    return runUntil(done, 10) && !result;
  }

  void refuse(int status, std::string body) override {
    http::response<http::string_body> response{static_cast<http::status>(status), 11};
    response.set(http::field::content_type, "application/json");
    response.set(http::field::connection, "close");
    response.body() = std::move(body);
    response.prepare_payload();
    beast::error_code ignored;
    http::write(ws_.next_layer(), response, ignored);
    ws_.next_layer().shutdown(tcp::socket::shutdown_send, ignored);
  }

  std::optional<WebSocketMessage> read(double timeoutSeconds) override {
    if (!reading_) {
      reading_ = true;
      readDone_ = false;
      ws_.async_read(messageBuffer_, [this](beast::error_code error, size_t) {
        readError_ = error;
        readDone_ = true;
      });
    }
    if (!runUntil(readDone_, timeoutSeconds)) return std::nullopt;
    reading_ = false;
    if (readError_) {
      if (readError_ == websocket::error::closed) closeCode_ = ws_.reason().code;
      return std::nullopt;
    }
    WebSocketMessage message{ws_.got_binary(), beast::buffers_to_string(messageBuffer_.data())};
    messageBuffer_.consume(messageBuffer_.size());
    return message;
  }

  std::optional<uint16_t> peerCloseCode() const override { return closeCode_; }

  bool sendText(std::string text) override { return write(false, std::move(text)); }
  bool sendBinary(std::string bytes) override { return write(true, std::move(bytes)); }

  void close(uint16_t code) override {
    bool done = false;
    ws_.async_close(websocket::close_reason(code), [&](beast::error_code) { done = true; });
    runUntil(done, 5);
  }

  void drop() override {
    beast::error_code ignored;
    ws_.next_layer().shutdown(tcp::socket::shutdown_both, ignored);
    ws_.next_layer().close(ignored);
  }

 private:
  bool write(bool binary, std::string data) {
    bool done = false;
    beast::error_code result;
    ws_.binary(binary);
    ws_.async_write(asio::buffer(data), [&](beast::error_code error, size_t) {
      result = error;
      done = true;
    });
    return runUntil(done, 10) && !result;
  }

  bool runUntil(const bool& done, double timeoutSeconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
    while (!done && !stopping_ && std::chrono::steady_clock::now() < deadline) {
      if (io_->stopped()) io_->restart();
      io_->run_for(kSlice);
    }
    return done;
  }

  std::shared_ptr<asio::io_context> io_;
  websocket::stream<tcp::socket> ws_;
  std::atomic<bool>& stopping_;
  beast::flat_buffer buffer_;
  beast::flat_buffer messageBuffer_;
  http::request<http::string_body> upgrade_;
  LoopbackRequest request_;
  bool reading_ = false;
  bool readDone_ = false;
  beast::error_code readError_;
  std::optional<uint16_t> closeCode_;
};

}  // namespace

LoopbackWebSocketServer::LoopbackWebSocketServer(Handler handler)
    : handler_(std::move(handler)), state_(std::make_shared<State>()) {
  tcp::endpoint endpoint(asio::ip::make_address("127.0.0.1"), 0);
  state_->acceptor.open(endpoint.protocol());
  state_->acceptor.set_option(tcp::acceptor::reuse_address(true));
  state_->acceptor.bind(endpoint);
  state_->acceptor.listen();
  port_ = state_->acceptor.local_endpoint().port();
  acceptThread_ = std::thread([this] { acceptLoop(); });
}

LoopbackWebSocketServer::~LoopbackWebSocketServer() { stop(); }

std::string LoopbackWebSocketServer::baseUrl() const { return "http://127.0.0.1:" + std::to_string(port_); }

void LoopbackWebSocketServer::acceptLoop() {
  while (!state_->stopping) {
    pollfd listening{state_->acceptor.native_handle(), POLLIN, 0};
    if (::poll(&listening, 1, 20) <= 0) continue;
    beast::error_code error;
    // Each connection gets its own io_context, run by its own thread.
    auto io = std::make_shared<asio::io_context>();
    tcp::socket socket(*io);
    state_->acceptor.accept(socket, error);
    if (error) continue;
    socket.set_option(tcp::no_delay(true), error);
    std::lock_guard lock(mutex_);
    connections_.emplace_back([this, io, socket = std::move(socket)]() mutable {
      Peer peer(io, std::move(socket), state_->stopping);
      if (peer.readUpgrade()) handler_(peer);
    });
  }
}

void LoopbackWebSocketServer::stop() {
  state_->stopping = true;
  if (acceptThread_.joinable()) acceptThread_.join();
  std::lock_guard lock(mutex_);
  for (auto& thread : connections_) {
    if (thread.joinable()) thread.join();
  }
  connections_.clear();
  beast::error_code ignored;
  state_->acceptor.close(ignored);
}

}  // namespace tovarin
