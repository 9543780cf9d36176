#include "main/page/WebViewFactory.h"

#include <gtest/gtest.h>

#include "tests/support/FakeWebViewProvider.h"
#include "tokens/TovarinMark.h"
#include "tokens/TovarinWebTokens.h"

namespace tovarin {
namespace {

size_t occurrences(const std::string& text, std::string_view part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++count;
  return count;
}

StartupNotice sampleNotice() {
  StartupNotice notice;
  notice.cause = ServerStartupFailure::exitedAfterStart;
  notice.headline = "本机服务没有接上";
  notice.summary = "本机服务启动后很快退出了。可以点「重试」。";
  notice.shortReason = "服务启动后退出";
  notice.detail = "端口 4173\n等了 12 秒";
  return notice;
}

class Recorder final : public WebViewClient {
 public:
  void webViewDidReceiveMessage(const ScriptMessage& message) override { names.push_back(message.name); }
  std::vector<std::string> names;
};

TEST(WebViewFactoryTest, MakeRegistersTheNamesInstallsOneScriptAndSetsTheClient) {
  FakeWebViewProvider provider;
  auto client = std::make_shared<Recorder>();
  auto view = WebViewFactory::make(provider, true, "is-native-sticky", {"a11y-show-borders"}, client,
                                   {"sticky", "voice", "startup"});
  auto fake = provider.last();
  ASSERT_EQ(view, fake);
  EXPECT_TRUE(fake->options().transparent);
  EXPECT_EQ(fake->options().messageNames, (std::vector<std::string>{"sticky", "voice", "startup"}));
  ASSERT_EQ(fake->documentStartScripts().size(), 1u);
  EXPECT_EQ(fake->documentStartScripts()[0],
            "document.documentElement.classList.add('is-native-sticky');"
            "(function(c){c.remove('a11y-reduce-transparency','a11y-show-borders');c.add('a11y-show-borders');})"
            "(document.documentElement.classList);");
  fake->postMessage("sticky", Json::object());
  EXPECT_EQ(client->names, std::vector<std::string>{"sticky"});
}

TEST(WebViewFactoryTest, InstallingAgainReplacesTheScript) {
  FakeWebViewProvider provider;
  auto view = WebViewFactory::make(provider, false, "is-native-main", {}, {}, {"mainWindow"});
  WebViewFactory::installDocumentStartScripts(*view, "is-native-main", {"a11y-reduce-transparency"});
  const auto& scripts = provider.last()->documentStartScripts();
  ASSERT_EQ(scripts.size(), 1u);
  EXPECT_NE(scripts[0].find("c.add('a11y-reduce-transparency');"), std::string::npos) << scripts[0];
  EXPECT_FALSE(provider.last()->options().transparent);
}

TEST(WebViewFactoryTest, EscapesTheFiveCharactersAmpersandFirst) {
  struct Case {
    std::string_view text;
    std::string_view escaped;
  } cases[] = {
      {"plain 文字", "plain 文字"},
      {"<script>alert('x')</script>", "&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;"},
      {"&lt;", "&amp;lt;"},
      {"a \"quoted\" & 'single'", "a &quot;quoted&quot; &amp; &#39;single&#39;"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(WebViewFactory::escapeHtml(c.text), c.escaped) << c.text;
}

TEST(WebViewFactoryTest, StartingPageHasTheHeadTheBreathingMarkAndTheCaption) {
  const std::string page = WebViewFactory::startingHTML();
  EXPECT_EQ(page.rfind("<!doctype html><html lang=\"zh-Hans\"><meta charset=\"utf-8\"><title>岚笺</title>\n<style>\n" +
                           TovarinWebTokens::css(),
                       0),
            0u);
  EXPECT_NE(page.find("</style>\n" + TovarinMark::svg(28) + "\n<div class=\"caption\" role=\"status\">正在打开岚笺…</div>"),
            std::string::npos);
  EXPECT_NE(page.find(".mark{animation:breathe 1.4s var(--ease) infinite}"), std::string::npos);
  // Reduced motion holds the mark still and fully opaque.
  EXPECT_NE(page.find("@media (prefers-reduced-motion:reduce){.mark{animation:none;opacity:1;transform:none}}"),
            std::string::npos);
  EXPECT_EQ(page.find("<script"), std::string::npos);
  EXPECT_EQ(page.find("<body"), std::string::npos);
}

TEST(WebViewFactoryTest, OfflinePageFullAndCompactForms) {
  struct Case {
    bool compact;
    bool retried;
    std::string_view secondLine;
    double markSize;
  } cases[] = {
      {false, false, "<p data-offline-summary>本机服务启动后很快退出了。可以点「重试」。</p>", 34},
      {true, false, "<p data-offline-summary>服务启动后退出</p>", 28},
      {false, true, "<p data-offline-summary>本机服务启动后很快退出了。可以点「重试」。</p>", 34},
      {true, true, "<p data-offline-summary>服务启动后退出</p>", 28},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "compact " << c.compact << " retried " << c.retried);
    StartupNotice notice = sampleNotice();
    notice.retried = c.retried;
    const std::string page = WebViewFactory::offlineHTML(notice, c.compact);
    EXPECT_NE(page.find(std::string(TovarinWebTokens::focusRing)), std::string::npos);
    const std::string expectedBody = "</style>\n" + TovarinMark::svg(c.markSize) +
                                     "\n<h1 data-offline-headline>本机服务没有接上</h1>\n" + std::string(c.secondLine) +
                                     "\n";
    EXPECT_NE(page.find(expectedBody), std::string::npos) << page;
    const std::string note = "<p class=\"note\" role=\"status\">刚才又试了一次，仍然没有接上。</p>";
    EXPECT_EQ(page.find(note) != std::string::npos, c.retried);
    EXPECT_NE(page.find("<button class=\"btn\" type=\"button\" data-retry>重试</button>"), std::string::npos);
    EXPECT_NE(page.find("<span class=\"on-closed\">查看诊断</span><span class=\"on-open\">收起诊断</span>"),
              std::string::npos);
    EXPECT_NE(page.find("<p class=\"diag\" data-offline-detail>端口 4173\n等了 12 秒</p>"), std::string::npos);
  }
}

TEST(WebViewFactoryTest, OfflinePageRetryScriptPostsOnceThroughTheStartupHandler) {
  const std::string page = WebViewFactory::offlineHTML(sampleNotice(), false);
  EXPECT_EQ(occurrences(page, "<script"), 1u);
  // Hidden when the view has no handler; a disabled button ignores further clicks.
  EXPECT_NE(page.find("handlers['startup']"), std::string::npos);
  EXPECT_NE(page.find("if (!handler) { button.hidden = true; return; }"), std::string::npos);
  EXPECT_NE(page.find("if (button.disabled) return;"), std::string::npos);
  EXPECT_NE(page.find("button.setAttribute('aria-busy', 'true');"), std::string::npos);
  EXPECT_NE(page.find("button.textContent = '正在重试…';"), std::string::npos);
  EXPECT_NE(page.find("handler.postMessage({type: 'retry'});"), std::string::npos);
}

TEST(WebViewFactoryTest, NoticeTextsCannotAddMarkup) {
  StartupNotice notice = sampleNotice();
  notice.headline = "<h1>x</h1>";
  notice.summary = "<img src=x onerror=alert(1)>";
  notice.shortReason = "\"><b>";
  notice.detail = "<script>alert('boom')</script> &lt;";
  for (bool compact : {false, true}) {
    const std::string page = WebViewFactory::offlineHTML(notice, compact);
    EXPECT_EQ(occurrences(page, "<script"), 1u) << "the retry script is the only one";
    EXPECT_EQ(page.find("<img"), std::string::npos);
    EXPECT_EQ(page.find("<b>"), std::string::npos);
    EXPECT_EQ(occurrences(page, "<h1"), 1u);
    EXPECT_NE(page.find("&lt;script&gt;alert(&#39;boom&#39;)&lt;/script&gt; &amp;lt;"), std::string::npos);
  }
}

}  // namespace
}  // namespace tovarin
