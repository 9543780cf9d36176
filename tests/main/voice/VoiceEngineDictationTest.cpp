#include <gtest/gtest.h>

#include "tests/main/voice/VoiceEngineFakes.h"

namespace tovarin {
namespace {

using namespace voicefakes;
using Event = VoiceEngineEvent;

VoiceCloudStatus readyStatus() {
  VoiceCloudStatus status;
  status.available = true;
  status.noticeAccepted = true;
  status.ttsAvailable = true;
  return status;
}

struct RouteCase {
  const char* name;
  bool recognizer, onDevice, cloud, onDeviceOnly;
  std::optional<VoiceCloudStatus> status;
  // Expected: which permission is asked, or the failure.
  bool asksLocal, asksMicrophone;
  std::optional<Event> failure;
};

TEST(VoiceEngineDictationTest, ChoosesTheRouteByRecognizerCloudAndPreference) {
  VoiceCloudStatus unconfigured;
  unconfigured.reason = "cloud-unconfigured";
  VoiceCloudStatus signedOut;
  signedOut.reason = "signed-out";
  VoiceCloudStatus noNotice = readyStatus();
  noNotice.noticeAccepted = false;
  const std::vector<RouteCase> cases = {
      {"on-device recogniser wins over the cloud", true, true, true, false, readyStatus(), true, false, {}},
      {"on-device recogniser, only on device", true, true, false, true, {}, true, false, {}},
      {"no on-device support goes to the cloud", true, false, true, false, readyStatus(), false, true, {}},
      {"unknown status keeps the cloud", false, false, true, false, std::nullopt, false, true, {}},
      {"only on device refuses", true, false, true, true, readyStatus(), false, false,
       Event::Failed{"a", "on-device-unavailable", std::nullopt, "on-device-only"}},
      {"unconfigured relay is no cloud", true, false, true, false, unconfigured, false, false,
       Event::Failed{"a", "on-device-unavailable", std::nullopt, "no-cloud"}},
      {"no transport at all", true, false, false, false, {}, false, false,
       Event::Failed{"a", "on-device-unavailable", std::nullopt, std::nullopt}},
      {"no recogniser, no cloud", false, false, false, false, {}, false, false,
       Event::Failed{"a", "unsupported-locale", std::nullopt, std::nullopt}},
      {"status reason is the failure", false, false, true, false, signedOut, false, false,
       Event::Failed{"a", "signed-out", std::nullopt, std::nullopt}},
      {"notice not accepted", false, false, true, false, noNotice, false, false,
       Event::Failed{"a", "notice-required", std::nullopt, std::nullopt}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    if (c.recognizer) rig.withLocalRecognizer(c.onDevice);
    if (c.cloud) rig.withCloud(c.status);
    rig.engine->setOnDeviceOnly(c.onDeviceOnly);
    rig.listen("a");
    EXPECT_EQ(rig.authorizer->requests.size(), c.asksLocal ? 1u : 0u);
    EXPECT_EQ(rig.authorizer->microphoneRequests.size(), c.asksMicrophone ? 1u : 0u);
    if (c.failure) {
      EXPECT_EQ(rig.owner->take(), (std::vector<Event>{*c.failure}));
      // Idle again: a read-aloud is not refused.
      rig.speak("s", "你好");
      EXPECT_EQ(rig.system->spoken.size(), 1u);
    } else {
      EXPECT_TRUE(rig.owner->events.empty());
    }
  }
}

TEST(VoiceEngineDictationTest, MissingUsageKeysNeverAskForPermission) {
  Rig rig;
  rig.withLocalRecognizer();
  rig.authorizer->missing = {"NSSpeechRecognitionUsageDescription"};
  rig.listen("a");
  EXPECT_TRUE(rig.authorizer->requests.empty());
  EXPECT_EQ(rig.owner->take(), (std::vector<Event>{Event::Failed{"a", "missing-usage-description", std::nullopt, std::nullopt}}));

  Rig cloud;
  cloud.withCloud(readyStatus());
  cloud.authorizer->missing = {"NSMicrophoneUsageDescription"};
  cloud.listen("b");
  EXPECT_TRUE(cloud.authorizer->microphoneRequests.empty());
  EXPECT_EQ(cloud.owner->take(), (std::vector<Event>{Event::Failed{"b", "missing-usage-description", std::nullopt, std::nullopt}}));
}

TEST(VoiceEngineDictationTest, LocaleIsSanitized) {
  EXPECT_EQ(VoiceEngine::sanitizeLocale("zh-CN; rm -rf"), "zh-CNrm-rf");
  EXPECT_EQ(VoiceEngine::sanitizeLocale(""), "zh-CN");
  EXPECT_EQ(VoiceEngine::sanitizeLocale(" ;"), "zh-CN");
  EXPECT_EQ(VoiceEngine::sanitizeLocale("abcdefghijklmnopqrst"), "abcdefghijklmnop");
  EXPECT_EQ(VoiceEngine::sanitizeLocale("en_US"), "en_US");
}

struct LocalRig : Rig {
  LocalRig() { withLocalRecognizer(); }
  void capture(const std::string& id = "a", bool holding = false) {
    listen(id, holding);
    grantLocal();
  }
  Recognizer& recognizer() { return *recognizers->recognizer; }
};

TEST(VoiceEngineDictationTest, OpeningWindowThenFinalGraceEndWithNoSpeech) {
  LocalRig rig;
  rig.capture();
  EXPECT_EQ(rig.owner->take(), (std::vector<Event>{Event::Listening{"a", true, ""}}));
  EXPECT_TRUE(rig.microphone->isOpen());
  rig.loop.advance(7.9);
  EXPECT_TRUE(rig.microphone->isOpen());
  rig.loop.advance(0.1);  // opening window: the stop is committed
  EXPECT_FALSE(rig.microphone->isOpen());
  EXPECT_TRUE(rig.recognizer().tasks.back()->ended);
  EXPECT_TRUE(rig.owner->events.empty());
  rig.loop.advance(1.5);  // no final result within the grace
  EXPECT_EQ(rig.owner->take(), (std::vector<Event>{Event::Failed{"a", "no-speech", std::nullopt, std::nullopt}}));
}

TEST(VoiceEngineDictationTest, SilenceWindowRearmsOnlyOnChangedText) {
  LocalRig rig;
  rig.capture();
  rig.owner->take();
  rig.loop.advance(5.0);
  rig.recognizer().result("你好");
  rig.run();
  rig.loop.advance(1.5);
  rig.recognizer().result("你好");  // unchanged: no event, no re-arm
  rig.run();
  EXPECT_EQ(rig.owner->take(), (std::vector<Event>{Event::Partial{"a", "你好", true}}));
  rig.loop.advance(0.5);  // 2.0 s after the changed text
  EXPECT_FALSE(rig.microphone->isOpen());
  rig.recognizer().result("你好世界", true);
  rig.run();
  EXPECT_EQ(rig.owner->take(),
            (std::vector<Event>{Event::Partial{"a", "你好世界", true}, Event::Finished{"a", "你好世界", true, "final"}}));
  rig.loop.advance(10);
  EXPECT_TRUE(rig.owner->events.empty());
  EXPECT_EQ(rig.loop.pendingTimers(), 0u);
}

TEST(VoiceEngineDictationTest, HoldingRunsNoSilenceTimerAndEndsAtTheCap) {
  LocalRig rig;
  rig.capture("a", true);
  rig.recognizer().result("hello");
  rig.run();
  rig.loop.advance(59.9);
  EXPECT_TRUE(rig.microphone->isOpen());
  rig.loop.advance(0.1);
  EXPECT_FALSE(rig.microphone->isOpen());
  EXPECT_EQ(rig.owner->take().back(), Event(Event::Finished{"a", "hello", true, "max-duration"}));
}

TEST(VoiceEngineDictationTest, BenignRecognizerErrorsEndNormally) {
  for (const char* error : {"kAFAssistantErrorDomain#203", "kAFAssistantErrorDomain#216",
                            "kAFAssistantErrorDomain#301", "kAFAssistantErrorDomain#1110"}) {
    SCOPED_TRACE(error);
    LocalRig silent;
    silent.capture();
    silent.owner->take();
    silent.recognizer().result(std::nullopt, false, error);
    silent.run();
    EXPECT_EQ(silent.owner->take(), (std::vector<Event>{Event::Failed{"a", "no-speech", std::nullopt, std::nullopt}}));

    LocalRig heard;
    heard.capture();
    heard.recognizer().result("说了");
    heard.run();
    heard.owner->take();
    heard.recognizer().result(std::nullopt, false, error);
    heard.run();
    EXPECT_EQ(heard.owner->take(), (std::vector<Event>{Event::Finished{"a", "说了", true, "final"}}));
  }
  LocalRig other;
  other.capture();
  other.owner->take();
  other.recognizer().result(std::nullopt, false, "kAFAssistantErrorDomain#1700");
  other.run();
  EXPECT_EQ(other.owner->take(),
            (std::vector<Event>{Event::Failed{"a", "recognizer-unavailable", "kAFAssistantErrorDomain#1700", std::nullopt}}));
  EXPECT_FALSE(other.microphone->isOpen());

  LocalRig midway;
  midway.capture();
  midway.recognizer().result("一半");
  midway.run();
  midway.owner->take();
  midway.recognizer().result(std::nullopt, false, "kAFAssistantErrorDomain#1700");
  midway.run();
  EXPECT_EQ(midway.owner->take(), (std::vector<Event>{Event::Finished{"a", "一半", true, "error"}}));
}

TEST(VoiceEngineDictationTest, InputChangeCarriesTheTextAcrossTheRestart) {
  struct Case {
    const char* before;
    const char* after;
    const char* joined;
  };
  for (const Case& c : {Case{"hello", "world", "hello world"}, Case{"你好", "世界", "你好世界"},
                        Case{"你好", "world", "你好world"}, Case{"v2", "ok", "v2 ok"}}) {
    SCOPED_TRACE(c.joined);
    LocalRig rig;
    rig.capture();
    rig.recognizer().result(c.before);
    rig.run();
    rig.owner->take();
    rig.microphone->configurationChange();
    rig.run();
    EXPECT_EQ(rig.owner->take(), (std::vector<Event>{Event::Listening{"a", true, VoiceEngine::inputChangedNotice}}));
    EXPECT_FALSE(rig.microphone->isOpen());
    rig.loop.advance(0.35);
    EXPECT_TRUE(rig.microphone->isOpen());
    EXPECT_EQ(rig.owner->take(), (std::vector<Event>{Event::Listening{"a", true, ""}}));
    rig.recognizer().result(c.after, true);
    rig.run();
    EXPECT_EQ(rig.owner->take(), (std::vector<Event>{Event::Partial{"a", c.joined, true},
                                                     Event::Finished{"a", c.joined, true, "final"}}));
  }
}

TEST(VoiceEngineDictationTest, FailedRestartHandsOverWhatWasHeard) {
  LocalRig rig;
  rig.capture();
  rig.recognizer().result("听到了");
  rig.run();
  rig.owner->take();
  rig.microphone->configurationChange();
  rig.run();
  rig.microphone->failNextOpen = VoiceFailure("no-input-device");
  rig.loop.advance(0.35);
  EXPECT_EQ(rig.owner->take(), (std::vector<Event>{Event::Listening{"a", true, VoiceEngine::inputChangedNotice},
                                                   Event::Finished{"a", "听到了", true, "interrupted"}}));
  EXPECT_EQ(rig.recognizer().tasks.back()->cancelled, true);
}

TEST(VoiceEngineDictationTest, InterruptionEndsWithTextOrAborts) {
  LocalRig empty;
  empty.capture();
  empty.owner->take();
  empty.microphone->interruption();
  empty.run();
  EXPECT_EQ(empty.owner->take(), (std::vector<Event>{Event::Failed{"a", "aborted", std::nullopt, "interrupted"}}));

  LocalRig heard;
  heard.capture();
  heard.recognizer().result("一句");
  heard.run();
  heard.owner->take();
  heard.microphone->interruption();
  heard.run();
  EXPECT_EQ(heard.owner->take(), (std::vector<Event>{Event::Finished{"a", "一句", true, "interrupted"}}));
}

TEST(VoiceEngineDictationTest, StopsWithAnotherIdAreIgnoredAndCancelSendsNothing) {
  LocalRig rig;
  rig.capture();
  rig.owner->take();
  rig.engine->stopListening(true, "other");
  rig.run();
  EXPECT_TRUE(rig.microphone->isOpen());
  rig.engine->stopListening(false, "a");
  rig.run();
  EXPECT_FALSE(rig.microphone->isOpen());
  EXPECT_TRUE(rig.owner->events.empty());
}

TEST(VoiceEngineDictationTest, CommittedStopWhileWaitingForPermissionNeverOpensTheMicrophone) {
  LocalRig local;
  local.listen("a", true);
  local.engine->stopListening(true, std::nullopt);
  local.run();
  local.grantLocal();
  EXPECT_EQ(local.microphone->opens, 0);

  Rig cloud;
  cloud.withCloud(readyStatus());
  cloud.listen("b", true);
  cloud.engine->stopListening(true, "b");
  cloud.run();
  cloud.grantMicrophone();
  EXPECT_EQ(cloud.microphone->opens, 0);
  EXPECT_TRUE(cloud.transport->sessions.empty());
  cloud.loop.advance(120);
  EXPECT_TRUE(cloud.owner->events.empty());
}

TEST(VoiceEngineDictationTest, TwoStartsWithOneIdCaptureOnce) {
  LocalRig rig;
  rig.listen("a");
  rig.listen("a");
  rig.grantLocal();
  rig.grantLocal();
  EXPECT_EQ(rig.microphone->opens, 1);
  EXPECT_EQ(rig.recognizer().tasks.size(), 1u);
  EXPECT_EQ(rig.owner->take(), (std::vector<Event>{Event::Listening{"a", true, ""}}));
}

TEST(VoiceEngineDictationTest, AbandonHonoursIdOwnerAndPendingSessions) {
  LocalRig pending;
  pending.listen("a");
  pending.engine->abandon(pending.owner, "app-inactive", false);
  pending.run();
  EXPECT_TRUE(pending.owner->events.empty());
  pending.engine->abandon(pending.other, "window-closed", true);
  pending.run();
  EXPECT_TRUE(pending.owner->events.empty());
  pending.engine->abandon(pending.owner, "window-closed", true);
  pending.run();
  EXPECT_EQ(pending.owner->take(), (std::vector<Event>{Event::Failed{"a", "aborted", std::nullopt, "window-closed"}}));
  pending.grantLocal();
  EXPECT_EQ(pending.microphone->opens, 0);

  LocalRig capturing;
  capturing.capture();
  capturing.owner->take();
  capturing.engine->abandon(capturing.owner, "cancelled", true, "other-id");
  capturing.run();
  EXPECT_TRUE(capturing.microphone->isOpen());
  capturing.engine->abandon(capturing.owner, "app-inactive", false);
  capturing.run();
  EXPECT_FALSE(capturing.microphone->isOpen());
  EXPECT_EQ(capturing.owner->take(), (std::vector<Event>{Event::Failed{"a", "aborted", std::nullopt, "app-inactive"}}));
}

TEST(VoiceEngineDictationTest, ANewStartEndsTheOldSessionWithoutTellingItsOwner) {
  LocalRig rig;
  rig.capture();
  rig.owner->take();
  rig.listen("b", false, rig.other);
  rig.grantLocal();
  EXPECT_TRUE(rig.owner->events.empty());
  EXPECT_EQ(rig.other->take(), (std::vector<Event>{Event::Listening{"b", true, ""}}));
  EXPECT_TRUE(rig.recognizer().tasks.front()->cancelled);
}

struct CloudRig : Rig {
  CloudRig() { withCloud(readyStatus()); }
  void capture(const std::string& id = "a", bool holding = false) {
    listen(id, holding);
    grantMicrophone();
  }
  CloudSession& session() { return *transport->sessions.back(); }
};

TEST(VoiceEngineDictationTest, CloudSessionStreamsStopsAndDeliversTheFinalText) {
  CloudRig rig;
  rig.capture();
  EXPECT_EQ(rig.owner->take(), (std::vector<Event>{Event::Listening{"a", false, VoiceEngine::cloudRouteNotice}}));
  rig.microphone->feed(0.1);
  EXPECT_GT(rig.session().bytes, 0u);
  rig.cloudUpdate(VoiceCloudUpdate::Partial{"今天"});
  rig.engine->stopListening(true, "a");
  rig.run();
  EXPECT_FALSE(rig.microphone->isOpen());
  EXPECT_TRUE(rig.session().finished);
  rig.cloudUpdate(VoiceCloudUpdate::Final{"今天天气好", "final"});
  EXPECT_EQ(rig.owner->take(), (std::vector<Event>{Event::Partial{"a", "今天", false},
                                                   Event::Finished{"a", "今天天气好", false, "final"}}));
  EXPECT_EQ(rig.loop.pendingTimers(), 0u);
}

TEST(VoiceEngineDictationTest, CloudTimersDrainCapAndMapReasons) {
  CloudRig drain;
  drain.capture();
  drain.cloudUpdate(VoiceCloudUpdate::Partial{"等"});
  drain.loop.advance(2.0);  // silence after text ends the input
  EXPECT_TRUE(drain.session().finished);
  drain.loop.advance(7.9);
  EXPECT_EQ(drain.owner->events.size(), 2u);
  drain.loop.advance(0.1);
  EXPECT_EQ(drain.owner->take().back(), Event(Event::Finished{"a", "等", false, "timeout"}));

  CloudRig cap;
  cap.capture("a", true);
  cap.cloudUpdate(VoiceCloudUpdate::Partial{"长"});
  cap.loop.advance(60.0);
  EXPECT_TRUE(cap.session().finished);
  cap.cloudUpdate(VoiceCloudUpdate::Final{"长话", "idle"});
  EXPECT_EQ(cap.owner->take().back(), Event(Event::Finished{"a", "长话", false, "max-duration"}));

  EXPECT_EQ(VoiceEngine::cloudFinishReason(""), "final");
  EXPECT_EQ(VoiceEngine::cloudFinishReason("idle"), "timeout");
  EXPECT_EQ(VoiceEngine::cloudFinishReason("max-duration"), "max-duration");
}

TEST(VoiceEngineDictationTest, CloudFailuresBeforeAndAfterText) {
  CloudRig before;
  before.capture();
  before.owner->take();
  before.cloudUpdate(VoiceCloudUpdate::Failed{"daily-limit", "今天用完了"});
  EXPECT_EQ(before.owner->take(), (std::vector<Event>{Event::Failed{"a", "daily-limit", "今天用完了", std::nullopt}}));
  EXPECT_TRUE(before.session().cancelled);

  CloudRig drained;
  drained.capture();
  drained.cloudUpdate(VoiceCloudUpdate::Partial{"有字"});
  drained.engine->stopListening(true, std::nullopt);
  drained.run();
  drained.cloudUpdate(VoiceCloudUpdate::Failed{"network", std::nullopt});
  EXPECT_EQ(drained.owner->take().back(), Event(Event::Finished{"a", "有字", false, "final"}));

  CloudRig midway;
  midway.capture();
  midway.cloudUpdate(VoiceCloudUpdate::Partial{"有字"});
  midway.cloudUpdate(VoiceCloudUpdate::Failed{"network", std::nullopt});
  EXPECT_EQ(midway.owner->take().back(), Event(Event::Finished{"a", "有字", false, "error"}));
}

TEST(VoiceEngineDictationTest, CloudInputChangeReopensTheMicrophoneOnTheSameSession) {
  CloudRig rig;
  rig.capture();
  rig.owner->take();
  rig.microphone->configurationChange();
  rig.run();
  EXPECT_EQ(rig.owner->take(), (std::vector<Event>{Event::Listening{"a", false, VoiceEngine::inputChangedNotice}}));
  EXPECT_FALSE(rig.microphone->isOpen());
  rig.loop.advance(0.35);
  EXPECT_TRUE(rig.microphone->isOpen());
  EXPECT_EQ(rig.transport->sessions.size(), 1u);
  EXPECT_TRUE(rig.owner->events.empty());  // no second "listening" on the cloud route

  rig.cloudUpdate(VoiceCloudUpdate::Partial{"字"});
  rig.microphone->configurationChange();
  rig.run();
  rig.microphone->failNextOpen = VoiceFailure("no-input-device");
  rig.loop.advance(0.35);
  EXPECT_TRUE(rig.session().finished);  // ends the input, keeps what was heard
  rig.cloudUpdate(VoiceCloudUpdate::Final{"", "final"});
  EXPECT_EQ(rig.owner->take().back(), Event(Event::Finished{"a", "字", false, "interrupted"}));
}

TEST(VoiceEngineDictationTest, CapabilitiesFollowRouteAndPermissions) {
  CloudRig rig;
  VoiceCloudStatus status = readyStatus();
  status.speakAvailable = true;
  status.speakVoices = {{101, "甲"}};
  status.speakDefault = 101;
  rig.transport->cached = status;
  auto caps = rig.engine->capabilities(std::nullopt);
  EXPECT_TRUE(caps.input);
  EXPECT_TRUE(caps.cloudFallback);
  EXPECT_TRUE(caps.humanVoice);
  EXPECT_EQ(caps.humanDefault, 101);
  EXPECT_EQ(rig.recognizers->asked.back(), "zh-CN");

  rig.authorizer->mic = VoicePermission::denied;
  EXPECT_FALSE(rig.engine->capabilities("en-US").input);
  rig.authorizer->mic = VoicePermission::granted;
  rig.authorizer->speechPermission = VoicePermission::denied;
  EXPECT_TRUE(rig.engine->capabilities(std::nullopt).input);  // the cloud needs no speech permission
  rig.engine->setOnDeviceOnly(true);
  caps = rig.engine->capabilities(std::nullopt);
  EXPECT_FALSE(caps.input);
  EXPECT_FALSE(caps.cloudFallback);

  Rig bare;
  caps = bare.engine->capabilities(std::nullopt);
  EXPECT_FALSE(caps.humanVoice);
  EXPECT_EQ(caps.humanDefault, 601000);
}

}  // namespace
}  // namespace tovarin
