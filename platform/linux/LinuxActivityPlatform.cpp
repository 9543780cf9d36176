#include "platform/linux/LinuxActivityPlatform.h"

#include "platform/linux/UnavailableBrowserAutomation.h"

namespace tovarin {

LinuxActivityPlatform::LinuxActivityPlatform(MainLoop& loop, Options options) {
  platform_.workspace = std::make_shared<ActivityNotificationCenter>(loop);
  platform_.distributed = std::make_shared<ActivityNotificationCenter>(loop);
  std::vector<std::string> folders =
      options.applicationFolders.empty() ? DesktopEntryIndex::defaultFolders() : std::move(options.applicationFolders);
  platform_.desktop = std::make_shared<X11ActivityDesktop>(
      options.displayName, DesktopEntryIndex(std::move(folders), options.locale.value_or(DesktopEntryIndex::defaultLocale())),
      platform_.workspace, options.sessionType);
  platform_.automation = std::make_shared<UnavailableBrowserAutomation>();
  logind_ = std::make_unique<LogindWatcher>(options.systemBusAddress, platform_.workspace, platform_.distributed);
}

ActivityCapture::Platform LinuxActivityPlatform::capturePlatform() const { return platform_; }

}  // namespace tovarin
