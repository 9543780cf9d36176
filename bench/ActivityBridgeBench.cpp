// Round trips through the activity bridge from a child process, side by side in one run
// with a floor: a minimal Unix-socket server that echoes one line per connection, the
// same framing the bridge uses. Three series: the floor, owner reports, and queries
// over a week of records in a real encrypted store.
//
//   build/default/bench/ActivityBridgeBench [--requests N]
//
// The client is this program itself, started as a child (the bridge answers only its
// own children): it times each connection from connect to the reply's end.

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "base/ChildProcess.h"
#include "base/Json.h"
#include "bench/BenchSupport.h"
#include "main/activity/ActivityBridgeProtocol.h"
#include "main/activity/ActivityBridgeServer.h"
#include "main/activity/ActivityPeer.h"
#include "main/activity/ActivityService.h"
#include "main/activity/MemoryKeyStore.h"

using namespace tovarin;
using namespace tovarin::bench;

namespace {

const std::string kOwner(64, 'e');
constexpr double kWeekEnd = 1772442001.0;  // 2026-03-02 10:00:01 in Berlin

int connectTo(const std::string& path) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// The child: N round trips, one latency in microseconds per output line.
int runClient(const std::string& path, int count, const std::string& line) {
  std::string out;
  char buffer[65536];
  for (int index = 0; index < count; ++index) {
    const auto start = std::chrono::steady_clock::now();
    const int fd = connectTo(path);
    if (fd < 0) return 1;
    (void)!::send(fd, line.data(), line.size(), MSG_NOSIGNAL);
    size_t received = 0;
    for (ssize_t got; (got = ::recv(fd, buffer, sizeof buffer, 0)) > 0;) received += static_cast<size_t>(got);
    ::close(fd);
    if (received == 0) return 2;
    const double micros = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
    out += std::to_string(micros) + "\n";
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  return 0;
}

// The floor: reads up to the newline, writes the line back, closes.
class EchoServer {
 public:
  explicit EchoServer(std::string path) : path_(std::move(path)) {
    listen_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path_.c_str(), sizeof(address.sun_path) - 1);
    ::unlink(path_.c_str());
    (void)::bind(listen_, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    (void)::listen(listen_, 8);
    thread_ = std::thread([this] { serve(); });
  }
  ~EchoServer() {
    stopping_ = true;
    ::close(connectTo(path_));
    thread_.join();
    ::close(listen_);
    ::unlink(path_.c_str());
  }

 private:
  void serve() {
    char buffer[4096];
    while (!stopping_) {
      const int fd = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      std::string line;
      for (ssize_t got; line.find('\n') == std::string::npos && (got = ::recv(fd, buffer, sizeof buffer, 0)) > 0;) {
        line.append(buffer, static_cast<size_t>(got));
      }
      (void)!::send(fd, line.data(), line.size(), MSG_NOSIGNAL);
      ::close(fd);
    }
  }

  std::string path_;
  int listen_ = -1;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

struct Series {
  std::string name;
  std::vector<double> micros;
  double seconds = 0;
};

Series measure(const std::string& name, const std::string& path, int count, const std::string& line) {
  ChildProcessOptions options;
  options.executable = "/proc/self/exe";
  options.arguments = {"--client", path, std::to_string(count), line};
  options.captureStdout = true;
  const auto start = std::chrono::steady_clock::now();
  auto child = ChildProcess::launch(options).process;
  Series series{name, {}, 0};
  if (!child) return series;
  std::istringstream output(child->readAllOutput());
  child->wait();
  series.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  for (double value; output >> value;) series.micros.push_back(value);
  std::sort(series.micros.begin(), series.micros.end());
  return series;
}

double percentileMs(const Series& series, double fraction) { return percentile(series.micros, fraction) / 1000.0; }

void print(const Series& series) {
  double total = 0;
  for (double value : series.micros) total += value;
  std::printf("%-28s %6zu requests  %9.0f req/s  p50 %7.3f ms  p99 %7.3f ms\n", series.name.c_str(),
              series.micros.size(), total > 0 ? series.micros.size() / (total / 1e6) : 0.0, percentileMs(series, 0.5),
              percentileMs(series, 0.99));
}

// A week of five-minute stretches alternating between two apps, owned and recorded.
void fillWeek(ActivityService& service, std::atomic<double>& now) {
  (void)service.handle(ActivityBridgeRequest::ownerReport(kOwner));
  if (service.enable() != ActivityService::EnableOutcome::enabled) std::fprintf(stderr, "enable failed\n");
  const ActivityApp apps[] = {{"org.gnome.TextEditor", "Text Editor"}, {"firefox", "Firefox"}};
  for (int step = 0; now < kWeekEnd - 600; ++step) {
    // The server reports the owner every minute; a report holds for 90 seconds.
    for (int minute = 0; minute < 5; ++minute) {
      now = now + 60;
      (void)service.handle(ActivityBridgeRequest::ownerReport(kOwner));
    }
    service.record(ActivityEvent::frontmost(apps[step % 2], now));
    service.record(ActivityEvent::title("Notes " + std::to_string(step % 40), std::nullopt, false, now));
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::string(argv[1]) == "--client") return runClient(argv[2], std::atoi(argv[3]), argv[4]);
  int requests = 2000;
  if (argc == 3 && std::string(argv[1]) == "--requests") requests = std::max(1, std::atoi(argv[2]));

  char pattern[] = "/tmp/tovarin-bench-XXXXXX";
  const std::string dir = ::mkdtemp(pattern);
  const std::string token = ActivityBridgeProtocol::makeToken();

  // The builder takes time as it comes: the clock starts where the week does.
  std::atomic<double> now{kWeekEnd - 7 * 86400};
  ActivitySettings settings;
  settings.included = {"org.gnome.TextEditor", "firefox"};
  auto store = std::make_shared<ActivityStore>(dir + "/Activity", std::make_shared<MemoryKeyStore>());
  ActivityService service(
      store, settings, [n = 0]() mutable { return "iv-" + std::to_string(++n); }, [] { return true; },
      [&] { return now.load(); }, [] { return *Calendar::gregorian("Europe/Berlin"); });
  fillWeek(service, now);
  service.maintain();
  auto counts = service.counts();
  std::printf("record: %lld intervals, %lld hour summaries\n", counts ? static_cast<long long>(counts->intervals) : -1LL,
              counts ? static_cast<long long>(counts->summaries) : -1LL);

  ActivityBridgeServer bridge(dir + "/bridge.sock", token, ActivityPeer::isChildOfCurrentProcess,
                              [&](const ActivityBridgeRequest& request) { return service.handle(request); });
  if (bridge.start()) {
    std::fprintf(stderr, "bridge did not start\n");
    return 1;
  }
  const std::string ownerLine = Json{{"v", 1}, {"token", token}, {"op", "owner"}, {"owner", kOwner}}.dump() + "\n";
  const std::string queryLine = Json{{"v", 1}, {"token", token}, {"op", "query"}, {"owner", kOwner},
                                     {"args", {{"from", "2026-02-23"}, {"to", "2026-03-02"}}}}
                                    .dump() + "\n";
  Series echo;
  {
    EchoServer server(dir + "/echo.sock");
    echo = measure("echo floor (owner line)", dir + "/echo.sock", requests, ownerLine);
  }
  Series bare;
  {
    // The bridge alone: same checks and framing, a handler that answers at once.
    ActivityBridgeServer alone(dir + "/alone.sock", token, ActivityPeer::isChildOfCurrentProcess,
                               [](const ActivityBridgeRequest&) { return ActivityBridgeReply::acknowledged(); });
    if (!alone.start()) bare = measure("bridge alone (owner line)", alone.socketPath(), requests, ownerLine);
  }
  const Series owner = measure("bridge owner report", bridge.socketPath(), requests, ownerLine);
  const Series week = measure("bridge query over a week", bridge.socketPath(), requests, queryLine);
  // The same query without the socket, to tell the record's share from the bridge's.
  Series direct{"service query, no socket", {}, 0};
  const auto request = ActivityBridgeRequest::query(kOwner, {"2026-02-23", "2026-03-02", std::nullopt, std::nullopt});
  for (int index = 0; index < std::min(requests, 200); ++index) {
    const auto start = std::chrono::steady_clock::now();
    (void)service.handle(request);
    direct.micros.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
  }
  std::sort(direct.micros.begin(), direct.micros.end());
  print(echo);
  print(bare);
  print(owner);
  print(week);
  print(direct);
  std::printf("owner p50 / echo p50 = %.2f (goal <= 1.5); week query p99 = %.3f ms (goal < 5)\n",
              percentileMs(owner, 0.5) / std::max(1e-9, percentileMs(echo, 0.5)), percentileMs(week, 0.99));

  bridge.stop();
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
  return 0;
}
