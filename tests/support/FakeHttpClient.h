#pragma once

#include <functional>
#include <mutex>
#include <vector>

#include "base/HttpClient.h"

namespace tovarin {

// Records every request and lets the test answer it: complete() posts the completion
// onto the queue the caller named, as the real client does. A request left unanswered
// stays unanswered.
class FakeHttpClient final : public HttpClient {
 public:
  void send(HttpRequest request, TaskRunner& completionQueue, std::function<void(HttpResponse)> completion) override;

  size_t requestCount() const;
  HttpRequest request(size_t index) const;
  // Answers request `index`; each request is answered at most once.
  void complete(size_t index, HttpResponse response);
  static HttpResponse status(int status);
  static HttpResponse noResponse(std::string error = "connection refused");

 private:
  struct Sent {
    HttpRequest request;
    TaskRunner* queue;
    std::function<void(HttpResponse)> completion;
  };
  mutable std::mutex mutex_;
  std::vector<Sent> sent_;  // mutex_
};

}  // namespace tovarin
