#include "platform/linux/X11FrontmostWatcher.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cstdlib>

namespace tovarin {
namespace {

constexpr size_t maxNamedWindows = 512;

bool sameApplication(const std::optional<RunningApplication>& a, const std::optional<RunningApplication>& b) {
  if (!a || !b) return a.has_value() == b.has_value();
  return a->processId == b->processId && a->bundleId == b->bundleId;
}

}  // namespace

X11FrontmostWatcher::X11FrontmostWatcher(std::string displayName, DesktopEntryIndex index,
                                         std::shared_ptr<ActivityNotificationCenter> workspace)
    : x_(displayName), resolver_(std::move(index)), workspace_(std::move(workspace)) {
  if (!x_.ok()) return;
  activeAtom_ = x_.atom("_NET_ACTIVE_WINDOW");
  const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
  xcb_change_window_attributes(x_.raw(), x_.root(), XCB_CW_EVENT_MASK, &mask);
  xcb_flush(x_.raw());
  frontmost_ = describe(x_.firstWord(x_.root(), activeAtom_).value_or(0));
  activeWindow_ = frontmost_ ? static_cast<std::uint32_t>(frontmost_->window) : 0;
  wakeFd_ = ::eventfd(0, EFD_CLOEXEC);
  if (wakeFd_ < 0) return;
  connected_ = true;
  thread_ = std::thread([this] { run(); });
}

X11FrontmostWatcher::~X11FrontmostWatcher() {
  if (thread_.joinable()) {
    const uint64_t one = 1;
    (void)!::write(wakeFd_, &one, sizeof one);
    thread_.join();
  }
  if (wakeFd_ >= 0) ::close(wakeFd_);
}

std::optional<RunningApplication> X11FrontmostWatcher::frontmost() const {
  std::lock_guard lock(mutex_);
  return frontmost_;
}

void X11FrontmostWatcher::run() {
  pollfd waits[2] = {{xcb_get_file_descriptor(x_.raw()), POLLIN, 0}, {wakeFd_, POLLIN, 0}};
  while (true) {
    // Replies read for earlier requests may have brought events with them: take those
    // before sleeping.
    bool changed = false;
    while (xcb_generic_event_t* event = xcb_poll_for_event(x_.raw())) {
      if ((event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY) {
        const auto* notify = reinterpret_cast<xcb_property_notify_event_t*>(event);
        if (notify->window == x_.root() && notify->atom == activeAtom_) changed = true;
      }
      std::free(event);
    }
    if (xcb_connection_has_error(x_.raw())) {
      connected_ = false;
      return;
    }
    if (changed) {
      // Reading the property may queue a newer change inside the connection, which the
      // descriptor would never signal again: look at the queue before sleeping.
      refresh();
      continue;
    }
    if (::poll(waits, 2, -1) < 0 && errno != EINTR) return;
    if (waits[1].revents != 0) return;
  }
}

void X11FrontmostWatcher::refresh() {
  const uint32_t window = x_.firstWord(x_.root(), activeAtom_).value_or(0);
  if (window == activeWindow_ && activeWindow_ != 0) return;
  activeWindow_ = window;
  std::optional<RunningApplication> app = describe(window);
  std::optional<RunningApplication> previous;
  {
    std::lock_guard lock(mutex_);
    previous = std::exchange(frontmost_, app);
  }
  if (!sameApplication(previous, app)) {
    workspace_->postFromAnyThread(WorkspaceNotification::applicationActivated, WorkspaceNote{std::move(app)});
  }
}

std::optional<RunningApplication> X11FrontmostWatcher::describe(std::uint32_t window) {
  if (window == 0) return std::nullopt;
  const auto pid = static_cast<std::int32_t>(x_.firstWord(window, x_.atom("_NET_WM_PID")).value_or(0));
  const auto key = std::make_pair(window, pid);
  if (auto known = named_.find(key); known != named_.end()) return known->second;

  DesktopAppResolver::WindowFacts facts;
  facts.pid = pid;
  if (auto id = x_.property(window, x_.atom("_GTK_APPLICATION_ID"), 1024)) facts.gtkApplicationId = id->bytes;
  if (auto wmClass = x_.property(window, XCB_ATOM_WM_CLASS, 1024)) {
    // Two strings, each ended by a NUL: the instance, then the class.
    const std::string& bytes = wmClass->bytes;
    const size_t end = bytes.find('\0');
    facts.wmInstance = bytes.substr(0, end);
    if (end != std::string::npos) facts.wmClass = bytes.substr(end + 1, bytes.find('\0', end + 1) - end - 1);
  }
  RunningApplication app;
  app.processId = pid;
  app.window = window;
  if (auto identity = resolver_.resolve(facts, DesktopAppResolver::readProcessFacts(pid))) {
    app.bundleId = identity->id;
    app.localizedName = identity->name;
  }
  // An unnamed window is asked again next time: its application may be installed by then.
  if (!app.bundleId) return app;
  if (named_.size() >= maxNamedWindows) named_.clear();
  named_[key] = app;
  return app;
}

}  // namespace tovarin
