#include <gtest/gtest.h>

#include <chrono>
#include <gtk/gtk.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "base/ChildProcess.h"
#include "base/UserDefaults.h"
#include "main/server/ShellOutput.h"
#include "main/windows/FrameAutosave.h"
#include "main/windows/FrameGuard.h"
#include "main/windows/StickyWindowController.h"
#include "platform/gtk/DesktopCoordinates.h"
#include "platform/gtk/GtkAppWindow.h"
#include "platform/gtk/GtkDesktop.h"
#include "platform/gtk/StickyGtkChromeSurfaceProvider.h"
#include "tests/platform/gtk/BrowserRecordingDesktop.h"
#include "tests/platform/gtk/GlibPump.h"
#include "tests/platform/gtk/GtkTestEnvironment.h"
#include "tests/platform/gtk/PageScript.h"
#include "tests/support/FakeAccessibilitySettings.h"
#include "tests/support/FakeServerSupervisor.h"
#include "tests/support/PageServer.h"
#include "tests/support/PrivateWindowManager.h"
#include "tests/support/TempDir.h"

// Last: the X11 headers define macros (None, Status) that other headers trip over.
#include <gdk/gdkx.h>

extern char** environ;

namespace tovarin {

void PrintTo(const Rect& frame, std::ostream* out) {
  *out << "{" << frame.x << ", " << frame.y << ", " << frame.width << ", " << frame.height << "}";
}

namespace {

std::string xprop(const std::vector<std::string>& arguments) { return shellOutput("/usr/bin/xprop", arguments); }

class FrameRecorder final : public WindowClient {
 public:
  std::vector<Rect> frames;
  void windowDidMoveOrResize(const Rect& frame) override { frames.push_back(frame); }
};

// Runs the main loop for a while, so that late events have arrived.
void settle(double seconds = 0.5) {
  pumpUntil([] { return false; }, seconds);
}

// The sticky window on the real desktop, managed by openbox: a WebKitGTK view in a GTK
// window, the widget page served on loopback, the supervisor driven by the test.
class StickyWindowWmTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    windowManager_ = std::make_unique<PrivateWindowManager>();
    ASSERT_TRUE(windowManager_->start()) << windowManager_->error();  // 60 s: only ends a hung test
  }
  static void TearDownTestSuite() { windowManager_.reset(); }

  StickyWindowWmTest() : desktop_(env().loop()) {
    frames_.addHtml("/frame.html",
                    "<!doctype html><script>"
                    "window.webkit.messageHandlers.navigation.postMessage({surface: 'chat', cardId: 'fromFrame'});"
                    "parent.postMessage('posted', '*');"
                    "</script>");
    pages_.addHtml("/widget.html",
                   "<!doctype html><title>widget</title>"
                   "<style>html,body{margin:0;height:100%;background:#fdfbf4}</style>"
                   "<p id=widget>widget page</p>"
                   "<script>window.downs = 0; window.framePosted = false;"
                   "document.addEventListener('mousedown', () => window.downs++, true);"
                   "window.addEventListener('message', (e) => { if (e.data === 'posted') window.framePosted = true; });"
                   "</script>"
                   "<iframe src='" + frames_.url("/frame.html") + "'></iframe>");
  }
  ~StickyWindowWmTest() override {
    controller_.reset();
    drainReady();
  }

  static GtkTestEnvironment& env() { return GtkTestEnvironment::instance(); }

  void create() {
    controller_ = StickyWindowController::create(AppConfig(".", pages_.port(), false),
                                                 {{env().loop(), env().loop(), server_, desktop_, env().provider(), accessibility_}, defaults_, surfaces_});
    controller_->onNavigate = [this](const std::map<std::string, std::string>& body) { navigations_.push_back(body); };
  }

  // Shows the window and lets the recovery find the server usable: the widget page loads.
  void showWithWidgetPage() {
    controller_->show();
    ASSERT_TRUE(server_->completeHealth(true));
    ASSERT_TRUE(pumpUntil([&] { return controller_->loadedRealPage(); }));
    ASSERT_TRUE(pumpUntil([&] { return evaluate("document.getElementById('widget') !== null").isTrue(); }))
        << "the widget page shows in the window";
    ASSERT_TRUE(pumpUntil([&] { return mapped(); }));
  }

  static GtkWidget* widgetOf(const std::shared_ptr<Window>& window) {
    return std::static_pointer_cast<GtkAppWindow>(window)->widget();
  }
  GtkWidget* widget() const { return widgetOf(controller_->window()); }
  bool mapped() const { return gtk_widget_get_mapped(widget()); }
  static std::string xid(GtkWidget* window) {
    return std::to_string(gdk_x11_window_get_xid(gtk_widget_get_window(window)));
  }
  std::string xid() const { return xid(widget()); }
  std::string property(const std::string& name) const { return xprop({"-id", xid(), name}); }
  // Whether openbox manages the window now: it keeps WM_STATE only on the windows it manages.
  static bool managed(GtkWidget* window) {
    return xprop({"-id", xid(window), "WM_STATE"}).find("window state: Normal") != std::string::npos;
  }
  // Where the X server has the window: the top-left corner of the window manager's
  // frame and the size of the window inside it, as desktop points.
  static Rect serverFrame(GtkWidget* window) {
    GdkWindow* surface = gtk_widget_get_window(window);
    GdkRectangle outer{};
    gdk_window_get_frame_extents(surface, &outer);
    return desktop_coordinates::toDesktop(
        {outer.x, outer.y, gdk_window_get_width(surface), gdk_window_get_height(surface)},
        desktop_coordinates::primaryGeometry());
  }
  // Hides the window and shows it again once openbox has let go of it.
  static void hideAndShowAgain(const std::function<void()>& hide, const std::function<void()>& show, GtkWidget* window) {
    hide();
    ASSERT_TRUE(pumpUntil([&] { return !gtk_widget_get_mapped(window) && !managed(window); }));
    show();
    ASSERT_TRUE(pumpUntil([&] { return gtk_widget_get_mapped(window) && managed(window); }));
    settle();
  }
  bool hasState(const std::string& state) const {
    const std::string line = property("_NET_WM_STATE");
    return line.find(state + ",") != std::string::npos || line.find(state + "\n") != std::string::npos;
  }

  // Openbox keeps a window on every workspace by the desktop number "all" (0xFFFFFFFF);
  // other window managers add the sticky state as well.
  bool onAllDesktops() const {
    return property("_NET_WM_DESKTOP").find("= 4294967295") != std::string::npos || hasState("_NET_WM_STATE_STICKY");
  }

  ScriptValue evaluate(const std::string& script) {
    return evaluateInPage(*controller_->webView(), script);
  }

  // Real pointer input through the X test extension, at desktop points.
  void pointer(const std::vector<std::string>& arguments) {
    shellOutput("/usr/bin/xdotool", arguments);
    drainReady();
  }
  std::string rootX(double x) const { return std::to_string(static_cast<int>(x)); }
  std::string rootY(double y) const {
    return std::to_string(static_cast<int>(desktop_coordinates::primaryGeometry().height - y));
  }

  static inline std::unique_ptr<PrivateWindowManager> windowManager_;
  PageServer pages_;
  PageServer frames_;  // another port: another origin
  TempDir dir_;
  UserDefaults defaults_{dir_.path() + "/defaults.json"};
  FakeAccessibilitySettings accessibility_;
  std::shared_ptr<FakeServerSupervisor> server_ = std::make_shared<FakeServerSupervisor>();
  StickyGtkChromeSurfaceProvider surfaces_;
  BrowserRecordingDesktop desktop_;
  std::shared_ptr<StickyWindowController> controller_;
  std::vector<std::map<std::string, std::string>> navigations_;
};

TEST_F(StickyWindowWmTest, TheDefaultsFloatOnTheCurrentWorkspaceOpaque) {
  create();
  ASSERT_NO_FATAL_FAILURE(showWithWidgetPage());
  ASSERT_TRUE(pumpUntil([&] { return hasState("_NET_WM_STATE_ABOVE"); })) << property("_NET_WM_STATE");
  EXPECT_FALSE(hasState("_NET_WM_STATE_BELOW"));
  EXPECT_FALSE(onAllDesktops()) << property("_NET_WM_DESKTOP");
  EXPECT_NE(property("_NET_WM_WINDOW_OPACITY").find("not found"), std::string::npos) << "opaque: no opacity set";
}

TEST_F(StickyWindowWmTest, TheStoredLevelScopeAndOpacityReachTheWindowManager) {
  defaults_.setInteger("ORVIK.stickyLevel", 2);       // desktop
  defaults_.setInteger("ORVIK.stickySpaceScope", 1);  // all workspaces
  defaults_.setNumber("ORVIK.stickyOpacity", 0.5);
  create();
  ASSERT_NO_FATAL_FAILURE(showWithWidgetPage());
  ASSERT_TRUE(pumpUntil([&] { return hasState("_NET_WM_STATE_BELOW") && onAllDesktops(); }))
      << property("_NET_WM_STATE") << property("_NET_WM_DESKTOP");
  EXPECT_FALSE(hasState("_NET_WM_STATE_ABOVE"));
  unsigned long opacity = 0;
  ASSERT_TRUE(pumpUntil([&] {
    return std::sscanf(property("_NET_WM_WINDOW_OPACITY").c_str(), "_NET_WM_WINDOW_OPACITY(CARDINAL) = %lu",
                       &opacity) == 1;
  })) << property("_NET_WM_WINDOW_OPACITY");
  EXPECT_NEAR(static_cast<double>(opacity) / 0xffffffffUL, 0.5, 0.01);

  controller_->setLevel(StickyLevel::topmost);
  controller_->setSpaceScope(StickySpaceScope::current);
  ASSERT_TRUE(pumpUntil([&] { return hasState("_NET_WM_STATE_ABOVE") && !onAllDesktops(); }))
      << property("_NET_WM_STATE") << property("_NET_WM_DESKTOP");
  EXPECT_FALSE(hasState("_NET_WM_STATE_BELOW"));
}

TEST_F(StickyWindowWmTest, NavigationIsTakenFromTheWidgetPageButNotFromACrossOriginFrame) {
  create();
  ASSERT_NO_FATAL_FAILURE(showWithWidgetPage());
  ASSERT_TRUE(pumpUntil([&] { return evaluate("window.framePosted").isTrue(); })) << "the inner frame has posted";
  evaluate("window.webkit.messageHandlers.navigation.postMessage({panel: 'settings'}), true");
  ASSERT_TRUE(pumpUntil([&] { return !navigations_.empty(); }));
  // Messages arrive in the order they were posted: the frame's would have come first.
  const std::vector<std::map<std::string, std::string>> expected = {{{"panel", "settings"}}};
  EXPECT_EQ(navigations_, expected);
}

// Hostile content in the widget page: it must neither leave the window, open the
// browser or the main window by itself, nor start recoveries.
class StickyBoundaryWmTest : public StickyWindowWmTest {
 protected:
  void showWidgetPageWith(const std::string& body) {
    pages_.addHtml("/widget.html", "<!doctype html><title>widget</title><p id=widget>widget page</p>" + body);
    create();
    controller_->onShowMain = [this] { ++mainShown_; };
    ASSERT_NO_FATAL_FAILURE(showWithWidgetPage());
  }
  void settle() {
    for (int i = 0; i < 20; ++i) evaluate("1");
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
    pumpUntil([&] { return std::chrono::steady_clock::now() > until; }, 5);
  }
  void expectStillOnTheWidgetPage() {
    EXPECT_TRUE(desktop_.browserUrls.empty()) << desktop_.browserUrls.front();
    EXPECT_EQ(mainShown_, 0);
    EXPECT_EQ(server_->healthCheckCount(), 1) << "only the showing's own check: no recovery";
    EXPECT_EQ(controller_->webView()->url(), pages_.url("/widget.html"));
    EXPECT_TRUE(evaluate("document.getElementById('widget') !== null").isTrue());
  }
  int mainShown_ = 0;
};

TEST_F(StickyBoundaryWmTest, AForeignFramesPopupsWithoutAClickOpenNothing) {
  frames_.addHtml("/ads.html", "<!doctype html><script>window.open('" + pages_.url("/index.html") +
                                   "'); for (let i = 0; i < 5; i++) window.open('https://example.com/' + i);</script>");
  ASSERT_NO_FATAL_FAILURE(showWidgetPageWith("<iframe src='" + frames_.url("/ads.html") + "'></iframe>"));
  ASSERT_TRUE(pumpUntil([&] { return frames_.requestsFor("/ads.html") > 0; }));
  settle();
  expectStillOnTheWidgetPage();
}

TEST_F(StickyBoundaryWmTest, AScriptNavigationToAnotherSchemeIsCancelledWithoutAReload) {
  ASSERT_NO_FATAL_FAILURE(showWidgetPageWith(
      "<script>setTimeout(() => { location.href = 'mailto:a@example.com'; }, 50);"
      "setTimeout(() => { location.href = 'the-tovarin://tasks'; }, 100);</script>"));
  settle();
  expectStillOnTheWidgetPage();
}

TEST_F(StickyBoundaryWmTest, AWidgetPageLeftForABlankPageIsLoadedAgainOnTheNextShowing) {
  ASSERT_NO_FATAL_FAILURE(showWidgetPageWith("<script>setTimeout(() => { location.href = 'about:blank'; }, 50);</script>"));
  settle();
  if (controller_->webView()->url() == "about:blank") {
    EXPECT_FALSE(controller_->loadedRealPage());
    controller_->hide();
    controller_->show();
    ASSERT_TRUE(pumpUntil([&] { return server_->pendingHealthChecks() == 1; }));
    ASSERT_TRUE(server_->completeHealth(true));
    ASSERT_TRUE(pumpUntil([&] { return controller_->loadedRealPage(); }));
  }
  EXPECT_EQ(controller_->webView()->url(), pages_.url("/widget.html"));
  EXPECT_TRUE(desktop_.browserUrls.empty());
}

TEST_F(StickyBoundaryWmTest, ARedirectToAnOutsideAddressOpensTheBrowserOnce) {
  frames_.addHtml("/away.html", "<!doctype html><p>away</p>");
  PageServer::Page redirect;
  redirect.status = 302;
  redirect.extraHeaders = "Location: " + frames_.url("/away.html") + "\r\n";
  pages_.add("/go", redirect);
  ASSERT_NO_FATAL_FAILURE(showWidgetPageWith(
      "<script>setTimeout(() => { location.href = '/go'; }, 50);</script>"));
  ASSERT_TRUE(pumpUntil([&] { return pages_.requestsFor("/go") > 0; }));
  settle();
  EXPECT_EQ(desktop_.browserUrls, std::vector<std::string>{frames_.url("/away.html")});
  EXPECT_EQ(controller_->webView()->url(), pages_.url("/widget.html"));
}

TEST_F(StickyWindowWmTest, ADragOnTheLeftEdgeResizesWithinTheLimitsAndNeverReachesThePage) {
  create();
  ASSERT_NO_FATAL_FAILURE(showWithWidgetPage());
  const Rect before = controller_->window()->frame();
  ASSERT_EQ(before.width, 340);
  const double y = before.y + before.height / 2;

  pointer({"mousemove", rootX(before.x + 3), rootY(y)});
  ASSERT_TRUE(pumpUntil([&] { return controller_->chrome()->cursorZone() == StickyZone::left; }));
  pointer({"mousedown", "1"});
  ASSERT_TRUE(pumpUntil([&] { return controller_->chrome()->isResizing(); }));
  for (int step = 1; step <= 10; ++step) {
    pointer({"mousemove", rootX(before.x + 3 + step * 20), rootY(y)});
  }
  pointer({"mouseup", "1"});
  ASSERT_TRUE(pumpUntil([&] { return !controller_->chrome()->isResizing(); }));

  const Rect after = controller_->window()->frame();
  EXPECT_EQ(after.width, 300) << "held at the minimum width";
  EXPECT_EQ(after.maxX(), before.maxX()) << "the right edge stays";
  EXPECT_EQ(after.height, before.height);
  EXPECT_TRUE(pumpUntil([&] { return gtk_widget_get_allocated_width(widget()) == 300; }))
      << "the real window follows";
  EXPECT_EQ(evaluate("window.downs").number, 0) << "the press stayed with the window";

  // Without a report from the page, a press in the page drags the window; over an
  // element the page reports as interactive, the press is the page's own.
  evaluate("window.webkit.messageHandlers.hover.postMessage(true), true");
  ASSERT_TRUE(pumpUntil([&] { return !controller_->chrome()->grabbable(); }));
  pointer({"mousemove", rootX(after.x + 150), rootY(after.y + 100)});
  pointer({"click", "1"});
  EXPECT_TRUE(pumpUntil([&] { return evaluate("window.downs").number == 1; }));
}

// GTK forgets where an unmapped window was: shown again, it would be placed as a new
// window and report that placement as a move.
TEST_F(StickyWindowWmTest, AHiddenWindowShownAgainComesBackWhereItWasWithoutReportingAMove) {
  const Rect wanted{410, 230, 360, 480};
  for (const WindowStyle style : {WindowStyle::borderless, WindowStyle::titled}) {
    auto window = desktop_.makeWindow(style, {340, 460});
    auto client = std::make_shared<FrameRecorder>();
    window->setClient(client);
    GtkWidget* surface = widgetOf(window);
    window->show();
    window->setFrame(wanted);
    ASSERT_TRUE(pumpUntil([&] { return managed(surface) && serverFrame(surface) == wanted; }))
        << "style " << int(style) << ": at " << testing::PrintToString(serverFrame(surface));
    ASSERT_TRUE(pumpUntil([&] { return !client->frames.empty() && client->frames.back() == wanted; }));
    settle();
    client->frames.clear();

    ASSERT_NO_FATAL_FAILURE(hideAndShowAgain([&] { window->hide(); }, [&] { window->show(); }, surface));
    EXPECT_EQ(serverFrame(surface), wanted) << "style " << int(style);
    EXPECT_EQ(window->frame(), wanted) << "style " << int(style);
    EXPECT_TRUE(client->frames.empty()) << "style " << int(style) << ": a move that did not happen was reported: "
                                       << testing::PrintToString(client->frames);
  }
}

TEST_F(StickyWindowWmTest, TheStoredFrameOutlivesHidingAndShowingTheWindow) {
  create();
  ASSERT_NO_FATAL_FAILURE(showWithWidgetPage());
  // The user moves the window through the window manager.
  const Rect before = controller_->window()->frame();
  const Rect wanted{420, 240, before.width, before.height};
  pointer({"windowmove", xid(), rootX(wanted.x), rootY(wanted.maxY())});
  const std::string stored = FrameGuard::frameString(wanted);
  ASSERT_TRUE(pumpUntil([&] { return defaults_.string(std::string(StickyWindowController::frameKey)) == stored; }));
  ASSERT_TRUE(pumpUntil([&] { return serverFrame(widget()) == wanted; }));

  for (const bool quietly : {false, true}) {
    ASSERT_NO_FATAL_FAILURE(hideAndShowAgain(
        [&] { controller_->hide(); },
        [&] { quietly ? controller_->present() : controller_->show(); }, widget()));
    EXPECT_EQ(serverFrame(widget()), wanted) << "quietly " << quietly;
    settle(3 * FrameAutosave::interval);  // a frame reported is written within one interval
    EXPECT_EQ(defaults_.string(std::string(StickyWindowController::frameKey)), stored) << "quietly " << quietly;
  }
}

// The window manager keeps the sticky window within its largest size, whoever asks.
TEST_F(StickyWindowWmTest, AResizeRequestBeyondTheLargestSizeEndsWithinIt) {
  create();
  ASSERT_NO_FATAL_FAILURE(showWithWidgetPage());
  shellOutput("/usr/bin/xdotool", {"windowsize", xid(), "900", "700"});
  ASSERT_TRUE(pumpUntil([&] { return gdk_window_get_height(gtk_widget_get_window(widget())) == 700; }));
  settle();
  EXPECT_EQ(gdk_window_get_width(gtk_widget_get_window(widget())), 620);
  EXPECT_EQ(controller_->window()->frame().width, 620);
  EXPECT_EQ(FrameGuard::parseFrame(defaults_.string(std::string(StickyWindowController::frameKey)).value_or("")).width,
            620);
}

}  // namespace
}  // namespace tovarin
