#include "platform/gtk/GnomeAccessibilitySettings.h"

#include <gio/gio.h>
#include <gtk/gtk.h>

#include <cassert>
#include <cstring>

namespace tovarin {

namespace {

struct HandlerData {
  std::weak_ptr<GnomeAccessibilitySettings> settings;
};

void freeHandlerData(gpointer data, GClosure*) { delete static_cast<HandlerData*>(data); }

void changed(gpointer, gpointer, gpointer data) {
  if (auto self = static_cast<HandlerData*>(data)->settings.lock()) self->onSomethingChanged();
}

// Only settings whose schema is installed: g_settings_new would abort on a missing one.
GSettings* settingsIfInstalled(const std::string& id) {
  GSettingsSchemaSource* source = g_settings_schema_source_get_default();
  if (!source || id.empty()) return nullptr;
  g_autoptr(GSettingsSchema) schema = g_settings_schema_source_lookup(source, id.c_str(), TRUE);
  return schema ? g_settings_new_full(schema, nullptr, nullptr) : nullptr;
}

bool booleanKey(GSettings* settings, const char* key) {
  if (!settings) return false;
  g_autoptr(GSettingsSchema) schema = nullptr;
  g_object_get(settings, "settings-schema", &schema, nullptr);
  return schema && g_settings_schema_has_key(schema, key) &&
         g_variant_type_equal(g_settings_schema_key_get_value_type(g_settings_schema_get_key(schema, key)),
                              G_VARIANT_TYPE_BOOLEAN) &&
         g_settings_get_boolean(settings, key);
}

std::string stringKey(GSettings* settings, const char* key) {
  if (!settings) return {};
  g_autoptr(GSettingsSchema) schema = nullptr;
  g_object_get(settings, "settings-schema", &schema, nullptr);
  if (!schema || !g_settings_schema_has_key(schema, key)) return {};
  g_autoptr(GVariant) value = g_settings_get_value(settings, key);
  // Enumerations read as strings too.
  if (!g_variant_is_of_type(value, G_VARIANT_TYPE_STRING)) return {};
  return g_variant_get_string(value, nullptr);
}

std::string gtkThemeName() {
  GtkSettings* gtk = gtk_settings_get_default();
  if (!gtk) return {};
  g_autofree char* theme = nullptr;
  g_object_get(gtk, "gtk-theme-name", &theme, nullptr);
  return theme ? theme : "";
}

bool gtkPrefersDark() {
  GtkSettings* gtk = gtk_settings_get_default();
  gboolean dark = FALSE;
  if (gtk) g_object_get(gtk, "gtk-application-prefer-dark-theme", &dark, nullptr);
  return dark;
}

bool contains(const std::string& text, const char* part) {
  g_autofree char* lower = g_ascii_strdown(text.c_str(), -1);
  return std::strstr(lower, part) != nullptr;
}

}  // namespace

std::shared_ptr<GnomeAccessibilitySettings> GnomeAccessibilitySettings::create(MainLoop& loop) {
  return create(loop, Schemas{});
}

std::shared_ptr<GnomeAccessibilitySettings> GnomeAccessibilitySettings::create(MainLoop& loop, Schemas schemas) {
  std::shared_ptr<GnomeAccessibilitySettings> made(new GnomeAccessibilitySettings(loop, std::move(schemas)));
  made->connectSignals();
  return made;
}

GnomeAccessibilitySettings::GnomeAccessibilitySettings(MainLoop& loop, Schemas schemas)
    : loop_(loop),
      accessibility_(settingsIfInstalled(schemas.accessibility)),
      interface_(settingsIfInstalled(schemas.interface)) {
  assert(loop_.isMainThread());
  last_ = read();
}

GnomeAccessibilitySettings::~GnomeAccessibilitySettings() {
  assert(loop_.isMainThread());
  for (auto& [instance, id] : signalHandlers_) g_signal_handler_disconnect(instance, id);
  if (accessibility_) g_object_unref(accessibility_);
  if (interface_) g_object_unref(interface_);
}

void GnomeAccessibilitySettings::connectSignals() {
  auto connect = [this](gpointer instance, const char* signal) {
    const gulong id = g_signal_connect_data(instance, signal, G_CALLBACK(changed),
                                            new HandlerData{weak_from_this()}, freeHandlerData, GConnectFlags(0));
    signalHandlers_.emplace_back(instance, id);
  };
  if (accessibility_) connect(accessibility_, "changed");
  if (interface_) connect(interface_, "changed");
  if (GtkSettings* gtk = gtk_settings_get_default()) {
    connect(gtk, "notify::gtk-theme-name");
    connect(gtk, "notify::gtk-application-prefer-dark-theme");
  }
}

GnomeAccessibilitySettings::Values GnomeAccessibilitySettings::read() const {
  Values values;
  const std::string theme = gtkThemeName();
  values.showBorders = booleanKey(accessibility_, "high-contrast") || contains(theme, "highcontrast");
  values.reduceTransparency = booleanKey(accessibility_, "reduce-transparency");
  values.dark = stringKey(interface_, "color-scheme") == "prefer-dark" || gtkPrefersDark() ||
                contains(theme, "-dark") || contains(theme, ":dark");
  return values;
}

bool GnomeAccessibilitySettings::reduceTransparency() const { return read().reduceTransparency; }
bool GnomeAccessibilitySettings::showBorders() const { return read().showBorders; }
bool GnomeAccessibilitySettings::prefersDarkAppearance() const { return read().dark; }

void GnomeAccessibilitySettings::addObserver(std::weak_ptr<AccessibilitySettingsObserver> observer,
                                             AccessibilityChanges changes) {
  assert(loop_.isMainThread());
  observers_.emplace_back(std::move(observer), changes);
}

void GnomeAccessibilitySettings::onSomethingChanged() {
  assert(loop_.isMainThread());
  const Values now = read();
  const bool bordersChanged = now.showBorders != last_.showBorders;
  const bool anyChanged = bordersChanged || now.reduceTransparency != last_.reduceTransparency || now.dark != last_.dark;
  last_ = now;
  if (!anyChanged) return;
  // Told after the signal returns, never from inside the settings' own emission.
  loop_.post([weak = weak_from_this(), bordersChanged] {
    if (auto self = weak.lock()) self->notify(bordersChanged);
  });
}

void GnomeAccessibilitySettings::notify(bool showBordersChanged) {
  std::erase_if(observers_, [](const auto& entry) { return entry.first.expired(); });
  auto observers = observers_;  // an observer may add another while being told
  for (auto& [weak, changes] : observers) {
    if (changes == AccessibilityChanges::showBordersOnly && !showBordersChanged) continue;
    if (auto observer = weak.lock()) observer->accessibilitySettingsDidChange();
  }
}

}  // namespace tovarin
