#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "base/HttpClient.h"
#include "base/TaskRunner.h"

namespace tovarin {

// Tells the local server that the user is present: one POST per send(). The
// completion runs exactly once on the queue given to send(), on every path: should the
// HTTP client never answer, a watchdog on that queue reports `failed`, so that the
// caller's in-flight guard can never stick.
class PresenceBeacon final {
 public:
  enum class Outcome { reported, unauthorized, failed };

  static constexpr std::string_view path = "/api/account/reminders/presence";
  static constexpr std::string_view body = R"({"surface":"mac"})";
  static constexpr double requestTimeoutSeconds = 60;
  // Beyond the request's own timeout, before the watchdog steps in.
  static constexpr double watchdogGraceSeconds = 5;

  // The client must outlive the beacon and every request it sent.
  PresenceBeacon(int64_t port, HttpClient& http, double timeoutSeconds = requestTimeoutSeconds);

  const std::string& endpoint() const { return endpoint_; }
  void send(TaskRunner& queue, std::function<void(Outcome)> completion);

  // The body is never read: only whether and how the server answered.
  [[nodiscard]] static Outcome outcomeOf(const HttpResponse& response);

 private:
  const std::string endpoint_;
  HttpClient& http_;
  const double timeoutSeconds_;
};

}  // namespace tovarin
