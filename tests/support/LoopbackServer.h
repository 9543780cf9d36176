#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace tovarin {

// One HTTP request as a LoopbackConnection read it off the wire.
struct LoopbackRequest {
  std::string method;
  std::string target;  // "/api/health?x=1", as sent
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;

  // The first header of that name (case-insensitive), or nullopt.
  std::optional<std::string> header(std::string_view name) const;
};

// The server side of one accepted connection. Used only on the connection's own
// thread (the handler's); stop() of the server shuts the socket down so that a
// handler blocked in a read or a wait returns.
class LoopbackConnection final {
 public:
  LoopbackConnection(int fd, std::function<void(const LoopbackRequest&)> record,
                     std::function<bool()> stopping);
  ~LoopbackConnection();
  LoopbackConnection(const LoopbackConnection&) = delete;
  LoopbackConnection& operator=(const LoopbackConnection&) = delete;

  // Reads one request (request line, headers, a Content-Length body). nullopt when the
  // peer closed, the bytes are not HTTP, the server stops or timeoutSeconds pass.
  std::optional<LoopbackRequest> readRequest(double timeoutSeconds = 10);
  // Writes all bytes; false once the peer is gone.
  bool write(std::string_view bytes);
  // A whole response with Content-Length and "Connection: close".
  bool respond(int status, std::string_view body, std::string_view contentType = "application/json");
  // Orderly close (FIN).
  void close();
  // Abortive close: SO_LINGER 0 makes the kernel answer with RST.
  void reset();
  // Waits until the peer closes its side (or the server stops); true when it did.
  bool waitForPeerClose(double timeoutSeconds);
  // Blocks until the server stops; for handlers that hold a connection open.
  void holdUntilStopped();

 private:
  bool fillBuffer(double deadline);

  int fd_;
  std::string buffer_;
  std::function<void(const LoopbackRequest&)> record_;
  std::function<bool()> stopping_;
};

// A tiny HTTP peer on 127.0.0.1 for tests: plain POSIX sockets, one accept thread and
// one thread per accepted connection running the handler. With no handler it accepts
// and never answers. The destructor (or stop()) joins every thread.
class LoopbackServer final {
 public:
  using Handler = std::function<void(LoopbackConnection&)>;

  // port 0 picks an ephemeral port. Throws std::runtime_error when it cannot listen.
  explicit LoopbackServer(Handler handler, uint16_t port = 0);
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  // A handler that answers every request on a connection with the same response.
  static Handler answering(int status, std::string body, std::string contentType = "application/json");

  uint16_t port() const { return port_; }
  std::string baseUrl() const;  // "http://127.0.0.1:<port>"
  void stop();

  std::vector<LoopbackRequest> requests() const;
  size_t acceptedConnections() const;
  // Waits (real time) until at least count requests were read.
  bool waitForRequests(size_t count, double timeoutSeconds = 10) const;
  bool waitForConnections(size_t count, double timeoutSeconds = 10) const;

 private:
  struct Client {
    int fd = -1;
    std::thread thread;
  };
  void acceptLoop();
  void serve(int fd);

  Handler handler_;
  int listenFd_ = -1;
  int wakeFd_ = -1;  // eventfd that ends the accept loop
  uint16_t port_ = 0;
  std::atomic<bool> stopping_{false};
  std::thread acceptThread_;

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::list<Client> clients_;              // mutex_
  std::vector<LoopbackRequest> requests_;  // mutex_
  size_t accepted_ = 0;                    // mutex_
};

}  // namespace tovarin
