#include "main/page/PageBridgeTable.h"

#include <gtest/gtest.h>

#include "main/page/PageMessageHandler.h"
#include "tests/support/FakeWebView.h"

namespace tovarin {
namespace {

// A handler that admits only the main frame and records what reaches it.
struct Recorder {
  std::vector<std::string> asked;
  std::vector<std::string> handled;

  std::shared_ptr<PageBridge> bridge(const std::string& name) {
    return std::make_shared<PageMessageHandler>(
        name,
        [this, name](const MessageSource& source) {
          asked.push_back(name);
          return source.trustedMainFrame();
        },
        [this](const ScriptMessage& message) { handled.push_back(message.name + ":" + message.body.dump()); });
  }
};

const MessageSource page = FakeWebView::mainFrameSource(4173);
const MessageSource child{true, false, "http://127.0.0.1:4173/f.html", "http://127.0.0.1:4173"};

TEST(PageBridgeTableTest, NamesKeepTheOrderTheyWereAddedAndADuplicateIsRefused) {
  Recorder recorder;
  PageBridgeTable table;
  EXPECT_TRUE(table.add(recorder.bridge("mainWindow")));
  EXPECT_TRUE(table.add(recorder.bridge("voice")));
  EXPECT_TRUE(table.add(recorder.bridge("download")));
  EXPECT_FALSE(table.add(recorder.bridge("voice")));
  EXPECT_FALSE(table.add(nullptr));
  EXPECT_EQ(table.messageNames(), (std::vector<std::string>{"mainWindow", "voice", "download"}));
  // The first bridge of the name keeps it: the refused one never hears a message.
  table.handle({"voice", Json(1), page});
  EXPECT_EQ(recorder.handled, (std::vector<std::string>{"voice:1"}));
  EXPECT_EQ(recorder.asked, (std::vector<std::string>{"voice"}));
}

TEST(PageBridgeTableTest, EachMessageGoesToItsBridgeOnlyWhenThatBridgeAdmitsIt) {
  Recorder recorder;
  PageBridgeTable table;
  ASSERT_TRUE(table.add(recorder.bridge("a")));
  ASSERT_TRUE(table.add(recorder.bridge("b")));
  EXPECT_TRUE(table.admits("b", page));
  EXPECT_FALSE(table.admits("b", child));
  EXPECT_FALSE(table.admits("unknown", page));
  table.handle({"a", Json("x"), page});
  table.handle({"b", Json("y"), child});  // refused even though nobody asked first
  table.handle({"unknown", Json("z"), page});
  EXPECT_EQ(recorder.handled, (std::vector<std::string>{"a:\"x\""}));
}

}  // namespace
}  // namespace tovarin
