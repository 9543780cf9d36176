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

#include "base/ChildProcess.h"
#include "base/Json.h"
#include "bench/BenchSupport.h"
#include "main/page/Window.h"
#include "platform/glib/GlibMainLoop.h"
#include "platform/gtk/AppGtkApplication.h"
#include "platform/gtk/GtkDesktop.h"
#include "platform/gtk/GtkWebViewProvider.h"
#include "tests/support/Eventually.h"
#include "tests/support/InstalledBundle.h"
#include "tests/support/PrivateDbus.h"
#include "tests/support/StagedProgram.h"

namespace fs = std::filesystem;
using namespace tovarin;
using namespace tovarin::bench;

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

void keepMaps(pid_t pid, const std::string& path) {
  std::ifstream maps("/proc/" + std::to_string(pid) + "/smaps");
  std::ofstream(path) << maps.rdbuf();
}

// The staged program on a bus of its own, against a stand-in server that is already
// running (so the program starts nothing).
class Harness {
 public:
  bool prepare(std::string& error) {
    if (bus_.address().empty()) {
      error = "private bus: " + bus_.error();
      return false;
    }
    fs::create_directories(root() / "floor");
    if (!staged_.startServer()) {
      error = "stand-in server: " + staged_.error();
      return false;
    }
    if (!eventually([&] { return staged_.get("/__test/state").has_value(); }, 20, std::chrono::milliseconds(20))) {
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
        ChildProcessOptions{executable, arguments, root().string(), environment(cacheName), false, false});
    Sample sample;
    if (!launched.process) {
      std::fprintf(stderr, "cannot start %s: %s\n", executable.c_str(), launched.error.c_str());
      return sample;
    }
    auto process = launched.process;
    // The engine may hold its first frame back until the load: either may come first.
    std::vector<double> loaded, painted;
    eventually([&] {
      if (sample.paintMs < 0 && (painted = times("pagePaints", page)).size() > paintsBefore) {
        sample.paintResidentKb = residentKilobytes(process->pid());
        if (!mapsPath.empty()) keepMaps(process->pid(), mapsPath);
        sample.paintMs = painted[paintsBefore] - spawnedAt;
      }
      if (sample.loadMs < 0 && (loaded = times("pageLoads", page)).size() > loadsBefore) {
        sample.loadMs = loaded[loadsBefore] - spawnedAt;
      }
      return sample.paintMs >= 0 && sample.loadMs >= 0;
    }, 60, std::chrono::milliseconds(20));
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

  std::string program() const { return staged_.programPath().string(); }
  // The program of another stage in a prefix of its own, against the same server.
  std::string addProgram(const fs::path& stage) {
    const fs::path prefix = root() / ("prefix" + std::to_string(++extraPrefixes_));
    return InstalledBundle::layOutProgram(stage, prefix, staged_.port()).string();
  }
  std::string floorData() const { return (root() / "floor").string(); }
  std::string mainUrl() const { return "http://127.0.0.1:" + std::to_string(staged_.port()) + "/index.html"; }

 private:
  fs::path root() const { return staged_.root(); }

  // Each contender keeps a cache of its own: the status mark drawn by one program would
  // be stale for another bundle's mark file and drawn again at every launch.
  std::vector<std::string> environment(const std::string& cacheName) const {
    fs::create_directories(root() / "cache" / cacheName);
    return staged_.environment({"XDG_CACHE_HOME=" + (root() / "cache" / cacheName).string()});
  }

  // The times the server recorded for one page under "pageLoads" or "pagePaints".
  std::vector<double> times(const char* kind, const char* page) {
    std::vector<double> out;
    auto current = staged_.get("/__test/state");
    if (!current || !current->contains(kind) || !(*current)[kind].contains(page)) return out;
    for (const auto& at : (*current)[kind][page]) {
      if (auto value = jsonNumber(at)) out.push_back(*value);
    }
    return out;
  }

  PrivateDbus bus_;
  StagedProgram staged_{{.busAddress = bus_.address()}};
  int extraPrefixes_ = 0;
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
