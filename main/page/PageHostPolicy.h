#pragma once

#include <string_view>

namespace tovarin {

// Where two windows host their pages differently, as values. Everything else about
// hosting a page of the local server is the same for both.
struct PageHostPolicy {
  // The web view draws no background of its own.
  bool transparent = false;
  // The class on the page's root element that says which window shows it.
  std::string_view shellClass;
  // The page object that shows the panels' toasts ("__calendar").
  std::string_view pageObject;
  // The window's page of the local server ("index.html").
  std::string_view page;
  // How the window is named when a message for a bridge it was made without is
  // dropped ("no bridge in this window yet").
  std::string_view missingBridgeLine;
  // A new-window request without an address ends without a word; otherwise it is
  // refused, and logged, like any other without the user's action.
  bool quietAboutNewWindowsWithoutAddress = false;
  // The user's new window for the bare main page of the server brings up the main
  // window instead of the browser.
  bool bareMainPageShowsMainWindow = false;
};

}  // namespace tovarin
