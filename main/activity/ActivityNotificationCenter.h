#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "base/MainLoop.h"
#include "main/activity/WorkspaceNotification.h"

namespace tovarin {

// Delivers desktop notifications to their observers on the main loop. The platform's
// watchers feed it from their own threads through postFromAnyThread(); observers are
// added and removed on the main loop.
class ActivityNotificationCenter final : public std::enable_shared_from_this<ActivityNotificationCenter> {
 public:
  using Handler = std::function<void(const WorkspaceNote&)>;
  using Token = std::uint64_t;

  explicit ActivityNotificationCenter(MainLoop& loop);

  [[nodiscard]] Token addObserver(WorkspaceNotification name, Handler handler);
  void removeObserver(Token token);
  [[nodiscard]] std::size_t observerCount() const;

  // Main loop: runs the handlers registered for name, in registration order. A handler
  // removed by an earlier one in the same delivery is not run.
  void post(WorkspaceNotification name, const WorkspaceNote& note);
  // Any thread: the same, later, on the main loop; nothing once the center is gone.
  void postFromAnyThread(WorkspaceNotification name, WorkspaceNote note);

 private:
  struct Observer {
    Token token;
    WorkspaceNotification name;
    std::shared_ptr<Handler> handler;
  };
  [[nodiscard]] bool isRegistered(Token token) const;

  MainLoop& loop_;
  std::vector<Observer> observers_;  // main only
  Token nextToken_ = 1;              // main only
};

}  // namespace tovarin
