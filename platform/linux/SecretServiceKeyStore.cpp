#include "platform/linux/SecretServiceKeyStore.h"

#include <gio/gio.h>

#include <algorithm>

#include "base/Log.h"

namespace tovarin {
namespace {

constexpr const char* kService = "org.freedesktop.secrets";
constexpr const char* kServicePath = "/org/freedesktop/secrets";
constexpr const char* kServiceInterface = "org.freedesktop.Secret.Service";
constexpr const char* kItemInterface = "org.freedesktop.Secret.Item";
constexpr const char* kCollectionInterface = "org.freedesktop.Secret.Collection";
// Only what a keyring manager lists the item as: keys are found by their attributes,
// never by this label. Kept as the keys already stored carry it.
constexpr const char* kLabel = "岚笺 Mac 活动记录";
constexpr int kCallTimeoutMilliseconds = 10000;

struct VariantUnref {
  void operator()(GVariant* value) const { g_variant_unref(value); }
};
using Variant = std::unique_ptr<GVariant, VariantUnref>;

ActivityKeyError failureFrom(const GError* error, const char* what) {
  log(std::string("activity keys: ") + what + ": " + (error ? error->message : "no answer"));
  return ActivityKeyError::failure(ActivityKeyError::kGenericFailure);
}

// The attributes every item of this record carries, with the key id when given.
GVariant* attributeDictionary(const std::string& record, const std::string* id) {
  GVariantBuilder builder;
  g_variant_builder_init(&builder, G_VARIANT_TYPE("a{ss}"));
  g_variant_builder_add(&builder, "{ss}", "xdg:schema", SecretServiceKeyStore::kSchemaName);
  g_variant_builder_add(&builder, "{ss}", "record", record.c_str());
  if (id) g_variant_builder_add(&builder, "{ss}", "account", id->c_str());
  return g_variant_builder_end(&builder);
}

std::vector<std::string> pathsOf(GVariant* array) {
  std::vector<std::string> paths;
  GVariantIter iter;
  g_variant_iter_init(&iter, array);
  const char* path = nullptr;
  while (g_variant_iter_next(&iter, "&o", &path)) paths.emplace_back(path);
  return paths;
}

}  // namespace

struct SecretServiceKeyStore::Found {
  std::vector<std::string> unlocked;
  std::vector<std::string> locked;
};

SecretServiceKeyStore::SecretServiceKeyStore(std::string recordDirectory, std::string busAddress)
    : recordDirectory_(std::move(recordDirectory)),
      bus_(busAddress.empty() ? DbusConnection::addressOf(DbusConnection::Bus::session) : std::move(busAddress)) {}

bool SecretServiceKeyStore::ensureSession(ActivityKeyError& why) {
  if (!session_.empty()) return true;
  std::string whyNot;
  GDBusConnection* connection = bus_.ensure(&whyNot);
  if (!connection) {
    log("activity keys: no session bus: " + whyNot);
    why = ActivityKeyError::failure(ActivityKeyError::kGenericFailure);
    return false;
  }
  g_autoptr(GError) error = nullptr;
  Variant reply(g_dbus_connection_call_sync(connection, kService, kServicePath, kServiceInterface, "OpenSession",
                                            g_variant_new("(sv)", "plain", g_variant_new_string("")),
                                            G_VARIANT_TYPE("(vo)"), G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMilliseconds,
                                            nullptr, &error));
  if (!reply) {
    why = failureFrom(error, "no secret service");
    return false;
  }
  g_autoptr(GVariant) output = nullptr;
  const char* path = nullptr;
  g_variant_get(reply.get(), "(v&o)", &output, &path);
  session_ = path;
  return true;
}

bool SecretServiceKeyStore::find(const std::string* id, Found& found, ActivityKeyError& why) {
  if (!ensureSession(why)) return false;
  g_autoptr(GError) error = nullptr;
  Variant reply(g_dbus_connection_call_sync(
      bus_.ensure(), kService, kServicePath, kServiceInterface, "SearchItems",
      g_variant_new("(@a{ss})", attributeDictionary(recordDirectory_, id)), G_VARIANT_TYPE("(aoao)"),
      G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMilliseconds, nullptr, &error));
  if (!reply) {
    session_.clear();  // the service may have gone; open anew next time
    why = failureFrom(error, "search failed");
    return false;
  }
  g_autoptr(GVariant) unlocked = g_variant_get_child_value(reply.get(), 0);
  g_autoptr(GVariant) locked = g_variant_get_child_value(reply.get(), 1);
  found.unlocked = pathsOf(unlocked);
  found.locked = pathsOf(locked);
  return true;
}

ActivityKeyOutcome<std::optional<SecretBytes>> SecretServiceKeyStore::load(const std::string& id) {
  using Outcome = ActivityKeyOutcome<std::optional<SecretBytes>>;
  Found found;
  ActivityKeyError why;
  if (!find(&id, found, why)) return Outcome::failed(why);
  if (!found.locked.empty()) return Outcome::failed(ActivityKeyError::accessDenied(ActivityKeyError::kInteractionNotAllowed));
  if (found.unlocked.empty()) return {std::nullopt, std::nullopt};
  g_autoptr(GError) error = nullptr;
  Variant reply(g_dbus_connection_call_sync(bus_.ensure(), kService, found.unlocked.front().c_str(), kItemInterface,
                                            "GetSecret", g_variant_new("(o)", session_.c_str()),
                                            G_VARIANT_TYPE("((oayays))"), G_DBUS_CALL_FLAGS_NONE,
                                            kCallTimeoutMilliseconds, nullptr, &error));
  if (!reply) return Outcome::failed(failureFrom(error, "reading a key failed"));
  g_autoptr(GVariant) secret = g_variant_get_child_value(reply.get(), 0);
  g_autoptr(GVariant) value = g_variant_get_child_value(secret, 2);
  gsize length = 0;
  const auto* bytes = static_cast<const uint8_t*>(g_variant_get_fixed_array(value, &length, 1));
  SecretBytes key(bytes, length);
  return {std::move(key), std::nullopt};
}

ActivityKeyOutcome<ActivityKeyDone> SecretServiceKeyStore::save(const std::string& id, const SecretBytes& key) {
  using Outcome = ActivityKeyOutcome<ActivityKeyDone>;
  Found found;
  ActivityKeyError why;
  if (!find(&id, found, why)) return Outcome::failed(why);
  // The service would replace an item with the same attributes; a key never is.
  if (!found.unlocked.empty() || !found.locked.empty()) {
    return Outcome::failed(ActivityKeyError::failure(ActivityKeyError::kDuplicateItem));
  }
  GDBusConnection* connection = bus_.ensure();
  g_autoptr(GError) error = nullptr;
  Variant alias(g_dbus_connection_call_sync(connection, kService, kServicePath, kServiceInterface, "ReadAlias",
                                            g_variant_new("(s)", "default"), G_VARIANT_TYPE("(o)"),
                                            G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMilliseconds, nullptr, &error));
  if (!alias) return Outcome::failed(failureFrom(error, "no default keyring"));
  const char* collection = nullptr;
  g_variant_get(alias.get(), "(&o)", &collection);
  if (std::string(collection) == "/") {
    log("activity keys: the session has no default keyring");
    return Outcome::failed(ActivityKeyError::failure(ActivityKeyError::kGenericFailure));
  }

  // A locked keyring would have to be unlocked by a prompt: never from here.
  Variant locked(g_dbus_connection_call_sync(connection, kService, collection, "org.freedesktop.DBus.Properties", "Get",
                                             g_variant_new("(ss)", kCollectionInterface, "Locked"),
                                             G_VARIANT_TYPE("(v)"), G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMilliseconds,
                                             nullptr, &error));
  if (!locked) return Outcome::failed(failureFrom(error, "no default keyring"));
  g_autoptr(GVariant) lockedValue = nullptr;
  g_variant_get(locked.get(), "(v)", &lockedValue);
  if (!lockedValue || !g_variant_is_of_type(lockedValue, G_VARIANT_TYPE_BOOLEAN) || g_variant_get_boolean(lockedValue)) {
    return Outcome::failed(ActivityKeyError::accessDenied(ActivityKeyError::kInteractionNotAllowed));
  }

  GVariantBuilder properties;
  g_variant_builder_init(&properties, G_VARIANT_TYPE("a{sv}"));
  g_variant_builder_add(&properties, "{sv}", "org.freedesktop.Secret.Item.Label", g_variant_new_string(kLabel));
  g_variant_builder_add(&properties, "{sv}", "org.freedesktop.Secret.Item.Attributes",
                        attributeDictionary(recordDirectory_, &id));
  GVariant* value = g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, key.data(), key.size(), 1);
  GVariant* parameters = g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, nullptr, 0, 1);
  Variant created(g_dbus_connection_call_sync(
      connection, kService, collection, kCollectionInterface, "CreateItem",
      g_variant_new("(@a{sv}(o@ay@ays)b)", g_variant_builder_end(&properties), session_.c_str(), parameters, value,
                    "application/octet-stream", FALSE),
      G_VARIANT_TYPE("(oo)"), G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMilliseconds, nullptr, &error));
  if (!created) return Outcome::failed(failureFrom(error, "saving a key failed"));
  const char* item = nullptr;
  const char* prompt = nullptr;
  g_variant_get(created.get(), "(&o&o)", &item, &prompt);
  // A prompt means the keyring is locked: never shown from here.
  if (std::string(item) == "/") {
    return Outcome::failed(ActivityKeyError::accessDenied(ActivityKeyError::kInteractionNotAllowed));
  }
  return {};
}

ActivityKeyOutcome<ActivityKeyDone> SecretServiceKeyStore::remove(const std::string& id) {
  using Outcome = ActivityKeyOutcome<ActivityKeyDone>;
  Found found;
  ActivityKeyError why;
  if (!find(&id, found, why)) return Outcome::failed(why);
  if (!found.locked.empty()) return Outcome::failed(ActivityKeyError::accessDenied(ActivityKeyError::kInteractionNotAllowed));
  for (const std::string& item : found.unlocked) {
    g_autoptr(GError) error = nullptr;
    Variant reply(g_dbus_connection_call_sync(bus_.ensure(), kService, item.c_str(), kItemInterface, "Delete", nullptr,
                                              G_VARIANT_TYPE("(o)"), G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMilliseconds,
                                              nullptr, &error));
    if (!reply) return Outcome::failed(failureFrom(error, "removing a key failed"));
  }
  return {};
}

ActivityKeyOutcome<std::vector<std::string>> SecretServiceKeyStore::allIds() {
  using Outcome = ActivityKeyOutcome<std::vector<std::string>>;
  Found found;
  ActivityKeyError why;
  if (!find(nullptr, found, why)) return Outcome::failed(why);
  if (!found.locked.empty()) return Outcome::failed(ActivityKeyError::accessDenied(ActivityKeyError::kInteractionNotAllowed));
  Outcome outcome;
  for (const std::string& item : found.unlocked) {
    g_autoptr(GError) error = nullptr;
    Variant reply(g_dbus_connection_call_sync(bus_.ensure(), kService, item.c_str(), "org.freedesktop.DBus.Properties",
                                              "Get", g_variant_new("(ss)", kItemInterface, "Attributes"),
                                              G_VARIANT_TYPE("(v)"), G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMilliseconds,
                                              nullptr, &error));
    if (!reply) return Outcome::failed(failureFrom(error, "listing keys failed"));
    g_autoptr(GVariant) attributes = nullptr;
    g_variant_get(reply.get(), "(v)", &attributes);
    const char* account = nullptr;
    if (attributes && g_variant_is_of_type(attributes, G_VARIANT_TYPE("a{ss}")) &&
        g_variant_lookup(attributes, "account", "&s", &account)) {
      outcome.value.emplace_back(account);
    }
  }
  std::sort(outcome.value.begin(), outcome.value.end());
  return outcome;
}

}  // namespace tovarin
