#include "platform/linux/DesktopAppResolver.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "base/ChildProcess.h"
#include "tests/support/ManualLoop.h"
#include "tests/support/TempDir.h"

namespace tovarin {
namespace {

class DesktopAppResolverTest : public testing::Test {
 protected:
  DesktopAppResolverTest() {
    write(home_, "org.gnome.TextEditor.desktop", "Name=Text Editor\nName[zh_CN]=文本编辑器\nName[zh]=编辑器");
    write(share_, "org.gnome.TextEditor.desktop", "Name=Shadowed");
    write(share_, "org.gnome.Terminal.desktop", "Name=Terminal\nName[zh]=终端");
    write(share_, "signal-desktop.desktop", "Name=Signal\nStartupWMClass=Signal");
    write(share_, "gimp.desktop", "Name=GIMP");
    write(share_, "com.spotify.Client.desktop", "Name=Spotify");
    write(share_, "firefox_firefox.desktop", "Name=Firefox");
    write(share_, "kde/org.kde.konsole.desktop", "Name=Konsole");
    write(home_, "org.example.Gone.desktop", "Name=Gone\nHidden=true");
    write(share_, "org.example.Gone.desktop", "Name=Gone");
    write(share_, "org.example.Link.desktop", "Name=Link", "Link");
    write(share_, "org.example.Action.desktop",
          "Name=Action\n\n[Desktop Action new]\nName=Wrong\nStartupWMClass=Other", "Application");
  }

  void write(const std::string& folder, const std::string& name, const std::string& body,
             const std::string& type = "Application") {
    const std::filesystem::path path = std::filesystem::path(folder) / name;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path) << "[Desktop Entry]\nType=" << type << "\nExec=true\n" << body << "\n";
  }

  DesktopAppResolver resolver(const std::string& locale = "zh_CN") {
    return DesktopAppResolver(DesktopEntryIndex({home_, share_}, locale));
  }

  TempDir dir_;
  const std::string home_ = dir_.path() + "/home/applications";
  const std::string share_ = dir_.path() + "/share/applications";
};

using Window = DesktopAppResolver::WindowFacts;
using Process = DesktopAppResolver::ProcessFacts;
using Identity = DesktopAppResolver::Identity;

TEST_F(DesktopAppResolverTest, NamesTheAppFromTheFirstSourceThatNamesAnInstalledEntry) {
  const std::string gnomeScope =
      "0::/user.slice/user-1000.slice/user@1000.service/app.slice/app-gnome-org.gnome.Terminal-4321.scope\n";
  struct Case {
    std::string what;
    Window window;
    Process process;
    std::optional<Identity> expected;
  };
  const Case cases[] = {
      {"the GTK application id, named in the user's language",
       {7, "org.gnome.TextEditor", "gnome-text-editor", "Gnome-text-editor"},
       {},
       Identity{"org.gnome.TextEditor", "文本编辑器"}},
      {"a Flatpak's own id before what the window says",
       {7, "org.gnome.TextEditor", "spotify", "Spotify"},
       {"com.spotify.Client", "", "", 0},
       Identity{"com.spotify.Client", "Spotify"}},
      {"a Snap's app unit",
       {7, "", "Navigator", "firefox"},
       {"", "0::/user.slice/user-1000.slice/user@1000.service/app.slice/snap.firefox.firefox.1d2-3e.scope\n", "", 0},
       Identity{"firefox_firefox", "Firefox"}},
      {"WM_CLASS through an entry's StartupWMClass", {7, "", "signal", "Signal"}, {}, Identity{"signal-desktop", "Signal"}},
      {"WM_CLASS instance as the id", {7, "", "gimp", "Gimp"}, {}, Identity{"gimp", "GIMP"}},
      {"the launch environment set for this very process",
       {7, "", "x", "X"},
       {"", "", "/usr/share/applications/org.gnome.Terminal.desktop", 7},
       Identity{"org.gnome.Terminal", "终端"}},
      {"a launch environment inherited from another process says nothing",
       {8, "", "x", "X"},
       {"", "", "/usr/share/applications/org.gnome.Terminal.desktop", 7},
       std::nullopt},
      {"the systemd app scope", {7, "", "x", "X"}, {"", gnomeScope, "", 0}, Identity{"org.gnome.Terminal", "终端"}},
      {"an escaped id in an app service",
       {7, "", "x", "X"},
       {"", "0::/user.slice/app.slice/app-kde\\x2dorg.kde.konsole@a1b2.service\n", "", 0},
       Identity{"kde-org.kde.konsole", "Konsole"}},
      {"the window's own facts before an inherited unit",
       {7, "org.gnome.TextEditor", "", ""},
       {"", gnomeScope, "", 0},
       Identity{"org.gnome.TextEditor", "文本编辑器"}},
      {"nothing installed answers", {7, "org.example.Missing", "xmessage", "Xmessage"}, {}, std::nullopt},
      {"a hidden entry deletes the id", {7, "org.example.Gone", "", ""}, {}, std::nullopt},
      {"a link is not an application", {7, "org.example.Link", "", ""}, {}, std::nullopt},
      {"an action's keys are not the entry's", {7, "", "Other", "Other"}, {}, std::nullopt},
      {"an unknown window", {0, "", "", ""}, {}, std::nullopt},
  };
  DesktopAppResolver resolve = resolver();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const auto found = resolve.resolve(c.window, c.process);
    ASSERT_EQ(found.has_value(), c.expected.has_value()) << (found ? found->id : "");
    if (found) {
      EXPECT_EQ(*found, *c.expected);
    }
  }
}

TEST_F(DesktopAppResolverTest, FallsBackToTheLanguageThenTheUntranslatedName) {
  const Window editor{1, "org.gnome.TextEditor", "", ""};
  EXPECT_EQ(resolver("zh_TW").resolve(editor, {})->name, "编辑器");
  EXPECT_EQ(resolver("").resolve(editor, {})->name, "Text Editor");
}

TEST_F(DesktopAppResolverTest, ReadsALiveProcessesLaunchEnvironment) {
  ChildProcessOptions options;
  options.executable = "/bin/sh";
  options.arguments = {"-c",
                       "export GIO_LAUNCHED_DESKTOP_FILE=/usr/share/applications/org.gnome.Terminal.desktop "
                       "GIO_LAUNCHED_DESKTOP_FILE_PID=$$; exec sleep 60"};
  options.inheritStdin = false;
  auto launch = ChildProcess::launch(options);
  ASSERT_TRUE(launch.process) << launch.error;
  const pid_t pid = launch.process->pid();
  Process facts;
  ManualLoop loop;
  EXPECT_TRUE(loop.waitFor([&] {
    facts = DesktopAppResolver::readProcessFacts(pid);
    return facts.launchedDesktopFilePid == pid;
  }));
  EXPECT_EQ(facts.launchedDesktopFile, "/usr/share/applications/org.gnome.Terminal.desktop");
  EXPECT_FALSE(facts.cgroup.empty());
  EXPECT_EQ(facts.flatpakId, "");
  EXPECT_EQ(resolver().resolve({pid, "", "sleep", "Sleep"}, facts), (Identity{"org.gnome.Terminal", "终端"}));
  launch.process->signal(SIGKILL);
  launch.process->wait();

  EXPECT_EQ(DesktopAppResolver::readProcessFacts(pid).launchedDesktopFilePid, 0) << "a process that is gone";
}

}  // namespace
}  // namespace tovarin
