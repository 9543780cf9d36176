#pragma once

#include <sys/types.h>

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "main/activity/ActivityBridgeConnection.h"
#include "main/activity/ActivityBridgeStartError.h"

namespace tovarin {

// Listens on a Unix socket for the local server and answers one request per
// connection, one connection at a time, on its own accept thread. The handler and the
// peer check run on that thread. start() and stop() may be called from any thread,
// the accept thread (the handler) included; stop() returns once the thread has ended,
// or at once when called from it.
class ActivityBridgeServer final {
 public:
  using AllowPeer = ActivityBridgeConnection::AllowPeer;
  using Handler = ActivityBridgeConnection::Handler;

  static constexpr int backlog = 8;
  // Longest path kept, without its terminating zero; some systems' addresses hold no more.
  static constexpr size_t maxPathBytes = 103;

  // Opens nothing.
  ActivityBridgeServer(std::string socketPath, std::string token, AllowPeer allowPeer, Handler handler);
  // Stops.
  ~ActivityBridgeServer();
  ActivityBridgeServer(const ActivityBridgeServer&) = delete;
  ActivityBridgeServer& operator=(const ActivityBridgeServer&) = delete;

  // Listening on success, the socket file mode 0600; a listening server restarts on
  // the same path. A failure leaves it stopped with nothing open.
  [[nodiscard]] std::optional<ActivityBridgeStartError> start();
  // Ends the accept thread, cuts a connection in progress short, closes the socket and
  // removes its file.
  void stop();
  [[nodiscard]] bool isListening() const;
  [[nodiscard]] const std::string& socketPath() const { return socketPath_; }

 private:
  struct Shared;
  static void acceptLoop(std::shared_ptr<Shared> shared, int listenSocket, int wake);
  static void serveOne(Shared& shared, int connection);
  void stopLocked();

  const std::string socketPath_;
  const std::shared_ptr<Shared> shared_;

  mutable std::mutex lifecycleMutex_;
  std::thread thread_;  // lifecycleMutex_; joinable exactly while listening
  int wake_ = -1;       // lifecycleMutex_; the accept thread's stop signal (an eventfd it closes)
};

}  // namespace tovarin
