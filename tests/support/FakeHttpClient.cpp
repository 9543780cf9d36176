#include "tests/support/FakeHttpClient.h"

#include <stdexcept>

namespace tovarin {

void FakeHttpClient::send(HttpRequest request, TaskRunner& completionQueue,
                          std::function<void(HttpResponse)> completion) {
  std::lock_guard lock(mutex_);
  sent_.push_back(Sent{std::move(request), &completionQueue, std::move(completion)});
}

size_t FakeHttpClient::requestCount() const {
  std::lock_guard lock(mutex_);
  return sent_.size();
}

HttpRequest FakeHttpClient::request(size_t index) const {
  std::lock_guard lock(mutex_);
  return sent_.at(index).request;
}

void FakeHttpClient::complete(size_t index, HttpResponse response) {
  std::function<void(HttpResponse)> completion;
  TaskRunner* queue;
  {
    std::lock_guard lock(mutex_);
    auto& sent = sent_.at(index);
    if (!sent.completion) throw std::logic_error("FakeHttpClient: request already answered");
    completion = std::move(sent.completion);
    sent.completion = nullptr;
    queue = sent.queue;
  }
  queue->post([completion = std::move(completion), response = std::move(response)]() mutable {
    completion(std::move(response));
  });
}

HttpResponse FakeHttpClient::status(int status) {
  HttpResponse response;
  response.responded = true;
  response.status = status;
  return response;
}

HttpResponse FakeHttpClient::noResponse(std::string error) {
  HttpResponse response;
  response.error = std::move(error);
  return response;
}

}  // namespace tovarin
