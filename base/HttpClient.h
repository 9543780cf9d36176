#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "base/TaskRunner.h"

namespace tovarin {

using HttpHeaders = std::vector<std::pair<std::string, std::string>>;

struct HttpRequest {
  std::string method = "GET";
  std::string url;  // "http://host:port/path?query"; only plain http is spoken
  HttpHeaders headers;
  std::string body;
  double timeoutSeconds = 60;  // the whole exchange, connect to last byte
};

struct HttpResponse {
  // False when no HTTP response arrived at all (refused, reset, timeout, bad URL).
  bool responded = false;
  int status = 0;
  HttpHeaders headers;
  std::string body;
  std::string error;  // why there is no response; empty when responded
};

// One request, one response. Never uses a proxy or a cache. The completion runs once,
// on the TaskRunner the caller names, never on the network thread.
class HttpClient {
 public:
  virtual ~HttpClient() = default;
  virtual void send(HttpRequest request, TaskRunner& completionQueue,
                    std::function<void(HttpResponse)> completion) = 0;
};

}  // namespace tovarin
