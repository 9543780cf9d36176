#include "platform/linux/LogindSession.h"

#include <gio/gio.h>
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <future>
#include <thread>

#include "tests/support/PrivateDbus.h"

namespace tovarin {
namespace {

// Plays logind on a private bus: owns "org.freedesktop.login1" and serves the caller's
// session object with a "LockedHint" whose value the test chooses (null: an error).
class FakeLogind final {
 public:
  using Value = std::function<GVariant*()>;

  FakeLogind(const std::string& address, Value value, const char* propertyType = "b",
             const char* objectPath = "/org/freedesktop/login1/session/auto")
      : value_(std::move(value)) {
    std::promise<bool> ready;
    auto started = ready.get_future();
    thread_ = std::thread([&, propertyType, objectPath] { serve(address, propertyType, objectPath, ready); });
    ok_ = started.get();
  }
  ~FakeLogind() {
    if (loop_) g_main_loop_quit(loop_);
    thread_.join();
  }
  bool ok() const { return ok_; }
  void setValue(Value value) {
    std::lock_guard lock(mutex_);
    value_ = std::move(value);
  }

 private:
  static GVariant* getProperty(GDBusConnection*, const char*, const char*, const char*, const char*, GError** error,
                               gpointer self) {
    auto* fake = static_cast<FakeLogind*>(self);
    std::lock_guard lock(fake->mutex_);
    GVariant* value = fake->value_();
    if (!value) g_set_error_literal(error, G_DBUS_ERROR, G_DBUS_ERROR_FAILED, "no hint");
    return value;
  }

  void serve(const std::string& address, const char* propertyType, const char* objectPath, std::promise<bool>& ready) {
    GMainContext* context = g_main_context_new();
    g_main_context_push_thread_default(context);
    GDBusConnection* connection = g_dbus_connection_new_for_address_sync(
        address.c_str(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, nullptr);
    bool ok = connection != nullptr;
    guint registration = 0;
    if (ok) {
      const std::string xml = std::string("<node><interface name='org.freedesktop.login1.Session'>") +
                              "<property name='LockedHint' type='" + propertyType + "' access='read'/>" +
                              "</interface></node>";
      GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(xml.c_str(), nullptr);
      static const GDBusInterfaceVTable vtable = {nullptr, &FakeLogind::getProperty, nullptr, {}};
      registration =
          g_dbus_connection_register_object(connection, objectPath, node->interfaces[0], &vtable, this, nullptr, nullptr);
      g_dbus_node_info_unref(node);
      GVariant* reply = g_dbus_connection_call_sync(
          connection, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
          g_variant_new("(su)", "org.freedesktop.login1", 0u), G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, 5000,
          nullptr, nullptr);
      ok = registration != 0 && reply != nullptr;
      if (reply) g_variant_unref(reply);
    }
    if (ok) loop_ = g_main_loop_new(context, FALSE);
    ready.set_value(ok);
    if (ok) g_main_loop_run(loop_);
    if (registration) g_dbus_connection_unregister_object(connection, registration);
    if (connection) {
      g_dbus_connection_close_sync(connection, nullptr, nullptr);
      g_object_unref(connection);
    }
    if (loop_) g_main_loop_unref(loop_);
    g_main_context_pop_thread_default(context);
    g_main_context_unref(context);
  }

  std::mutex mutex_;
  Value value_;  // mutex_
  std::thread thread_;
  GMainLoop* loop_ = nullptr;  // set before ready, read after
  bool ok_ = false;
};

TEST(LogindSessionTest, ReadsTheSessionsLockedHintEachTime) {
  PrivateDbus bus;
  ASSERT_FALSE(bus.address().empty()) << bus.error();
  FakeLogind logind(bus.address(), [] { return g_variant_new_boolean(TRUE); });
  ASSERT_TRUE(logind.ok());
  LogindSession session(bus.address());
  EXPECT_EQ(session.lockedHint(), true);
  logind.setValue([] { return g_variant_new_boolean(FALSE); });
  EXPECT_EQ(session.lockedHint(), false);
}

TEST(LogindSessionTest, AnswersNothingWhenLogindCannotTell) {
  PrivateDbus bus;
  ASSERT_FALSE(bus.address().empty()) << bus.error();
  {
    SCOPED_TRACE("nobody owns the logind name");
    LogindSession session(bus.address());
    EXPECT_EQ(session.lockedHint(), std::nullopt);
  }
  {
    SCOPED_TRACE("the property fails");
    FakeLogind logind(bus.address(), [] { return static_cast<GVariant*>(nullptr); });
    ASSERT_TRUE(logind.ok());
    EXPECT_EQ(LogindSession(bus.address()).lockedHint(), std::nullopt);
  }
  {
    SCOPED_TRACE("the property is not a Boolean");
    FakeLogind logind(bus.address(), [] { return g_variant_new_string("yes"); }, "s");
    ASSERT_TRUE(logind.ok());
    EXPECT_EQ(LogindSession(bus.address()).lockedHint(), std::nullopt);
  }
  {
    SCOPED_TRACE("no session object for the caller");
    FakeLogind logind(bus.address(), [] { return g_variant_new_boolean(TRUE); }, "b",
                      "/org/freedesktop/login1/session/c1");
    ASSERT_TRUE(logind.ok());
    EXPECT_EQ(LogindSession(bus.address()).lockedHint(), std::nullopt);
  }
}

TEST(LogindSessionTest, NoBusMeansNoAnswer) {
  LogindSession session("unix:path=/nonexistent/tovarin-test/bus");
  EXPECT_EQ(session.lockedHint(), std::nullopt);
  EXPECT_EQ(session.lockedHint(), std::nullopt);
}

}  // namespace
}  // namespace tovarin
