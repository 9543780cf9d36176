#include "main/app/UsabilityReportingSupervisor.h"

#include <utility>

namespace tovarin {

UsabilityReportingSupervisor::UsabilityReportingSupervisor(std::shared_ptr<ServerSupervisor> inner,
                                                           std::function<void()> onUsable)
    : inner_(std::move(inner)), onUsable_(std::make_shared<const std::function<void()>>(std::move(onUsable))) {}

void UsabilityReportingSupervisor::checkHealth(std::function<void(bool usable)> completion) {
  inner_->checkHealth([onUsable = onUsable_, completion = std::move(completion)](bool usable) {
    if (usable) (*onUsable)();
    completion(usable);
  });
}

void UsabilityReportingSupervisor::waitUntilReady(double timeoutSeconds, std::function<void(bool ready)> completion) {
  inner_->waitUntilReady(timeoutSeconds, [onUsable = onUsable_, completion = std::move(completion)](bool ready) {
    if (ready) (*onUsable)();
    completion(ready);
  });
}

}  // namespace tovarin
