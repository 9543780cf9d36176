#pragma once

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "platform/glib/GlibMainLoop.h"
#include "platform/gtk/GtkWebViewProvider.h"
#include "tests/support/TempDir.h"

namespace tovarin {

// Once per desktop test program: a private home for every XDG directory (downloads
// included), GTK, the main loop and the one web-view provider the program would have.
class GtkTestEnvironment final : public ::testing::Environment {
 public:
  void SetUp() override {
    // No other thread runs yet: the environment may still be changed here.
    const std::string home = home_.path();
    setenv("XDG_DATA_HOME", (home + "/data").c_str(), 1);
    setenv("XDG_CACHE_HOME", (home + "/cache").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
    // Settings the tests change stay in this process.
    setenv("GSETTINGS_BACKEND", "memory", 1);
    std::filesystem::create_directories(home + "/config");
    std::filesystem::create_directories(downloadDirectory());
    std::ofstream(home + "/config/user-dirs.dirs") << "XDG_DOWNLOAD_DIR=\"" << downloadDirectory() << "\"\n";
    installRecordingBrowser(home);
    ASSERT_TRUE(gtk_init_check(nullptr, nullptr)) << "no display: run under xvfb-run";
    loop_ = std::make_unique<GlibMainLoop>();
    provider_ = std::make_unique<GtkWebViewProvider>(
        *loop_, GtkWebViewProvider::Options{TOVARIN_STAGE_DIR "/lib/the-tovarin/webext", webDataDirectory()});
  }
  void TearDown() override {
    provider_.reset();
    loop_.reset();
  }

  static GtkTestEnvironment& instance() { return *instance_; }
  GlibMainLoop& loop() { return *loop_; }
  GtkWebViewProvider& provider() { return *provider_; }
  std::string downloadDirectory() const { return home_.path() + "/downloads"; }
  std::string webDataDirectory() const { return home_.path() + "/data/web"; }
  // Every address the desktop's default handlers were asked to open, one a line.
  std::string browserLog() const { return home_.path() + "/browser.log"; }

  static GtkTestEnvironment* instance_;

 private:
  // The default handler of web addresses and of the schemes that must never be
  // opened: a small program that writes down what it was given.
  void installRecordingBrowser(const std::string& home) {
    std::filesystem::create_directories(home + "/data/applications");
    std::ofstream(home + "/data/applications/tovarin-test-browser.desktop")
        << "[Desktop Entry]\nType=Application\nName=Recording browser\nNoDisplay=true\n"
        << "Exec=/bin/sh -c 'echo \"$1\" >> " << browserLog() << "' sh %u\n"
        << "MimeType=x-scheme-handler/http;x-scheme-handler/https;x-scheme-handler/mailto;"
           "x-scheme-handler/the-tovarin;\n";
    std::ofstream list(home + "/config/mimeapps.list");
    list << "[Default Applications]\n";
    for (const char* scheme : {"http", "https", "mailto", "the-tovarin"})
      list << "x-scheme-handler/" << scheme << "=tovarin-test-browser.desktop\n";
  }

  TempDir home_;
  std::unique_ptr<GlibMainLoop> loop_;
  std::unique_ptr<GtkWebViewProvider> provider_;
};

inline GtkTestEnvironment* GtkTestEnvironment::instance_ = [] {
  auto* environment = new GtkTestEnvironment;
  ::testing::AddGlobalTestEnvironment(environment);  // gtest owns it
  return environment;
}();

}  // namespace tovarin
