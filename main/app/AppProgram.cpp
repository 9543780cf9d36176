#include "main/app/AppProgram.h"

#include <chrono>
#include <cstdlib>
#include <string>

#include "base/BeastEventStream.h"
#include "base/BeastHttpClient.h"
#include "base/BeastWebSocketClient.h"
#include "base/SerialQueue.h"
#include "base/UserDefaults.h"
#include "main/activity/ActivityRecord.h"
#include "main/activity_ui/ActivityController.h"
#include "main/app/ActivityMenuPart.h"
#include "main/app/AppProgramParts.h"
#include "main/config/AppConfig.h"
#include "main/voice/CloudVoiceSpeaker.h"
#include "main/voice/MainLoopVoiceTimers.h"
#include "main/voice/StreamingVoicePlayer.h"
#include "main/voice/VoiceEngine.h"
#include "platform/glib/GlibMainLoop.h"
#include "platform/gtk/ActivityGtkDesktop.h"
#include "platform/gtk/AppGtkApplication.h"
#include "platform/gtk/AppGtkDesktop.h"
#include "platform/gtk/GnomeAccessibilitySettings.h"
#include "platform/gtk/GtkDesktop.h"
#include "platform/gtk/GtkDropHost.h"
#include "platform/gtk/GtkSystemNotifier.h"
#include "platform/gtk/GtkWebViewProvider.h"
#include "platform/gtk/SheetPresenter.h"
#include "platform/gtk/StickyGtkChromeSurfaceProvider.h"
#include "platform/linux/DbusWidgetTimelines.h"
#include "platform/linux/EspeakVoiceCatalog.h"
#include "platform/linux/EspeakVoiceSpeaker.h"
#include "platform/linux/LinuxActivityCapturePlatform.h"
#include "platform/linux/LinuxPresenceProbe.h"
#include "platform/linux/LinuxVoiceAuthorizer.h"
#include "platform/linux/ModuleTextRecognizer.h"
#include "platform/linux/NoVoiceRecognizerFactory.h"
#include "platform/linux/PulseMicrophone.h"
#include "platform/linux/PulsePcmOutput.h"
#include "platform/linux/SecretServiceKeyStore.h"
#include "platform/linux/SndfileClipPlayer.h"
#include "platform/linux/TimerfdWallClockAlarm.h"

namespace tovarin {
namespace {

// $XDG_CACHE_HOME when absolute, else ~/.cache: where the drawn mark is kept.
std::string iconDirectory() {
  const char* cache = std::getenv("XDG_CACHE_HOME");
  std::string base;
  if (cache && cache[0] == '/') {
    base = cache;
  } else {
    const char* home = std::getenv("HOME");
    base = std::string(home ? home : "") + "/.cache";
  }
  return base + "/TheTovarin/icons";
}

int64_t millisecondsSince1970() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

// Dictation and read-aloud on this desktop: the sound server the session names
// (PULSE_SERVER), espeak-ng voices, and the local server's relay for recognition,
// cloud voices and streamed speech.
std::shared_ptr<VoiceEngine> makeVoiceEngine(MainLoop& loop, const Bundle& bundle) {
  VoiceEngine::Parts parts;
  parts.recognizers = std::make_shared<NoVoiceRecognizerFactory>();
  parts.microphone = std::make_shared<PulseMicrophone>();
  parts.authorizer = std::make_shared<LinuxVoiceAuthorizer>(bundle, [] { return PulseMicrophone::hasInputDevice(); });
  parts.synthesizer = EspeakVoiceSpeaker::create(loop);
  parts.timers = std::make_shared<MainLoopVoiceTimers>(loop);
  parts.catalog = std::make_shared<EspeakVoiceCatalog>();
  auto clips = std::make_shared<SndfileClipPlayer>(loop);
  parts.makeCloudSpeaker = [&loop, clips](std::shared_ptr<VoiceCloudTransport> transport) {
    return CloudVoiceSpeaker::create(loop, std::move(transport), clips);
  };
  parts.makeStreamPlayer = [&loop] {
    return std::make_shared<StreamingVoicePlayer>(
        std::make_unique<PulsePcmOutput>(loop, static_cast<int>(SpeakStreamProtocol::sampleRate), 1));
  };
  return VoiceEngine::create(loop, std::move(parts));
}

ServerController::Options serverOptions(std::shared_ptr<ProcessEnvironment> serverOnly) {
  ServerController::Options options;
  options.serverOnlyEnvironment = std::move(serverOnly);
  return options;
}

AppDelegate::Identity identityOf(const Bundle& bundle) {
  return AppDelegate::Identity{AppIdentity::productName(bundle), AppIdentity::version(bundle)};
}

}  // namespace

// Declared in the order they are needed; destroyed in reverse, the delegate first and
// the loop last.
struct AppProgram::Parts {
  explicit Parts(AppGtkApplication& application)
      : notifier(static_cast<GApplication*>(application.nativeApplication())),
        appDesktop(AppGtkDesktop::Options{application.nativeApplication(), "the-tovarin",
                                          config.bundle.resource("TheTovarinMark", "svg"), iconDirectory()}),
        parts(config,
              AppProgramParts::Services{loop, background, desktop, webViews, *accessibility, chromeSurfaces, defaults,
                                        http, eventStream, widgets, presenceProbe, stickyPanels, capture,
                                        [](Window& window, WebView& webView) -> std::shared_ptr<DropHost> {
                                          return GtkDropHost::create(window, webView);
                                        },
                                        voice, &sockets},
              serverOptions(serverOnlyEnvironment)),
        delegate(AppDelegate::create(config, identityOf(config.bundle), loop, background, parts, appDesktop)) {
    parts.setActivityMaker([this] { return makeActivity(); });
  }

  std::shared_ptr<AppActivity> makeActivity() {
    const std::string directory = config.dataDirectory() + "/Activity";
    auto capturePlatform = std::make_shared<LinuxActivityCapturePlatform>(loop);
    ActivityRecord::Options recordOptions;
    recordOptions.directory = directory;
    recordOptions.keyStore = std::make_shared<SecretServiceKeyStore>(directory, std::string());
    recordOptions.serverEnvironment = serverOnlyEnvironment;
    recordOptions.platform = capturePlatform;
    recordOptions.setPageCookie = [this](const std::string& host, const std::string& name, const std::string& value,
                                         const std::string& path) { webViews.setSessionCookie(host, name, value, path); };
    auto record = ActivityRecord::create(loop, defaults, std::move(recordOptions));
    auto activityDesktop = std::make_shared<ActivityGtkDesktop>(loop, capturePlatform->entries());
    auto controller = ActivityController::create(loop, std::move(record), {activityPanels, activityDesktop});
    activityDesktop->setController(controller);
    return std::make_shared<ActivityMenuPart>(std::move(controller));
  }

  static std::shared_ptr<CaptureBridges> makeCapture(Parts& p) {
    return std::make_shared<CaptureBridges>(
        CaptureBridges::Services{p.loop, p.dropQueue, p.ocr, p.notifier, p.reminders, p.wallClock,
                                 Calendar::gregorianInCurrentZone, millisecondsSince1970},
        p.config.port);
  }

  GlibMainLoop loop;
  SerialQueue background{"com.orvik.thetovarin.launch"};
  AppConfig config = AppConfig::load();
  UserDefaults defaults{UserDefaults::standardPath()};
  std::shared_ptr<GnomeAccessibilitySettings> accessibility = GnomeAccessibilitySettings::create(loop);
  GtkDesktop desktop{loop};
  GtkWebViewProvider webViews{loop, GtkWebViewProvider::defaultOptions()};
  StickyGtkChromeSurfaceProvider chromeSurfaces;
  std::shared_ptr<BeastHttpClient> http = std::make_shared<BeastHttpClient>();
  BeastEventStream eventStream;
  BeastWebSocketClient sockets;
  std::shared_ptr<VoiceEngine> voice = makeVoiceEngine(loop, config.bundle);
  DbusWidgetTimelines widgets;
  LinuxPresenceProbe presenceProbe;
  std::shared_ptr<SheetPresenter> stickyPanels =
      std::make_shared<SheetPresenter>(loop, SheetPresenter::Attachment::applicationModal);
  // Recognition runs on its queue; the queue is declared after the service so that it
  // stops, finishing a run in progress, before the service goes.
  OcrService ocr{loop, ocrQueue, std::make_shared<ModuleTextRecognizer>()};
  SerialQueue ocrQueue{std::string(OcrService::queueLabel)};
  SerialQueue dropQueue{"com.orvik.thetovarin.drop"};
  GtkSystemNotifier notifier;
  TimerfdWallClockAlarm wallClock;
  // The kept reminders are read here, so the window never waits for a large file.
  SerialQueue reminderQueue{"com.orvik.thetovarin.reminders"};
  ReminderScheduler reminders{config.dataDirectory() + "/reminders.json", notifier, wallClock, loop, reminderQueue};
  std::shared_ptr<CaptureBridges> capture = makeCapture(*this);
  // The bridge's variables, for the server child alone.
  std::shared_ptr<ProcessEnvironment> serverOnlyEnvironment =
      std::make_shared<ProcessEnvironment>(std::vector<std::string>{});
  std::shared_ptr<SheetPresenter> activityPanels =
      std::make_shared<SheetPresenter>(loop, SheetPresenter::Attachment::applicationModal);
  AppGtkDesktop appDesktop;
  AppProgramParts parts;
  std::shared_ptr<AppDelegate> delegate;
};

AppProgram::AppProgram(AppGtkApplication& application) : parts_(std::make_unique<Parts>(application)) {}

AppProgram::~AppProgram() = default;

AppDelegate& AppProgram::delegate() { return *parts_->delegate; }

}  // namespace tovarin
