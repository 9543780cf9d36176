#pragma once

#include <optional>
#include <string>

#include "base/TaskRunner.h"
#include "base/UserDefaults.h"
#include "main/page/Window.h"

namespace tovarin {

// Keeps a window's frame under a defaults key. A drag or a resize reports a frame for
// every step, and each write replaces and syncs the defaults file; so the latest frame
// is written at most every `interval` seconds, and a frame still unwritten goes to the
// file when the autosave ends. Lives on the loop it is given.
class FrameAutosave final {
 public:
  static constexpr double interval = 0.5;

  // saved: the text the key holds now, so that the same frame is not written again.
  FrameAutosave(TaskRunner& loop, UserDefaults& defaults, std::string key, std::string saved);
  ~FrameAutosave();
  FrameAutosave(const FrameAutosave&) = delete;
  FrameAutosave& operator=(const FrameAutosave&) = delete;

  void note(const Rect& frame);
  // Writes a frame not yet written, now.
  void flush();

 private:
  TaskRunner& loop_;
  UserDefaults& defaults_;
  const std::string key_;
  std::string saved_;
  std::optional<std::string> pending_;
  TimerHandle timer_;
};

}  // namespace tovarin
