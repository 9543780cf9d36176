#pragma once

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

typedef struct _GDBusConnection GDBusConnection;
typedef struct _GMainContext GMainContext;
typedef struct _GMainLoop GMainLoop;
typedef struct _GVariant GVariant;
typedef struct _GDBusMethodInvocation GDBusMethodInvocation;

namespace tovarin {

// The desktop's notification server, for tests: owns org.freedesktop.Notifications on
// the bus at `address` (the test's own), records every Notify call, and lets the test
// click a notification (the ActionInvoked signal). Its D-Bus work runs on a thread of
// its own; the queries are safe from any thread.
class RecordingNotificationServer final {
 public:
  struct Notification {
    uint32_t id = 0;
    std::string appName;
    uint32_t replacesId = 0;
    std::string summary;
    std::string body;
    std::vector<std::string> actions;  // key, label, key, label...
    std::string sender;                // the caller's unique bus name
  };

  explicit RecordingNotificationServer(const std::string& address);
  ~RecordingNotificationServer();
  RecordingNotificationServer(const RecordingNotificationServer&) = delete;
  RecordingNotificationServer& operator=(const RecordingNotificationServer&) = delete;

  // False when the bus could not be reached or the name could not be owned.
  bool ready() const;
  std::vector<Notification> notifications() const;
  std::vector<uint32_t> closed() const;
  // Waits (real time) until `count` notifications arrived.
  bool waitForNotifications(size_t count, double seconds);
  // Emits ActionInvoked(id, action) to the notification's sender.
  bool invokeAction(uint32_t id, const std::string& action = "default");

 private:
  void run(std::string address);
  static void onCall(GDBusConnection*, const char* sender, const char*, const char*, const char* method,
                     GVariant* parameters, GDBusMethodInvocation* invocation, void* data);

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool started_ = false;                    // mutex_
  bool ready_ = false;                      // mutex_
  std::vector<Notification> notifications_; // mutex_
  std::vector<uint32_t> closed_;            // mutex_
  uint32_t nextId_ = 1;                     // mutex_

  GMainContext* context_ = nullptr;
  GMainLoop* loop_ = nullptr;
  GDBusConnection* connection_ = nullptr;  // the thread's, valid while it runs
  std::thread thread_;
};

}  // namespace tovarin
