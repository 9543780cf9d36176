#include "base/BeastHttpClient.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/http/write.hpp>
#include <chrono>
#include <memory>
#include <optional>

#include "base/HttpTarget.h"
#include "base/NetworkThread.h"

namespace tovarin {
namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

constexpr uint64_t kBodyLimit = 64ull * 1024 * 1024;

// One request from resolve to the last byte. Holds itself alive through the handlers
// it hands to Asio; runs only on the network thread.
class Exchange : public std::enable_shared_from_this<Exchange> {
 public:
  Exchange(HttpRequest request, TaskRunner& completionQueue, std::function<void(HttpResponse)> completion)
      : request_(std::move(request)),
        completionQueue_(completionQueue),
        completion_(std::move(completion)),
        timer_(NetworkThread::shared().context()),
        resolver_(NetworkThread::shared().context()),
        stream_(NetworkThread::shared().context()) {}

  void start() {
    auto target = HttpTarget::parse(request_.url);
    if (!target) return finish("unsupported URL: " + request_.url);
    target_ = std::move(*target);
    for (const auto& [name, value] : request_.headers) {
      if (!HttpTarget::isSafeHeader(name, value)) return finish("bad request header: " + name);
    }
    if (request_.method != "GET" && request_.method != "POST") return finish("unsupported method: " + request_.method);
    // One budget for the whole exchange, resolve to last byte: when it runs out, every
    // pending operation is cancelled and the exchange ends as timed out.
    timer_.expires_after(std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(std::max(0.0, request_.timeoutSeconds))));
    timer_.async_wait([self = shared_from_this()](beast::error_code error) {
      if (error) return;  // cancelled: the exchange ended first
      self->timedOut_ = true;
      self->resolver_.cancel();
      beast::error_code ignored;
      self->stream_.socket().close(ignored);
    });
    resolver_.async_resolve(target_.host, target_.port, tcp::resolver::numeric_service,
                            [self = shared_from_this()](beast::error_code error, tcp::resolver::results_type results) {
                              self->onResolved(error, std::move(results));
                            });
  }

 private:
  void onResolved(beast::error_code error, tcp::resolver::results_type results) {
    if (error) return fail("resolve", error);
    stream_.async_connect(results, [self = shared_from_this()](beast::error_code error, const tcp::endpoint&) {
      self->onConnected(error);
    });
  }

  void onConnected(beast::error_code error) {
    if (error) return fail("connect", error);
    message_.method(request_.method == "POST" ? http::verb::post : http::verb::get);
    message_.target(target_.path);
    message_.version(11);
    message_.set(http::field::host, target_.hostHeader);
    message_.set(http::field::cache_control, "no-cache");
    message_.set(http::field::connection, "close");
    for (const auto& [name, value] : request_.headers) message_.set(name, value);
    if (request_.method == "POST" || !request_.body.empty()) {
      message_.body() = request_.body;
      message_.prepare_payload();
    }
    http::async_write(stream_, message_, [self = shared_from_this()](beast::error_code error, size_t) {
      self->onWritten(error);
    });
  }

  void onWritten(beast::error_code error) {
    if (error) return fail("send", error);
    parser_.body_limit(kBodyLimit);
    http::async_read(stream_, buffer_, parser_, [self = shared_from_this()](beast::error_code error, size_t) {
      self->onRead(error);
    });
  }

  void onRead(beast::error_code error) {
    if (error) return fail("receive", error);
    auto& message = parser_.get();
    HttpResponse response;
    response.responded = true;
    response.status = static_cast<int>(message.result_int());
    for (const auto& field : message) {
      response.headers.emplace_back(std::string(field.name_string()), std::string(field.value()));
    }
    response.body = std::move(message.body());
    deliver(std::move(response));
  }

  void fail(std::string_view step, beast::error_code error) {
    finish(timedOut_ ? std::string("timed out") : std::string(step) + " failed: " + error.message());
  }

  void finish(std::string why) {
    HttpResponse response;
    response.error = std::move(why);
    deliver(std::move(response));
  }

  void deliver(HttpResponse response) {
    if (!completion_) return;  // already delivered
    timer_.cancel();
    beast::error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
    stream_.close();
    completionQueue_.post([completion = std::move(completion_), response = std::move(response)]() mutable {
      completion(std::move(response));
    });
    completion_ = nullptr;
  }

  HttpRequest request_;
  TaskRunner& completionQueue_;
  std::function<void(HttpResponse)> completion_;
  HttpTarget target_;
  bool timedOut_ = false;
  asio::steady_timer timer_;
  tcp::resolver resolver_;
  beast::tcp_stream stream_;
  http::request<http::string_body> message_;
  beast::flat_buffer buffer_;
  http::response_parser<http::string_body> parser_;
};

}  // namespace

void BeastHttpClient::send(HttpRequest request, TaskRunner& completionQueue,
                           std::function<void(HttpResponse)> completion) {
  auto exchange = std::make_shared<Exchange>(std::move(request), completionQueue, std::move(completion));
  asio::post(NetworkThread::shared().context(), [exchange] { exchange->start(); });
}

}  // namespace tovarin
