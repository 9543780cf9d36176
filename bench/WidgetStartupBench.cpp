// Start-up time and resident memory of TheTovarinWidgetExtension against a floor: a
// minimal GTK program of ours that opens one undecorated window and draws one text with
// cairo and pango. Both run alternately in one session; the widget reads its feed from
// a stand-in server that is already running.
//
//   xvfb-run -a build/default/bench/WidgetStartupBench [--runs N]
//
// Time: from just before the process is spawned to its first drawn picture (each
// program writes that moment to a file). Memory: VmRSS of the process 2 s after that
// picture. Reports medians and the two ratios widget / floor.

#include <gtk/gtk.h>
#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "base/ChildProcess.h"
#include "bench/BenchSupport.h"
#include "tests/support/Eventually.h"
#include "tests/support/LocalPorts.h"
#include "tests/support/PrivateDbus.h"
#include "tests/support/StagedProgram.h"

namespace fs = std::filesystem;
using namespace tovarin;
using namespace tovarin::bench;

namespace {

// ---- The floor: one window, one text.

gboolean drawFloor(GtkWidget*, cairo_t* cr, gpointer file) {
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  PangoLayout* layout = pango_cairo_create_layout(cr);
  PangoFontDescription* font = pango_font_description_from_string("Noto Sans CJK SC 12");
  pango_layout_set_font_description(layout, font);
  pango_layout_set_text(layout, "需求评审", -1);
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_move_to(cr, 12, 12);
  pango_cairo_show_layout(cr, layout);
  pango_font_description_free(font);
  g_object_unref(layout);
  static bool reported = false;
  if (!reported) {
    reported = true;
    std::ofstream(static_cast<const char*>(file)) << std::fixed << wallMilliseconds() << "\n";
  }
  return TRUE;
}

int runFloor(int argc, char** argv, const char* file) {
  gtk_init(&argc, &argv);
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_decorated(GTK_WINDOW(window), FALSE);
  gtk_window_set_default_size(GTK_WINDOW(window), 364, 170);
  GtkWidget* canvas = gtk_drawing_area_new();
  g_signal_connect(canvas, "draw", G_CALLBACK(drawFloor), const_cast<char*>(file));
  gtk_container_add(GTK_CONTAINER(window), canvas);
  g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
  gtk_widget_show_all(window);
  gtk_main();
  return 0;
}

// ---- The harness.

struct Sample {
  double milliseconds = -1;
  double kilobytes = -1;
};

Sample measure(const StagedProgram& session, const std::string& executable, const std::vector<std::string>& arguments,
               const fs::path& frameFile) {
  fs::remove(frameFile);
  double spawned = wallMilliseconds();
  auto launched = ChildProcess::launch(ChildProcessOptions{
      executable, arguments, "", session.environment({"TOVARIN_WIDGET_FIRST_FRAME_FILE=" + frameFile.string()}),
      false, false, true});
  if (!launched.process) {
    std::fprintf(stderr, "cannot start %s: %s\n", executable.c_str(), launched.error.c_str());
    return {};
  }
  Sample sample;
  eventually(
      [&] {
        std::ifstream in(frameFile);
        double at = 0;
        if (!(in >> at)) return false;
        sample.milliseconds = at - spawned;
        return true;
      },
      30, std::chrono::milliseconds(2));
  std::this_thread::sleep_for(std::chrono::seconds(2));
  sample.kilobytes = static_cast<double>(residentKilobytes(launched.process->pid()));
  launched.process->signal(SIGTERM);
  (void)launched.process->wait();
  return sample;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::string(argv[1]) == "--floor") return runFloor(1, argv, argv[2]);
  int runs = 5;
  if (argc >= 3 && std::string(argv[1]) == "--runs") runs = std::max(1, std::atoi(argv[2]));
  if (!std::getenv("DISPLAY")) {
    std::fprintf(stderr, "run under xvfb-run\n");
    return 2;
  }

  // The widget and the floor in one private session, the widget's feed from a stand-in
  // server of that session.
  PrivateDbus bus;
  std::vector<std::string> passed;
  if (const char* zone = std::getenv("TZ")) passed.push_back(std::string("TZ=") + zone);
  StagedProgram session({.busAddress = bus.address(), .environment = passed});
  const fs::path work = session.root();
  session.addEnvironment("VORN_DATA=" + (work / "data.json").string());
  const uint16_t port = session.port();
  if (bus.address().empty()) {
    std::fprintf(stderr, "private bus: %s\n", bus.error().c_str());
    return 1;
  }
  if (!session.startServer() || !eventually([&] { return LocalPorts::accepts(port); }, 30)) {
    std::fprintf(stderr, "the stand-in server did not start %s\n", session.error().c_str());
    return 1;
  }
  std::ofstream(work / "Info.json") << "{\"VORNServerPort\": " << port << "}\n";

  std::string widget = std::string(TOVARIN_STAGE_DIR) + "/bin/TheTovarinWidgetExtension";
  std::string self = fs::read_symlink("/proc/self/exe").string();
  std::vector<double> widgetTimes, widgetMemory, floorTimes, floorMemory;
  for (int i = 0; i < runs; ++i) {
    Sample floor = measure(session, self, {"--floor", (work / "floor-frame").string()}, work / "floor-frame");
    Sample mine =
        measure(session, widget, {"--family", "medium", "--info", (work / "Info.json").string()}, work / "frame");
    if (floor.milliseconds < 0 || mine.milliseconds < 0) {
      std::fprintf(stderr, "run %d: no first frame\n", i + 1);
      continue;
    }
    floorTimes.push_back(floor.milliseconds);
    floorMemory.push_back(floor.kilobytes);
    widgetTimes.push_back(mine.milliseconds);
    widgetMemory.push_back(mine.kilobytes);
  }
  if (widgetTimes.empty()) return 1;

  double floorTime = median(floorTimes), widgetTime = median(widgetTimes);
  double floorRss = median(floorMemory), widgetRss = median(widgetMemory);
  std::printf("runs: %zu\n", widgetTimes.size());
  std::printf("first frame   floor %8.1f ms   widget %8.1f ms   ratio %.2f (goal <= 1.20)\n", floorTime, widgetTime,
              widgetTime / floorTime);
  std::printf("resident      floor %8.0f kB   widget %8.0f kB   ratio %.2f (goal <= 1.30)\n", floorRss, widgetRss,
              widgetRss / floorRss);
  return 0;
}
