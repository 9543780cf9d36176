#include "platform/linux/TimerfdWallClockAlarm.h"

#include <cerrno>
#include <cmath>
#include <ctime>
#include <utility>
#include <sys/timerfd.h>
#include <unistd.h>

#include <glib-unix.h>

#include "base/Log.h"

namespace tovarin {

TimerfdWallClockAlarm::TimerfdWallClockAlarm() {
  fd_ = ::timerfd_create(CLOCK_REALTIME, TFD_CLOEXEC | TFD_NONBLOCK);
  if (fd_ < 0) {
    log("notify: no wall-clock timer, reminders show only at start");
    return;
  }
  source_ = g_unix_fd_add(fd_, G_IO_IN, [](int fd, GIOCondition condition, gpointer data) -> gboolean {
    return onReadable(fd, condition, data);
  }, this);
}

TimerfdWallClockAlarm::~TimerfdWallClockAlarm() {
  if (source_) g_source_remove(source_);
  if (fd_ >= 0) ::close(fd_);
}

double TimerfdWallClockAlarm::now() const {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

void TimerfdWallClockAlarm::arm(double at, std::function<void()> fire) {
  if (fd_ < 0) return;
  fire_ = std::move(fire);
  // A zero time would disarm the timer; a moment in the past fires at once.
  const double when = std::max(at, 1.0);
  itimerspec spec{};
  spec.it_value.tv_sec = static_cast<time_t>(std::floor(when));
  spec.it_value.tv_nsec = static_cast<long>((when - std::floor(when)) * 1e9);
  if (::timerfd_settime(fd_, TFD_TIMER_ABSTIME | TFD_TIMER_CANCEL_ON_SET, &spec, nullptr) != 0) {
    log("notify: cannot arm the reminder timer");
  }
}

void TimerfdWallClockAlarm::disarm() {
  fire_ = nullptr;
  if (fd_ < 0) return;
  itimerspec off{};
  ::timerfd_settime(fd_, 0, &off, nullptr);
}

int TimerfdWallClockAlarm::onReadable(int fd, unsigned, void* data) {
  auto* self = static_cast<TimerfdWallClockAlarm*>(data);
  uint64_t expirations = 0;
  // ECANCELED: the clock was set. Either way the owner looks again and re-arms.
  const ssize_t got = ::read(fd, &expirations, sizeof expirations);
  if (got < 0 && errno == EAGAIN) return G_SOURCE_CONTINUE;
  auto fire = std::exchange(self->fire_, nullptr);
  if (fire) fire();
  return G_SOURCE_CONTINUE;
}

}  // namespace tovarin
