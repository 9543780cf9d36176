#include "platform/gtk/GtkWebView.h"

#include <fstream>
#include <sstream>

#include <gtest/gtest.h>
#include <webkit2/webkit2.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <functional>

#include "tests/platform/gtk/GlibPump.h"
#include "tests/platform/gtk/GtkTestEnvironment.h"
#include "tests/support/FileContents.h"
#include "tests/support/LocalPorts.h"
#include "tests/support/PageServer.h"
#include "tests/support/TempDir.h"

namespace tovarin {
namespace {

// Saves every download into `folder` under its suggested name and records its end.
class SavingDownloadClient final : public WebDownloadClient {
 public:
  std::string folder;
  std::vector<std::string> finished;
  std::vector<std::string> failed;

  void downloadDecideDestination(WebDownload&, const std::string& suggestedFilename,
                                 std::function<void(std::optional<std::string>)> completion) override {
    completion(folder + "/" + suggestedFilename);
  }
  void downloadDidFinish(WebDownload& download) override { finished.push_back(download.originalUrl().value_or("")); }
  void downloadDidFail(WebDownload&, const std::string& error) override { failed.push_back(error); }
};

// Records what the view reports; navigation answers are the test's to choose.
class RecordingClient final : public WebViewClient {
 public:
  std::vector<ScriptMessage> messages;
  std::vector<std::string> finished;
  std::vector<std::string> provisionalFailures;
  std::vector<std::string> failedUrls;  // what failed, for both kinds of failure
  std::vector<std::string> failures;
  std::vector<NavigationAction> navigations;
  std::vector<NavigationResponse> responses;
  std::vector<NavigationAction> newWindows;
  int terminations = 0;
  std::function<NavigationDecision(const NavigationAction&)> decideNavigation;
  std::function<NavigationDecision(const NavigationResponse&)> decideResponse;

  void webViewDidReceiveMessage(const ScriptMessage& message) override { messages.push_back(message); }
  NavigationDecision webViewDecideNavigation(const NavigationAction& action) override {
    navigations.push_back(action);
    return decideNavigation ? decideNavigation(action) : NavigationDecision::allow;
  }
  NavigationDecision webViewDecideResponse(const NavigationResponse& response) override {
    responses.push_back(response);
    return decideResponse ? decideResponse(response) : NavigationDecision::allow;
  }
  void webViewRequestedNewWindow(const NavigationAction& action) override { newWindows.push_back(action); }
  void webViewDidFinishNavigation(const std::string& url) override { finished.push_back(url); }
  void webViewDidFailProvisionalNavigation(const std::string& error, const std::string& failingUrl) override {
    provisionalFailures.push_back(error);
    failedUrls.push_back(failingUrl);
  }
  void webViewDidFailNavigation(const std::string& error, const std::string& failingUrl) override {
    failures.push_back(error);
    failedUrls.push_back(failingUrl);
  }
  void webViewWebContentProcessDidTerminate() override { ++terminations; }
  // Script dialogs that reach the client, answered at once: confirm yes, prompt "ok".
  std::vector<ScriptDialog> scriptDialogs;
  void webViewRunScriptDialog(const ScriptDialog& dialog, std::function<void(ScriptDialogAnswer)> completion) override {
    scriptDialogs.push_back(dialog);
    completion({true, std::string("ok")});
  }
  // File choosers that reach the client. As the program's panels do, only the trusted
  // main frame is answered, with `pickedFile`.
  std::vector<FileChooserRequest> fileChoosers;
  std::string pickedFile;
  void webViewRunFileChooser(const FileChooserRequest& request,
                             std::function<void(std::optional<std::vector<std::string>>)> completion) override {
    fileChoosers.push_back(request);
    if (!request.source.trustedMainFrame()) return completion(std::nullopt);
    completion(std::vector<std::string>{pickedFile});
  }
  // Downloads are kept, and saved by `saver` when there is one; otherwise nobody adopts them.
  std::vector<std::shared_ptr<WebDownload>> downloads;
  std::shared_ptr<SavingDownloadClient> saver;
  void webViewDidStartDownload(std::shared_ptr<WebDownload> download) override {
    if (!saver) return;
    download->setClient(saver);
    downloads.push_back(std::move(download));
  }

  const ScriptMessage* messageOfKind(const std::string& kind) const {
    for (const auto& m : messages)
      if (m.body.is_object() && m.body.value("kind", "") == kind) return &m;
    return nullptr;
  }
  bool hasFinished(const std::string& url) const {
    return std::find(finished.begin(), finished.end(), url) != finished.end();
  }
};

class GtkWebViewE2ETest : public ::testing::Test {
 protected:
  void SetUp() override {
    view_ = GtkTestEnvironment::instance().provider().makeWebView({false, {"page", "startup"}});
    client_ = std::make_shared<RecordingClient>();
    view_->setClient(client_);
    // Realised in a window, as in the program.
    window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(window_), 400, 300);
    gtk_container_add(GTK_CONTAINER(window_), gtkView()->widget());
    gtk_widget_show_all(window_);
    server_.addHtml("/plain.html", "<!doctype html><title>plain</title><p>plain</p>");
  }
  void TearDown() override {
    view_.reset();
    gtk_widget_destroy(window_);
    drainReady();
  }

  GtkWebView* gtkView() { return static_cast<GtkWebView*>(view_.get()); }
  WebKitWebView* webkitView() { return WEBKIT_WEB_VIEW(gtkView()->widget()); }

  void loadAndWait(const std::string& url) {
    view_->loadUrl(url, 30);
    ASSERT_TRUE(pumpUntil([&] { return client_->hasFinished(url); })) << url;
  }

  ScriptValue evaluate(const std::string& script) {
    std::optional<ScriptValue> result;
    view_->evaluate(script, [&](ScriptValue value) { result = std::move(value); });
    EXPECT_TRUE(pumpUntil([&] { return result.has_value(); })) << script;
    return result.value_or(ScriptValue::error("no answer"));
  }

  ScriptValue read(const std::string& expression) {
    std::optional<ScriptValue> result;
    view_->read(expression, [&](ScriptValue value) { result = std::move(value); });
    EXPECT_TRUE(pumpUntil([&] { return result.has_value(); })) << expression;
    return result.value_or(ScriptValue::error("no answer"));
  }

  ScriptValue callAsync(const std::string& body, const Json& arguments) {
    std::optional<ScriptValue> result;
    view_->callAsync(body, arguments, [&](ScriptValue value) { result = std::move(value); });
    EXPECT_TRUE(pumpUntil([&] { return result.has_value(); })) << body;
    return result.value_or(ScriptValue::error("no answer"));
  }

  // Real pointer clicks through the X server at the middle of the view, as a person would
  // make them, until done() holds; `before` runs ahead of each. The first clicks may land
  // before the page is painted and hit-testable.
  bool clickUntil(const std::function<bool()>& done, const std::function<void()>& before = {}) {
    gtk_window_present(GTK_WINDOW(window_));
    if (!pumpUntil([&] { return gtk_widget_get_mapped(window_); })) return false;
    int x = 0, y = 0;
    gdk_window_get_origin(gtk_widget_get_window(window_), &x, &y);
    const std::string click = "xdotool mousemove " + std::to_string(x + 200) + " " + std::to_string(y + 150) +
                              " click 1";
    for (int attempt = 0; attempt < 20 && !done(); ++attempt) {
      if (before) before();
      gint status = 0;
      if (!g_spawn_command_line_sync(click.c_str(), nullptr, nullptr, &status, nullptr)) return false;
      pumpUntil(done, 0.5);
    }
    return done();
  }

  PageServer server_;
  PageServer otherServer_;  // another origin
  std::shared_ptr<WebView> view_;
  std::shared_ptr<RecordingClient> client_;
  GtkWidget* window_ = nullptr;
};

TEST_F(GtkWebViewE2ETest, DocumentStartClassIsVisibleToThePagesFirstScript) {
  view_->addDocumentStartScript("document.documentElement.classList.add('dropped-class');");
  view_->removeAllDocumentStartScripts();
  view_->addDocumentStartScript("document.documentElement.classList.add('is-native-main');");
  server_.addHtml("/class.html",
                  "<!doctype html><html><head><script>"
                  "webkit.messageHandlers.page.postMessage({kind: 'first', rootClass: document.documentElement.className});"
                  "</script></head><body>x</body></html>");
  loadAndWait(server_.url("/class.html"));
  ASSERT_TRUE(pumpUntil([&] { return client_->messageOfKind("first"); }));
  EXPECT_EQ(client_->messageOfKind("first")->body["rootClass"], "is-native-main");
  EXPECT_EQ(view_->url(), server_.url("/class.html"));
}

TEST_F(GtkWebViewE2ETest, MessagesCarryTheFactsOfTheFrameThatPostedThem) {
  otherServer_.addHtml("/frame.html",
                       "<!doctype html><script>webkit.messageHandlers.page.postMessage({kind: 'frame'});</script>");
  server_.addHtml("/framed.html", "<!doctype html><script>webkit.messageHandlers.page.postMessage({kind: 'main'});"
                                  "</script><iframe src='" + otherServer_.url("/frame.html") + "'></iframe>");
  view_->loadUrl(server_.url("/framed.html"), 30);
  ASSERT_TRUE(pumpUntil([&] { return client_->messageOfKind("main") && client_->messageOfKind("frame"); }));

  const MessageSource& main = client_->messageOfKind("main")->source;
  EXPECT_TRUE(main.known);
  EXPECT_TRUE(main.isMainFrame);
  EXPECT_TRUE(main.trustedMainFrame());
  EXPECT_EQ(main.frameUrl, server_.url("/framed.html"));
  EXPECT_EQ(main.securityOrigin, server_.origin());

  const MessageSource& frame = client_->messageOfKind("frame")->source;
  EXPECT_TRUE(frame.known);
  EXPECT_FALSE(frame.isMainFrame);
  EXPECT_FALSE(frame.trustedMainFrame());
  EXPECT_EQ(frame.frameUrl, otherServer_.url("/frame.html"));
  EXPECT_EQ(frame.securityOrigin, otherServer_.origin());
  EXPECT_EQ(client_->messageOfKind("frame")->name, "page");

  // The iframe's own load was not put to the client as a main-frame navigation.
  for (const auto& action : client_->navigations) {
    if (action.url == otherServer_.url("/frame.html")) {
      EXPECT_FALSE(action.targetsMainFrame);
    }
  }
}

TEST_F(GtkWebViewE2ETest, SandboxedFrameReportsAnOpaqueOrigin) {
  server_.addHtml("/sandboxed.html",
                  "<!doctype html><iframe sandbox='allow-scripts' srcdoc=\"<script>"
                  "webkit.messageHandlers.page.postMessage({kind: 'sandboxed'});</script>\"></iframe>");
  view_->loadUrl(server_.url("/sandboxed.html"), 30);
  ASSERT_TRUE(pumpUntil([&] { return client_->messageOfKind("sandboxed"); }));
  const MessageSource& source = client_->messageOfKind("sandboxed")->source;
  EXPECT_FALSE(source.trustedMainFrame());
  EXPECT_EQ(source.securityOrigin, "null");
}

TEST_F(GtkWebViewE2ETest, PostingAroundTheFrameAwarePostMessageIsNeverTrusted) {
  // A fresh frame's postMessage, applied to the main frame's handler: the way a page
  // could reach the engine's own postMessage.
  server_.addHtml("/bypass.html",
                  "<!doctype html><body><script>"
                  "const f = document.createElement('iframe'); document.body.appendChild(f);"
                  "const original = f.contentWindow.UserMessageHandler"
                  "  ? f.contentWindow.UserMessageHandler.prototype.postMessage"
                  "  : Object.getPrototypeOf(f.contentWindow.webkit.messageHandlers.page).postMessage;"
                  "try { original.call(webkit.messageHandlers.page, {kind: 'bypass'}); }"
                  "catch (e) { webkit.messageHandlers.page.postMessage({kind: 'bypass-threw', error: String(e)}); }"
                  "</script></body>");
  view_->loadUrl(server_.url("/bypass.html"), 30);
  ASSERT_TRUE(pumpUntil([&] { return client_->messageOfKind("bypass") || client_->messageOfKind("bypass-threw"); }));
  if (const ScriptMessage* bypass = client_->messageOfKind("bypass")) {
    EXPECT_FALSE(bypass->source.trustedMainFrame());
  }
  // The replacement itself cannot be swapped out by the page.
  ScriptValue replaced = evaluate(
      "(() => { const p = Object.getPrototypeOf(webkit.messageHandlers.page);"
      " const before = p.postMessage; try { p.postMessage = () => 1; } catch (e) {}"
      " try { Object.defineProperty(p, 'postMessage', {value: () => 2}); } catch (e) {}"
      " return p.postMessage === before; })()");
  EXPECT_TRUE(replaced.isTrue());
}

TEST_F(GtkWebViewE2ETest, BodiesArriveAsJson) {
  server_.addHtml("/bodies.html",
                  "<!doctype html><script>"
                  "const h = webkit.messageHandlers.page;"
                  "h.postMessage({kind: 'nested', list: [1, 'two', true, null, {x: 1.5}], text: '\\u5c9a<\\/script>'});"
                  "const cyclic = {}; cyclic.self = cyclic; let threw = false;"
                  "try { h.postMessage(cyclic); } catch (e) { threw = true; }"
                  "h.postMessage({kind: 'cyclic', threw});"
                  "h.postMessage(undefined);"
                  "let deep = {}; for (let i = 0; i < 5000; i++) deep = {a: deep};"
                  "h.postMessage({kind: 'deep', deep});"
                  "h.postMessage({kind: 'last'});"
                  "</script>");
  view_->loadUrl(server_.url("/bodies.html"), 30);
  ASSERT_TRUE(pumpUntil([&] { return client_->messageOfKind("last"); }));
  // Nested far past anything a page of ours sends: dropped before a value is built.
  ASSERT_EQ(client_->messages.size(), 4u);
  EXPECT_FALSE(client_->messageOfKind("deep"));
  EXPECT_EQ(client_->messages[0].body,
            Json::parse(R"({"kind":"nested","list":[1,"two",true,null,{"x":1.5}],"text":"\u5c9a</script>"})"));
  EXPECT_EQ(client_->messages[1].body["threw"], true);
  EXPECT_TRUE(client_->messages[2].body.is_null());
}

struct ValueCase {
  std::string script;
  ScriptValue expected;
};

ValueCase number(std::string script, double value) { return {std::move(script), ScriptValue::ofNumber(value)}; }
ValueCase text(std::string script, std::string value) { return {std::move(script), ScriptValue::ofString(std::move(value))}; }
ValueCase boolean(std::string script, bool value) { return {std::move(script), ScriptValue::ofBool(value)}; }
ValueCase ofKind(std::string script, ScriptValue::Kind kind) { return {std::move(script), ScriptValue{kind, false, 0, {}}}; }

void expectValue(const ScriptValue& value, const ValueCase& c) {
  ASSERT_EQ(value.kind, c.expected.kind) << c.script << " gave " << value.text;
  switch (c.expected.kind) {
    case ScriptValue::Kind::number: EXPECT_DOUBLE_EQ(value.number, c.expected.number) << c.script; break;
    case ScriptValue::Kind::string: EXPECT_EQ(value.text, c.expected.text) << c.script; break;
    case ScriptValue::Kind::boolean: EXPECT_EQ(value.boolean, c.expected.boolean) << c.script; break;
    case ScriptValue::Kind::error: EXPECT_FALSE(value.text.empty()) << c.script; break;
    default: break;
  }
}

// Every kind of result an expression on the plain page can give.
std::vector<ValueCase> everyKindOfResult() {
  return {
      number("20 + 22", 42),
      number("0.5", 0.5),
      text("'a' + 'b'", "ab"),
      text("'a' + '—' + 'b'", "a—b"),
      text("''", ""),
      boolean("document.title === 'plain'", true),
      boolean("false", false),
      ofKind("null", ScriptValue::Kind::null),
      ofKind("undefined", ScriptValue::Kind::undefined),
      ofKind("throw new Error('boom')", ScriptValue::Kind::error),
      ofKind("syntax error here (", ScriptValue::Kind::error),
      ofKind("({a: 1})", ScriptValue::Kind::other),
  };
}

TEST_F(GtkWebViewE2ETest, EvaluateMapsEveryKindOfResult) {
  loadAndWait(server_.url("/plain.html"));
  for (const auto& c : everyKindOfResult()) expectValue(evaluate(c.script), c);
}

// A read is answered by the page's own process and maps results as an evaluation does;
// unlike an evaluation it lends the page no user gesture.
TEST_F(GtkWebViewE2ETest, ReadMapsEveryKindOfResultWithoutLendingAGesture) {
  loadAndWait(server_.url("/plain.html"));
  for (const auto& c : everyKindOfResult()) expectValue(read(c.script), c);
  EXPECT_TRUE(evaluate("navigator.userActivation.isActive").isTrue());
  const ScriptValue lent = read("navigator.userActivation.isActive");
  EXPECT_EQ(lent.kind, ScriptValue::Kind::boolean) << lent.text;
  EXPECT_FALSE(lent.boolean);
}

// Without the page extension nothing in the page's process answers a read: it is
// evaluated instead, gesture and all, and still answers.
TEST_F(GtkWebViewE2ETest, ReadIsEvaluatedWhereNoPageExtensionRuns) {
  TempDir data;
  GtkWebViewProvider bare(GtkTestEnvironment::instance().loop(), GtkWebViewProvider::Options{"", data.path()});
  std::shared_ptr<WebView> view = bare.makeWebView({false, {"page"}});
  auto client = std::make_shared<RecordingClient>();
  view->setClient(client);
  const std::string url = server_.url("/plain.html");
  view->loadUrl(url, 30);
  ASSERT_TRUE(pumpUntil([&] { return client->hasFinished(url); })) << url;
  std::vector<ScriptValue> answers;
  view->read("20 + 22", [&](ScriptValue value) { answers.push_back(std::move(value)); });
  view->read("navigator.userActivation.isActive", [&](ScriptValue value) { answers.push_back(std::move(value)); });
  ASSERT_TRUE(pumpUntil([&] { return answers.size() == 2; }));
  EXPECT_EQ(answers[0].kind, ScriptValue::Kind::number);
  EXPECT_DOUBLE_EQ(answers[0].number, 42);
  EXPECT_TRUE(answers[1].isTrue()) << "evaluated, so with the evaluation's gesture";
}

TEST_F(GtkWebViewE2ETest, CallAsyncPassesArgumentsAsOneJsonStringAndMapsResults) {
  loadAndWait(server_.url("/plain.html"));
  const Json arguments = {{"n", 21}, {"flag", true}, {"list", Json::array({1, 2, 3})}};
  const std::vector<ValueCase> cases = {
      number("return JSON.parse(argumentsJson).n * 2", 42),
      boolean("return JSON.parse(argumentsJson).flag", true),
      number("return JSON.parse(argumentsJson).list.length", 3),
      text("return typeof argumentsJson", "string"),
      text("return await new Promise(r => setTimeout(() => r('late'), 5))", "late"),
      ofKind("return null", ScriptValue::Kind::null),
      ofKind("const unused = 1;", ScriptValue::Kind::undefined),
      ofKind("throw new Error('nope')", ScriptValue::Kind::error),
      ofKind("return await Promise.reject(new Error('rejected'))", ScriptValue::Kind::error),
  };
  for (const auto& c : cases) expectValue(callAsync(c.script, arguments), c);
}

TEST_F(GtkWebViewE2ETest, HostileStringsInCallAsyncArgumentsStayStrings) {
  loadAndWait(server_.url("/plain.html"));
  const std::vector<std::string> hostile = {
      "'); window.__pwned = 1; ('",
      "\"); window.__pwned = 2; (\"",
      "`${window.__pwned = 3}`",
      "</script><script>window.__pwned = 4</script>",
      "\\'); window.__pwned = 5; //",
      "\u2028window.__pwned = 6",
  };
  for (const auto& text : hostile) {
    ScriptValue value = callAsync("return JSON.parse(argumentsJson).text", Json{{"text", text}});
    EXPECT_EQ(value.kind, ScriptValue::Kind::string) << text;
    EXPECT_EQ(value.text, text);
  }
  EXPECT_EQ(evaluate("typeof window.__pwned").text, "undefined");
}

TEST_F(GtkWebViewE2ETest, RefusedConnectionIsAProvisionalFailureWithNoFinish) {
  const std::string refused = "http://127.0.0.1:" + std::to_string(LocalPorts::unused()) + "/index.html";
  view_->loadUrl(refused, 30);
  ASSERT_TRUE(pumpUntil([&] { return !client_->provisionalFailures.empty(); }));
  // Anything the failed load still reports comes before the next page's finish.
  loadAndWait(server_.url("/plain.html"));
  EXPECT_EQ(client_->provisionalFailures.size(), 1u);
  EXPECT_TRUE(client_->failures.empty());
  EXPECT_EQ(client_->finished, std::vector<std::string>{server_.url("/plain.html")});
}

TEST_F(GtkWebViewE2ETest, ConnectionLostAfterThePageCommittedIsAFailedNavigationWithNoFinish) {
  LoopbackServer cut([](LoopbackConnection& connection) {
    if (!connection.readRequest()) return;
    std::string start = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 200000\r\n\r\n<!doctype html><p>";
    start.append(4096, 'x');
    connection.write(start);
    connection.reset();
  });
  const std::string url = cut.baseUrl() + "/index.html";
  view_->loadUrl(url, 30);
  ASSERT_TRUE(pumpUntil([&] { return !client_->failures.empty() || !client_->provisionalFailures.empty(); }));
  loadAndWait(server_.url("/plain.html"));
  EXPECT_EQ(client_->failures.size(), 1u);
  EXPECT_TRUE(client_->provisionalFailures.empty());
  EXPECT_FALSE(client_->hasFinished(url));
}

TEST_F(GtkWebViewE2ETest, LoadThatNeverAnswersTimesOutAsAProvisionalFailure) {
  LoopbackServer silent(nullptr);  // accepts, never answers
  view_->loadUrl(silent.baseUrl() + "/index.html", 0.5);
  ASSERT_TRUE(pumpUntil([&] { return !client_->provisionalFailures.empty(); }));
  EXPECT_EQ(client_->provisionalFailures.front(), "The request timed out.");
  loadAndWait(server_.url("/plain.html"));
  EXPECT_EQ(client_->provisionalFailures.size(), 1u);
  EXPECT_EQ(client_->finished, std::vector<std::string>{server_.url("/plain.html")});
}

TEST_F(GtkWebViewE2ETest, NavigationReplacedByANewerOneIsNoFailure) {
  LoopbackServer silent(nullptr);
  view_->loadUrl(silent.baseUrl() + "/index.html", 30);
  ASSERT_TRUE(silent.waitForConnections(1));
  loadAndWait(server_.url("/plain.html"));
  EXPECT_TRUE(client_->provisionalFailures.empty());
  EXPECT_TRUE(client_->failures.empty());
  EXPECT_EQ(client_->finished, std::vector<std::string>{server_.url("/plain.html")});
}

TEST_F(GtkWebViewE2ETest, ResponseTurnedIntoADownloadIsNoFailureAndIsSaved) {
  static int run = 0;  // a fresh name on every repetition: the folder keeps earlier files
  const std::string name = "report-" + std::to_string(++run) + ".csv";
  const std::string path = "/" + name;
  PageServer::Page csv;
  csv.body = "a,b\n1,2\n";
  csv.contentType = "text/csv";
  csv.extraHeaders = "Content-Disposition: attachment; filename=\"" + name + "\"\r\n";
  server_.add(path, csv);
  client_->decideResponse = [](const NavigationResponse& response) {
    return response.isAttachment ? NavigationDecision::download : NavigationDecision::allow;
  };
  client_->saver = std::make_shared<SavingDownloadClient>();
  client_->saver->folder = GtkTestEnvironment::instance().downloadDirectory();
  loadAndWait(server_.url("/plain.html"));
  client_->finished.clear();
  const std::string saved = client_->saver->folder + "/" + name;
  std::filesystem::remove(saved);
  view_->loadUrl(server_.url(path), 30);
  ASSERT_TRUE(pumpUntil([&] { return client_->saver->finished.size() == 1; }));
  EXPECT_EQ(client_->saver->finished[0], server_.url(path));
  EXPECT_TRUE(client_->saver->failed.empty());
  EXPECT_EQ(readFile(saved), "a,b\n1,2\n");
  loadAndWait(server_.url("/plain.html"));

  auto asked = std::find_if(client_->responses.begin(), client_->responses.end(),
                            [&](const NavigationResponse& r) { return r.url == server_.url(path); });
  ASSERT_NE(asked, client_->responses.end());
  EXPECT_TRUE(asked->isAttachment);
  EXPECT_EQ(asked->suggestedFilename, name);
  EXPECT_EQ(asked->mimeType, "text/csv");
  EXPECT_TRUE(asked->forMainFrame);
  EXPECT_TRUE(client_->provisionalFailures.empty());
  EXPECT_TRUE(client_->failures.empty());
  EXPECT_EQ(client_->finished, std::vector<std::string>{server_.url("/plain.html")});
}

TEST_F(GtkWebViewE2ETest, ScriptNavigationOfTheMainFrameIsPutToTheClientAsMainFrame) {
  const std::string away = otherServer_.url("/plain.html");
  otherServer_.addHtml("/plain.html", "<!doctype html><p>elsewhere</p>");
  otherServer_.addHtml("/frame.html",
                       "<!doctype html><script>webkit.messageHandlers.page.postMessage({kind: 'frame'});</script>");
  server_.addHtml("/leave.html", "<!doctype html><iframe src='" + otherServer_.url("/frame.html") +
                                     "'></iframe><script>setTimeout(() => { location.href = '" + away +
                                     "'; }, 300);</script>");
  client_->decideNavigation = [&](const NavigationAction& action) {
    return action.targetsMainFrame && action.url.rfind(server_.origin(), 0) != 0 ? NavigationDecision::cancel
                                                                                   : NavigationDecision::allow;
  };
  loadAndWait(server_.url("/leave.html"));
  ASSERT_TRUE(pumpUntil([&] {
    return std::any_of(client_->navigations.begin(), client_->navigations.end(),
                       [&](const NavigationAction& a) { return a.url == away && a.targetsMainFrame; });
  }));
  ASSERT_TRUE(pumpUntil([&] { return client_->messageOfKind("frame"); }))
      << "a sub-frame load must not be stopped as a main-frame one";
  loadAndWait(server_.url("/plain.html"));
  EXPECT_FALSE(client_->hasFinished(away));
  EXPECT_TRUE(client_->provisionalFailures.empty());
}

// A navigation that looks like the main frame's but never loads there, then a script
// navigation of the main frame to another origin.
struct NavigationThatStaysCase {
  std::string name;
  std::string page;        // {away} stands for the outside address
  std::string firstStep;   // the start of the address of the navigation that stays
};

std::string withAway(std::string page, const std::string& away) {
  const std::string marker = "{away}";
  for (size_t at = page.find(marker); at != std::string::npos; at = page.find(marker, at + away.size()))
    page.replace(at, marker.size(), away);
  return page;
}

TEST_F(GtkWebViewE2ETest, NavigationsThatNeverLoadInTheMainFrameDoNotLetTheNextOneThrough) {
  const std::string away = otherServer_.url("/away.html");
  otherServer_.addHtml("/away.html", "<!doctype html><script>webkit.messageHandlers.page.postMessage({kind: 'away'});"
                                     "</script>");
  server_.addHtml("/inner-link.html", "<!doctype html><a id=go href='/stays.html'>in</a>");
  server_.addHtml("/inner-form.html", "<!doctype html><form id=go action='/stays.html'></form>");
  server_.addHtml("/stays.html", "<!doctype html><p>in the frame</p>");
  const std::string leaveLater = "setTimeout(() => { location.href = '{away}'; }, 300);";
  const auto framed = [&](const std::string& inner, const std::string& follow) {
    return "<!doctype html><iframe src='" + inner + "'></iframe><script>"
           "document.querySelector('iframe').addEventListener('load', e => {"
           " e.target.contentDocument.getElementById('go')." + follow + "(); " + leaveLater + "}, {once: true});"
           "</script>";
  };
  const std::vector<NavigationThatStaysCase> cases = {
      {"fragment link",
       "<!doctype html><a id=go href='#below'>down</a><p id=below>below</p><script>"
       "document.getElementById('go').click(); " + leaveLater + "</script>",
       server_.url("/case.html#below")},
      {"link in a frame", framed("/inner-link.html", "click"), server_.url("/stays.html")},
      {"form in a frame", framed("/inner-form.html", "submit"), server_.url("/stays.html")},
  };
  const auto refuseOutside = [&](const NavigationAction& action) {
    return action.targetsMainFrame && action.url.rfind(server_.origin(), 0) != 0 ? NavigationDecision::cancel
                                                                                   : NavigationDecision::allow;
  };
  const auto askedAsMainFrame = [&](const std::string& prefix) {
    return std::any_of(client_->navigations.begin(), client_->navigations.end(), [&](const NavigationAction& a) {
      return a.targetsMainFrame && a.url.rfind(prefix, 0) == 0;
    });
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    server_.addHtml("/case.html", withAway(c.page, away));
    client_ = std::make_shared<RecordingClient>();
    client_->decideNavigation = refuseOutside;
    view_->setClient(client_);
    view_->loadUrl(server_.url("/case.html"), 30);
    ASSERT_TRUE(pumpUntil([&] { return askedAsMainFrame(c.firstStep); })) << "the first navigation never happened";
    ASSERT_TRUE(pumpUntil([&] { return askedAsMainFrame(away) || client_->messageOfKind("away"); }));
    EXPECT_TRUE(askedAsMainFrame(away));
    // Anything the refused load still does comes before the next page's finish.
    loadAndWait(server_.url("/plain.html"));
    EXPECT_FALSE(client_->hasFinished(away));
    EXPECT_EQ(client_->messageOfKind("away"), nullptr) << "the outside page ran in the window";
    EXPECT_TRUE(client_->provisionalFailures.empty());
  }
}

struct RedirectCase {
  std::string name;
  bool followedByLink;  // from a link in a page, not a load of the program's own
  bool toOutside;
};

TEST_F(GtkWebViewE2ETest, ServerRedirectsOfAllowedLoadsLandOnlyWhereTheClientAllows) {
  otherServer_.addHtml("/away.html", "<!doctype html><script>webkit.messageHandlers.page.postMessage({kind: 'away'});"
                                     "</script>");
  server_.addHtml("/landed.html", "<!doctype html><p>landed</p>");
  const std::string away = otherServer_.url("/away.html");
  const std::string landed = server_.url("/landed.html");
  // A local redirector the client allows: "/inside" sends to the pages' server, "/outside"
  // to an origin the client refuses.
  LoopbackServer redirecting([&](LoopbackConnection& connection) {
    auto request = connection.readRequest();
    if (!request) return;
    const std::string to = request->target == "/outside" ? away : landed;
    connection.write("HTTP/1.1 302 Found\r\nLocation: " + to + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    connection.close();
  });
  const std::vector<RedirectCase> cases = {
      {"own load, same origin", false, false},
      {"own load, outside", false, true},
      {"link, same origin", true, false},
      {"link, outside", true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    client_ = std::make_shared<RecordingClient>();
    client_->decideNavigation = [&](const NavigationAction& action) {
      const bool local = action.url.rfind(server_.origin(), 0) == 0 || action.url.rfind(redirecting.baseUrl(), 0) == 0;
      return action.targetsMainFrame && !local ? NavigationDecision::cancel : NavigationDecision::allow;
    };
    view_->setClient(client_);
    const std::string start = redirecting.baseUrl() + (c.toOutside ? "/outside" : "/inside");
    if (c.followedByLink) {
      server_.addHtml("/redirect-link.html", "<!doctype html><a id=go href='" + start + "'>go</a><script>"
                                             "document.getElementById('go').click();</script>");
      view_->loadUrl(server_.url("/redirect-link.html"), 30);
    } else {
      view_->loadUrl(start, 30);
    }
    if (c.toOutside) {
      ASSERT_TRUE(pumpUntil([&] {
        return client_->messageOfKind("away") ||
               std::any_of(client_->navigations.begin(), client_->navigations.end(),
                           [&](const NavigationAction& a) { return a.url == away && a.targetsMainFrame; });
      }));
      loadAndWait(server_.url("/plain.html"));
      EXPECT_EQ(client_->messageOfKind("away"), nullptr) << "the outside page ran in the window";
      EXPECT_FALSE(client_->hasFinished(away));
    } else {
      ASSERT_TRUE(pumpUntil([&] { return client_->hasFinished(landed); }));
      EXPECT_EQ(view_->url(), landed);
    }
    EXPECT_TRUE(client_->provisionalFailures.empty());
    EXPECT_TRUE(client_->failures.empty());
  }
}

TEST_F(GtkWebViewE2ETest, AClickOnALinkIsAMainFrameNavigationWithAUserGesture) {
  const std::string target = otherServer_.url("/plain.html");
  otherServer_.addHtml("/plain.html", "<!doctype html><p>elsewhere</p>");
  server_.addHtml("/link.html", "<!doctype html><body style='margin:0'><a href='" + target +
                                    "' style='display:block;width:100vw;height:100vh'>away</a></body>");
  client_->decideNavigation = [&](const NavigationAction& action) {
    return action.url == target ? NavigationDecision::cancel : NavigationDecision::allow;
  };
  loadAndWait(server_.url("/link.html"));
  ASSERT_TRUE(clickUntil([&] {
    return std::any_of(client_->navigations.begin(), client_->navigations.end(),
                       [&](const NavigationAction& a) { return a.url == target; });
  }));
  auto action = std::find_if(client_->navigations.begin(), client_->navigations.end(),
                             [&](const NavigationAction& a) { return a.url == target; });
  EXPECT_TRUE(action->targetsMainFrame);
  EXPECT_TRUE(action->userGesture);
  EXPECT_FALSE(action->opensNewWindow);
  loadAndWait(server_.url("/plain.html"));
  EXPECT_FALSE(client_->hasFinished(target));
}

// Script may ask for a window only on the user's action; asked for, it is reported
// and never made.
TEST_F(GtkWebViewE2ETest, NewWindowRequestsAreReportedOnlyOnAUserActionAndNoWindowIsMade) {
  const std::string linked = otherServer_.url("/linked.html");
  const std::string opened = otherServer_.url("/opened.html");
  const std::string unasked = otherServer_.url("/unasked.html");
  server_.addHtml("/windows.html",
                  "<!doctype html><body style='margin:0'><a id=l target=_blank href='" + linked + "'></a>"
                  "<div id=pad style='width:100vw;height:100vh'>click</div><script>"
                  "const u = window.open('" + unasked + "');"
                  "webkit.messageHandlers.page.postMessage({kind: 'unasked', isNull: u === null});"
                  "document.getElementById('pad').onclick = () => {"
                  "  document.getElementById('l').click();"
                  "  const w = window.open('" + opened + "');"
                  "  webkit.messageHandlers.page.postMessage({kind: 'opened', isNull: w === null});"
                  "};"
                  "</script></body>");
  // Real windows only: hovering the view makes GTK a popup for its tooltip.
  const auto toplevels = [] {
    GList* list = gtk_window_list_toplevels();
    guint count = 0;
    for (GList* item = list; item; item = item->next) {
      if (gtk_window_get_window_type(GTK_WINDOW(item->data)) == GTK_WINDOW_TOPLEVEL) ++count;
    }
    g_list_free(list);
    return count;
  };
  const guint before = toplevels();
  loadAndWait(server_.url("/windows.html"));
  ASSERT_TRUE(pumpUntil([&] { return client_->messageOfKind("unasked"); }));
  EXPECT_EQ(client_->messageOfKind("unasked")->body["isNull"], true);
  EXPECT_TRUE(client_->newWindows.empty()) << "no window without a user action";

  ASSERT_TRUE(clickUntil([&] { return client_->newWindows.size() >= 2 && client_->messageOfKind("opened"); }));
  std::vector<std::string> urls;
  for (const auto& action : client_->newWindows) {
    urls.push_back(action.url);
    EXPECT_TRUE(action.opensNewWindow);
    EXPECT_TRUE(action.userGesture);
  }
  EXPECT_NE(std::find(urls.begin(), urls.end(), linked), urls.end());
  EXPECT_NE(std::find(urls.begin(), urls.end(), opened), urls.end());
  EXPECT_EQ(std::find(urls.begin(), urls.end(), unasked), urls.end());
  EXPECT_EQ(client_->messageOfKind("opened")->body["isNull"], true);
  EXPECT_EQ(toplevels(), before);
}

TEST_F(GtkWebViewE2ETest, DialogsOfCrossOriginFramesAreSilencedButTheMainFramesAreNot) {
  otherServer_.addHtml("/asks.html",
                       "<!doctype html><script>"
                       "const answers = {kind: 'frame-dialogs', alert: alert('x'), confirm: confirm('y'),"
                       " prompt: prompt('z', 'd')};"
                       "webkit.messageHandlers.page.postMessage(answers);</script>");
  server_.addHtml("/dialogs.html", "<!doctype html><iframe src='" + otherServer_.url("/asks.html") +
                                       "'></iframe><script>"
                                       "webkit.messageHandlers.page.postMessage({kind: 'main-dialog', confirm: confirm('m')});"
                                       "</script>");
  view_->loadUrl(server_.url("/dialogs.html"), 30);
  ASSERT_TRUE(pumpUntil([&] { return client_->messageOfKind("frame-dialogs") && client_->messageOfKind("main-dialog"); }));
  EXPECT_EQ(client_->messageOfKind("main-dialog")->body["confirm"], true);
  const Json& frame = client_->messageOfKind("frame-dialogs")->body;
  EXPECT_EQ(frame["confirm"], false);
  EXPECT_TRUE(frame["prompt"].is_null());
  ASSERT_EQ(client_->scriptDialogs.size(), 1u) << "only the main frame's confirm may reach the desktop";
  EXPECT_EQ(client_->scriptDialogs[0].message, "m");
  EXPECT_TRUE(client_->scriptDialogs[0].source.trustedMainFrame());
  EXPECT_EQ(client_->scriptDialogs[0].source.securityOrigin, server_.origin());
}

// A file input's click the page cancels raises no chooser, and its announcement is
// withdrawn: a chooser raised next, unannounced, by a frame the page does not trust is
// put to the client as coming from nobody, and the frame reads no file. Each raiser
// goes around both the click listener and the click() hook, so nothing the frame does
// replaces the page's stale announcement.
struct UnannouncedChooserCase {
  const char* name;
  const char* raise;  // script the foreign frame runs in its real click's handler
};

void PrintTo(const UnannouncedChooserCase& c, std::ostream* out) { *out << c.name; }

class GtkWebViewUnannouncedChooserE2ETest : public GtkWebViewE2ETest,
                                           public ::testing::WithParamInterface<UnannouncedChooserCase> {};

TEST_P(GtkWebViewUnannouncedChooserE2ETest, ChooserAfterACancelledOwnClickIsNobodys) {
  TempDir folder;
  client_->pickedFile = folder.path() + "/secret.txt";
  std::ofstream(client_->pickedFile) << "secret";
  // A detached input, so that no listener of the frame sees a click on it.
  otherServer_.addHtml("/picker.html",
                       std::string("<!doctype html><body style='margin:0'>"
                                   "<div id=pad style='width:100vw;height:100vh'>pick</div><script>"
                                   "const label = document.createElement('label');"
                                   "const input = document.createElement('input');"
                                   "input.type = 'file';"
                                   "label.appendChild(input);"
                                   "input.addEventListener('change', () => webkit.messageHandlers.page.postMessage("
                                   "  {kind: 'picked', files: Array.from(input.files, (f) => f.name)}));"
                                   "document.getElementById('pad').onclick = () => {"
                                   "  try { ") + GetParam().raise + " } catch (e) {}"
                                   "  webkit.messageHandlers.page.postMessage({kind: 'raised'});"
                                   "};</script></body>");
  server_.addHtml("/cancels.html",
                  "<!doctype html><body style='margin:0'><input id=f type=file>"
                  "<iframe src='" + otherServer_.url("/picker.html") + "' style='position:fixed;left:0;top:0;"
                  "width:100vw;height:100vh;border:0'></iframe><script>"
                  "const f = document.getElementById('f');"
                  "f.addEventListener('click', (event) => event.preventDefault());"
                  "let cancelled = 0;"
                  "window.cancelledClick = () => {"
                  "  f.click();"
                  "  setTimeout(() => webkit.messageHandlers.page.postMessage({kind: 'cancelled', n: ++cancelled}), 0);"
                  "};</script></body>");
  loadAndWait(server_.url("/cancels.html"));

  // Each real click follows a click of the page's own input that the page cancelled, so
  // its announcement is the latest the view was told of and still fresh.
  std::size_t cancelled = 0;
  const auto cancelClick = [&] {
    const std::size_t want = ++cancelled;
    evaluate("window.cancelledClick()");
    pumpUntil([&] {
      return std::count_if(client_->messages.begin(), client_->messages.end(), [](const ScriptMessage& m) {
               return m.body.is_object() && m.body.value("kind", "") == "cancelled";
             }) >= static_cast<long>(want);
    });
  };
  ASSERT_TRUE(clickUntil([&] { return client_->messageOfKind("raised") != nullptr; }, cancelClick));
  // The chooser was raised: otherwise nothing here shows the withdrawal.
  ASSERT_TRUE(pumpUntil([&] { return !client_->fileChoosers.empty(); }));
  ASSERT_EQ(client_->fileChoosers.size(), 1u);
  const MessageSource& source = client_->fileChoosers[0].source;
  EXPECT_FALSE(source.trustedMainFrame());
  EXPECT_NE(source.securityOrigin, server_.origin());
  // A file the frame read would have arrived right after the answer.
  EXPECT_FALSE(pumpUntil([&] { return client_->messageOfKind("picked") != nullptr; }, 1));
}

INSTANTIATE_TEST_SUITE_P(
    Raisers, GtkWebViewUnannouncedChooserE2ETest,
    ::testing::Values(UnannouncedChooserCase{"detached label's click", "label.click();"},
                      UnannouncedChooserCase{"showPicker", "input.showPicker();"}),
    [](const ::testing::TestParamInfo<UnannouncedChooserCase>& info) {
      std::string name;
      for (const char* c = info.param.name; *c; ++c)
        if (std::isalnum(static_cast<unsigned char>(*c))) name += *c;
      return name;
    });

TEST_F(GtkWebViewE2ETest, EndOfTheWebProcessIsReported) {
  loadAndWait(server_.url("/plain.html"));
  webkit_web_view_terminate_web_process(webkitView());
  ASSERT_TRUE(pumpUntil([&] { return client_->terminations == 1; }));
}

TEST_F(GtkWebViewE2ETest, LoadedHtmlWithoutABaseReportsItsMessagesAsMainFrame) {
  view_->loadHtml("<!doctype html><button data-retry>retry</button><script>"
                  "webkit.messageHandlers.startup.postMessage({type: 'retry'});</script>",
                  "");
  ASSERT_TRUE(pumpUntil([&] { return !client_->messages.empty(); }));
  EXPECT_EQ(client_->messages[0].name, "startup");
  EXPECT_TRUE(client_->messages[0].source.trustedMainFrame());
  EXPECT_EQ(client_->messages[0].body, Json::parse(R"({"type":"retry"})"));
}

TEST_F(GtkWebViewE2ETest, TransparentViewsDrawNoBackground) {
  auto transparent = GtkTestEnvironment::instance().provider().makeWebView({true, {}});
  GdkRGBA color{};
  webkit_web_view_get_background_color(WEBKIT_WEB_VIEW(static_cast<GtkWebView*>(transparent.get())->widget()), &color);
  EXPECT_EQ(color.alpha, 0.0);
  webkit_web_view_get_background_color(webkitView(), &color);
  EXPECT_EQ(color.alpha, 1.0);
}

TEST_F(GtkWebViewE2ETest, CompletionsDoNotOutliveTheView) {
  loadAndWait(server_.url("/plain.html"));
  bool called = false;
  view_->callAsync("return await new Promise(r => setTimeout(() => r(1), 50))", Json::object(),
                   [&](ScriptValue) { called = true; });
  view_.reset();
  // A later page in a fresh view finishing proves the loop ran well past the answer.
  view_ = GtkTestEnvironment::instance().provider().makeWebView({false, {"page"}});
  view_->setClient(client_);
  client_->finished.clear();
  view_->loadUrl(server_.url("/plain.html"), 30);
  ASSERT_TRUE(pumpUntil([&] { return client_->hasFinished(server_.url("/plain.html")); }));
  EXPECT_FALSE(called);
}

}  // namespace
}  // namespace tovarin

namespace tovarin {
namespace {

TEST_F(GtkWebViewE2ETest, LoadsNeverComeFromTheCache) {
  PageServer::Page cacheable;
  cacheable.body = "<!doctype html><p>cacheable for an hour</p>";
  cacheable.extraHeaders = "Cache-Control: public, max-age=3600\r\n";
  server_.add("/cacheable.html", cacheable);
  loadAndWait(server_.url("/cacheable.html"));
  loadAndWait(server_.url("/plain.html"));
  client_->finished.clear();
  loadAndWait(server_.url("/cacheable.html"));
  EXPECT_EQ(server_.requestsFor("/cacheable.html"), 2u);
}

TEST_F(GtkWebViewE2ETest, WebViewsShareOneCookieStore) {
  server_.addHtml("/write.html", "<!doctype html><script>document.cookie = 'shared=yes; max-age=3600';"
                                 "webkit.messageHandlers.page.postMessage({kind: 'written'});</script>");
  server_.addHtml("/read.html", "<!doctype html><script>"
                                "webkit.messageHandlers.page.postMessage({kind: 'read', cookie: document.cookie});"
                                "</script>");
  view_->loadUrl(server_.url("/write.html"), 30);
  ASSERT_TRUE(pumpUntil([&] { return client_->messageOfKind("written"); }));

  auto other = GtkTestEnvironment::instance().provider().makeWebView({false, {"page"}});
  auto otherClient = std::make_shared<RecordingClient>();
  other->setClient(otherClient);
  other->loadUrl(server_.url("/read.html"), 30);
  ASSERT_TRUE(pumpUntil([&] { return otherClient->messageOfKind("read"); }));
  EXPECT_NE(otherClient->messageOfKind("read")->body["cookie"].get<std::string>().find("shared=yes"),
            std::string::npos);
  // Kept on disk, for the next run of the program.
  const std::string cookies = GtkTestEnvironment::instance().webDataDirectory() + "/cookies.sqlite";
  EXPECT_TRUE(pumpUntil([&] { return std::filesystem::exists(cookies) && std::filesystem::file_size(cookies) > 0; }));
}

}  // namespace
}  // namespace tovarin

namespace tovarin {
namespace {

TEST_F(GtkWebViewE2ETest, ADownloadNobodyAdoptsIsCancelledAndWrittenNowhere) {
  const std::string name = "orphan-" + std::to_string(::getpid()) + ".csv";
  PageServer::Page csv;
  csv.body = "a,b\n";
  csv.contentType = "text/csv";
  csv.extraHeaders = "Content-Disposition: attachment; filename=\"" + name + "\"\r\n";
  server_.add("/" + name, csv);
  client_->decideResponse = [](const NavigationResponse& response) {
    return response.isAttachment ? NavigationDecision::download : NavigationDecision::allow;
  };
  loadAndWait(server_.url("/plain.html"));
  view_->loadUrl(server_.url("/" + name), 30);
  ASSERT_TRUE(pumpUntil([&] { return server_.requestsFor("/" + name) > 0; }));
  loadAndWait(server_.url("/plain.html"));
  EXPECT_FALSE(std::filesystem::exists(GtkTestEnvironment::instance().downloadDirectory() + "/" + name));
}

}  // namespace
}  // namespace tovarin
