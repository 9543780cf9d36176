#include "platform/gtk/GtkAppWindow.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "platform/gtk/GtkDesktop.h"
#include "platform/gtk/GtkWebView.h"
#include "tests/platform/gtk/GlibPump.h"
#include "tests/platform/gtk/GtkTestEnvironment.h"
#include "tests/support/PageServer.h"

// Last: the X11 headers define macros (None, Status) that other headers trip over.
#include <gdk/gdkx.h>

namespace tovarin {
namespace {

class RecordingWindowClient final : public WindowClient {
 public:
  std::vector<Rect> frames;
  int closeRequests = 0;
  bool allowClose = true;
  void windowDidMoveOrResize(const Rect& frame) override { frames.push_back(frame); }
  bool windowShouldClose() override {
    ++closeRequests;
    return allowClose;
  }
};

class FinishClient final : public WebViewClient {
 public:
  std::vector<std::string> finished;
  void webViewDidFinishNavigation(const std::string& url) override { finished.push_back(url); }
};

struct Pixel {
  int red = 0, green = 0, blue = 0;
};

// The window's pixels as the X server shows them.
GdkPixbuf* capture(GtkWidget* window) {
  GdkWindow* surface = gtk_widget_get_window(window);
  if (!surface) return nullptr;
  return gdk_pixbuf_get_from_window(surface, 0, 0, gdk_window_get_width(surface), gdk_window_get_height(surface));
}

Pixel pixelAt(GdkPixbuf* pixbuf, int x, int y) {
  const guchar* row = gdk_pixbuf_get_pixels(pixbuf) + y * gdk_pixbuf_get_rowstride(pixbuf);
  const guchar* p = row + x * gdk_pixbuf_get_n_channels(pixbuf);
  return {p[0], p[1], p[2]};
}

bool centreIs(GtkWidget* window, Pixel expected) {
  GdkPixbuf* pixbuf = capture(window);
  if (!pixbuf) return false;
  const Pixel p = pixelAt(pixbuf, gdk_pixbuf_get_width(pixbuf) / 2, gdk_pixbuf_get_height(pixbuf) / 2);
  g_object_unref(pixbuf);
  return std::abs(p.red - expected.red) < 8 && std::abs(p.green - expected.green) < 8 &&
         std::abs(p.blue - expected.blue) < 8;
}

class GtkAppWindowE2ETest : public ::testing::Test {
 protected:
  MainLoop& loop() { return GtkTestEnvironment::instance().loop(); }
  GtkWidget* widgetOf(const std::shared_ptr<Window>& window) {
    return static_cast<GtkAppWindow*>(window.get())->widget();
  }

  GtkDesktop desktop_{GtkTestEnvironment::instance().loop()};
  std::shared_ptr<RecordingWindowClient> client_ = std::make_shared<RecordingWindowClient>();
};

TEST_F(GtkAppWindowE2ETest, ScreensComeFromTheDisplayWithYUp) {
  const auto screens = desktop_.screens();
  ASSERT_EQ(screens.size(), 1u);
  const Rect whole{0, 0, double(gdk_window_get_width(gdk_get_default_root_window())), double(gdk_window_get_height(gdk_get_default_root_window()))};
  EXPECT_EQ(screens[0].frame, whole);
  // Without panels the work area is the whole screen.
  EXPECT_EQ(screens[0].visibleFrame, whole);
}

TEST_F(GtkAppWindowE2ETest, FramesAreDesktopRectanglesAndReachTheRealWindowFlipped) {
  auto window = desktop_.makeWindow(WindowStyle::titled, {500, 400});
  window->setClient(client_);
  window->show();
  const Rect wanted{100, 200, 640, 480};
  window->setFrame(wanted);
  EXPECT_EQ(window->frame(), wanted) << "frame() answers with the frame asked for at once";

  const int screenHeight = gdk_window_get_height(gdk_get_default_root_window());
  ASSERT_TRUE(pumpUntil([&] {
    GdkWindow* surface = gtk_widget_get_window(widgetOf(window));
    int x = 0, y = 0;
    if (surface) gdk_window_get_origin(surface, &x, &y);
    return surface && x == 100 && y == screenHeight - (200 + 480) && gdk_window_get_width(surface) == 640 &&
           gdk_window_get_height(surface) == 480;
  }));
  ASSERT_TRUE(pumpUntil([&] { return !client_->frames.empty() && client_->frames.back() == wanted; }));
  EXPECT_EQ(window->frame(), wanted);
}

TEST_F(GtkAppWindowE2ETest, SizeLimitsHoldForFramesAskedFor) {
  constexpr double unlimited = unlimitedSize.width;
  struct Case {
    Size minimum;
    Size maximum;
    Rect asked;
    Rect held;
  };
  const Case cases[] = {
      {{720, 520}, unlimitedSize, {10, 20, 300, 900}, {10, 20, 720, 900}},
      {{300, 360}, {620, 1200}, {10, 20, 900, 200}, {10, 20, 620, 360}},
      {{300, 360}, {620, 800}, {10, 20, 450, 950}, {10, 20, 450, 800}},
      {{300, 360}, {unlimited, 500}, {10, 20, 1100, 700}, {10, 20, 1100, 500}},
      // Where the limits disagree, the minimum wins.
      {{400, 400}, {300, 300}, {10, 20, 350, 350}, {10, 20, 400, 400}},
  };
  for (const Case& c : cases) {
    auto window = desktop_.makeWindow(WindowStyle::titled, {800, 600});
    window->setMinimumSize(c.minimum);
    window->setMaximumSize(c.maximum);
    window->show();
    window->setFrame(c.asked);
    EXPECT_EQ(window->frame(), c.held) << "asked " << c.asked.width << " x " << c.asked.height;
    ASSERT_TRUE(pumpUntil([&] {
      GdkWindow* surface = gtk_widget_get_window(widgetOf(window));
      return surface && gdk_window_get_width(surface) == c.held.width && gdk_window_get_height(surface) == c.held.height;
    })) << "asked " << c.asked.width << " x " << c.asked.height;
    EXPECT_EQ(window->frame(), c.held) << "asked " << c.asked.width << " x " << c.asked.height;
  }
}

// The window holding the X server's input focus, once the server has done all it was asked.
::Window xFocus() {
  GdkDisplay* display = gdk_display_get_default();
  gdk_display_sync(display);
  ::Window focus = 0;
  int revert = 0;
  XGetInputFocus(GDK_DISPLAY_XDISPLAY(display), &focus, &revert);
  return focus;
}

TEST_F(GtkAppWindowE2ETest, ActivatingTheApplicationKeepsTheWindowJustShownInFront) {
  auto earlier = desktop_.makeWindow(WindowStyle::borderless, {300, 300});
  auto shown = desktop_.makeWindow(WindowStyle::titled, {400, 300});
  earlier->show();
  ASSERT_TRUE(pumpUntil([&] { return gtk_window_is_active(GTK_WINDOW(widgetOf(earlier))); }));
  // The focus change of the window just shown has not come back from the X server yet.
  shown->show();
  desktop_.activateApplication();
  EXPECT_EQ(xFocus(), gdk_x11_window_get_xid(gtk_widget_get_window(widgetOf(shown))));
  ASSERT_TRUE(pumpUntil([&] { return gtk_window_is_active(GTK_WINDOW(widgetOf(shown))); }));

  // The user then turns to the other window: that one is the latest from now on.
  GdkWindow* other = gtk_widget_get_window(widgetOf(earlier));
  XSetInputFocus(GDK_WINDOW_XDISPLAY(other), gdk_x11_window_get_xid(other), RevertToParent, CurrentTime);
  ASSERT_TRUE(pumpUntil([&] { return gtk_window_is_active(GTK_WINDOW(widgetOf(earlier))); }));
  desktop_.activateApplication();
  EXPECT_EQ(xFocus(), gdk_x11_window_get_xid(other));
}

TEST_F(GtkAppWindowE2ETest, CenterPlacesTheWindowInTheMiddleOfThePrimaryScreen) {
  auto window = desktop_.makeWindow(WindowStyle::titled, {400, 300});
  window->setFrame({0, 0, 400, 300});
  window->center();
  const Rect visible = desktop_.screens().front().visibleFrame;
  EXPECT_EQ(window->frame(), (Rect{std::floor((visible.width - 400) / 2), std::floor((visible.height - 300) / 2), 400, 300}));
}

TEST_F(GtkAppWindowE2ETest, ClosingAsksTheClientAndOnlyEverHides) {
  struct Case {
    bool allow;
    bool visibleAfter;
  };
  for (const Case c : {Case{false, true}, Case{true, false}}) {
    auto window = desktop_.makeWindow(WindowStyle::titled, {300, 200});
    auto client = std::make_shared<RecordingWindowClient>();
    client->allowClose = c.allow;
    window->setClient(client);
    window->show();
    ASSERT_TRUE(pumpUntil([&] { return gtk_widget_get_mapped(widgetOf(window)); }));
    gtk_window_close(GTK_WINDOW(widgetOf(window)));
    ASSERT_TRUE(pumpUntil([&] { return client->closeRequests == 1; }));
    drainReady();
    EXPECT_EQ(window->isVisible(), c.visibleAfter) << "allow " << c.allow;
    // The same window comes back.
    window->show();
    EXPECT_TRUE(window->isVisible());
  }
}

TEST_F(GtkAppWindowE2ETest, BackgroundColourFillsTheWindow) {
  auto window = desktop_.makeWindow(WindowStyle::titled, {200, 150});
  window->setBackgroundColor({26 / 255.0, 43 / 255.0, 60 / 255.0, 1});
  window->show();
  ASSERT_TRUE(pumpUntil([&] { return centreIs(widgetOf(window), {26, 43, 60}); }));
  window->setBackgroundColor({1, 1, 1, 1});
  ASSERT_TRUE(pumpUntil([&] { return centreIs(widgetOf(window), {255, 255, 255}); }));
}

TEST_F(GtkAppWindowE2ETest, ContentIsReplacedAndOutlivesItsWindow) {
  auto& provider = GtkTestEnvironment::instance().provider();
  auto first = provider.makeWebView({false, {}});
  auto second = provider.makeWebView({false, {}});
  auto window = desktop_.makeWindow(WindowStyle::titled, {300, 200});
  window->setContent(first);
  window->setContent(second);
  auto* firstWidget = static_cast<GtkWebView*>(first.get())->widget();
  auto* secondWidget = static_cast<GtkWebView*>(second.get())->widget();
  EXPECT_EQ(gtk_bin_get_child(GTK_BIN(widgetOf(window))), secondWidget);
  EXPECT_EQ(gtk_widget_get_parent(firstWidget), nullptr);
  window.reset();
  EXPECT_EQ(gtk_widget_get_parent(secondWidget), nullptr);
  // Still a working page after its window went away.
  second->loadHtml("<p>x</p>", "");
  std::optional<ScriptValue> answer;
  second->evaluate("6 * 7", [&](ScriptValue v) { answer = v; });
  ASSERT_TRUE(pumpUntil([&] { return answer.has_value(); }));
  EXPECT_EQ(answer->number, 42);
}

TEST_F(GtkAppWindowE2ETest, PageShowsInTheRealWindowAndAScreenshotIsKept) {
  PageServer server;
  server.addHtml("/index.html",
                 "<!doctype html><html lang='zh-Hans'><meta charset='utf-8'><title>岚笺</title>"
                 "<body style='margin:0;background:#1f7a3a;color:#fff;font:32px sans-serif'>"
                 "<p style='padding:24px'>岚笺 main page</p></body></html>");
  auto view = GtkTestEnvironment::instance().provider().makeWebView({false, {"mainWindow"}});
  auto finishes = std::make_shared<FinishClient>();
  view->setClient(finishes);
  auto window = desktop_.makeWindow(WindowStyle::titled, {900, 600});
  window->setTitle("The Tovarin");
  window->setContent(view);
  window->center();
  window->show();
  view->loadUrl(server.url("/index.html"), 30);
  ASSERT_TRUE(pumpUntil([&] { return !finishes->finished.empty(); }));
  ASSERT_TRUE(pumpUntil([&] { return centreIs(widgetOf(window), {0x1f, 0x7a, 0x3a}); }))
      << "the page never appeared in the window";

  const std::filesystem::path artefacts = std::filesystem::path(TOVARIN_BINARY_DIR) / "test-artifacts";
  std::filesystem::create_directories(artefacts);
  const std::string file = (artefacts / "main-window.png").string();
  GdkPixbuf* shot = capture(widgetOf(window));
  ASSERT_NE(shot, nullptr);
  EXPECT_TRUE(gdk_pixbuf_save(shot, file.c_str(), "png", nullptr, nullptr));
  g_object_unref(shot);
  EXPECT_GT(std::filesystem::file_size(file), 0u);
}

}  // namespace
}  // namespace tovarin

namespace tovarin {
namespace {

std::vector<std::string> linesOf(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(GtkDesktopE2ETest, WebAddressesReachTheDefaultBrowserAndNothingElseDoes) {
  GtkDesktop desktop(GtkTestEnvironment::instance().loop());
  const std::string log = GtkTestEnvironment::instance().browserLog();
  std::filesystem::remove(log);
  // Every one of these schemes has a handler on this desktop: only the filter keeps
  // the refused ones from it.
  for (const char* refused : {"mailto:someone@example.com", "the-tovarin://open?x=1", "file:///etc/hostname"})
    desktop.openInBrowser(refused);
  desktop.openInBrowser("http://example.com/a?b=c");
  desktop.openInBrowser("https://example.com/last");
  ASSERT_TRUE(pumpUntil([&] {
    auto lines = linesOf(log);
    return std::find(lines.begin(), lines.end(), "https://example.com/last") != lines.end() &&
           std::find(lines.begin(), lines.end(), "http://example.com/a?b=c") != lines.end();
  }));
  auto lines = linesOf(log);
  std::sort(lines.begin(), lines.end());
  EXPECT_EQ(lines, (std::vector<std::string>{"http://example.com/a?b=c", "https://example.com/last"}));
}

}  // namespace
}  // namespace tovarin
