#pragma once

#include <string>

#include "main/server/StartupNotice.h"

namespace tovarin {

// A load of the main frame that failed in a way that says the local server is out.
struct PageLoadFailure {
  // Before the new page committed (the server could not be reached), or after.
  bool committed = false;
  std::string error;
};

// What the window decides when its hosted page changes; the host calls it on the main
// loop, and only while the window is there.
class PageHostClient {
 public:
  virtual ~PageHostClient() = default;

  // The main frame finished a load; the host has noted whether the window's page shows.
  virtual void pageFinishedLoading() {}
  // The load under way is over, finished or failed.
  virtual void pageLoadSettled() = 0;
  // A failed load says the server is out: time for a recovery.
  virtual void pageLostServer(const PageLoadFailure& failure) = 0;
  // The page's web process ended.
  virtual void pageContentProcessEnded() {}
  // The offline page's retry button, while the window's page is not shown.
  virtual void pageAskedToRetry() = 0;
  // A recovery found the server ready: load the window's page.
  virtual void pageShouldLoad() = 0;
  // A recovery that kept a shown page ended: the server is ready, or not.
  virtual void pageRecoveryEnded(bool ready) { (void)ready; }
  // A recovery found the server out and explained why.
  virtual void pageShouldShowOffline(const StartupNotice& notice) = 0;
  // The user opened the bare main page of the server in a new window, where the
  // window's policy sends it to the main window.
  virtual void pageOpensMainWindow() {}
};

}  // namespace tovarin
