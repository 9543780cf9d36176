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

namespace fs = std::filesystem;
using namespace tovarin;

namespace {

double wallMilliseconds() {
  return std::chrono::duration<double, std::milli>(std::chrono::system_clock::now().time_since_epoch()).count();
}

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

long residentKilobytes(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  }
  return -1;
}

double median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

struct Sample {
  double milliseconds = -1;
  double kilobytes = -1;
};

std::vector<std::string> environmentWith(const std::string& extra) {
  std::vector<std::string> env = {"PATH=/usr/bin:/bin", "NO_AT_BRIDGE=1", extra};
  for (const char* name : {"DISPLAY", "XAUTHORITY", "HOME", "DBUS_SESSION_BUS_ADDRESS", "TZ"}) {
    if (const char* value = std::getenv(name)) env.push_back(std::string(name) + "=" + value);
  }
  return env;
}

Sample measure(const std::string& executable, const std::vector<std::string>& arguments, const fs::path& frameFile) {
  fs::remove(frameFile);
  double spawned = wallMilliseconds();
  auto launched = ChildProcess::launch(ChildProcessOptions{
      executable, arguments, "", environmentWith("TOVARIN_WIDGET_FIRST_FRAME_FILE=" + frameFile.string()), false,
      false, true});
  if (!launched.process) {
    std::fprintf(stderr, "cannot start %s: %s\n", executable.c_str(), launched.error.c_str());
    return {};
  }
  Sample sample;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (std::chrono::steady_clock::now() < deadline) {
    std::ifstream in(frameFile);
    double at = 0;
    if (in >> at) {
      sample.milliseconds = at - spawned;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  std::this_thread::sleep_for(std::chrono::seconds(2));
  sample.kilobytes = static_cast<double>(residentKilobytes(launched.process->pid()));
  launched.process->signal(SIGTERM);
  (void)launched.process->wait();
  return sample;
}

bool waitForPort(int port) {
  for (int i = 0; i < 300; ++i) {
    std::string command = "exec 3<>/dev/tcp/127.0.0.1/" + std::to_string(port) + " 2>/dev/null";
    if (std::system(("/bin/bash -c '" + command + "' 2>/dev/null").c_str()) == 0) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
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

  fs::path work = fs::temp_directory_path() / ("widget-bench-" + std::to_string(getpid()));
  fs::create_directories(work);
  const int port = 43000 + getpid() % 2000;
  auto server = ChildProcess::launch(ChildProcessOptions{
      "/usr/bin/node", {std::string(TOVARIN_SOURCE_DIR) + "/tools/server.mjs", "--port", std::to_string(port)}, "",
      environmentWith("VORN_DATA=" + (work / "data.json").string()), false, false, true});
  if (!server.process || !waitForPort(port)) {
    std::fprintf(stderr, "the stand-in server did not start\n");
    return 1;
  }
  std::ofstream(work / "Info.json") << "{\"VORNServerPort\": " << port << "}\n";

  std::string widget = std::string(TOVARIN_STAGE_DIR) + "/bin/TheTovarinWidgetExtension";
  std::string self = fs::read_symlink("/proc/self/exe").string();
  std::vector<double> widgetTimes, widgetMemory, floorTimes, floorMemory;
  for (int i = 0; i < runs; ++i) {
    Sample floor = measure(self, {"--floor", (work / "floor-frame").string()}, work / "floor-frame");
    Sample mine = measure(widget, {"--family", "medium", "--info", (work / "Info.json").string()}, work / "frame");
    if (floor.milliseconds < 0 || mine.milliseconds < 0) {
      std::fprintf(stderr, "run %d: no first frame\n", i + 1);
      continue;
    }
    floorTimes.push_back(floor.milliseconds);
    floorMemory.push_back(floor.kilobytes);
    widgetTimes.push_back(mine.milliseconds);
    widgetMemory.push_back(mine.kilobytes);
  }
  server.process->signal(SIGTERM);
  (void)server.process->wait();
  fs::remove_all(work);
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
