#include "main/app/AppProgram.h"

#include <cstdlib>
#include <string>

#include "base/BeastEventStream.h"
#include "base/BeastHttpClient.h"
#include "base/SerialQueue.h"
#include "base/UserDefaults.h"
#include "main/activity_ui/ActivityController.h"
#include "main/app/ActivityMenuPart.h"
#include "main/app/AppProgramParts.h"
#include "main/shell/AppConfig.h"
#include "platform/gtk/AppGtkApplication.h"
#include "platform/gtk/AppGtkDesktop.h"
#include "platform/gtk/GlibMainLoop.h"
#include "platform/gtk/GnomeAccessibilitySettings.h"
#include "platform/gtk/GtkDesktop.h"
#include "platform/gtk/GtkWebViewProvider.h"
#include "platform/gtk/SheetPresenter.h"
#include "platform/gtk/StickyGtkChromeSurfaceProvider.h"
#include "platform/gtk/ActivityGtkDesktop.h"
#include "platform/linux/DbusWidgetTimelines.h"
#include "platform/linux/SecretServiceKeyStore.h"
#include "platform/linux/LinuxPresenceProbe.h"

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
      : appDesktop(AppGtkDesktop::Options{application.nativeApplication(), "the-tovarin",
                                          config.bundle.resource("TheTovarinMark", "svg"), iconDirectory()}),
        parts(config,
              AppProgramParts::Services{loop, background, desktop, webViews, *accessibility, chromeSurfaces, defaults,
                                        http, eventStream, widgets, presenceProbe, stickyPanels},
              serverOptions(serverOnlyEnvironment)),
        delegate(AppDelegate::create(config, identityOf(config.bundle), loop, background, parts, appDesktop)) {
    parts.setActivityMaker([this] { return makeActivity(); });
  }

  std::shared_ptr<AppActivity> makeActivity() {
    const std::string directory = config.dataDirectory() + "/Activity";
    auto activityDesktop = std::make_shared<ActivityGtkDesktop>(loop, webViews);
    ActivityController::Options options;
    options.directory = directory;
    options.keyStore = std::make_shared<SecretServiceKeyStore>(directory, std::string());
    options.serverEnvironment = serverOnlyEnvironment;
    options.panels = activityPanels;
    options.desktop = activityDesktop;
    auto controller = ActivityController::create(loop, defaults, std::move(options));
    activityDesktop->setController(controller);
    return std::make_shared<ActivityMenuPart>(std::move(controller));
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
  DbusWidgetTimelines widgets;
  LinuxPresenceProbe presenceProbe;
  std::shared_ptr<SheetPresenter> stickyPanels =
      std::make_shared<SheetPresenter>(loop, SheetPresenter::Attachment::applicationModal);
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
