#include <gtk/gtk.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "base/UserDefaults.h"
#include "main/windows/MainWindowController.h"
#include "platform/gtk/SheetPresenter.h"
#include "tests/platform/gtk/BrowserRecordingDesktop.h"
#include "tests/platform/gtk/GlibPump.h"
#include "tests/platform/gtk/GtkTestEnvironment.h"
#include "tests/platform/gtk/PageScript.h"
#include "tests/platform/gtk/VisibleToplevels.h"
#include "tests/support/FakeAccessibilitySettings.h"
#include "tests/support/FakeServerSupervisor.h"
#include "tests/support/FileContents.h"
#include "tests/support/LogRecorder.h"
#include "tests/support/PageServer.h"
#include "tests/support/TempDir.h"

namespace tovarin {
namespace {

// A page that announces and starts downloads and raises dialogs, as the local web
// application does; what it gets back lands in window.__log.
constexpr const char* kPage = R"HTML(<!doctype html><title>main</title><p id=main>main page</p>
<script>
window.__log = [];
window.__tovarinDownload = { settle(payload) { window.__log.push(payload); return true; } };
const hex = (buffer) => Array.from(new Uint8Array(buffer), (b) => b.toString(16).padStart(2, '0')).join('');
let serial = 0;
window.startDownload = async (name, text) => {
  const bytes = new TextEncoder().encode(text);
  const url = URL.createObjectURL(new Blob([bytes]));
  const sha256 = hex(await crypto.subtle.digest('SHA-256', bytes));
  window.webkit.messageHandlers.download.postMessage({ type: 'expect', requestId: 'r' + (++serial), blobURL: url,
      filename: name, destination: 'downloads', sha256, bytes: bytes.length });
  const link = document.createElement('a');
  link.href = url;
  link.download = name;
  document.body.appendChild(link);
  link.click();
};
addEventListener('message', (event) => window.__log.push({ frame: event.data }));
</script><input id=f type=file accept=".TXT, md" multiple><script>
document.getElementById('f').addEventListener('cancel', () => window.__log.push({ files: 'cancelled' }));
</script>)HTML";

// The main window with its real panels: WebKitGTK downloads, GTK dialogs, the web-process
// extension's frame facts, and a private Downloads folder.
class WebPanelsE2ETest : public testing::Test {
 protected:
  WebPanelsE2ETest() : desktop_(env().loop()) {
    std::filesystem::create_directories(downloads());
    pages_.addHtml("/index.html", kPage);
    openWindow();
  }
  void openWindow() {
    MainWindowController::Services services{
        {env().loop(), env().loop(), server_, desktop_, env().provider(), accessibility_}, defaults_};
    services.page.panelPresenter = std::make_shared<SheetPresenter>(env().loop(), SheetPresenter::Attachment::sheets);
    services.page.downloadFolders = WebPanels::Folders{downloads(), dir_.path() + "/run"};
    controller_ = MainWindowController::create(AppConfig(".", pages_.port(), false), services);
    controller_->window()->show();
    controller_->load();
    EXPECT_TRUE(pumpUntil([&] { return controller_->loadedOnce(); }));
  }
  ~WebPanelsE2ETest() override {
    for (GtkWidget* dialog : openDialogs()) gtk_widget_destroy(dialog);
    controller_.reset();
    drainReady();
  }

  static GtkTestEnvironment& env() { return GtkTestEnvironment::instance(); }
  std::string downloads() const { return dir_.path() + "/Downloads"; }

  ScriptValue evaluate(const std::string& script) {
    return evaluateInPage(*controller_->webView(), script);
  }
  // The page's log, once it holds `count` entries.
  Json logOnceItHas(std::size_t count) {
    pumpUntil([&] { return evaluate("window.__log.length").number >= static_cast<double>(count); });
    return parseJson(evaluate("JSON.stringify(window.__log)").text).value_or(Json::array());
  }
  static std::vector<GtkWidget*> openDialogs() { return visibleToplevels(GTK_TYPE_MESSAGE_DIALOG); }
  GtkWidget* waitForDialog() {
    pumpUntil([] { return !openDialogs().empty(); });
    auto dialogs = openDialogs();
    return dialogs.empty() ? nullptr : dialogs.front();
  }

  PageServer pages_;
  PageServer foreign_;
  TempDir dir_;
  UserDefaults defaults_{dir_.path() + "/defaults.json"};
  FakeAccessibilitySettings accessibility_;
  std::shared_ptr<FakeServerSupervisor> server_ = std::make_shared<FakeServerSupervisor>();
  BrowserRecordingDesktop desktop_;
  std::shared_ptr<MainWindowController> controller_;
  LogRecorder log_;
};

bool anyDialogShown() { return !visibleToplevels(GTK_TYPE_DIALOG).empty(); }

TEST_F(WebPanelsE2ETest, AnAnnouncedDownloadLandsVerifiedAndTheSameNameIsThenRefused) {
  evaluate("startDownload('报告.txt', '第一版\\n'); 1");
  Json log = logOnceItHas(1);
  ASSERT_EQ(log.size(), 1u) << log.dump();
  EXPECT_EQ(log[0]["status"], "saved") << log.dump();
  EXPECT_EQ(log[0]["name"], "报告.txt");
  EXPECT_EQ(log[0]["folder"], "Downloads");
  EXPECT_EQ(log[0]["requestId"], "r1");
  EXPECT_EQ(log[0]["bytes"], 10);
  EXPECT_FALSE(log[0].contains("path"));
  EXPECT_EQ(readFile(downloads() + "/报告.txt"), "第一版\n");

  evaluate("startDownload('报告.txt', '第二版，更长一些\\n'); 1");
  log = logOnceItHas(2);
  ASSERT_EQ(log.size(), 2u) << log.dump();
  EXPECT_EQ(log[1]["status"], "failed");
  EXPECT_EQ(log[1]["message"], "「报告.txt」没有存下来：Downloads 已有同名文件；请换名保存新版本。");
  EXPECT_EQ(readFile(downloads() + "/报告.txt"), "第一版\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(downloads()), {}), 1);
  for (const auto& entry : std::filesystem::directory_iterator(dir_.path() + "/run")) {
    ADD_FAILURE() << "left behind: " << entry.path();
  }
}

TEST_F(WebPanelsE2ETest, AConfirmDialogAppearsAndItsAnswerReachesThePage) {
  evaluate("setTimeout(() => { window.__log.push({ answer: confirm('要删除吗？ 删除后不能恢复。') }); }, 0); 1");
  GtkWidget* dialog = waitForDialog();
  ASSERT_NE(dialog, nullptr);
  g_autofree char* title = nullptr;
  g_autofree char* detail = nullptr;
  g_object_get(dialog, "text", &title, "secondary-text", &detail, nullptr);
  EXPECT_STREQ(title, "要删除吗？");
  EXPECT_STREQ(detail, "删除后不能恢复。");
  EXPECT_TRUE(gtk_window_get_modal(GTK_WINDOW(dialog)));
  const char* shots = std::getenv("TOVARIN_SCREENSHOT_DIR");
  const std::string shot = std::string(shots ? shots : dir_.path().c_str()) + "/confirm-dialog.png";
  pumpUntil([&] { return gtk_widget_get_mapped(dialog); });
  // Let it draw before the picture is taken.
  const auto drawn = std::chrono::steady_clock::now() + std::chrono::milliseconds(800);
  pumpUntil([&] { return std::chrono::steady_clock::now() > drawn; }, 5);
  const int status = std::system(("import -window root '" + shot + "' 2>/dev/null").c_str());
  if (status == 0) {
    EXPECT_GT(std::filesystem::file_size(shot), 1000u);
  }
  gtk_dialog_response(GTK_DIALOG(dialog), 0);
  Json log = logOnceItHas(1);
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0]["answer"], true);

  // Escape answers "取消".
  evaluate("setTimeout(() => { window.__log.push({ answer: confirm('再确认一次？') }); }, 0); 1");
  dialog = waitForDialog();
  ASSERT_NE(dialog, nullptr);
  gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_DELETE_EVENT);
  log = logOnceItHas(2);
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[1]["answer"], false);
}

TEST_F(WebPanelsE2ETest, ASecretPromptHidesItsTextAndReturnsWhatWasTyped) {
  evaluate("setTimeout(() => { window.__log.push({ answer: prompt('请输入密码', 'given by the page') }); }, 0); 1");
  GtkWidget* dialog = waitForDialog();
  ASSERT_NE(dialog, nullptr);
  GtkWidget* area = gtk_message_dialog_get_message_area(GTK_MESSAGE_DIALOG(dialog));
  GtkEntry* entry = nullptr;
  GList* children = gtk_container_get_children(GTK_CONTAINER(area));
  for (GList* item = children; item; item = item->next) {
    if (GTK_IS_ENTRY(item->data)) entry = GTK_ENTRY(item->data);
  }
  g_list_free(children);
  ASSERT_NE(entry, nullptr);
  EXPECT_FALSE(gtk_entry_get_visibility(entry));
  EXPECT_STREQ(gtk_entry_get_text(entry), "");
  gtk_entry_set_text(entry, "s3cret");
  gtk_dialog_response(GTK_DIALOG(dialog), 0);
  Json log = logOnceItHas(1);
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0]["answer"], "s3cret");
}

TEST_F(WebPanelsE2ETest, AForeignFrameGetsNoDialog) {
  foreign_.addHtml("/ad.html",
                   "<!doctype html><script>const answer = confirm('中奖了！'); alert('x'); const name = prompt('密码');"
                   "parent.postMessage({ confirm: answer, prompt: name }, '*');</script>");
  evaluate("const f = document.createElement('iframe'); f.src = '" + foreign_.url("/ad.html") +
           "'; document.body.appendChild(f); 1");
  Json log = logOnceItHas(1);
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0]["frame"]["confirm"], false);
  EXPECT_TRUE(log[0]["frame"]["prompt"].is_null());
  EXPECT_TRUE(openDialogs().empty());
}

TEST_F(WebPanelsE2ETest, AForeignFrameCanNeitherPrintNorAskForALogin) {
  PageServer::Page login;
  login.status = 401;
  login.body = "login";
  login.extraHeaders = "WWW-Authenticate: Basic realm=\"请输入银行密码\"\r\n";
  foreign_.add("/login", login);
  foreign_.addHtml("/print.html", "<!doctype html><script>print(); parent.postMessage('printed', '*');</script>");
  evaluate("for (const path of ['/login', '/print.html']) { const f = document.createElement('iframe');"
           "f.src = '" + foreign_.origin() + "' + path; document.body.appendChild(f); } 1");
  Json log = logOnceItHas(1);
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0]["frame"], "printed");
  ASSERT_TRUE(pumpUntil([&] { return !log_.matching("[orvik] login request refused").empty(); }));
  EXPECT_TRUE(log_.contains("[orvik] login request refused: 127.0.0.1:" + std::to_string(foreign_.port())));
  drainReady();
  EXPECT_FALSE(anyDialogShown());
}

// A refused download was cancelled a second time when its handle went, before the engine
// had reported the first cancel; once the page was gone the engine then crashed, within a
// few rounds of this.
TEST_F(WebPanelsE2ETest, RefusedDownloadsEndWithTheirWindowWithoutAFault) {
  std::ofstream(downloads() + "/报告.txt") << "已有\n";
  for (int round = 0; round < 30; ++round) {
    SCOPED_TRACE(round);
    if (round > 0) openWindow();
    evaluate("startDownload('报告.txt', '新版\\n'); 1");
    const Json log = logOnceItHas(1);
    ASSERT_EQ(log.size(), 1u) << log.dump();
    EXPECT_EQ(log[0]["status"], "failed") << log.dump();
    controller_.reset();
    pumpUntil([] { return false; }, 0.2);
  }
  EXPECT_EQ(readFile(downloads() + "/报告.txt"), "已有\n");
}

TEST_F(WebPanelsE2ETest, AFileInputOpensTheChooserRestrictedToItsExtensions) {
  evaluate("document.getElementById('f').click(); 1");
  pumpUntil([] { return !visibleToplevels(GTK_TYPE_FILE_CHOOSER_DIALOG).empty(); });
  const auto choosers = visibleToplevels<GtkFileChooserDialog>(GTK_TYPE_FILE_CHOOSER_DIALOG);
  ASSERT_FALSE(choosers.empty());
  GtkFileChooserDialog* chooser = choosers.back();
  EXPECT_TRUE(gtk_file_chooser_get_select_multiple(GTK_FILE_CHOOSER(chooser)));
  GtkFileFilter* filter = gtk_file_chooser_get_filter(GTK_FILE_CHOOSER(chooser));
  ASSERT_NE(filter, nullptr);
  EXPECT_STREQ(gtk_file_filter_get_name(filter), ".txt");
  gtk_dialog_response(GTK_DIALOG(chooser), GTK_RESPONSE_CANCEL);
  drainReady();
}

}  // namespace
}  // namespace tovarin
