#include "main/activity/ActivityNotificationCenter.h"

#include <algorithm>
#include <cassert>

namespace tovarin {

ActivityNotificationCenter::ActivityNotificationCenter(MainLoop& loop) : loop_(loop) {}

ActivityNotificationCenter::Token ActivityNotificationCenter::addObserver(WorkspaceNotification name,
                                                                          Handler handler) {
  assert(loop_.isMainThread());
  const Token token = nextToken_++;
  observers_.push_back({token, name, std::make_shared<Handler>(std::move(handler))});
  return token;
}

void ActivityNotificationCenter::removeObserver(Token token) {
  assert(loop_.isMainThread());
  std::erase_if(observers_, [token](const Observer& observer) { return observer.token == token; });
}

std::size_t ActivityNotificationCenter::observerCount() const { return observers_.size(); }

bool ActivityNotificationCenter::isRegistered(Token token) const {
  return std::any_of(observers_.begin(), observers_.end(),
                     [token](const Observer& observer) { return observer.token == token; });
}

void ActivityNotificationCenter::post(WorkspaceNotification name, const WorkspaceNote& note) {
  assert(loop_.isMainThread());
  // A handler may add or remove observers: deliver to a copy, checking each is still in.
  std::vector<Observer> matching;
  for (const Observer& observer : observers_) {
    if (observer.name == name) matching.push_back(observer);
  }
  for (const Observer& observer : matching) {
    if (isRegistered(observer.token)) (*observer.handler)(note);
  }
}

void ActivityNotificationCenter::postFromAnyThread(WorkspaceNotification name, WorkspaceNote note) {
  loop_.post([weak = weak_from_this(), name, note = std::move(note)] {
    if (auto self = weak.lock()) self->post(name, note);
  });
}

}  // namespace tovarin
