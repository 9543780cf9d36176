#include "platform/gtk/AppGtkDesktop.h"

#include <gtk/gtk.h>

#include "platform/gtk/AboutGtkDialog.h"
#include "platform/gtk/MenuGtkBar.h"
#include "platform/gtk/MenuGtkDispatch.h"
#include "platform/gtk/StatusItemIndicator.h"
#include "platform/gtk/StatusItemMark.h"

namespace tovarin {
namespace {

// Indicator hosts draw panel icons at 22 pixels; the About logo scales the same file.
constexpr int kMarkPixels = 22;
constexpr const char* kMarkName = "the-tovarin-mark";

GtkApplication* gtkApplication(void* application) { return GTK_APPLICATION(application); }

}  // namespace

AppGtkDesktop::AppGtkDesktop(Options options)
    : options_(std::move(options)),
      dispatch_(std::make_unique<MenuGtkDispatch>(gtkApplication(options_.application))),
      menuBar_(std::make_unique<MenuGtkBar>(gtkApplication(options_.application), *dispatch_)),
      about_(std::make_unique<AboutGtkDialog>()) {}

AppGtkDesktop::~AppGtkDesktop() = default;

void AppGtkDesktop::installMainMenu(const std::vector<MenuItem>& menus, std::weak_ptr<AppMenuTarget> target) {
  dispatch_->setTarget(std::move(target));
  menuBar_->install(menus);
}

void AppGtkDesktop::createStatusItem(const std::string& productName, std::weak_ptr<AppMenuTarget> target) {
  dispatch_->setTarget(std::move(target));
  if (options_.markSvgPath) {
    markPng_ = StatusItemMark::renderPng(*options_.markSvgPath, options_.iconDirectory, kMarkName, kMarkPixels);
  }
  StatusItemIndicator::Icon icon = markPng_ ? StatusItemIndicator::Icon{options_.iconDirectory, kMarkName}
                                            : StatusItemIndicator::Icon{{}, StatusItemMark::fallbackIconName};
  statusItem_ = std::make_unique<StatusItemIndicator>(options_.indicatorId, std::move(icon), productName, *dispatch_);
}

void AppGtkDesktop::setStatusMenu(const std::vector<MenuItem>& items) {
  // The status menu changes with the sticky window; the menubar's actions follow.
  menuBar_->refreshEnabled();
  if (statusItem_) statusItem_->setMenu(items);
}

void AppGtkDesktop::showAbout(const AboutInfo& info) {
  const std::string logo = options_.markSvgPath.value_or(std::string());
  about_->show(info, logo, gtk_application_get_active_window(gtkApplication(options_.application)));
}

void AppGtkDesktop::activateApplication() {
  GtkApplication* application = gtkApplication(options_.application);
  GtkWindow* window = gtk_application_get_active_window(application);
  if (window && gtk_widget_get_visible(GTK_WIDGET(window))) gtk_window_present(window);
}

}  // namespace tovarin
