#include "tests/support/LoopbackServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>

namespace tovarin {
namespace {

double nowSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

std::string trim(std::string_view text) {
  size_t begin = text.find_first_not_of(" \t");
  if (begin == std::string_view::npos) return {};
  size_t end = text.find_last_not_of(" \t");
  return std::string(text.substr(begin, end - begin + 1));
}

const char* reasonPhrase(int status) {
  switch (status) {
    case 200: return "OK";
    case 204: return "No Content";
    case 400: return "Bad Request";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Status";
  }
}

// Parses the head (request line and headers, without the blank line).
std::optional<LoopbackRequest> parseHead(std::string_view head) {
  LoopbackRequest request;
  size_t lineEnd = head.find("\r\n");
  std::string_view requestLine = head.substr(0, lineEnd);
  size_t firstSpace = requestLine.find(' ');
  size_t secondSpace = firstSpace == std::string_view::npos ? firstSpace : requestLine.find(' ', firstSpace + 1);
  if (secondSpace == std::string_view::npos) return std::nullopt;
  if (requestLine.substr(secondSpace + 1).rfind("HTTP/", 0) != 0) return std::nullopt;
  request.method = std::string(requestLine.substr(0, firstSpace));
  request.target = std::string(requestLine.substr(firstSpace + 1, secondSpace - firstSpace - 1));
  while (lineEnd != std::string_view::npos) {
    size_t start = lineEnd + 2;
    lineEnd = head.find("\r\n", start);
    std::string_view line = head.substr(start, lineEnd == std::string_view::npos ? std::string_view::npos : lineEnd - start);
    if (line.empty()) continue;
    size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0) return std::nullopt;
    request.headers.emplace_back(std::string(line.substr(0, colon)), trim(line.substr(colon + 1)));
  }
  return request;
}

}  // namespace

std::optional<std::string> LoopbackRequest::header(std::string_view name) const {
  for (const auto& [key, value] : headers) {
    if (equalsIgnoringCase(key, name)) return value;
  }
  return std::nullopt;
}

// ---- LoopbackConnection

LoopbackConnection::LoopbackConnection(int fd, std::function<void(const LoopbackRequest&)> record,
                                       std::function<bool()> stopping)
    : fd_(fd), record_(std::move(record)), stopping_(std::move(stopping)) {}

LoopbackConnection::~LoopbackConnection() = default;  // the server owns and closes the fd

bool LoopbackConnection::fillBuffer(double deadline) {
  char chunk[16384];
  for (;;) {
    if (stopping_()) return false;
    double left = deadline - nowSeconds();
    if (left <= 0) return false;
    pollfd waitFor{fd_, POLLIN, 0};
    int ready = ::poll(&waitFor, 1, static_cast<int>(std::min(left, 0.05) * 1000) + 1);
    if (ready < 0 && errno != EINTR) return false;
    if (ready <= 0) continue;
    ssize_t got = ::recv(fd_, chunk, sizeof chunk, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    buffer_.append(chunk, static_cast<size_t>(got));
    return true;
  }
}

std::optional<LoopbackRequest> LoopbackConnection::readRequest(double timeoutSeconds) {
  const double deadline = nowSeconds() + timeoutSeconds;
  size_t headEnd;
  while ((headEnd = buffer_.find("\r\n\r\n")) == std::string::npos) {
    if (buffer_.size() > 1 << 20 || !fillBuffer(deadline)) return std::nullopt;
  }
  auto request = parseHead(std::string_view(buffer_).substr(0, headEnd));
  if (!request) return std::nullopt;
  size_t length = 0;
  if (auto declared = request->header("Content-Length")) {
    try {
      length = std::stoul(*declared);
    } catch (const std::exception&) {
      return std::nullopt;
    }
  }
  const size_t bodyStart = headEnd + 4;
  while (buffer_.size() < bodyStart + length) {
    if (!fillBuffer(deadline)) return std::nullopt;
  }
  request->body = buffer_.substr(bodyStart, length);
  buffer_.erase(0, bodyStart + length);
  record_(*request);
  return request;
}

bool LoopbackConnection::write(std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t sent = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(sent));
  }
  return true;
}

bool LoopbackConnection::respond(int status, std::string_view body, std::string_view contentType) {
  std::string response = "HTTP/1.1 " + std::to_string(status) + " " + reasonPhrase(status) + "\r\n";
  if (!contentType.empty()) response += "Content-Type: " + std::string(contentType) + "\r\n";
  response += "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n";
  response.append(body);
  return write(response);
}

void LoopbackConnection::close() { ::shutdown(fd_, SHUT_RDWR); }

void LoopbackConnection::reset() {
  linger abortive{1, 0};
  ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
  // The RST goes out when the descriptor is closed, which only the owner may do; a
  // dup closed right away does not count, so close the real one and park the number
  // on /dev/null until the server releases it.
  int placeholder = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (placeholder >= 0) {
    ::dup3(placeholder, fd_, O_CLOEXEC);  // atomically closes the socket (RST) and reuses the number
    ::close(placeholder);
  }
}

bool LoopbackConnection::waitForPeerClose(double timeoutSeconds) {
  const double deadline = nowSeconds() + timeoutSeconds;
  while (fillBuffer(deadline)) {
  }
  if (stopping_()) return false;
  return nowSeconds() < deadline;
}

void LoopbackConnection::holdUntilStopped() {
  while (!stopping_()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

// ---- LoopbackServer

LoopbackServer::LoopbackServer(Handler handler, uint16_t port) : handler_(std::move(handler)) {
  listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listenFd_ < 0) throw std::runtime_error("socket failed");
  int one = 1;
  ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listenFd_, 64) != 0) {
    std::string why = std::strerror(errno);
    ::close(listenFd_);
    throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(port) + ": " + why);
  }
  socklen_t length = sizeof address;
  ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length);
  port_ = ntohs(address.sin_port);
  wakeFd_ = ::eventfd(0, EFD_CLOEXEC);
  acceptThread_ = std::thread([this] { acceptLoop(); });
}

LoopbackServer::~LoopbackServer() { stop(); }

LoopbackServer::Handler LoopbackServer::answering(int status, std::string body, std::string contentType) {
  return [status, body = std::move(body), contentType = std::move(contentType)](LoopbackConnection& connection) {
    while (connection.readRequest()) {
      if (!connection.respond(status, body, contentType)) return;
    }
  };
}

std::string LoopbackServer::baseUrl() const { return "http://127.0.0.1:" + std::to_string(port_); }

void LoopbackServer::stop() {
  if (stopping_.exchange(true)) return;
  uint64_t one = 1;
  (void)!::write(wakeFd_, &one, sizeof one);
  acceptThread_.join();
  std::list<Client> clients;
  {
    std::lock_guard lock(mutex_);
    for (Client& client : clients_) ::shutdown(client.fd, SHUT_RDWR);
    clients.swap(clients_);
  }
  for (Client& client : clients) {
    client.thread.join();
    ::close(client.fd);
  }
  ::close(listenFd_);
  ::close(wakeFd_);
  changed_.notify_all();
}

void LoopbackServer::acceptLoop() {
  for (;;) {
    pollfd waits[2] = {{listenFd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    if (::poll(waits, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (waits[1].revents != 0) return;
    int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    std::lock_guard lock(mutex_);
    ++accepted_;
    Client& client = clients_.emplace_back();
    client.fd = fd;
    client.thread = std::thread([this, fd] { serve(fd); });
    changed_.notify_all();
  }
}

void LoopbackServer::serve(int fd) {
  LoopbackConnection connection(
      fd,
      [this](const LoopbackRequest& request) {
        std::lock_guard lock(mutex_);
        requests_.push_back(request);
        changed_.notify_all();
      },
      [this] { return stopping_.load(); });
  if (handler_) {
    handler_(connection);
  } else {
    connection.holdUntilStopped();
  }
  // Handlers that return leave the connection closed in an orderly way unless they
  // reset it; the descriptor itself is released in stop().
  ::shutdown(fd, SHUT_RDWR);
}

std::vector<LoopbackRequest> LoopbackServer::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

size_t LoopbackServer::acceptedConnections() const {
  std::lock_guard lock(mutex_);
  return accepted_;
}

bool LoopbackServer::waitForRequests(size_t count, double timeoutSeconds) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::duration<double>(timeoutSeconds), [&] { return requests_.size() >= count; });
}

bool LoopbackServer::waitForConnections(size_t count, double timeoutSeconds) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::duration<double>(timeoutSeconds), [&] { return accepted_ >= count; });
}

}  // namespace tovarin
