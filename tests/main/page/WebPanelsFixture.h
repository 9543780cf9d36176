#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include "main/page/WebPanels.h"
#include "tests/support/FakePanelPresenter.h"
#include "tests/support/FakeWebDownload.h"
#include "tests/support/FakeWebView.h"
#include "tests/support/FileContents.h"
#include "tests/support/LogRecorder.h"
#include "tests/support/ManualLoop.h"
#include "tests/support/TempDir.h"

namespace tovarin {

// One window's panels on a fake page, with a real Downloads folder and a real staging
// folder inside a private temporary directory.
class WebPanelsFixture : public ::testing::Test {
 protected:
  static constexpr int kPort = 4173;

  void SetUp() override {
    std::filesystem::create_directories(downloads());
    panels_ = std::make_shared<WebPanels>(loop_, kPort, "__calendar", presenter_,
                                          WebPanels::Folders{downloads(), temporary()});
    panels_->attach(std::weak_ptr<Window>(), page_);
  }

  std::string downloads() const { return temp_.path() + "/Downloads"; }
  std::string temporary() const { return temp_.path() + "/run"; }
  static std::string blob(const std::string& id) { return "blob:http://127.0.0.1:4173/" + id; }

  static Json expectBody(const std::string& requestId, const std::string& blobId, const std::string& filename) {
    return Json{{"type", "expect"}, {"requestId", requestId}, {"blobURL", blob(blobId)}, {"filename", filename}};
  }
  static Json automaticBody(const std::string& requestId, const std::string& blobId, const std::string& filename,
                            const std::string& content) {
    Json body = expectBody(requestId, blobId, filename);
    body["destination"] = "downloads";
    body["sha256"] = sha256Of(content);
    body["bytes"] = content.size();
    return body;
  }
  static std::string sha256Of(const std::string& content) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned length = 0;
    EVP_Digest(content.data(), content.size(), digest, &length, EVP_sha256(), nullptr);
    static constexpr char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned i = 0; i < length; ++i) {
      out += digits[digest[i] >> 4];
      out += digits[digest[i] & 0xF];
    }
    return out;
  }

  void send(const Json& body) { panels_->handle(body, FakeWebView::mainFrameSource(kPort)); }

  // The receipts sent to the page so far, oldest first.
  std::vector<Json> receipts() const {
    std::vector<Json> out;
    for (const auto& call : page_->pendingCalls()) {
      if (call.arguments && call.arguments->value("name", "") == WebPanels::pageBridge) {
        out.push_back((*call.arguments)["payload"]);
      }
    }
    return out;
  }
  std::vector<Json> directoryResults() const {
    std::vector<Json> out;
    for (const auto& call : page_->pendingCalls()) {
      if (call.arguments && call.arguments->value("name", "") == WebPanels::directoryBridge) {
        out.push_back((*call.arguments)["payload"]);
      }
    }
    return out;
  }

  std::shared_ptr<FakeWebDownload> startDownload(const std::string& url) {
    auto download = std::make_shared<FakeWebDownload>(url);
    panels_->adopt(download);
    return download;
  }

  static void writeFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary);
    out << content;
  }
  std::vector<std::string> stagingFolders() const {
    std::vector<std::string> found;
    std::error_code ignored;
    if (!std::filesystem::exists(temporary())) return found;
    for (const auto& entry : std::filesystem::directory_iterator(temporary(), ignored)) {
      if (entry.path().filename().string().starts_with("tovarin-download-")) found.push_back(entry.path());
    }
    return found;
  }

  ManualLoop loop_;
  TempDir temp_;
  std::shared_ptr<FakePanelPresenter> presenter_ = std::make_shared<FakePanelPresenter>();
  std::shared_ptr<FakeWebView> page_ = std::make_shared<FakeWebView>(WebViewOptions{});
  std::shared_ptr<WebPanels> panels_;
  LogRecorder log_;
};

}  // namespace tovarin
