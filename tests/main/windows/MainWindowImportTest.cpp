#include <fstream>

#include <gtest/gtest.h>

#include "base/SerialQueue.h"
#include "main/bridges/CaptureBridges.h"
#include "tests/main/windows/MainWindowFixture.h"
#include "tests/support/FakePanelPresenter.h"
#include "tests/support/FakeSystemNotifier.h"
#include "tests/support/FakeTextRecognizer.h"
#include "tests/support/FakeWallClockAlarm.h"

namespace tovarin {
namespace {

// The main window's import: its panel, and the chosen files handed to the file-drop
// bridge, which reads them and delivers their text to the page.
class MainWindowImportTest : public MainWindowFixture {
 protected:
  void SetUp() override {
    MainWindowController::Services services{{loop_, loop_, server_, desktop_, webViews_, accessibility_}, defaults_};
    services.capture = capture_;
    services.page.panelPresenter = presenter_;
    controller_ = MainWindowController::create(AppConfig(".", 4173, true), services);
    view_ = webViews_.last();
    window_ = desktop_.lastWindow();
    capture_->attach(view_, [] {});
  }
  void TearDown() override {
    recognizer_->release();
    // A delivery left open holds the page: answer it so that nothing outlives the test.
    view_->answerAll(ScriptValue::ofBool(true));
    loop_.runUntilIdle();
  }

  std::string writeFile(const std::string& name, const std::string& content) {
    const std::string path = dir_.path() + "/" + name;
    std::ofstream(path) << content;
    return path;
  }
  // The page deliveries of the drop bridge so far.
  std::vector<Json> deliveries() const {
    std::vector<Json> found;
    for (const auto& call : view_->pendingCalls()) {
      if (call.arguments && call.arguments->dump().find("drop_") != std::string::npos) found.push_back(*call.arguments);
    }
    return found;
  }

  std::shared_ptr<FakeTextRecognizer> recognizer_ = std::make_shared<FakeTextRecognizer>();
  SerialQueue queue_{"import-test"};
  OcrService ocr_{loop_, queue_, recognizer_};
  FakeSystemNotifier notifier_;
  FakeWallClockAlarm clock_{1.9e9};
  ReminderScheduler scheduler_{dir_.path() + "/reminders.json", notifier_, clock_, loop_, loop_};
  std::shared_ptr<CaptureBridges> capture_ = std::make_shared<CaptureBridges>(
      CaptureBridges::Services{loop_, queue_, ocr_, notifier_, scheduler_, clock_, [] { return *Calendar::gregorian("UTC"); },
                               [] { return int64_t{0}; }},
      4173);
  std::shared_ptr<FakePanelPresenter> presenter_ = std::make_shared<FakePanelPresenter>();
};

TEST_F(MainWindowImportTest, ThePanelAsksForReadableFilesAndHandsTheAcceptedOnesToTheDropBridge) {
  controller_->importMaterials();
  EXPECT_TRUE(window_->isVisible());
  ASSERT_EQ(presenter_->openPanels().size(), 1u);
  const auto& request = presenter_->openPanels()[0];
  EXPECT_EQ(request.window, window_);
  EXPECT_EQ(request.panel.title, "整理材料");
  EXPECT_EQ(request.panel.message, "选择截图、照片、文本、Markdown、CSV 或 TSV。先在本机提取文字，确认后才记录。");
  EXPECT_EQ(request.panel.prompt, "整理");
  EXPECT_TRUE(request.panel.canChooseFiles);
  EXPECT_FALSE(request.panel.canChooseDirectories);
  EXPECT_TRUE(request.panel.allowsMultipleSelection);
  EXPECT_EQ(request.panel.allowedExtensions,
            (std::vector<std::string>{"csv", "heic", "jpeg", "jpg", "markdown", "md", "png", "tsv", "txt"}));

  const std::string notes = writeFile("notes.md", "# 会议\n要点");
  const std::string program = writeFile("tool.exe", "MZ");
  presenter_->answerOpen(0, std::vector<std::string>{program, notes});
  ASSERT_TRUE(loop_.waitFor([&] { return !deliveries().empty(); }));
  loop_.runUntilIdle();
  const auto found = deliveries();
  ASSERT_EQ(found.size(), 1u);
  EXPECT_NE(found[0].dump().find("notes.md"), std::string::npos);
  EXPECT_NE(found[0].dump().find("要点"), std::string::npos);
}

TEST_F(MainWindowImportTest, CancellingOrAGoneWindowDeliversNothing) {
  controller_->importMaterials();
  presenter_->answerOpen(0, std::nullopt);
  controller_->importMaterials();
  controller_.reset();
  presenter_->answerOpen(1, std::vector<std::string>{writeFile("a.txt", "x")});
  loop_.runUntilIdle();
  EXPECT_TRUE(deliveries().empty());
}

}  // namespace
}  // namespace tovarin
