#include "main/presence/PresenceBeacon.h"

#include <memory>
#include <utility>

#include "main/config/LocalServerOrigin.h"

namespace tovarin {

PresenceBeacon::PresenceBeacon(int64_t port, HttpClient& http, double timeoutSeconds)
    : endpoint_(localServerOrigin(port) + std::string(path)),
      http_(http),
      timeoutSeconds_(timeoutSeconds) {}

PresenceBeacon::Outcome PresenceBeacon::outcomeOf(const HttpResponse& response) {
  if (!response.responded) return Outcome::failed;
  if (response.status == 401 || response.status == 403) return Outcome::unauthorized;
  if (response.status >= 200 && response.status <= 299) return Outcome::reported;
  return Outcome::failed;
}

void PresenceBeacon::send(TaskRunner& queue, std::function<void(Outcome)> completion) {
  // Shared by the answer and the watchdog, both on `queue`: whichever comes first wins.
  struct Pending {
    std::function<void(Outcome)> completion;
    TimerHandle watchdog;
    void finish(Outcome outcome) {
      watchdog.cancel();
      if (auto done = std::exchange(completion, nullptr)) done(outcome);
    }
  };
  auto pending = std::make_shared<Pending>();
  pending->completion = std::move(completion);
  pending->watchdog = queue.postAfter(timeoutSeconds_ + watchdogGraceSeconds,
                                      [pending] { pending->finish(Outcome::failed); });

  HttpRequest request;
  request.method = "POST";
  request.url = endpoint_;
  request.headers = {{"content-type", "application/json"}};
  request.body = std::string(body);
  request.timeoutSeconds = timeoutSeconds_;
  http_.send(std::move(request), queue, [pending](HttpResponse response) { pending->finish(outcomeOf(response)); });
}

}  // namespace tovarin
