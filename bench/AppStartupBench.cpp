// Start-up time and resident memory of TheTovarin against a floor: a minimal program
// of ours that only opens one WebKitGTK window on the same page. Both run side by side
// in one session against one stand-in server that is already running (so the program
// starts nothing); each page tells the server when it first painted and when its load
// event fired.
//
//   xvfb-run -a build/default/bench/AppStartupBench [--runs N] [--base STAGE] [--maps DIR]
//
// --maps keeps each process's memory map (/proc/PID/smaps) as it was at the first
// paint, as DIR/NAME-RUN.smaps, and 2 s after the load, as DIR/NAME-RUN.smaps.load,
// to see which mappings a difference comes from.
//
// --base adds a second program, staged elsewhere (an unchanged tree's build/default/
// stage), measured in the same runs, so that a change is seen against the same noise.
//
// Time: from just before the process is spawned to the main page's first contentful
// paint and to its load event, as the server recorded them. Memory: VmRSS of the
// program's own process (web processes not counted), as soon as the first paint is
// known and 2 s after the load. Reports medians and the ratios program / floor.

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "base/BeastHttpClient.h"
#include "base/ChildProcess.h"
#include "base/Json.h"
#include "base/SerialQueue.h"
#include "main/page/Window.h"
#include "platform/gtk/AppGtkApplication.h"
#include "platform/glib/GlibMainLoop.h"
#include "platform/gtk/GtkDesktop.h"
#include "platform/gtk/GtkWebViewProvider.h"

namespace fs = std::filesystem;
using namespace tovarin;

namespace {

// ---- The floor: one window, one web view, one page.

int runFloor(const std::string& url, const std::string& dataDirectory) {
  AppGtkApplication application("com.orvik.TheTovarin.BenchFloor");
  std::unique_ptr<GlibMainLoop> loop;
  std::unique_ptr<GtkDesktop> desktop;
  std::unique_ptr<GtkWebViewProvider> webViews;
  std::shared_ptr<Window> window;
  std::shared_ptr<WebView> view;
  AppGtkApplication::Events events;
  events.launch = [&] {
    loop = std::make_unique<GlibMainLoop>();
    desktop = std::make_unique<GtkDesktop>(*loop);
    webViews = std::make_unique<GtkWebViewProvider>(
        *loop, GtkWebViewProvider::Options{TOVARIN_STAGE_DIR "/lib/the-tovarin/webext", dataDirectory});
    window = desktop->makeWindow(WindowStyle::titled, Size{1180, 780});
    view = webViews->makeWebView(WebViewOptions{});
    window->setContent(view);
    window->show();
    view->loadUrl(url, 60);
  };
  char name[] = "AppStartupBenchFloor";
  char* argv[] = {name, nullptr};
  const int status = application.run(1, argv, std::move(events));
  view.reset();
  window.reset();
  webViews.reset();
  desktop.reset();
  loop.reset();
  return status;
}

// ---- The harness.

double wallMilliseconds() {
  return std::chrono::duration<double, std::milli>(std::chrono::system_clock::now().time_since_epoch()).count();
}

long residentKilobytes(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  }
  return -1;
}

void keepMaps(pid_t pid, const std::string& path) {
  std::ifstream maps("/proc/" + std::to_string(pid) + "/smaps");
  std::ofstream(path) << maps.rdbuf();
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  if (values.empty()) return 0;
  const size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

class Harness {
 public:
  Harness() {
    char pattern[] = "/tmp/tovarin-bench-XXXXXX";
    root_ = ::mkdtemp(pattern);
    for (const char* dir : {"home", "config", "data", "cache", "run", "floor"}) fs::create_directories(root_ / dir);
    fs::permissions(root_ / "run", fs::perms::owner_all, fs::perm_options::replace);
    port_ = pickPort();
  }
  ~Harness() {
    for (auto& child : {server_, bus_}) {
      if (child && child->signal(SIGTERM)) (void)child->wait();
    }
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }

  bool prepare(std::string& error) {
    if (!startBus(error)) return false;
    makeBundle();
    const std::string version = infoVersion();
    auto launched = ChildProcess::launch(ChildProcessOptions{
        "/usr/bin/node",
        {(root_ / "prefix/share/the-tovarin/tools/server.mjs").string(), "--port", std::to_string(port_)},
        root_.string(),
        {"PATH=/usr/bin:/bin", "VORN_APP_VERSION=" + version},
        false,
        false});
    if (!launched.process) {
      error = "stand-in server: " + launched.error;
      return false;
    }
    server_ = launched.process;
    if (!waitUntil([&] { return state().has_value(); }, 20)) {
      error = "the stand-in server did not answer";
      return false;
    }
    return true;
  }

  struct Sample {
    double paintMs = -1;
    double loadMs = -1;
    long paintResidentKb = -1;
    long residentKb = -1;
  };

  // One start of a program; it is ended once measured.
  Sample measure(const std::string& executable, const std::vector<std::string>& arguments, const char* page,
                 const std::string& cacheName, const std::string& mapsPath = {}) {
    const size_t loadsBefore = times("pageLoads", page).size();
    const size_t paintsBefore = times("pagePaints", page).size();
    const double spawnedAt = wallMilliseconds();
    auto launched = ChildProcess::launch(
        ChildProcessOptions{executable, arguments, root_.string(), environment(cacheName), false, false});
    Sample sample;
    if (!launched.process) {
      std::fprintf(stderr, "cannot start %s: %s\n", executable.c_str(), launched.error.c_str());
      return sample;
    }
    auto process = launched.process;
    // The engine may hold its first frame back until the load: either may come first.
    std::vector<double> loaded, painted;
    waitUntil([&] {
      if (sample.paintMs < 0 && (painted = times("pagePaints", page)).size() > paintsBefore) {
        sample.paintResidentKb = residentKilobytes(process->pid());
        if (!mapsPath.empty()) keepMaps(process->pid(), mapsPath);
        sample.paintMs = painted[paintsBefore] - spawnedAt;
      }
      if (sample.loadMs < 0 && (loaded = times("pageLoads", page)).size() > loadsBefore) {
        sample.loadMs = loaded[loadsBefore] - spawnedAt;
      }
      return sample.paintMs >= 0 && sample.loadMs >= 0;
    }, 60);
    if (sample.loadMs >= 0) {
      std::this_thread::sleep_for(std::chrono::seconds(2));
      sample.residentKb = residentKilobytes(process->pid());
      if (!mapsPath.empty()) keepMaps(process->pid(), mapsPath + ".load");
    }
    process->signal(SIGTERM);
    std::future<int> ended = std::async(std::launch::async, [&] { return process->wait(); });
    if (ended.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
      process->signal(SIGKILL);
    }
    ended.wait();
    return sample;
  }

  std::string program() const { return (root_ / "prefix/bin/TheTovarin").string(); }
  // The program of another stage in a prefix of its own, against the same server.
  std::string addProgram(const fs::path& stage) {
    const fs::path prefix = root_ / ("prefix" + std::to_string(++extraPrefixes_));
    stageBundle(stage, prefix);
    return (prefix / "bin/TheTovarin").string();
  }
  std::string floorData() const { return (root_ / "floor").string(); }
  std::string mainUrl() const { return "http://127.0.0.1:" + std::to_string(port_) + "/index.html"; }

 private:
  static uint16_t pickPort() {
    // A port nobody listens on now, from the ephemeral range.
    for (uint16_t port = 42000 + static_cast<uint16_t>(::getpid() % 2000);; ++port) {
      std::ifstream tcp("/proc/net/tcp");
      std::stringstream text;
      text << tcp.rdbuf();
      char hex[8];
      std::snprintf(hex, sizeof hex, ":%04X", port);
      if (text.str().find(hex) == std::string::npos) return port;
    }
  }

  bool startBus(std::string& error) {
    const std::string socket = (root_ / "bus").string();
    auto launched = ChildProcess::launch(ChildProcessOptions{
        "/usr/bin/dbus-daemon", {"--session", "--nofork", "--nopidfile", "--address=unix:path=" + socket}, {},
        {"PATH=/usr/bin:/bin"}, false, false});
    if (!launched.process) {
      error = "dbus-daemon: " + launched.error;
      return false;
    }
    bus_ = launched.process;
    busAddress_ = "unix:path=" + socket;
    return waitUntil([&] { return fs::exists(socket); }, 20);
  }

  // The staged program copied under a prefix of its own, whose bundle names our port.
  void makeBundle() { stageBundle(TOVARIN_STAGE_DIR, root_ / "prefix"); }

  void stageBundle(const fs::path& stage, const fs::path& prefix) const {
    fs::create_directories(prefix / "bin");
    fs::copy_file(stage / "bin/TheTovarin", prefix / "bin/TheTovarin");
    fs::copy(stage / "share", prefix / "share", fs::copy_options::recursive);
    std::ofstream(prefix / "share/the-tovarin/config.json") << R"({"port":)" << port_ << "}";
    fs::create_directories(prefix / "lib/the-tovarin");
    fs::create_directory_symlink(stage / "lib/the-tovarin/webext", prefix / "lib/the-tovarin/webext");
    fs::create_symlink(stage / "lib/the-tovarin/libtovarin-ocr.so", prefix / "lib/the-tovarin/libtovarin-ocr.so");
  }

  std::string infoVersion() const {
    std::ifstream in(root_ / "prefix/share/the-tovarin/Info.json");
    std::stringstream text;
    text << in.rdbuf();
    auto info = parseJson(text.str());
    return info ? jsonString(*info, "CFBundleShortVersionString").value_or("0.2.0") : "0.2.0";
  }

  // Each contender keeps a cache of its own: the status mark drawn by one program would
  // be stale for another bundle's mark file and drawn again at every launch.
  std::vector<std::string> environment(const std::string& cacheName) const {
    fs::create_directories(root_ / "cache" / cacheName);
    std::vector<std::string> env = {
        "PATH=/usr/bin:/bin",
        "HOME=" + (root_ / "home").string(),
        "XDG_CONFIG_HOME=" + (root_ / "config").string(),
        "XDG_DATA_HOME=" + (root_ / "data").string(),
        "XDG_CACHE_HOME=" + (root_ / "cache" / cacheName).string(),
        "XDG_RUNTIME_DIR=" + (root_ / "run").string(),
        "DBUS_SESSION_BUS_ADDRESS=" + busAddress_,
        "NO_AT_BRIDGE=1",
    };
    for (const char* name : {"DISPLAY", "XAUTHORITY"}) {
      if (const char* value = std::getenv(name)) env.push_back(std::string(name) + "=" + value);
    }
    return env;
  }

  std::optional<Json> state() {
    std::promise<std::optional<Json>> answer;
    http_.send(HttpRequest{"GET", "http://127.0.0.1:" + std::to_string(port_) + "/__test/state", {}, {}, 5}, queue_,
               [&](HttpResponse response) {
                 answer.set_value(response.responded && response.status == 200 ? parseJson(response.body)
                                                                                : std::nullopt);
               });
    return answer.get_future().get();
  }

  // The times the server recorded for one page under "pageLoads" or "pagePaints".
  std::vector<double> times(const char* kind, const char* page) {
    std::vector<double> out;
    auto current = state();
    if (!current || !current->contains(kind) || !(*current)[kind].contains(page)) return out;
    for (const auto& at : (*current)[kind][page]) {
      if (auto value = jsonNumber(at)) out.push_back(*value);
    }
    return out;
  }

  static bool waitUntil(const std::function<bool()>& condition, double seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
      if (condition()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return condition();
  }

  fs::path root_;
  uint16_t port_ = 0;
  std::string busAddress_;
  int extraPrefixes_ = 0;
  std::shared_ptr<ChildProcess> bus_;
  std::shared_ptr<ChildProcess> server_;
  BeastHttpClient http_;
  SerialQueue queue_{"bench-http"};
};

// The figures of one contender over all runs.
struct Series {
  std::string name;
  std::string executable;
  std::vector<std::string> arguments;
  std::vector<Harness::Sample> samples;

  double medianOf(double Harness::Sample::*field) const {
    std::vector<double> values;
    for (const auto& sample : samples) {
      if (sample.*field > 0) values.push_back(sample.*field);
    }
    return median(values);
  }
  double medianOf(long Harness::Sample::*field) const {
    std::vector<double> values;
    for (const auto& sample : samples) {
      if (sample.*field > 0) values.push_back(static_cast<double>(sample.*field));
    }
    return median(values);
  }
};

void printSample(const char* label, const Harness::Sample& sample) {
  std::printf("%-10s %10.0f %10.0f %12ld %12ld\n", label, sample.paintMs, sample.loadMs, sample.paintResidentKb,
              sample.residentKb);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--floor") return runFloor(argv[2], argv[3]);
  int runs = 5;
  std::string baseStage;
  std::string mapsDirectory;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--runs") {
      runs = std::max(1, std::atoi(argv[i + 1]));
    } else if (option == "--base") {
      baseStage = argv[i + 1];
    } else if (option == "--maps") {
      mapsDirectory = argv[i + 1];
      fs::create_directories(mapsDirectory);
    } else {
      std::fprintf(stderr, "usage: %s [--runs N] [--base STAGE] [--maps DIR]\n", argv[0]);
      return 2;
    }
  }
  if (!std::getenv("DISPLAY")) {
    std::fprintf(stderr, "needs a display: run under xvfb-run -a\n");
    return 2;
  }

  Harness harness;
  std::string error;
  if (!harness.prepare(error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  const std::string self = fs::read_symlink("/proc/self/exe").string();
  std::vector<Series> contenders;
  contenders.push_back({"floor", self, {"--floor", harness.mainUrl(), harness.floorData()}, {}});
  contenders.push_back({"program", harness.program(), {}, {}});
  if (!baseStage.empty()) contenders.push_back({"base", harness.addProgram(baseStage), {}, {}});

  std::printf("%-10s %10s %10s %12s %12s\n", "run", "paint ms", "load ms", "paint KiB", "load+2s KiB");
  for (int run = 1; run <= runs; ++run) {
    // Rotate which goes first, so that none always meets a warmer cache.
    std::printf("-- run %d\n", run);
    for (size_t turn = 0; turn < contenders.size(); ++turn) {
      Series& series = contenders[(turn + static_cast<size_t>(run)) % contenders.size()];
      const std::string maps =
          mapsDirectory.empty() ? "" : mapsDirectory + "/" + series.name + "-" + std::to_string(run) + ".smaps";
      Harness::Sample sample = harness.measure(series.executable, series.arguments, "main", series.name, maps);
      printSample(series.name.c_str(), sample);
      if (sample.loadMs > 0) series.samples.push_back(sample);
    }
  }
  const Series& floor = contenders.front();
  if (floor.samples.empty()) {
    std::fprintf(stderr, "no complete run\n");
    return 1;
  }
  std::printf("-- medians\n");
  for (const auto& series : contenders) {
    std::printf("%-10s %10.0f %10.0f %12.0f %12.0f\n", series.name.c_str(), series.medianOf(&Harness::Sample::paintMs),
                series.medianOf(&Harness::Sample::loadMs), series.medianOf(&Harness::Sample::paintResidentKb),
                series.medianOf(&Harness::Sample::residentKb));
  }
  for (size_t i = 1; i < contenders.size(); ++i) {
    const Series& series = contenders[i];
    auto ratio = [&](auto field) {
      const double below = floor.medianOf(field);
      return below > 0 ? series.medianOf(field) / below : 0.0;
    };
    std::printf("%s / floor: first paint %.2f, load event %.2f, memory at paint %.2f, memory 2 s after load %.2f\n",
                series.name.c_str(), ratio(&Harness::Sample::paintMs), ratio(&Harness::Sample::loadMs),
                ratio(&Harness::Sample::paintResidentKb), ratio(&Harness::Sample::residentKb));
  }
  return 0;
}
