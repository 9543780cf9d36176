#pragma once

#include "base/HttpClient.h"

namespace tovarin {

// HttpClient on Boost.Beast, run on NetworkThread::shared(). Speaks plain http/1.1 to
// the address in the URL, one connection per request: no proxy (proxy variables are
// never read), no cache (every request says "Cache-Control: no-cache"), no cookies.
// Any thread may send; the completion is posted exactly once to the caller's queue,
// which must outlive the request.
class BeastHttpClient final : public HttpClient {
 public:
  void send(HttpRequest request, TaskRunner& completionQueue,
            std::function<void(HttpResponse)> completion) override;
};

}  // namespace tovarin
