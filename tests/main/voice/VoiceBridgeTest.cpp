#include "main/voice/VoiceBridge.h"

#include <gtest/gtest.h>

#include "main/page/PageBridgeTable.h"
#include "tests/main/voice/VoiceEngineFakes.h"
#include "tests/support/FakeWebView.h"
#include "tests/support/LogRecorder.h"
#include "tests/support/TempDir.h"

namespace tovarin {
namespace {

using namespace voicefakes;

constexpr const char* origin = "http://127.0.0.1:4173";

bool logged(const LogRecorder& logs, const std::string& fragment) {
  for (const auto& line : logs.lines()) {
    if (line.find(fragment) != std::string::npos) return true;
  }
  return false;
}

struct BridgeRig : Rig {
  TempDir dir;
  UserDefaults defaults{dir.path() + "/defaults.json"};
  std::shared_ptr<FakeWebView> page = std::make_shared<FakeWebView>(WebViewOptions{});
  std::shared_ptr<VoiceBridge> bridge = VoiceBridge::create(loop, engine, &defaults, "main", LocalServer(4173));

  PageBridgeTable table;

  BridgeRig() {
    bridge->attach(page);
    EXPECT_TRUE(table.add(bridge));
  }
  // As the window hands the page's messages on.
  void post(Json body, MessageSource source = FakeWebView::mainFrameSource(4173)) {
    table.handle(ScriptMessage{"voice", std::move(body), std::move(source)});
    run();
  }
  // Takes every payload offered to the page so far, answering each with `accepted`.
  std::vector<Json> offered(bool accepted = true) {
    std::vector<Json> payloads;
    while (!page->pendingCalls().empty()) {
      const auto& call = page->pendingCalls().front();
      EXPECT_EQ(call.script, VoiceBridge::emitScript);
      payloads.push_back(call.arguments->at("payload"));
      page->answerNext(ScriptValue::ofBool(accepted));
      run();
    }
    return payloads;
  }
};

TEST(VoiceBridgeTest, ShapeChecksAndIdLengthInCharacters) {
  const std::string id64 = [] {
    std::string id;
    for (int i = 0; i < 64; ++i) id += "👍🏽";  // one character, several code points
    return id;
  }();
  struct Case {
    const char* name;
    Json body;
    bool served;
  };
  const std::vector<Case> cases = {
      {"empty id is accepted", Json{{"type", "voices"}, {"id", ""}}, true},
      {"64 characters", Json{{"type", "voices"}, {"id", id64}}, true},
      {"65 characters", Json{{"type", "voices"}, {"id", id64 + "a"}}, false},
      {"no id", Json{{"type", "voices"}}, false},
      {"numeric id", Json{{"type", "voices"}, {"id", 7}}, false},
      {"no type", Json{{"id", "a"}}, false},
      {"not an object", Json::array({"voices", "a"}), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    BridgeRig rig;
    LogRecorder logs;
    rig.post(c.body);
    const auto payloads = rig.offered();
    EXPECT_EQ(payloads.size(), c.served ? 1u : 0u);
    EXPECT_EQ(logged(logs, "voice: 收到形状不对的请求，忽略"), !c.served);
  }
}

TEST(VoiceBridgeTest, RefusedFramesAreLoggedAtMostOnceASecond) {
  BridgeRig rig;
  LogRecorder logs;
  const MessageSource foreign{true, false, "http://localhost:4173/ad.html", "http://localhost:4173"};
  for (int i = 0; i < 20000; ++i) rig.table.handle(ScriptMessage{"voice", Json{{"type", "speak"}, {"id", "s"}}, foreign});
  EXPECT_FALSE(rig.bridge->admits(foreign));
  EXPECT_EQ(logs.matching("[orvik] voice[main]: 不是本地页面的框架发来的请求").size(), 1u);
  rig.loop.advance(1.0);
  rig.post(Json{{"type", "speak"}, {"id", "s"}}, foreign);
  EXPECT_EQ(logs.matching("[orvik] voice[main]: 不是本地页面的框架发来的请求").size(), 2u);
  EXPECT_TRUE(rig.system->spoken.empty());
}

TEST(VoiceBridgeTest, OnlyFramesOfTheLocalServerAreServed) {
  const std::vector<std::pair<const char*, MessageSource>> refused = {
      {"foreign frame", MessageSource{true, false, "https://ads.example/x", "https://ads.example"}},
      {"opaque sandboxed frame", MessageSource{true, false, "http://127.0.0.1:4173/x", "null"}},
      {"facts unknown", MessageSource{false, true, "http://127.0.0.1:4173/index.html", origin}},
      {"another local port", MessageSource{true, true, "http://127.0.0.1:9999/", "http://127.0.0.1:9999"}},
  };
  for (const auto& [name, source] : refused) {
    SCOPED_TRACE(name);
    BridgeRig rig;
    rig.withCloud();
    LogRecorder logs;
    rig.post(Json{{"type", "listen.start"}, {"id", "a"}}, source);
    rig.post(Json{{"type", "speak"}, {"id", "s"}, {"text", "你好"}}, source);
    EXPECT_TRUE(rig.authorizer->microphoneRequests.empty());
    EXPECT_TRUE(rig.system->spoken.empty());
    EXPECT_TRUE(logged(logs, "不是本地页面的框架发来的请求"));
  }
  BridgeRig sameOrigin;
  sameOrigin.post(Json{{"type", "speak"}, {"id", "s"}, {"text", "你好"}},
                  MessageSource{true, false, "http://127.0.0.1:4173/frame.html", origin});
  EXPECT_EQ(sameOrigin.system->spoken.size(), 1u);
}

TEST(VoiceBridgeTest, ProtocolMismatchIsAnsweredAndNothingIsDone) {
  // "protocol" as the page writes it; what is no 64-bit integer is not compared at all.
  struct Case {
    const char* protocol;
    const char* mismatchNamed;  // nullptr: served
  };
  for (const Case& c : {Case{"2", "2"}, Case{"1e16", "10000000000000000"}, Case{"-1", "-1"}, Case{"1", nullptr},
                        Case{"1.0", nullptr}, Case{"18446744073709551615", nullptr}, Case{"1.5", nullptr},
                        Case{"\"2\"", nullptr}, Case{"true", nullptr}}) {
    SCOPED_TRACE(c.protocol);
    BridgeRig rig;
    rig.post(Json::parse(std::string(R"({"type":"speak","id":"s","text":"你好","protocol":)") + c.protocol + "}"));
    if (!c.mismatchNamed) {
      EXPECT_EQ(rig.system->spoken.size(), 1u);
      continue;
    }
    EXPECT_TRUE(rig.system->spoken.empty());
    const auto payloads = rig.offered();
    ASSERT_EQ(payloads.size(), 1u);
    EXPECT_EQ(payloads[0], (Json{{"type", "listen.error"},
                                 {"id", "s"},
                                 {"code", "protocol-mismatch"},
                                 {"message", std::string("页面与外壳的语音协议版本不一致（页面 ") + c.mismatchNamed +
                                                 "，外壳 1）。"}}));
  }
}

TEST(VoiceBridgeTest, DispatchPassesFieldsWithTheirDefaults) {
  BridgeRig rig;
  rig.withCloud();
  rig.post(Json{{"type", "speak"}, {"id", "s"}, {"text", "hello"}, {"locale", "en-US"}, {"rate", 2.0}});
  ASSERT_EQ(rig.system->spoken.size(), 1u);
  EXPECT_EQ(rig.system->spoken[0]->language, "en-US");
  EXPECT_DOUBLE_EQ(rig.system->spoken[0]->rate, 1.0);
  rig.post(Json{{"type", "speak"}, {"id", "t"}, {"text", "你好"}, {"locale", 5}, {"rate", "fast"}});
  rig.system->cancelled(0);
  ASSERT_EQ(rig.system->spoken.size(), 2u);
  EXPECT_EQ(rig.system->spoken[1]->language, "zh-CN");
  EXPECT_DOUBLE_EQ(rig.system->spoken[1]->rate, 0.5);

  rig.post(Json{{"type", "speak.stream.start"}, {"id", "x"}, {"target", std::string(65, 'a')}});
  EXPECT_TRUE(rig.players.empty());
  rig.post(Json{{"type", "speak.stream.start"}, {"id", "x"}, {"target", "st"}, {"voice", 101.0}, {"rate", 1.5}});
  ASSERT_EQ(rig.players.size(), 1u);
  EXPECT_DOUBLE_EQ(rig.transport->speakRate, 1.5);
  rig.post(Json{{"type", "speak.stream.text"}, {"id", "x"}, {"target", "st"}});  // no text: nothing
  rig.post(Json{{"type", "speak.stream.text"}, {"id", "x"}, {"target", "st"}, {"text", "一段"}});
  rig.post(Json{{"type", "speak.stream.end"}, {"id", "x"}, {"target", "st"}});
  EXPECT_EQ(rig.transport->speakSession->texts, std::vector<std::string>{"一段"});
  EXPECT_TRUE(rig.transport->speakSession->ended);

  LogRecorder logs;
  rig.post(Json{{"type", "dance"}, {"id", "x"}});
  EXPECT_TRUE(logged(logs, "voice: 不认识的请求 dance"));
}

TEST(VoiceBridgeTest, PreferencesAreStoredAndConfigureCloudReadsThem) {
  BridgeRig rig;
  rig.withCloud();
  rig.post(Json{{"type", "preferences"}, {"id", "p"}, {"onDeviceOnly", true}});
  EXPECT_TRUE(rig.engine->onDeviceOnly());
  EXPECT_TRUE(UserDefaults(rig.defaults.path()).boolean(VoiceBridge::onDeviceOnlyKey));
  rig.transport->refreshes.at(0)(std::nullopt);
  rig.run();
  auto payloads = rig.offered();
  ASSERT_EQ(payloads.size(), 1u);
  EXPECT_EQ(payloads[0]["type"], "ready");
  EXPECT_EQ(payloads[0]["onDeviceOnly"], true);

  Rig fresh;
  std::string base;
  VoiceBridge::configureCloud(*fresh.engine, 4173, rig.defaults, [&](const std::string& url) {
    base = url;
    return fresh.transport;
  });
  EXPECT_EQ(base, "http://127.0.0.1:4173");
  EXPECT_TRUE(fresh.engine->onDeviceOnly());
  EXPECT_EQ(fresh.engine->cloud(), fresh.transport);
  EXPECT_EQ(fresh.transport->refreshes.size(), 1u);
}

TEST(VoiceBridgeTest, CapabilitiesAreAnsweredOnceWhicheverComesFirst) {
  BridgeRig slow;
  slow.withCloud();
  slow.post(Json{{"type", "capabilities"}, {"id", ""}});
  slow.loop.advance(1.49);
  EXPECT_TRUE(slow.page->pendingCalls().empty());
  slow.loop.advance(0.01);
  slow.transport->refreshes.at(0)(std::nullopt);  // too late
  slow.loop.advance(5);
  auto payloads = slow.offered();
  ASSERT_EQ(payloads.size(), 1u);
  EXPECT_EQ(payloads[0]["type"], "ready");
  EXPECT_EQ(payloads[0]["id"], "");

  BridgeRig quick;
  quick.withCloud();
  quick.post(Json{{"type", "capabilities"}, {"id", "c"}, {"locale", "en-US"}});
  VoiceCloudStatus status;
  status.speakAvailable = true;
  quick.transport->cached = status;
  quick.transport->refreshes.at(0)(status);
  quick.run();
  payloads = quick.offered();
  quick.loop.advance(5);
  EXPECT_TRUE(quick.offered().empty());  // the timer's try finds it answered
  ASSERT_EQ(payloads.size(), 1u);
  EXPECT_EQ(payloads[0]["humanVoice"], true);  // the fresh status
  EXPECT_EQ(quick.recognizers->asked.back(), "en-US");
}

TEST(VoiceBridgeTest, EventsAreOfferedUntilThePageAnswersTrue) {
  for (ScriptValue refusal : {ScriptValue::ofBool(false), ScriptValue::nullValue(), ScriptValue::ofNumber(1),
                              ScriptValue::error("ReferenceError")}) {
    BridgeRig rig;
    LogRecorder logs;
    rig.bridge->emit(Json{{"type", "speak.end"}, {"id", "s"}});
    rig.run();
    int offers = 0;
    while (!rig.page->pendingCalls().empty()) {
      ++offers;
      rig.page->answerNext(refusal);
      rig.loop.advance(VoiceBridge::retryDelay);
    }
    EXPECT_EQ(offers, 41);
    EXPECT_TRUE(logged(logs, "voice[main]: 事件送不出去，页面一直没就绪"));
  }
  BridgeRig taken;
  taken.bridge->emit(Json{{"n", 1}});
  taken.bridge->emit(Json{{"n", 2}});
  taken.run();
  taken.page->answerNext(ScriptValue::ofBool(false));
  taken.page->answerNext(ScriptValue::ofBool(true));
  taken.loop.advance(VoiceBridge::retryDelay);
  ASSERT_EQ(taken.page->pendingCalls().size(), 1u);
  EXPECT_EQ(taken.page->pendingCalls().front().arguments->at("payload")["n"], 1);
  taken.page->answerNext(ScriptValue::ofBool(true));
  taken.loop.advance(10);
  EXPECT_TRUE(taken.page->pendingCalls().empty());
}

TEST(VoiceBridgeTest, ReleaseAndSilenceFollowTheirReasons) {
  BridgeRig rig;
  rig.withCloud();
  rig.post(Json{{"type", "listen.start"}, {"id", "a"}});
  rig.bridge->systemWantsSilence();  // a dictation waiting for permission stays
  rig.run();
  EXPECT_TRUE(rig.offered().empty());
  rig.bridge->release("window-closed");
  rig.run();
  auto payloads = rig.offered();
  ASSERT_EQ(payloads.size(), 1u);
  EXPECT_EQ(payloads[0]["code"], "aborted");
  EXPECT_EQ(payloads[0]["reason"], "window-closed");

  rig.grantMicrophone();  // the late answer opens nothing
  EXPECT_EQ(rig.microphone->opens, 0);

  rig.post(Json{{"type", "listen.start"}, {"id", "b"}});
  rig.grantMicrophone();
  rig.offered();
  rig.bridge->systemWantsSilence();
  rig.run();
  payloads = rig.offered();
  ASSERT_EQ(payloads.size(), 1u);
  EXPECT_EQ(payloads[0]["reason"], "app-inactive");

  rig.post(Json{{"type", "speak"}, {"id", "s"}, {"text", "读"}});
  rig.post(Json{{"type", "listen.cancel"}, {"id", "x"}});
  EXPECT_EQ(rig.system->stops, 1);
}

}  // namespace
}  // namespace tovarin
