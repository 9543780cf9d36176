// The single-instance application's life on a real session bus: which of its events is
// the launch, how URLs and later activations arrive, and that each quit signal ends the
// loop through the termination step.

#include <gtk/gtk.h>

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <vector>

#include "platform/gtk/AppGtkApplication.h"

namespace tovarin {
namespace {

std::string nextApplicationId() {
  static int serial = 0;
  return "com.orvik.TheTovarin.LifeTest" + std::to_string(++serial);
}

struct Script {
  std::vector<std::string> journal;
  AppGtkApplication* application = nullptr;
  int quitSignal = SIGTERM;
};

// After the launch: another activation, an opening with two URLs, then the signal.
gboolean driveAfterLaunch(gpointer data) {
  auto* script = static_cast<Script*>(data);
  auto* native = G_APPLICATION(script->application->nativeApplication());
  g_application_activate(native);
  GFile* files[] = {g_file_new_for_uri("the-tovarin://tasks"), g_file_new_for_uri("the-tovarin://chat")};
  g_application_open(native, files, 2, "");
  for (GFile* file : files) g_object_unref(file);
  std::raise(script->quitSignal);
  return G_SOURCE_REMOVE;
}

AppGtkApplication::Events recordingEvents(Script& script) {
  AppGtkApplication::Events events;
  events.launch = [&script] {
    script.journal.push_back("launch");
    g_idle_add(driveAfterLaunch, &script);
  };
  events.open = [&script](const std::vector<std::string>& urls) {
    std::string line = "open";
    for (const auto& url : urls) line += " " + url;
    script.journal.push_back(line);
  };
  events.reopen = [&script] { script.journal.push_back("reopen"); };
  events.terminate = [&script] { script.journal.push_back("terminate"); };
  return events;
}

TEST(AppGtkApplicationTest, FirstActivationLaunchesLaterOnesReopenAndEachQuitSignalTerminates) {
  for (int quitSignal : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(strsignal(quitSignal));
    AppGtkApplication application(nextApplicationId());
    Script script{{}, &application, quitSignal};
    char name[] = "TheTovarin";
    char* argv[] = {name, nullptr};
    EXPECT_EQ(application.run(1, argv, recordingEvents(script)), 0);
    EXPECT_EQ(script.journal, (std::vector<std::string>{"launch", "reopen",
                                                        "open the-tovarin://tasks the-tovarin://chat", "terminate"}));
  }
}

TEST(AppGtkApplicationTest, StartedWithAUrlTheOpeningComesBeforeTheLaunch) {
  AppGtkApplication application(nextApplicationId());
  Script script{{}, &application, SIGTERM};
  char name[] = "TheTovarin";
  char url[] = "the-tovarin://agenda";
  char* argv[] = {name, url, nullptr};
  EXPECT_EQ(application.run(2, argv, recordingEvents(script)), 0);
  ASSERT_GE(script.journal.size(), 2u);
  EXPECT_EQ(script.journal[0], "open the-tovarin://agenda");
  EXPECT_EQ(script.journal[1], "launch");
  EXPECT_EQ(script.journal.back(), "terminate");
}

TEST(AppGtkApplicationTest, QuitBeforeAnyLaunchRunsNoTermination) {
  AppGtkApplication application(nextApplicationId());
  std::vector<std::string> journal;
  AppGtkApplication::Events events;
  events.terminate = [&] { journal.push_back("terminate"); };
  // A signal that arrives before the first activation is handled has nothing to end.
  g_idle_add(
      [](gpointer data) -> gboolean {
        static_cast<AppGtkApplication*>(data)->quit();
        return G_SOURCE_REMOVE;
      },
      &application);
  char name[] = "TheTovarin";
  char service[] = "--gapplication-service";
  char* argv[] = {name, service, nullptr};
  EXPECT_EQ(application.run(2, argv, std::move(events)), 0);
  EXPECT_TRUE(journal.empty());
}

}  // namespace
}  // namespace tovarin
