#include <gtk/gtk.h>

#include <chrono>
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <functional>

#include <gtest/gtest.h>

#include "base/SerialQueue.h"
#include "base/UserDefaults.h"
#include "main/bridges/CaptureBridges.h"
#include "main/windows/MainWindowController.h"
#include "platform/gtk/SheetPresenter.h"
#include "tests/platform/gtk/BrowserRecordingDesktop.h"
#include "tests/platform/gtk/GlibPump.h"
#include "tests/platform/gtk/GtkTestEnvironment.h"
#include "tests/platform/gtk/VisibleToplevels.h"
#include "tests/support/FakeAccessibilitySettings.h"
#include "tests/support/FakeServerSupervisor.h"
#include "tests/support/FakeSystemNotifier.h"
#include "tests/support/FakeTextRecognizer.h"
#include "tests/support/FakeWallClockAlarm.h"
#include "tests/support/LogRecorder.h"
#include "tests/support/PageServer.h"
#include "tests/support/TempDir.h"

namespace tovarin {
namespace {

// The page of the local server: it keeps the receipts it gets, downloads as the local
// web application does, and embeds whatever frames the test adds.
constexpr const char* kPage = R"HTML(<!doctype html><title>main</title>
<script>
window.__receipts = [];
window.__reports = [];
window.__tovarinDownload = { settle(payload) { window.__receipts.push(payload); return true; } };
const hex = (buffer) => Array.from(new Uint8Array(buffer), (b) => b.toString(16).padStart(2, '0')).join('');
let serial = 0;
window.startDownload = async (name, text) => {
  const requestId = 'own-' + (++serial);
  const bytes = new TextEncoder().encode(text);
  const url = URL.createObjectURL(new Blob([bytes]));
  const sha256 = hex(await crypto.subtle.digest('SHA-256', bytes));
  window.webkit.messageHandlers.download.postMessage({ type: 'expect', requestId, blobURL: url,
      filename: name, destination: 'downloads', sha256, bytes: bytes.length });
  const link = document.createElement('a');
  link.href = url;
  link.download = name;
  document.body.appendChild(link);
  link.click();
  return requestId;
};
addEventListener('message', (event) => window.__reports.push(event.data));
</script><input id=f type=file>)HTML";

// What every hostile frame runs: the attack its parent names, then a report.
constexpr const char* kHostileScript = R"JS(
const post = (name, body) => window.webkit.messageHandlers[name].postMessage(body);
const report = (data) => parent.postMessage(Object.assign({ frame: window.frameName }, data), '*');
const attacks = {
  forge(port) {
    const blobURL = 'blob:http://127.0.0.1:' + port + '/0b7c2d1e-forged';
    post('download', { type: 'expect', requestId: 'forged', operationId: 'op-forged', blobURL,
                       filename: '请重新登录.txt' });
    post('download', { type: 'cancel', requestId: 'forged', operationId: 'op-forged', blobURL });
    report({ done: 'forge' });
  },
  fill(port) {
    for (let i = 0; i < 520; ++i) {
      post('download', { type: 'expect', requestId: 'fill-' + window.frameName + i,
                         blobURL: 'blob:http://127.0.0.1:' + port + '/fill-' + window.frameName + i, filename: 'x.txt' });
    }
    report({ done: 'fill' });
  },
  file() {
    const input = document.createElement('input');
    input.type = 'file';
    input.addEventListener('change', () => report({ done: 'file', files: Array.from(input.files, (f) => f.name) }));
    input.addEventListener('cancel', () => report({ done: 'file', files: [] }));
    input.click();
  },
  download() {
    const link = document.createElement('a');
    link.href = 'data:application/octet-stream,pwned';
    link.download = 'invoice.pdf.exe';
    document.body.appendChild(link);
    link.click();
    report({ done: 'download' });
  },
  flood() {
    for (let i = 0; i < 40000; ++i) {
      const name = ['ocr', 'notify', 'voice'][i % 3];
      post(name, { requestId: 'x' + i, id: 'x' + i, type: 'speak', imageBase64: 'aGVsbG8=' });
    }
    report({ done: 'flood' });
  },
  huge() {
    let threw = false;
    try { post('ocr', { requestId: 'big', imageBase64: 'A'.repeat(100 * 1000 * 1000) }); } catch (e) { threw = true; }
    report({ done: 'huge', threw });
  },
};
addEventListener('message', (event) => attacks[event.data.attack](event.data.port));
report({ ready: true });
)JS";

std::string hostileHtml(const std::string& frameName) {
  return "<!doctype html><script>window.frameName = '" + frameName + "';" + kHostileScript + "</script>";
}

// Percent-encodes a page for a data: address.
std::string dataUrl(const std::string& html) {
  std::string out = "data:text/html;charset=utf-8,";
  static constexpr char digits[] = "0123456789ABCDEF";
  for (unsigned char c : html) {
    if (std::isalnum(c)) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += digits[c >> 4];
      out += digits[c & 0xF];
    }
  }
  return out;
}

// The main window with its real panels and capture bridges, showing the local page with
// three frames it does not trust: another origin, a sandboxed frame of its own server
// (opaque origin) and a data: frame.
class HostileFramesE2ETest;

// One attack, made by each untrusted frame in turn, and what must hold after it.
struct Attack {
  const char* name;
  std::function<void(HostileFramesE2ETest&, const std::string& frame, const Json& report)> check;
};

void PrintTo(const Attack& attack, std::ostream* out) { *out << attack.name; }

class HostileFramesE2ETest : public testing::TestWithParam<Attack> {
 public:
  static constexpr const char* kFrames[] = {"foreign", "sandboxed", "data"};

  HostileFramesE2ETest() : desktop_(env().loop()) {
    std::filesystem::create_directories(downloads());
    pages_.addHtml("/index.html", kPage);
    pages_.addHtml("/sandboxed.html", hostileHtml("sandboxed"));
    foreign_.addHtml("/foreign.html", hostileHtml("foreign"));
    scheduler_.start();
    MainWindowController::Services services{{env().loop(), env().loop(), server_, desktop_, env().provider(), accessibility_}, defaults_};
    services.page.panelPresenter = std::make_shared<SheetPresenter>(env().loop(), SheetPresenter::Attachment::sheets);
    services.page.downloadFolders = WebPanels::Folders{downloads(), dir_.path() + "/run"};
    services.capture = capture_;
    controller_ = MainWindowController::create(AppConfig(".", pages_.port(), false), services);
    controller_->window()->show();
    controller_->load();
    EXPECT_TRUE(pumpUntil([&] { return controller_->loadedOnce(); }));
    const std::string frames[] = {foreign_.url("/foreign.html"), pages_.url("/sandboxed.html"),
                                  dataUrl(hostileHtml("data"))};
    for (int i = 0; i < 3; ++i) {
      evaluate(std::string("const f") + std::to_string(i) + " = document.createElement('iframe');" +
               (i == 1 ? "f1.sandbox = 'allow-scripts';" : "") + "f" + std::to_string(i) + ".src = " +
               Json(frames[i]).dump() + "; document.body.appendChild(f" + std::to_string(i) + "); 1");
    }
    EXPECT_TRUE(pumpUntil([&] { return evaluate("window.__reports.filter((r) => r.ready).length").number == 3; }));
  }
  ~HostileFramesE2ETest() override {
    for (GtkWidget* dialog : openDialogs()) gtk_widget_destroy(dialog);
    controller_.reset();
    drainReady();
    recognizer_->release();
  }

  static GtkTestEnvironment& env() { return GtkTestEnvironment::instance(); }
  std::string downloads() const { return dir_.path() + "/Downloads"; }

  ScriptValue evaluate(const std::string& script) {
    std::optional<ScriptValue> answer;
    controller_->webView()->evaluate(script, [&](ScriptValue value) { answer = std::move(value); });
    EXPECT_TRUE(pumpUntil([&] { return answer.has_value(); })) << script;
    return answer.value_or(ScriptValue::error("no answer"));
  }
  Json pageValue(const std::string& expression) {
    return parseJson(evaluate("JSON.stringify(" + expression + ")").text).value_or(Json());
  }
  // Has the frame run `attack`, and returns its report.
  Json attack(const std::string& frame, const std::string& attack) {
    const int index = static_cast<int>(std::find(std::begin(kFrames), std::end(kFrames), frame) - std::begin(kFrames));
    evaluate("window.frames[" + std::to_string(index) + "].postMessage({ attack: '" + attack +
             "', port: " + std::to_string(pages_.port()) + " }, '*'); 1");
    const std::string find = "window.__reports.find((r) => r.frame === '" + frame + "' && r.done === '" + attack + "')";
    pumpUntil([&] { return evaluate("!!" + find).isTrue() || !openDialogs().empty(); });
    return pageValue(find);
  }
  // The page's own verified download, through to its receipt.
  Json ownDownload(const std::string& name) {
    const std::string requestId = evaluate("window.startDownload('" + name + "', 'mine'); 'own-' + serial").text;
    const std::string find = "window.__receipts.find((r) => r.requestId === '" + requestId + "')";
    pumpUntil([&] { return evaluate("!!" + find).isTrue(); });
    return pageValue(find);
  }
  static std::vector<GtkWidget*> openDialogs() { return visibleToplevels(GTK_TYPE_DIALOG); }

  PageServer pages_;
  PageServer foreign_;  // another origin: the same host on another port
  TempDir dir_;
  UserDefaults defaults_{dir_.path() + "/defaults.json"};
  FakeAccessibilitySettings accessibility_;
  std::shared_ptr<FakeServerSupervisor> server_ = std::make_shared<FakeServerSupervisor>();
  BrowserRecordingDesktop desktop_;
  std::shared_ptr<FakeTextRecognizer> recognizer_ = std::make_shared<FakeTextRecognizer>();
  SerialQueue queue_{"ocr-test"};
  OcrService ocr_{env().loop(), queue_, recognizer_};
  FakeSystemNotifier notifier_;
  FakeWallClockAlarm clock_{1.9e9};
  ReminderScheduler scheduler_{dir_.path() + "/reminders.json", notifier_, clock_, env().loop(), queue_};
  std::shared_ptr<CaptureBridges> capture_ = std::make_shared<CaptureBridges>(
      CaptureBridges::Services{env().loop(), queue_, ocr_, notifier_, scheduler_, clock_,
                               [] { return *Calendar::gregorian("UTC"); }, [] { return int64_t{0}; }},
      pages_.port());
  std::shared_ptr<MainWindowController> controller_;
  LogRecorder log_;
  std::chrono::steady_clock::time_point started_;
  std::size_t logMark_ = 0;  // log lines before the attack
};

TEST_P(HostileFramesE2ETest, NoFrameOfAnotherOriginGetsPastTheWebBoundary) {
  for (const std::string frame : kFrames) {
    SCOPED_TRACE(std::string(GetParam().name) + " from the " + frame + " frame");
    if (std::string(GetParam().name) == "file") {
      // The page's own file input is clicked and the page cancels the click: its
      // announcement must not serve the frame's chooser.
      evaluate("const g = document.getElementById('f'); g.onclick = (e) => e.preventDefault(); g.click(); 1");
    }
    started_ = std::chrono::steady_clock::now();
    logMark_ = log_.lines().size();
    const Json report = attack(frame, GetParam().name);
    EXPECT_TRUE(report.is_object()) << "no report";
    GetParam().check(*this, frame, report);
    for (GtkWidget* dialog : openDialogs()) gtk_widget_destroy(dialog);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Attacks, HostileFramesE2ETest,
    testing::Values(
        // A cancelled receipt of the frame's making, for a blob address it names.
        Attack{"forge",
               [](HostileFramesE2ETest& t, const std::string& frame, const Json&) {
                 // Receipts reach the page in order: the page's own comes after any forged one.
                 EXPECT_EQ(t.ownDownload("own-after-forge-" + frame + ".txt")["status"], "saved");
                 EXPECT_EQ(t.pageValue("window.__receipts.filter((r) => r.requestId === 'forged').length"), 0);
               }},
        // The register of announcements filled, so the page's own goes unverified.
        Attack{"fill",
               [](HostileFramesE2ETest& t, const std::string& frame, const Json&) {
                 const Json receipt = t.ownDownload("own-after-fill-" + frame + ".txt");
                 EXPECT_EQ(receipt["status"], "saved");
                 EXPECT_TRUE(receipt["sha256"].is_string());
                 EXPECT_TRUE(HostileFramesE2ETest::openDialogs().empty());
               }},
        // A detached file input's chooser, under the page's stale announcement.
        Attack{"file",
               [](HostileFramesE2ETest&, const std::string&, const Json& report) {
                 EXPECT_TRUE(HostileFramesE2ETest::openDialogs().empty());
                 EXPECT_EQ(report.value("files", Json::array()), Json::array());
               }},
        // A data: link with a download name of the frame's choosing.
        Attack{"download",
               [](HostileFramesE2ETest& t, const std::string& frame, const Json&) {
                 // Downloads are decided in the order they were started.
                 EXPECT_EQ(t.ownDownload("own-after-link-" + frame + ".txt")["status"], "saved");
                 drainReady();
                 EXPECT_TRUE(HostileFramesE2ETest::openDialogs().empty());
                 EXPECT_FALSE(std::filesystem::exists(t.downloads() + "/invoice.pdf.exe"));
               }},
        // Tens of thousands of refused messages.
        Attack{"flood",
               [](HostileFramesE2ETest& t, const std::string&, const Json&) {
                 std::size_t lines = 0;
                 const auto all = t.log_.lines();
                 for (std::size_t i = t.logMark_; i < all.size(); ++i) {
                   lines += all[i].starts_with("[orvik] ocr") || all[i].starts_with("[orvik] notify") ||
                            all[i].starts_with("[orvik] voice");
                 }
                 // At most one line a second for each of the three handlers.
                 const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t.started_);
                 EXPECT_LE(lines, 3 * (static_cast<std::size_t>(seconds.count()) + 2));
                 EXPECT_TRUE(t.notifier_.shown().empty());
               }},
        // A body of 100 MB.
        Attack{"huge", [](HostileFramesE2ETest&, const std::string&,
                          const Json& report) { EXPECT_EQ(report.value("threw", false), true); }}),
    [](const testing::TestParamInfo<Attack>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tovarin
