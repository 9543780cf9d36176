#include "platform/linux/LogindWatcher.h"

#include <gio/gio.h>
#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "main/activity/ActivityCapture.h"
#include "tests/support/ActivityEventText.h"
#include "tests/support/FakeActivityDesktop.h"
#include "tests/support/ManualLoop.h"
#include "tests/support/PrivateDbus.h"
#include "platform/linux/UnavailableBrowserAutomation.h"

namespace tovarin {
namespace {

constexpr const char* sessionPath = "/org/freedesktop/login1/session/c1";

// A bus peer of the test's own: with ownsLogindName it plays logind (owns
// "org.freedesktop.login1" and answers GetSession for the caller's session); either way
// it can emit logind's signals from its connection.
class BusPeer final {
 public:
  BusPeer(const std::string& address, bool ownsLogindName) {
    std::promise<bool> ready;
    auto started = ready.get_future();
    thread_ = std::thread([&] { serve(address, ownsLogindName, ready); });
    ok_ = started.get();
  }
  ~BusPeer() {
    GSource* quit = g_idle_source_new();
    g_source_set_callback(
        quit,
        [](gpointer loop) {
          g_main_loop_quit(static_cast<GMainLoop*>(loop));
          return G_SOURCE_REMOVE;
        },
        loop_, nullptr);
    g_source_attach(quit, context_);
    g_source_unref(quit);
    thread_.join();
    g_main_loop_unref(loop_);
    g_main_context_unref(context_);
  }
  bool ok() const { return ok_; }

  void emit(const char* path, const char* interface, const char* member, GVariant* parameters) {
    g_dbus_connection_emit_signal(connection_, nullptr, path, interface, member, parameters, nullptr);
    g_dbus_connection_flush_sync(connection_, nullptr, nullptr);
  }
  void emitSessionProperty(const char* path, const char* name, bool value) {
    GVariantBuilder changed;
    g_variant_builder_init(&changed, G_VARIANT_TYPE("a{sv}"));
    g_variant_builder_add(&changed, "{sv}", name, g_variant_new_boolean(value));
    emit(path, "org.freedesktop.DBus.Properties", "PropertiesChanged",
         g_variant_new("(sa{sv}as)", "org.freedesktop.login1.Session", &changed, nullptr));
  }

 private:
  static void call(GDBusConnection*, const char*, const char*, const char*, const char* method, GVariant*,
                   GDBusMethodInvocation* invocation, gpointer) {
    if (std::string(method) == "GetSession") {
      g_dbus_method_invocation_return_value(invocation, g_variant_new("(o)", sessionPath));
    } else {
      g_dbus_method_invocation_return_error_literal(invocation, G_DBUS_ERROR, G_DBUS_ERROR_FAILED, "no");
    }
  }

  void serve(const std::string& address, bool ownsLogindName, std::promise<bool>& ready) {
    context_ = g_main_context_new();
    g_main_context_push_thread_default(context_);
    loop_ = g_main_loop_new(context_, FALSE);
    connection_ = g_dbus_connection_new_for_address_sync(
        address.c_str(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, nullptr);
    bool ok = connection_ != nullptr;
    guint registration = 0;
    if (ok && ownsLogindName) {
      GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(
          "<node><interface name='org.freedesktop.login1.Manager'>"
          "<method name='GetSession'><arg type='s' direction='in'/><arg type='o' direction='out'/></method>"
          "<method name='GetSessionByPID'><arg type='u' direction='in'/><arg type='o' direction='out'/></method>"
          "</interface></node>",
          nullptr);
      static const GDBusInterfaceVTable vtable = {&BusPeer::call, nullptr, nullptr, {}};
      registration = g_dbus_connection_register_object(connection_, "/org/freedesktop/login1", node->interfaces[0],
                                                       &vtable, this, nullptr, nullptr);
      g_dbus_node_info_unref(node);
      GVariant* reply = g_dbus_connection_call_sync(
          connection_, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
          g_variant_new("(su)", "org.freedesktop.login1", 0u), G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, 5000,
          nullptr, nullptr);
      ok = registration != 0 && reply != nullptr;
      if (reply) g_variant_unref(reply);
    }
    ready.set_value(ok);
    g_main_loop_run(loop_);
    if (registration) g_dbus_connection_unregister_object(connection_, registration);
    if (connection_) {
      g_dbus_connection_close_sync(connection_, nullptr, nullptr);
      g_object_unref(connection_);
    }
    g_main_context_pop_thread_default(context_);
  }

  std::thread thread_;
  GMainContext* context_ = nullptr;     // set before ready
  GMainLoop* loop_ = nullptr;           // set before ready
  GDBusConnection* connection_ = nullptr;  // set before ready
  bool ok_ = false;
};

class LogindWatcherTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(bus_.address().empty()) << bus_.error();
    logind_ = std::make_unique<BusPeer>(bus_.address(), true);
    ASSERT_TRUE(logind_->ok());
    watcher_ = std::make_unique<LogindWatcher>(bus_.address(), workspace_, distributed_);
    desktop_->frontmost = RunningApplication{5, "org.gnome.TextEditor", "Text Editor", 50};
    capture_ = ActivityCapture::create(
        loop_, {workspace_, distributed_, desktop_, std::make_shared<UnavailableBrowserAutomation>()},
        {nullptr, nullptr, 300}, [this](const ActivityEvent& e) { events_.push_back(activityEventText(e, origin_)); },
        [this] { return loop_.now(); });
    capture_->start();
    events_.clear();
  }

  // The next event the capture emits, waiting for it to cross the bus.
  std::string next() {
    if (!loop_.waitFor([&] { return !events_.empty(); })) return "nothing";
    std::string first = events_.front();
    events_.erase(events_.begin());
    return first;
  }

  ManualLoop loop_;
  const double origin_ = loop_.now();
  PrivateDbus bus_;
  std::shared_ptr<ActivityNotificationCenter> workspace_ = std::make_shared<ActivityNotificationCenter>(loop_);
  std::shared_ptr<ActivityNotificationCenter> distributed_ = std::make_shared<ActivityNotificationCenter>(loop_);
  std::shared_ptr<FakeActivityDesktop> desktop_ = std::make_shared<FakeActivityDesktop>();
  std::unique_ptr<BusPeer> logind_;
  std::unique_ptr<LogindWatcher> watcher_;
  std::shared_ptr<ActivityCapture> capture_;
  std::vector<std::string> events_;
};

TEST_F(LogindWatcherTest, LockUnlockSleepWakeAndSessionChangesReachCaptureAsEvents) {
  EXPECT_EQ(watcher_->sessionPath(), sessionPath);
  struct Step {
    std::function<void(BusPeer&)> send;
    std::string event;
  };
  const Step steps[] = {
      {[](BusPeer& p) { p.emit(sessionPath, "org.freedesktop.login1.Session", "Lock", nullptr); }, "suspend(locked)@0ms"},
      {[](BusPeer& p) { p.emit(sessionPath, "org.freedesktop.login1.Session", "Unlock", nullptr); }, "resume(locked)@0ms"},
      {[](BusPeer& p) {
         p.emit("/org/freedesktop/login1", "org.freedesktop.login1.Manager", "PrepareForSleep",
                g_variant_new("(b)", TRUE));
       },
       "suspend(asleep)@0ms"},
      {[](BusPeer& p) {
         p.emit("/org/freedesktop/login1", "org.freedesktop.login1.Manager", "PrepareForSleep",
                g_variant_new("(b)", FALSE));
       },
       "resume(asleep)@0ms"},
      {[](BusPeer& p) { p.emitSessionProperty(sessionPath, "LockedHint", true); }, "suspend(locked)@0ms"},
      {[](BusPeer& p) { p.emitSessionProperty(sessionPath, "LockedHint", false); }, "resume(locked)@0ms"},
      {[](BusPeer& p) { p.emitSessionProperty(sessionPath, "Active", false); }, "suspend(locked)@0ms"},
      {[](BusPeer& p) { p.emitSessionProperty(sessionPath, "Active", true); }, "resume(locked)@0ms"},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.event);
    step.send(*logind_);
    EXPECT_EQ(next(), step.event);
  }
}

TEST_F(LogindWatcherTest, SignalsOfOtherSessionsOrFromPeersThatAreNotLogindAreIgnored) {
  logind_->emit("/org/freedesktop/login1/session/c2", "org.freedesktop.login1.Session", "Lock", nullptr);
  logind_->emitSessionProperty("/org/freedesktop/login1/session/c2", "LockedHint", true);
  logind_->emit(sessionPath, "org.freedesktop.login1.Session", "Lock", g_variant_new("(b)", TRUE));
  BusPeer impostor(bus_.address(), false);
  ASSERT_TRUE(impostor.ok());
  impostor.emit(sessionPath, "org.freedesktop.login1.Session", "Lock", nullptr);
  impostor.emit("/org/freedesktop/login1", "org.freedesktop.login1.Manager", "PrepareForSleep",
                g_variant_new("(b)", TRUE));
  // A last signal from logind itself: the ones before it have arrived by then.
  logind_->emit(sessionPath, "org.freedesktop.login1.Session", "Unlock", nullptr);
  EXPECT_EQ(next(), "suspend(locked)@0ms") << "a Lock with arguments is still a lock";
  EXPECT_EQ(next(), "resume(locked)@0ms");
  loop_.runUntilIdle();
  EXPECT_EQ(events_, std::vector<std::string>{});
}

TEST(LogindWatcherWithoutLogindTest, AnnouncesNothingAndEndsCleanly) {
  ManualLoop loop;
  auto center = std::make_shared<ActivityNotificationCenter>(loop);
  {
    LogindWatcher watcher("unix:path=/nonexistent/tovarin-test/bus", center, center);
    EXPECT_EQ(watcher.sessionPath(), "");
  }
  PrivateDbus bus;
  ASSERT_FALSE(bus.address().empty()) << bus.error();
  LogindWatcher watcher(bus.address(), center, center);
  EXPECT_EQ(watcher.sessionPath(), "") << "nobody owns logind's name";
}

}  // namespace
}  // namespace tovarin
