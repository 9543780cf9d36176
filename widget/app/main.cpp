// TheTovarinWidgetExtension: the calendar widget, hosted in a window of its own.

#include <fontconfig/fontconfig.h>
#include <gtk/gtk.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "base/BeastHttpClient.h"
#include "base/NetworkThread.h"
#include "platform/glib/GlibMainLoop.h"
#include "widget/CalendarProvider.h"
#include "widget/WidgetLayout.h"
#include "widget/WidgetOptions.h"
#include "widget/WidgetTimelineHost.h"
#include "widget/app/WidgetPainter.h"
#include "widget/app/WidgetSignals.h"
#include "widget/app/WidgetWindow.h"

namespace {

using namespace tovarin;

double wallClock() {
  return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// <prefix>/share/the-tovarin-widget/Info.json beside <prefix>/bin/TheTovarinWidgetExtension.
std::string defaultInfoPath() {
  std::error_code error;
  std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return "Info.json";
  return (program.parent_path().parent_path() / "share" / "the-tovarin-widget" / "Info.json").string();
}

int renderOnce(const WidgetOptions& options, const std::string& infoPath) {
  Calendar device = Calendar::gregorianInCurrentZone();
  FeedRequest request;
  request.port = CalendarFeed::readPort(infoPath);
  request.now = wallClock();
  request.device = device;
  std::optional<CalendarEntry> entry;
  {
    GlibMainLoop loop;
    BeastHttpClient http;
    GMainLoop* running = g_main_loop_new(nullptr, FALSE);
    CalendarProvider::snapshot(options.preview, http, loop, request, [&](CalendarEntry loaded) {
      entry = std::move(loaded);
      g_main_loop_quit(running);
    });
    if (!entry) g_main_loop_run(running);
    g_main_loop_unref(running);
    NetworkThread::shared().stop();
  }
  auto scheme = options.scheme.value_or(TovarinColorToken::Scheme::light);
  WidgetLayout layout = WidgetLayout::make(*entry, options.family, defaultSize(options.family), scheme, device);
  if (!WidgetPainter::writePng(layout, options.scale, *options.renderPath)) {
    std::fprintf(stderr, "TheTovarinWidgetExtension: cannot write %s\n", options.renderPath->c_str());
    return 1;
  }
  return 0;
}

int runWindow(const WidgetOptions& options, const std::string& infoPath) {
  Calendar device = Calendar::gregorianInCurrentZone();
  {
    GlibMainLoop loop;
    BeastHttpClient http;
    WidgetWindow window(options.family, options.scheme, options.position, device);
    // Start-up timing: the moment of the first drawn picture, in ms since 1970.
    if (const char* path = std::getenv("TOVARIN_WIDGET_FIRST_FRAME_FILE")) {
      window.onFirstFrame([file = std::string(path)] {
        if (FILE* out = std::fopen(file.c_str(), "w")) {
          std::fprintf(out, "%.3f\n", wallClock() * 1000);
          std::fclose(out);
        }
      });
    }
    auto host = std::make_shared<WidgetTimelineHost>(
        WidgetTimelineHost::Environment{loop, http, wallClock, [infoPath] { return CalendarFeed::readPort(infoPath); },
                                        device},
        [&window](const CalendarEntry& entry) { window.show(entry); });
    WidgetSignals signals([host] { host->reload(); }, [host] { host->recheck(); });
    host->start();
    gtk_main();
    NetworkThread::shared().stop();
  }
  return 0;
}

// Pango's font map and fontconfig keep their caches until the process ends, some of
// them behind offsets that a leak checker cannot follow; handing them back after the
// last text is drawn lets the sanitizer build check the program for leaks. Only there:
// fontconfig asserts that no cache is still in use, which a release build need not risk.
void releaseFontCaches() {
#if defined(__SANITIZE_ADDRESS__)
  // Pango's fontconfig set-up thread holds the font map for a moment after it starts,
  // and the caches can be handed back only once the map is gone: wait for it (5 s at
  // most) rather than trip the libraries' own checks; without it, leave them be.
  gpointer map = pango_cairo_font_map_get_default();
  g_object_add_weak_pointer(G_OBJECT(map), &map);
  pango_cairo_font_map_set_default(nullptr);
  for (int waited = 0; map && waited < 500; ++waited) g_usleep(10000);
  if (map) return;
  cairo_debug_reset_static_data();
  FcFini();
#endif
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  std::string error;
  auto options = WidgetOptions::parse(arguments, error);
  if (!options) {
    std::fprintf(stderr, "TheTovarinWidgetExtension: %s\n", error.c_str());
    return 2;
  }
  std::string infoPath = options->infoPath.value_or(defaultInfoPath());
  if (options->renderPath) {
    const int code = renderOnce(*options, infoPath);
    releaseFontCaches();
    return code;
  }
  if (!gtk_init_check(&argc, &argv)) {
    std::fprintf(stderr, "TheTovarinWidgetExtension: no display\n");
    return 1;
  }
  g_set_prgname("TheTovarinWidgetExtension");
  return runWindow(*options, infoPath);
}
