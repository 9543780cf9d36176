#include "platform/linux/DbusWidgetTimelines.h"

#include <gio/gio.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <string>
#include <vector>

#include "base/WidgetReloadSignal.h"
#include "tests/support/LogRecorder.h"
#include "tests/support/PrivateDbus.h"

namespace tovarin {
namespace {

struct Received {
  std::string path, interface, member, signature;
};

// A listener on the bus, driven from the test thread through its own context.
class SignalListener final {
 public:
  explicit SignalListener(const std::string& address) : context_(g_main_context_new()) {
    g_main_context_push_thread_default(context_);
    connection_ = g_dbus_connection_new_for_address_sync(
        address.c_str(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, nullptr);
    if (connection_) {
      subscription_ = g_dbus_connection_signal_subscribe(connection_, nullptr, WidgetReloadSignal::interfaceName,
                                                         nullptr, nullptr, nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
                                                         &SignalListener::onSignal, this, nullptr);
      // A round trip after the match rule: the bus has it before anything is emitted.
      GVariant* reply = g_dbus_connection_call_sync(connection_, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                    "org.freedesktop.DBus", "GetId", nullptr, nullptr,
                                                    G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
      if (reply) g_variant_unref(reply);
    }
  }
  ~SignalListener() {
    if (connection_) {
      g_dbus_connection_signal_unsubscribe(connection_, subscription_);
      g_object_unref(connection_);
    }
    while (g_main_context_iteration(context_, FALSE)) {
    }
    g_main_context_pop_thread_default(context_);
    g_main_context_unref(context_);
  }
  bool ok() const { return connection_ != nullptr; }
  // Runs the context until `count` signals came or the real timeout passed.
  bool waitFor(size_t count, double seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (received_.size() < count && std::chrono::steady_clock::now() < deadline) {
      g_main_context_iteration(context_, FALSE);
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return received_.size() >= count;
  }
  const std::vector<Received>& received() const { return received_; }

 private:
  static void onSignal(GDBusConnection*, const char*, const char* path, const char* interface, const char* member,
                       GVariant* parameters, gpointer self) {
    static_cast<SignalListener*>(self)->received_.push_back(
        {path, interface, member, parameters ? g_variant_get_type_string(parameters) : "()"});
  }

  GMainContext* context_;
  GDBusConnection* connection_ = nullptr;
  guint subscription_ = 0;
  std::vector<Received> received_;
};

TEST(DbusWidgetTimelinesTest, EachReloadIsOneSignalOnTheBus) {
  PrivateDbus bus;
  ASSERT_FALSE(bus.address().empty()) << bus.error();
  SignalListener listener(bus.address());
  ASSERT_TRUE(listener.ok());
  LogRecorder logs;
  DbusWidgetTimelines widgets(bus.address());
  widgets.reloadAllTimelines();
  widgets.reloadAllTimelines();
  ASSERT_TRUE(listener.waitFor(2, 20));
  listener.waitFor(3, 0.2);  // and no more than asked for
  ASSERT_EQ(listener.received().size(), 2u);
  for (const auto& signal : listener.received()) {
    EXPECT_EQ(signal.path, "/com/orvik/TheTovarin/Widget");
    EXPECT_EQ(signal.interface, "com.orvik.TheTovarin.Widget");
    EXPECT_EQ(signal.member, "ReloadAllTimelines");
    EXPECT_EQ(signal.signature, "()");
  }
  EXPECT_TRUE(logs.lines().empty());
}

TEST(DbusWidgetTimelinesTest, WithoutABusItLogsOnceAndDoesNothing) {
  LogRecorder logs;
  DbusWidgetTimelines widgets("unix:path=/nonexistent/tovarin-test/bus");
  widgets.reloadAllTimelines();
  widgets.reloadAllTimelines();
  widgets.reloadAllTimelines();
  auto lines = logs.lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].rfind("[orvik] widget reload: no session bus (", 0), 0u) << lines[0];
}

}  // namespace
}  // namespace tovarin
