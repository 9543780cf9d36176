#include <gtest/gtest.h>
#include <webkit2/webkit2.h>

#include "platform/gtk/GtkWebView.h"
#include "platform/webext/FrameMessageWire.h"
#include "tests/platform/gtk/GlibPump.h"
#include "tests/platform/gtk/GtkTestEnvironment.h"
#include "tests/support/LogRecorder.h"

namespace tovarin {
namespace {

constexpr const char* kLocalOrigin = "http://127.0.0.1:4173";

// Hears only frames of the local origin, and records what it was asked and given.
class AdmittingClient final : public WebViewClient {
 public:
  std::vector<std::string> asked;
  std::vector<ScriptMessage> messages;

  bool webViewAcceptsMessage(const std::string& name, const MessageSource& source) override {
    asked.push_back(name);
    return source.securityOrigin == kLocalOrigin;
  }
  void webViewDidReceiveMessage(const ScriptMessage& message) override { messages.push_back(message); }
};

// The frame facts as the web-process extension sends them, with bodies no page could
// make the extension send: what the view does with them is the view's own check.
TEST(GtkWebViewMessageAdmissionE2ETest, TheFrameIsJudgedFirstAndAnOversizedBodyIsNeverParsed) {
  const std::string jsonString = "\"" + std::string(frame_message_wire::kMaxBodyBytes - 2, 'a') + "\"";
  struct Case {
    const char* handler;
    const char* origin;
    std::string body;
    bool delivered;
    const char* logged;  // the view's own line, if any
  };
  const Case cases[] = {
      {"foreignBroken", "http://localhost:4173", "{not json", false, nullptr},
      {"foreignHuge", "null", jsonString + " ", false, nullptr},
      {"ownHuge", kLocalOrigin, jsonString + " ", false, "its body is too large"},
      {"ownBroken", kLocalOrigin, "{not json", false, "its body is not JSON"},
      {"ownAtTheLimit", kLocalOrigin, jsonString, true, nullptr},
  };
  std::vector<std::string> names;
  for (const auto& c : cases) names.push_back(c.handler);
  auto view = GtkTestEnvironment::instance().provider().makeWebView({false, names});
  auto client = std::make_shared<AdmittingClient>();
  view->setClient(client);
  auto* webkitView = WEBKIT_WEB_VIEW(static_cast<GtkWebView*>(view.get())->widget());
  LogRecorder log;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.handler);
    const auto before = client->messages.size();
    WebKitUserMessage* message = webkit_user_message_new(
        frame_message_wire::kMessageName, g_variant_new(frame_message_wire::kParametersFormat, c.handler, FALSE,
                                                        "http://frame/", c.origin, c.body.c_str()));
    g_object_ref_sink(message);
    gboolean handled = FALSE;
    g_signal_emit_by_name(webkitView, "user-message-received", message, &handled);
    g_object_unref(message);
    EXPECT_TRUE(handled);
    EXPECT_EQ(client->asked.empty() ? "" : client->asked.back(), c.handler);
    EXPECT_EQ(client->messages.size() - before, c.delivered ? 1u : 0u);
    const auto lines = log.matching(std::string("[orvik] dropped a script message for ") + c.handler);
    if (c.logged) {
      ASSERT_EQ(lines.size(), 1u);
      EXPECT_NE(lines[0].find(c.logged), std::string::npos) << lines[0];
    } else {
      EXPECT_TRUE(lines.empty()) << lines.front();
    }
  }
  ASSERT_FALSE(client->messages.empty());
  EXPECT_EQ(client->messages.back().body.get_ref<const std::string&>().size(), jsonString.size() - 2);
  view.reset();
  drainReady();
}

}  // namespace
}  // namespace tovarin
