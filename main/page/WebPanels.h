#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "base/Json.h"
#include "base/LogThrottle.h"
#include "base/MainLoop.h"
#include "main/page/DownloadFiles.h"
#include "main/page/DownloadOutcome.h"
#include "main/page/FileDescriptor.h"
#include "main/page/LocalServer.h"
#include "main/page/PageBridge.h"
#include "main/page/PanelPresenter.h"
#include "main/page/WebView.h"

namespace tovarin {

class Window;

// Serves one window's page with system panels and the file system: script dialogs,
// file inputs, the choice of a working folder, and downloads, each of which ends in
// exactly one receipt to the page. Lives on the main loop.
class WebPanels final : public WebDownloadClient,
                        public PageBridge,
                        public std::enable_shared_from_this<WebPanels> {
 public:
  static constexpr std::string_view downloadHandlerName = "download";
  static constexpr std::string_view pageBridge = "__tovarinDownload";
  static constexpr std::string_view directoryBridge = "__tovarinDirectory";
  static constexpr std::size_t maxPendingExpectations = 512;
  static constexpr std::size_t maxDirectoryRequests = 512;
  static constexpr double expectationLifetimeSeconds = 600;
  static constexpr std::size_t maxDialogCharacters = 600;

  // Where saved files go: the Downloads folder (empty when there is none) and the
  // private temporary folder that downloads are staged in.
  struct Folders {
    std::string downloads;
    std::string temporary;
  };

  // A download the page announced with "expect".
  struct DownloadExpectation {
    std::string requestId;
    std::optional<std::string> operationId;
    std::string blobUrl;
    double createdAt = 0;  // loop time
    std::string filename;
    bool downloads = false;  // straight into the Downloads folder
    std::optional<std::string> sha256;
    std::optional<std::int64_t> bytes;
    bool cancelled = false;
  };

  // One download in flight.
  struct DownloadJob {
    std::string filename;  // as the engine suggested it
    std::optional<DownloadExpectation> expectation;
    std::weak_ptr<WebDownload> download;
    std::string destination;
    std::string staging;
    FileDescriptor automaticDirectory;  // the Downloads folder of an automatic save
    bool settled = false;
  };

  // Without a presenter no panel can be shown: every panel ends as if cancelled.
  WebPanels(MainLoop& loop, int port, std::string toastHost, std::shared_ptr<PanelPresenter> presenter,
            Folders folders);

  void attach(std::weak_ptr<Window> window, std::weak_ptr<WebView> webView);

  [[nodiscard]] bool trusts(const MessageSource& frame) const;
  // Only the local server may ask for a login: any other would ask with a realm of its
  // choosing, in this program's name.
  [[nodiscard]] bool allowsAuthentication(const std::string& host, int port) const;
  [[nodiscard]] std::optional<NavigationDecision> downloadPolicy(const NavigationAction& action) const;
  [[nodiscard]] std::optional<NavigationDecision> downloadPolicy(const NavigationResponse& response) const;
  void handle(const Json& body, const std::optional<MessageSource>& frame);

  // PageBridge: the page's "download" messages. Whether one from this frame may be read
  // at all; a refusal is logged.
  std::string_view messageName() const override { return downloadHandlerName; }
  bool admits(const MessageSource& frame) override;
  void handle(const ScriptMessage& message) override { handle(message.body, message.source); }

  void settle(const DownloadOutcome& outcome);

  // Script dialogs and file inputs.
  void alert(const std::string& message, const MessageSource& frame, std::function<void()> completion);
  void confirm(const std::string& message, const MessageSource& frame, std::function<void(bool)> completion);
  void prompt(const std::string& message, const std::optional<std::string>& defaultText, const MessageSource& frame,
              std::function<void(std::optional<std::string>)> completion);
  void openPanel(const FileChooserRequest& request, const MessageSource& frame,
                 std::function<void(std::optional<std::vector<std::string>>)> completion);
  // Answers a script dialog as the window's web view asks for it.
  void runScriptDialog(const ScriptDialog& dialog, std::function<void(ScriptDialogAnswer)> completion);

  // Makes this the client of a download the page started.
  void adopt(const std::shared_ptr<WebDownload>& download);

  // WebDownloadClient
  void downloadDecideDestination(WebDownload& download, const std::string& suggestedFilename,
                                 std::function<void(std::optional<std::string>)> completion) override;
  void downloadDidFinish(WebDownload& download) override;
  void downloadDidFail(WebDownload& download, const std::string& error) override;

  [[nodiscard]] static AlertPanel makeAlert(const std::string& message, const std::vector<std::string>& buttons);

  // For tests: the state a page can change.
  [[nodiscard]] std::size_t pendingExpectations() const { return expectations_.size(); }
  [[nodiscard]] std::size_t jobsInFlight() const { return jobs_.size(); }

  // For tests: the exclusive rename used for automatic saves.
  void setExclusiveRenameForTesting(DownloadFiles::ExclusiveRename rename) { rename_ = std::move(rename); }

 private:
  using Completion = std::function<void(std::optional<std::string>)>;

  void logRefusal(const std::string& kind, const std::optional<MessageSource>& frame);
  void admitExpectation(const Json& body);
  [[nodiscard]] bool mayBeRefusedAnnouncement(const std::optional<std::string>& url) const;
  void cancelBoundDownload(const Json& body);
  void chooseDirectory(const Json& body);
  void settleDirectory(const Json& result);
  void finish(WebDownload* download, DownloadOutcome outcome);
  DownloadJob* jobFor(WebDownload* download);
  void decidePanelSave(WebDownload& download, DownloadJob& job, Completion completion);
  void decideAutomaticSave(WebDownload& download, DownloadJob& job, Completion completion);
  void stageDownload(WebDownload* download, DownloadJob* job, const std::string& chosen, Completion completion);
  void failBeforeStart(WebDownload* download, const std::string& filename, std::string_view reason,
                       Completion completion);
  std::optional<SaveError> saveFinished(DownloadJob& job, std::optional<DownloadFiles::Verified>& verified);
  void runDialog(AlertPanel panel, std::function<void(AlertResult)> completion);

  MainLoop& loop_;
  const LocalServer server_;
  const std::string toastHost_;
  const std::shared_ptr<PanelPresenter> presenter_;
  const Folders folders_;
  std::weak_ptr<Window> window_;
  std::weak_ptr<WebView> webView_;
  std::set<std::string> directoryRequestIds_;
  bool choosingDirectory_ = false;
  std::string lastDirectory_;
  std::map<WebDownload*, std::shared_ptr<DownloadJob>> jobs_;
  std::map<std::string, DownloadExpectation> expectations_;
  std::set<std::string> usedRequestIds_;
  // When an announcement last found the register full.
  std::optional<double> lastOverflow_;
  mutable LogThrottle refusalLog_;
  // Downloads adopted and not yet ended: the engine's objects live while we need them.
  std::map<WebDownload*, std::shared_ptr<WebDownload>> adopted_;
  DownloadFiles::ExclusiveRename rename_ = DownloadFiles::renameNoReplace;
};

}  // namespace tovarin
