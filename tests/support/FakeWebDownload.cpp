#include "tests/support/FakeWebDownload.h"

#include <fstream>
#include <stdexcept>

namespace tovarin {

void FakeWebDownload::decideDestination(const std::string& suggestedFilename) {
  auto client = client_.lock();
  if (!client) throw std::logic_error("download without client");
  client->downloadDecideDestination(*this, suggestedFilename, [self = shared_from_this()](std::optional<std::string> path) {
    ++self->answers_;
    self->destination_ = std::move(path);
  });
}

void FakeWebDownload::finishWith(const std::string& data) {
  if (!destination_) throw std::logic_error("no destination to write to");
  {
    std::ofstream out(*destination_, std::ios::binary);
    out << data;
  }
  if (auto client = client_.lock()) client->downloadDidFinish(*this);
}

void FakeWebDownload::fail(const std::string& error) {
  if (auto client = client_.lock()) client->downloadDidFail(*this, error);
}

}  // namespace tovarin
