#include "main/page/WebPanels.h"

#include <gtest/gtest.h>

#include "main/page/ShellPanelCopy.h"
#include "main/page/ShellPanels.h"
#include "tests/main/page/WebPanelsFixture.h"

namespace tovarin {
namespace {

using WebPanelsTest = WebPanelsFixture;

const std::string kDigest(64, 'a');

TEST_F(WebPanelsTest, ExpectAdmission) {
  struct Case {
    const char* what;
    std::function<void(Json&)> change;
    bool admitted;
  };
  const Case cases[] = {
      {"plain", [](Json&) {}, true},
      {"with operation id", [](Json& b) { b["operationId"] = "op-1"; }, true},
      {"null operation id", [](Json& b) { b["operationId"] = nullptr; }, false},
      {"bad operation id", [](Json& b) { b["operationId"] = "-op"; }, false},
      {"other port", [](Json& b) { b["blobURL"] = "blob:http://127.0.0.1:4174/x"; }, false},
      {"https origin", [](Json& b) { b["blobURL"] = "blob:https://127.0.0.1:4173/x"; }, false},
      {"not a blob", [](Json& b) { b["blobURL"] = "http://127.0.0.1:4173/x"; }, false},
      {"blob too long", [](Json& b) { b["blobURL"] = blob(std::string(4097, 'x')); }, false},
      {"no request id", [](Json& b) { b.erase("requestId"); }, false},
      {"request id with slash", [](Json& b) { b["requestId"] = "a/b"; }, false},
      {"filename not a string", [](Json& b) { b["filename"] = 3; }, false},
      {"filename of 255", [](Json& b) { b["filename"] = std::string(255, 'n'); }, true},
      {"filename of 256", [](Json& b) { b["filename"] = std::string(256, 'n'); }, false},
      {"digest and size", [](Json& b) { b["sha256"] = kDigest; b["bytes"] = 10; }, true},
      {"size 131072", [](Json& b) { b["sha256"] = kDigest; b["bytes"] = 131072; }, true},
      {"size 131073", [](Json& b) { b["sha256"] = kDigest; b["bytes"] = 131073; }, false},
      {"size 0", [](Json& b) { b["sha256"] = kDigest; b["bytes"] = 0; }, false},
      {"size not whole", [](Json& b) { b["sha256"] = kDigest; b["bytes"] = 1.5; }, false},
      {"size as text", [](Json& b) { b["sha256"] = kDigest; b["bytes"] = "10"; }, false},
      {"size without digest", [](Json& b) { b["bytes"] = 10; }, false},
      {"digest without size", [](Json& b) { b["sha256"] = kDigest; }, false},
      {"uppercase digest", [](Json& b) { b["sha256"] = std::string(64, 'A'); b["bytes"] = 10; }, false},
      {"63 digits", [](Json& b) { b["sha256"] = std::string(63, 'a'); b["bytes"] = 10; }, false},
      {"automatic", [](Json& b) { b["destination"] = "downloads"; b["sha256"] = kDigest; b["bytes"] = 3; }, true},
      {"automatic without digest", [](Json& b) { b["destination"] = "downloads"; }, false},
      {"other destination", [](Json& b) { b["destination"] = "desktop"; b["sha256"] = kDigest; b["bytes"] = 3; }, false},
      {"automatic name with slash",
       [](Json& b) { b["destination"] = "downloads"; b["sha256"] = kDigest; b["bytes"] = 3; b["filename"] = "a/b"; }, false},
      {"automatic name with colon",
       [](Json& b) { b["destination"] = "downloads"; b["sha256"] = kDigest; b["bytes"] = 3; b["filename"] = "a:b"; }, false},
      {"automatic dot-dot",
       [](Json& b) { b["destination"] = "downloads"; b["sha256"] = kDigest; b["bytes"] = 3; b["filename"] = ".."; }, false},
      {"automatic empty name",
       [](Json& b) { b["destination"] = "downloads"; b["sha256"] = kDigest; b["bytes"] = 3; b["filename"] = ""; }, false},
      {"automatic control character",
       [](Json& b) { b["destination"] = "downloads"; b["sha256"] = kDigest; b["bytes"] = 3; b["filename"] = "a\x01"; }, false},
  };
  int n = 0;
  for (const auto& c : cases) {
    Json body = expectBody("req-" + std::to_string(n), "blob-" + std::to_string(n), "a.txt");
    ++n;
    c.change(body);
    const auto before = panels_->pendingExpectations();
    send(body);
    EXPECT_EQ(panels_->pendingExpectations() - before, c.admitted ? 1u : 0u) << c.what;
  }
}

TEST_F(WebPanelsTest, BodiesOfTheWrongShapeAreIgnored) {
  for (const Json& body : {Json(nullptr), Json("expect"), Json::array({1}), Json{{"type", 3}}, Json{{"type", "other"}},
                           Json{{"requestId", "r"}}}) {
    panels_->handle(body, std::nullopt);
  }
  EXPECT_EQ(panels_->pendingExpectations(), 0u);
  EXPECT_TRUE(page_->pendingCalls().empty());
  EXPECT_TRUE(presenter_->openPanels().empty());
}

TEST_F(WebPanelsTest, RequestIdsServeOnceAndABlobUrlHasOneAnnouncement) {
  send(expectBody("r1", "b1", "a.txt"));
  send(expectBody("r1", "b2", "a.txt"));  // request id used
  send(expectBody("r2", "b1", "a.txt"));  // blob pending
  EXPECT_EQ(panels_->pendingExpectations(), 1u);
  // A cancelled announcement still holds its blob URL.
  send(Json{{"type", "cancel"}, {"requestId", "r1"}, {"blobURL", blob("b1")}});
  send(expectBody("r2", "b1", "a.txt"));
  EXPECT_EQ(panels_->pendingExpectations(), 1u);
  // r2 was never recorded: it serves for another blob.
  send(expectBody("r2", "b3", "a.txt"));
  EXPECT_EQ(panels_->pendingExpectations(), 2u);
}

TEST_F(WebPanelsTest, AnnouncementsExpireAfterTenMinutesWhenTheNextArrives) {
  send(expectBody("old", "b-old", "a.txt"));
  loop_.advance(1.0);
  send(expectBody("newer", "b-newer", "a.txt"));
  loop_.advance(598.0);  // "old" is 599 s old
  send(expectBody("x1", "b-x1", "a.txt"));
  EXPECT_EQ(panels_->pendingExpectations(), 3u);
  loop_.advance(1.0);  // "old" is 600 s old, "newer" 599 s
  send(expectBody("x2", "b-x2", "a.txt"));
  EXPECT_EQ(panels_->pendingExpectations(), 3u);
  // Expired without a receipt; its blob URL is free again for a new request id.
  EXPECT_TRUE(receipts().empty());
  send(expectBody("again", "b-old", "a.txt"));
  EXPECT_EQ(panels_->pendingExpectations(), 4u);
}

TEST_F(WebPanelsTest, ThousandsOfAnnouncementsKeepAtMost512) {
  for (int i = 0; i < 5000; ++i) send(expectBody("r" + std::to_string(i), "b" + std::to_string(i), "f.txt"));
  EXPECT_EQ(panels_->pendingExpectations(), WebPanels::maxPendingExpectations);
  EXPECT_TRUE(receipts().empty());
}

TEST_F(WebPanelsTest, CancelMatchesRequestOperationAndBlob) {
  struct Case {
    const char* what;
    Json announcedOperation;  // null: none
    Json cancelBody;
    bool matches;
  };
  const Case cases[] = {
      {"no operation, null", nullptr, Json{{"operationId", nullptr}}, true},
      {"no operation, absent", nullptr, Json::object(), true},
      {"no operation, given", nullptr, Json{{"operationId", "op"}}, false},
      {"operation, same", "op", Json{{"operationId", "op"}}, true},
      {"operation, other", "op", Json{{"operationId", "op2"}}, false},
      {"operation, absent", "op", Json::object(), false},
      {"bad operation id", nullptr, Json{{"operationId", 5}}, false},
      {"other request", nullptr, Json{{"requestId", "zz"}}, false},
  };
  int n = 0;
  for (const auto& c : cases) {
    const std::string id = "r" + std::to_string(n), blobId = "b" + std::to_string(n);
    ++n;
    Json expect = expectBody(id, blobId, "doc.txt");
    if (!c.announcedOperation.is_null()) expect["operationId"] = c.announcedOperation;
    send(expect);
    Json cancel = {{"type", "cancel"}, {"requestId", id}, {"blobURL", blob(blobId)}};
    cancel.update(c.cancelBody);
    const auto before = receipts().size();
    send(cancel);
    EXPECT_EQ(receipts().size() - before, c.matches ? 1u : 0u) << c.what;
  }
}

TEST_F(WebPanelsTest, CancelBeforeTheDownloadGivesOneReceiptAndRefusesTheDownload) {
  send(expectBody("r1", "b1", "doc.txt"));
  send(Json{{"type", "cancel"}, {"requestId", "r1"}, {"blobURL", blob("b1")}, {"operationId", nullptr}});
  send(Json{{"type", "cancel"}, {"requestId", "r1"}, {"blobURL", blob("b1")}});  // already cancelled
  ASSERT_EQ(receipts().size(), 1u);
  const Json receipt = receipts()[0];
  EXPECT_EQ(receipt["status"], "cancelled");
  EXPECT_EQ(receipt["message"], "没有保存「doc.txt」：存储时点了取消。");
  EXPECT_EQ(receipt["requestId"], "r1");
  EXPECT_EQ(receipt["blobURL"], blob("b1"));
  EXPECT_FALSE(receipt.contains("operationId"));
  EXPECT_FALSE(receipt.contains("path"));

  auto download = startDownload(blob("b1"));
  download->decideDestination("doc.txt");
  EXPECT_TRUE(download->answered());
  EXPECT_FALSE(download->destination());
  download->fail("cancelled");
  EXPECT_EQ(receipts().size(), 1u);
  EXPECT_TRUE(presenter_->savePanels().empty());
}

TEST_F(WebPanelsTest, ReceiptDeliveryFallsBackToAToastOnlyForUnidentifiedReceipts) {
  panels_->settle(DownloadOutcome::failed("x.txt", ShellPanelCopy::reasonGeneric));
  ASSERT_EQ(page_->pendingCalls().size(), 1u);
  const auto& call = page_->pendingCalls()[0];
  EXPECT_EQ((*call.arguments)["toastHost"], "__calendar");
  EXPECT_EQ((*call.arguments)["payload"]["message"], "「x.txt」没有存下来：写文件时出了错，换一个位置再试。");
  page_->answerNext(ScriptValue::ofString("toast"));
  EXPECT_TRUE(log_.matching("[orvik] download: 结局").empty());
  panels_->settle(DownloadOutcome::cancelled("y.txt"));
  page_->answerNext(ScriptValue::ofString("none"));
  EXPECT_TRUE(log_.contains("[orvik] download: 结局没有交到页面（页面没装回执桥也没有提示条）：cancelled"));
}

TEST_F(WebPanelsTest, SavedPayloadNamesTheFolderButNeverThePath) {
  DownloadOutcome outcome = DownloadOutcome::saved("a.txt", "/home/u/下载/a.txt", "ab", 2);
  outcome.requestId = "r";
  const Json payload = outcome.payload();
  EXPECT_EQ(payload["name"], "a.txt");
  EXPECT_EQ(payload["folder"], "下载");
  EXPECT_EQ(payload["message"], "已存到「下载」：a.txt");
  EXPECT_EQ(payload["bytes"], 2);
  EXPECT_EQ(payload["requestId"], "r");
  EXPECT_FALSE(payload.contains("path"));
  EXPECT_FALSE(payload.contains("operationId"));
}

TEST_F(WebPanelsTest, FrameTrust) {
  struct Case {
    MessageSource source;
    bool trusted;
  };
  const Case cases[] = {
      {FakeWebView::mainFrameSource(4173), true},
      {MessageSource{true, false, "http://127.0.0.1:4173/f.html", "http://127.0.0.1:4173"}, true},
      {MessageSource{true, false, "about:blank", "about:"}, true},
      {MessageSource{true, true, "", ""}, true},
      {FakeWebView::mainFrameSource(4174), false},
      {MessageSource{true, false, "https://127.0.0.1:4173/", "https://127.0.0.1:4173"}, false},
      {MessageSource{true, false, "http://localhost:4173/", "http://localhost:4173"}, false},
      {MessageSource{true, false, "https://evil.example/", "https://evil.example"}, false},
      {MessageSource{true, false, "data:text/html,x", "null"}, false},
      {MessageSource{}, false},  // facts unknown
  };
  for (const auto& c : cases) EXPECT_EQ(panels_->trusts(c.source), c.trusted) << c.source.securityOrigin;
}

TEST_F(WebPanelsTest, UntrustedFramesGetTheNegativeAnswerAtOnce) {
  const MessageSource foreign{true, false, "https://evil.example/", "https://evil.example"};
  int alerts = 0;
  std::optional<bool> confirmed;
  std::optional<std::optional<std::string>> prompted;
  std::optional<std::optional<std::vector<std::string>>> files;
  panels_->alert("hi", foreign, [&] { ++alerts; });
  panels_->confirm("ok?", foreign, [&](bool value) { confirmed = value; });
  panels_->prompt("name?", "dflt", MessageSource{}, [&](std::optional<std::string> text) { prompted = text; });
  panels_->openPanel(FileChooserRequest{}, foreign, [&](auto paths) { files = paths; });
  EXPECT_EQ(alerts, 1);
  EXPECT_EQ(confirmed, false);
  ASSERT_TRUE(prompted);
  EXPECT_FALSE(*prompted);
  ASSERT_TRUE(files);
  EXPECT_FALSE(*files);
  EXPECT_TRUE(presenter_->alerts().empty());
  EXPECT_TRUE(presenter_->openPanels().empty());
}

TEST_F(WebPanelsTest, ConfirmIsTrueOnlyForTheFirstButton) {
  const MessageSource own = FakeWebView::mainFrameSource(kPort);
  std::vector<bool> answers;
  for (int i = 0; i < 3; ++i) panels_->confirm("要删除吗？ 删除后不能恢复。", own, [&](bool v) { answers.push_back(v); });
  ASSERT_EQ(presenter_->alerts().size(), 3u);
  const AlertPanel& panel = presenter_->alerts()[0].panel;
  EXPECT_EQ(panel.messageText, "要删除吗？");
  EXPECT_EQ(panel.informativeText, "删除后不能恢复。");
  EXPECT_EQ(panel.buttons, (std::vector<std::string>{"好", "取消"}));
  EXPECT_FALSE(panel.field);
  presenter_->answerAlert(0, 0);             // Return
  presenter_->answerAlert(1, 1);             // Escape or 取消
  presenter_->answerAlert(2, std::nullopt);  // closed
  EXPECT_EQ(answers, (std::vector<bool>{true, false, false}));
}

TEST_F(WebPanelsTest, LongMessagesAreClipped) {
  std::string message(601, 'm');
  panels_->alert(message, FakeWebView::mainFrameSource(kPort), [] {});
  panels_->alert(message.substr(1), FakeWebView::mainFrameSource(kPort), [] {});
  EXPECT_EQ(presenter_->alerts()[0].panel.messageText, std::string(600, 'm') + "…");
  EXPECT_EQ(presenter_->alerts()[1].panel.messageText, std::string(600, 'm'));
  EXPECT_EQ(presenter_->alerts()[0].panel.buttons, (std::vector<std::string>{"好"}));
}

TEST_F(WebPanelsTest, PromptsHideSecretsAndNeverShowTheirDefault) {
  struct Case {
    std::string message;
    std::optional<std::string> defaultText;
    bool secret;
    std::string initial;
    std::string detail;
  };
  const Case cases[] = {
      {"请输入名字", "小明", false, "小明", ""},
      {"你叫什么？", std::nullopt, false, "", ""},
      {"请输入密码", "hunter2", true, "", "输入时不显示明文。"},
      {"解锁？请输入 PIN", "1234", true, "", "请输入 PIN\n输入时不显示明文。"},
  };
  const MessageSource own = FakeWebView::mainFrameSource(kPort);
  std::vector<std::optional<std::string>> answers;
  for (const auto& c : cases) panels_->prompt(c.message, c.defaultText, own, [&](auto text) { answers.push_back(text); });
  ASSERT_EQ(presenter_->alerts().size(), std::size(cases));
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const AlertPanel& panel = presenter_->alerts()[i].panel;
    ASSERT_TRUE(panel.field);
    EXPECT_EQ(panel.field->secret, cases[i].secret) << cases[i].message;
    EXPECT_EQ(panel.field->text, cases[i].initial) << cases[i].message;
    EXPECT_EQ(panel.field->accessibilityLabel, ShellPanels::split(cases[i].message).first);
    EXPECT_EQ(panel.informativeText, cases[i].detail) << cases[i].message;
  }
  presenter_->answerAlert(0, 0, "typed");
  presenter_->answerAlert(1, 1, "ignored");
  EXPECT_EQ(answers, (std::vector<std::optional<std::string>>{"typed", std::nullopt}));
}

TEST_F(WebPanelsTest, FileInputsRestrictToKnownExtensions) {
  const MessageSource own = FakeWebView::mainFrameSource(kPort);
  std::vector<std::optional<std::vector<std::string>>> answers;
  panels_->openPanel(FileChooserRequest{true, false, {".PNG", " jpg "}, own}, own, [&](auto p) { answers.push_back(p); });
  panels_->openPanel(FileChooserRequest{}, own, [&](auto p) { answers.push_back(p); });
  ASSERT_EQ(presenter_->openPanels().size(), 2u);
  const OpenPanel& first = presenter_->openPanels()[0].panel;
  EXPECT_TRUE(first.allowsMultipleSelection);
  EXPECT_TRUE(first.canChooseFiles);
  EXPECT_EQ(first.prompt, "选择");
  EXPECT_EQ(first.allowedExtensions, (std::vector<std::string>{"png", "jpg"}));
  presenter_->answerOpen(0, std::vector<std::string>{"/tmp/a.png"});
  presenter_->answerOpen(1, std::vector<std::string>{});  // nothing chosen
  ASSERT_EQ(answers.size(), 2u);
  EXPECT_EQ(answers[0], (std::vector<std::string>{"/tmp/a.png"}));
  EXPECT_FALSE(answers[1]);
}

TEST_F(WebPanelsTest, DirectoryChoice) {
  const Json request = {{"type", "choose-directory"}, {"requestId", "d1"}, {"operationId", "op"}};
  // Sub-frames, foreign or unknown frames and malformed ids are ignored.
  panels_->handle(request, MessageSource{true, false, "http://127.0.0.1:4173/f", "http://127.0.0.1:4173"});
  panels_->handle(request, FakeWebView::mainFrameSource(9999));
  panels_->handle(request, std::nullopt);
  send(Json{{"type", "choose-directory"}, {"requestId", "d0"}});
  EXPECT_TRUE(presenter_->openPanels().empty());

  send(request);
  send(request);  // the same id again: ignored
  send(Json{{"type", "choose-directory"}, {"requestId", "d2"}, {"operationId", "op"}});  // while open
  ASSERT_EQ(presenter_->openPanels().size(), 1u);
  const OpenPanel& panel = presenter_->openPanels()[0].panel;
  EXPECT_FALSE(panel.canChooseFiles);
  EXPECT_TRUE(panel.canChooseDirectories);
  EXPECT_TRUE(panel.canCreateDirectories);
  EXPECT_EQ(panel.message, "选择本轮使用的文件夹。读取与保存权限仍由你分别选择。");
  ASSERT_EQ(directoryResults().size(), 1u);
  EXPECT_EQ(directoryResults()[0],
            (Json{{"requestId", "d2"}, {"operationId", "op"}, {"status", "failed"}, {"message", "请先完成已打开的文件夹选择。"}}));

  const std::string chosen = temp_.path() + "/work";
  std::filesystem::create_directories(chosen);
  presenter_->answerOpen(0, std::vector<std::string>{chosen + "/"});
  ASSERT_EQ(directoryResults().size(), 2u);
  EXPECT_EQ(directoryResults()[1],
            (Json{{"requestId", "d1"}, {"operationId", "op"}, {"status", "selected"}, {"path", chosen}, {"name", "work"}}));

  const std::string file = temp_.path() + "/plain.txt";
  writeFile(file, "x");
  send(Json{{"type", "choose-directory"}, {"requestId", "d3"}, {"operationId", "op"}});
  presenter_->answerOpen(1, std::vector<std::string>{file});
  send(Json{{"type", "choose-directory"}, {"requestId", "d4"}, {"operationId", "op"}});
  presenter_->answerOpen(2, std::nullopt);
  ASSERT_EQ(directoryResults().size(), 4u);
  EXPECT_EQ(directoryResults()[2]["status"], "failed");
  EXPECT_EQ(directoryResults()[2]["message"], "所选位置不是可用的文件夹。");
  EXPECT_EQ(directoryResults()[3], (Json{{"requestId", "d4"}, {"operationId", "op"}, {"status", "cancelled"}}));
}

TEST_F(WebPanelsTest, DirectoryRequestsEndAfter512) {
  for (int i = 0; i < 600; ++i) {
    send(Json{{"type", "choose-directory"}, {"requestId", "d" + std::to_string(i)}, {"operationId", "op"}});
    if (!presenter_->openPanels().back().answered()) presenter_->answerOpen(presenter_->openPanels().size() - 1, std::nullopt);
  }
  EXPECT_EQ(presenter_->openPanels().size(), 512u);
}

TEST_F(WebPanelsTest, DirectoryPanelOutlivingItsPanelsDoesNothing) {
  send(Json{{"type", "choose-directory"}, {"requestId", "d1"}, {"operationId", "op"}});
  panels_.reset();
  presenter_->answerOpen(0, std::vector<std::string>{"/"});
  EXPECT_TRUE(page_->pendingCalls().empty());
}

TEST_F(WebPanelsTest, PanelSaveCancelledGivesOneReceiptAndALaterFailureIsIgnored) {
  send(expectBody("r1", "b1", "report.txt"));
  auto download = startDownload(blob("b1"));
  download->decideDestination("a/b");
  ASSERT_EQ(presenter_->savePanels().size(), 1u);
  EXPECT_EQ(presenter_->savePanels()[0].panel.nameFieldValue, "a-b");
  EXPECT_EQ(presenter_->savePanels()[0].panel.prompt, "存储");
  EXPECT_EQ(presenter_->savePanels()[0].panel.directory, downloads());
  EXPECT_FALSE(download->answered());
  presenter_->answerSave(0, std::nullopt);
  EXPECT_EQ(download->answers(), 1);
  EXPECT_FALSE(download->destination());
  download->fail("cancelled by the engine");
  ASSERT_EQ(receipts().size(), 1u);
  EXPECT_EQ(receipts()[0]["status"], "cancelled");
  EXPECT_EQ(receipts()[0]["filename"], "a/b");
  EXPECT_EQ(receipts()[0]["requestId"], "r1");
  EXPECT_TRUE(log_.matching("[orvik] download: 下载失败").empty());
}

TEST_F(WebPanelsTest, SavePanelAnsweredAfterThePanelsAreGoneRefusesTheDownload) {
  auto download = startDownload("http://127.0.0.1:4173/file.bin");
  download->decideDestination("file.bin");
  panels_.reset();
  presenter_->answerSave(0, temp_.path() + "/file.bin");
  EXPECT_EQ(download->answers(), 1);
  EXPECT_FALSE(download->destination());
}

TEST_F(WebPanelsTest, DownloadPolicies) {
  struct ActionCase {
    const char* url;
    bool mainFrame;
    std::optional<NavigationDecision> decision;
  };
  const ActionCase actions[] = {
      {"blob:http://127.0.0.1:4173/abc", true, NavigationDecision::download},
      {"blob:http://127.0.0.1:9999/abc", true, NavigationDecision::cancel},
      {"blob:https://evil.example/abc", true, NavigationDecision::cancel},
      {"data:text/plain,hi", true, NavigationDecision::download},
      {"blob:http://127.0.0.1:4173/abc", false, std::nullopt},
      {"http://127.0.0.1:4173/index.html", true, std::nullopt},
      {"https://example.com/", true, std::nullopt},
  };
  for (const auto& c : actions) {
    NavigationAction action;
    action.url = c.url;
    action.targetsMainFrame = c.mainFrame;
    action.initiator = FakeWebView::mainFrameSource(kPort);
    EXPECT_EQ(panels_->downloadPolicy(action), c.decision) << c.url;
  }
  NavigationResponse shown{"http://127.0.0.1:4173/a.html", 200, "text/html", true, false, "", true};
  EXPECT_FALSE(panels_->downloadPolicy(shown));
  NavigationResponse attachment = shown;
  attachment.isAttachment = true;
  EXPECT_EQ(panels_->downloadPolicy(attachment), NavigationDecision::download);
  NavigationResponse foreign{"https://evil.example/x.bin", 200, "application/x-bin", false, false, "", true};
  EXPECT_FALSE(panels_->downloadPolicy(foreign));
  NavigationResponse data{"data:application/octet-stream,abc", 200, "application/octet-stream", false, false, "", true};
  EXPECT_EQ(panels_->downloadPolicy(data), NavigationDecision::download);
}

// Frames a page embeds that are not its own: another origin, a sandboxed or data: frame
// (opaque origin), and frames whose facts the engine could not give.
struct UntrustedFrame {
  const char* what;
  std::optional<MessageSource> frame;
};
const UntrustedFrame kUntrustedFrames[] = {
    {"another origin", MessageSource{true, false, "http://localhost:4173/ad.html", "http://localhost:4173"}},
    {"another port", MessageSource{true, false, "http://127.0.0.1:9999/ad.html", "http://127.0.0.1:9999"}},
    {"sandboxed", MessageSource{true, false, "http://127.0.0.1:4173/s.html", "null"}},
    {"data:", MessageSource{true, false, "data:text/html,x", "null"}},
    {"unknown", MessageSource{}},
    {"none", std::nullopt},
};

TEST_F(WebPanelsTest, OnlyFramesOfThePageAnnounceOrWithdrawDownloads) {
  send(automaticBody("own", "b-own", "own.txt", "mine"));
  for (const auto& c : kUntrustedFrames) {
    const std::string n = std::to_string(&c - kUntrustedFrames);
    panels_->handle(expectBody("forged-" + n, "b-forged-" + n, "forged.txt"), c.frame);
    // It names the page's own announcement exactly, and one of its own making.
    panels_->handle(Json{{"type", "cancel"}, {"requestId", "own"}, {"blobURL", blob("b-own")}}, c.frame);
    panels_->handle(Json{{"type", "cancel"}, {"requestId", "made-up"}, {"blobURL", blob("made-up")}}, c.frame);
    EXPECT_EQ(panels_->pendingExpectations(), 1u) << c.what;
    EXPECT_TRUE(receipts().empty()) << c.what;
  }
  // The page's own download is still verified and saved.
  auto download = startDownload(blob("b-own"));
  download->decideDestination("own.txt");
  ASSERT_TRUE(download->destination());
  download->finishWith("mine");
  ASSERT_EQ(receipts().size(), 1u);
  EXPECT_EQ(receipts()[0]["status"], "saved");
  EXPECT_EQ(receipts()[0]["requestId"], "own");
  EXPECT_EQ(readFile(downloads() + "/own.txt"), "mine");
}

TEST_F(WebPanelsTest, RefusedFramesAreLoggedAtMostOnceASecondPerKind) {
  for (int i = 0; i < 20000; ++i) {
    const auto& frame = kUntrustedFrames[i % std::size(kUntrustedFrames)].frame;
    panels_->handle(expectBody("r" + std::to_string(i), "b" + std::to_string(i), "f.txt"), frame);
    panels_->handle(Json{{"type", "cancel"}, {"requestId", "r"}, {"blobURL", blob("b")}}, frame);
    if (frame) {
      EXPECT_FALSE(panels_->admits(*frame));
    }
  }
  EXPECT_EQ(log_.matching("[orvik] download: 不是本地页面的框架发来的").size(), 3u);  // expect, cancel, message
  loop_.advance(1.0);
  panels_->handle(expectBody("late", "late", "f.txt"), std::nullopt);
  EXPECT_EQ(log_.matching("[orvik] download: 不是本地页面的框架发来的").size(), 4u);
  EXPECT_EQ(panels_->pendingExpectations(), 0u);
}

TEST_F(WebPanelsTest, ADownloadAnnouncedIntoAFullRegisterIsNeverSavedUnverified) {
  for (std::size_t i = 0; i < WebPanels::maxPendingExpectations; ++i) {
    send(expectBody("r" + std::to_string(i), "b" + std::to_string(i), "f.txt"));
  }
  send(automaticBody("late", "b-late", "late.txt", "content"));
  ASSERT_EQ(panels_->pendingExpectations(), WebPanels::maxPendingExpectations);
  auto late = startDownload(blob("b-late"));
  late->decideDestination("late.txt");
  EXPECT_TRUE(late->answered());
  EXPECT_FALSE(late->destination());
  EXPECT_TRUE(presenter_->savePanels().empty());
  ASSERT_EQ(receipts().size(), 1u);
  EXPECT_EQ(receipts()[0]["status"], "failed");
  // An announced download still binds; once a refused announcement could no longer
  // live, an unannounced blob asks for a place again.
  auto announced = startDownload(blob("b0"));
  announced->decideDestination("f.txt");
  EXPECT_EQ(presenter_->savePanels().size(), 1u);
  loop_.advance(WebPanels::expectationLifetimeSeconds);
  auto plain = startDownload(blob("b-plain"));
  plain->decideDestination("plain.txt");
  EXPECT_EQ(presenter_->savePanels().size(), 2u);
}

TEST_F(WebPanelsTest, DownloadsStartedByFramesItDoesNotTrustAreCancelled) {
  for (const auto& c : kUntrustedFrames) {
    for (const char* url : {"data:application/octet-stream,x", "blob:http://127.0.0.1:4173/abc"}) {
      NavigationAction action;
      action.url = url;
      action.initiator = c.frame.value_or(MessageSource{});
      EXPECT_EQ(panels_->downloadPolicy(action), NavigationDecision::cancel) << c.what << " " << url;
    }
  }
  NavigationResponse inFrame{"http://127.0.0.1:4173/file.bin", 200, "application/x-bin", false, true, "f.bin", false};
  EXPECT_EQ(panels_->downloadPolicy(inFrame), NavigationDecision::cancel);
}

}  // namespace
}  // namespace tovarin
