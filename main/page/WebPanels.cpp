#include "main/page/WebPanels.h"

#include <sys/stat.h>

#include <cassert>
#include <filesystem>
#include <utility>

#include "base/Log.h"
#include "base/Text.h"
#include "base/UrlComponents.h"
#include "main/page/ShellPanelCopy.h"
#include "main/page/ShellPanels.h"
#include "main/page/Window.h"

namespace tovarin {

namespace {

constexpr std::size_t kMaxFilenameCharacters = 255;
constexpr std::size_t kMaxBlobUrlCharacters = 4096;
constexpr std::string_view kFolderUnavailable = "下载目录不可用，本次没有保存。";
constexpr std::string_view kFolderChanged = "下载目录已变化，本次没有保存。";
constexpr std::string_view kNameTaken = "Downloads 已有同名文件；请换名保存新版本。";

// Delivers a receipt to the page's bridge, or as a toast when the page has none and the
// receipt answers no identified request.
constexpr std::string_view kSettleScript = R"JS(
const args = JSON.parse(argumentsJson);
const bridge = window[args.name];
if (bridge && typeof bridge.settle === 'function' && bridge.settle(args.payload) === true) return 'page';
if (typeof args.payload.requestId === 'string' && args.payload.requestId !== '') return 'unclaimed';
const host = window[args.toastHost];
if (host && host.ctx && typeof host.ctx.toast === 'function') {
  host.ctx.toast(args.payload.message,
                 {tone: args.payload.status === 'failed' ? 'error' : undefined, duration: 7000});
  return 'toast';
}
return 'none';
)JS";

constexpr std::string_view kSettleDirectoryScript = R"JS(
const args = JSON.parse(argumentsJson);
return window[args.name]?.settle(args.payload) === true;
)JS";

std::optional<std::string> identifier(const Json& body, std::string_view key) {
  auto it = body.find(key);
  if (it == body.end() || !it->is_string()) return std::nullopt;
  const std::string& text = it->get_ref<const std::string&>();
  if (!ShellPanels::isIdentifier(text)) return std::nullopt;
  return text;
}

bool isSha256(const std::string& text) {
  if (text.size() != 64) return false;
  for (char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

std::string lastComponent(const std::string& path) { return std::filesystem::path(path).filename().string(); }

std::string parentFolder(const std::string& path) { return std::filesystem::path(path).parent_path().string(); }

bool isDirectory(const std::string& path) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

}  // namespace

WebPanels::WebPanels(MainLoop& loop, int port, std::string toastHost, std::shared_ptr<PanelPresenter> presenter,
                     Folders folders)
    : loop_(loop),
      server_(port),
      toastHost_(std::move(toastHost)),
      presenter_(std::move(presenter)),
      folders_(std::move(folders)) {}

void WebPanels::attach(std::weak_ptr<Window> window, std::weak_ptr<WebView> webView) {
  assert(loop_.isMainThread());
  window_ = std::move(window);
  webView_ = std::move(webView);
}

bool WebPanels::trusts(const MessageSource& frame) const { return server_.vouchesFor(frame); }

bool WebPanels::allowsAuthentication(const std::string& host, int port) const {
  return server_.isServer(host, port);
}

std::optional<NavigationDecision> WebPanels::downloadPolicy(const NavigationAction& action) const {
  // The engine does not tell which actions are downloads (a link with a download
  // attribute): a page's own blob or data address in the main frame can only be one,
  // since showing it would replace the page. Other addresses are decided at their
  // response.
  if (!action.targetsMainFrame && !action.opensNewWindow) return std::nullopt;
  auto url = UrlComponents::parse(action.url);
  if (!url || !url->scheme) return std::nullopt;
  const std::string scheme = text::lowercased(*url->scheme);
  if (scheme != "blob" && scheme != "data") return std::nullopt;
  if (!ShellPanels::acceptsDownload(action.url, server_)) return NavigationDecision::cancel;
  // A foreign frame's data: link would open the save panel with a name of its choosing.
  if (!trusts(action.initiator)) {
    if (refusalLog_.allows("download-link", loop_.now())) log("download: 不是本地页面的框架开始的下载，取消");
    return NavigationDecision::cancel;
  }
  return NavigationDecision::download;
}

std::optional<NavigationDecision> WebPanels::downloadPolicy(const NavigationResponse& response) const {
  if (!response.isMeantForSaving()) return std::nullopt;
  if (!ShellPanels::acceptsDownload(response.url, server_)) return std::nullopt;
  // Only the main frame is the page's own; which frame made an inner frame load this is
  // not known.
  return response.forMainFrame ? NavigationDecision::download : NavigationDecision::cancel;
}

void WebPanels::handle(const Json& body, const std::optional<MessageSource>& frame) {
  assert(loop_.isMainThread());
  if (!body.is_object()) return;
  auto type = body.find("type");
  if (type == body.end() || !type->is_string()) return;
  const std::string& kind = type->get_ref<const std::string&>();
  if (kind == "choose-directory") {
    if (frame && frame->trustedMainFrame() && trusts(*frame)) chooseDirectory(body);
  } else if (kind == "cancel" || kind == "expect") {
    // A blob address is only a string the frame names: a foreign frame could announce
    // or withdraw the page's downloads, and read receipts of its own making.
    if (!frame || !trusts(*frame)) return logRefusal(kind, frame);
    if (kind == "cancel") {
      cancelBoundDownload(body);
    } else {
      admitExpectation(body);
    }
  }
}

bool WebPanels::admits(const MessageSource& frame) {
  if (trusts(frame)) return true;
  logRefusal("消息", frame);
  return false;
}

void WebPanels::logRefusal(const std::string& kind, const std::optional<MessageSource>& frame) {
  if (!refusalLog_.allows(kind, loop_.now())) return;
  log("download: 不是本地页面的框架发来的" + kind + "，忽略（" +
      (frame && frame->known ? frame->securityOrigin : std::string("框架不明")) + "）");
}

void WebPanels::admitExpectation(const Json& body) {
  auto filename = jsonString(body, "filename");
  if (!filename || text::graphemeCount(*filename) > kMaxFilenameCharacters) return;
  auto requestId = identifier(body, "requestId");
  if (!requestId) return;
  auto blobUrl = jsonString(body, "blobURL");
  if (!blobUrl || text::graphemeCount(*blobUrl) > kMaxBlobUrlCharacters || !blobUrl->starts_with("blob:") ||
      !UrlComponents::parse(*blobUrl) || !ShellPanels::acceptsDownload(blobUrl, server_)) {
    return;
  }
  std::optional<std::string> operationId;
  if (body.contains("operationId")) {
    operationId = identifier(body, "operationId");
    if (!operationId) return;
  }
  const bool automatic = jsonString(body, "destination") == std::optional<std::string>("downloads");
  auto sha256 = jsonString(body, "sha256");
  auto bytes = jsonInteger(body, "bytes");
  const bool digestValid = sha256 && isSha256(*sha256) && bytes && *bytes >= 1 && *bytes <= DownloadFiles::maxVerifiedBytes;
  if ((body.contains("sha256") || body.contains("bytes")) && !digestValid) return;
  if (body.contains("destination")) {
    if (!automatic || filename->empty() || ShellPanels::safeFilename(*filename) != *filename || !digestValid) return;
  }
  const double now = loop_.now();
  std::erase_if(expectations_, [now](const auto& entry) {
    return now - entry.second.createdAt >= expectationLifetimeSeconds;
  });
  if (usedRequestIds_.contains(*requestId) || expectations_.contains(*blobUrl)) return;
  if (expectations_.size() >= maxPendingExpectations) {
    // Its download will come without an announcement; it must not pass as one that
    // never asked to be verified.
    lastOverflow_ = now;
    return;
  }
  usedRequestIds_.insert(*requestId);
  expectations_[*blobUrl] = DownloadExpectation{*requestId, operationId, *blobUrl, now, *filename, automatic,
                                                digestValid ? sha256 : std::nullopt,
                                                digestValid ? bytes : std::nullopt, false};
  log("download: 页面在等「" + *filename + "」的回执");
}

void WebPanels::cancelBoundDownload(const Json& body) {
  auto requestId = identifier(body, "requestId");
  auto blobUrl = jsonString(body, "blobURL");
  if (!requestId || !blobUrl) return;
  std::optional<std::string> operationId;
  if (auto it = body.find("operationId"); it != body.end() && !it->is_null()) {
    operationId = identifier(body, "operationId");
    if (!operationId) return;
  }
  if (auto it = expectations_.find(*blobUrl); it != expectations_.end()) {
    DownloadExpectation& expectation = it->second;
    if (expectation.requestId == *requestId && expectation.operationId == operationId && !expectation.cancelled) {
      expectation.cancelled = true;
      DownloadOutcome outcome = DownloadOutcome::cancelled(expectation.filename);
      outcome.requestId = expectation.requestId;
      outcome.operationId = expectation.operationId;
      outcome.blobUrl = expectation.blobUrl;
      settle(outcome);
      return;
    }
  }
  for (auto& [key, job] : jobs_) {
    const auto& expectation = job->expectation;
    if (!expectation || job->settled || expectation->requestId != *requestId ||
        expectation->operationId != operationId || expectation->blobUrl != *blobUrl) {
      continue;
    }
    auto download = job->download.lock();
    if (!download) return;
    if (!job->staging.empty()) DownloadFiles::removeStagingFolder(job->staging);
    finish(download.get(), DownloadOutcome::cancelled(job->filename));
    download->cancel();
    return;
  }
}

WebPanels::DownloadJob* WebPanels::jobFor(WebDownload* download) {
  auto it = jobs_.find(download);
  return it == jobs_.end() ? nullptr : it->second.get();
}

void WebPanels::finish(WebDownload* download, DownloadOutcome outcome) {
  auto it = jobs_.find(download);
  if (it == jobs_.end() || it->second->settled) return;
  std::shared_ptr<DownloadJob> job = it->second;
  job->settled = true;
  jobs_.erase(it);
  if (job->expectation) {
    outcome.requestId = job->expectation->requestId;
    outcome.operationId = job->expectation->operationId;
    outcome.blobUrl = job->expectation->blobUrl;
  }
  settle(outcome);
}

void WebPanels::settle(const DownloadOutcome& outcome) {
  assert(loop_.isMainThread());
  auto webView = webView_.lock();
  if (!webView) return;
  const auto status = outcome.status;
  webView->callAsync(std::string(kSettleScript),
                     Json{{"name", pageBridge}, {"payload", outcome.payload()}, {"toastHost", toastHost_}},
                     [status](const ScriptValue& result) {
                       if (result.kind == ScriptValue::Kind::string && result.text.compare("none") == 0) {
                         log("download: 结局没有交到页面（页面没装回执桥也没有提示条）：" +
                             std::string(DownloadOutcome::statusText(status)));
                       }
                     });
}

void WebPanels::settleDirectory(const Json& result) {
  auto webView = webView_.lock();
  if (!webView) return;
  webView->callAsync(std::string(kSettleDirectoryScript), Json{{"name", directoryBridge}, {"payload", result}},
                     [](ScriptValue) {});
}

void WebPanels::chooseDirectory(const Json& body) {
  auto requestId = identifier(body, "requestId");
  auto operationId = identifier(body, "operationId");
  if (!requestId || !operationId) return;
  if (directoryRequestIds_.contains(*requestId) || directoryRequestIds_.size() >= maxDirectoryRequests) return;
  directoryRequestIds_.insert(*requestId);
  if (choosingDirectory_) {
    settleDirectory(Json{{"requestId", *requestId},
                         {"operationId", *operationId},
                         {"status", "failed"},
                         {"message", ShellPanelCopy::directoryBusy}});
    return;
  }
  choosingDirectory_ = true;
  OpenPanel panel;
  panel.canChooseFiles = false;
  panel.canChooseDirectories = true;
  panel.allowsMultipleSelection = false;
  panel.canCreateDirectories = true;
  panel.prompt = ShellPanelCopy::choose;
  panel.message = ShellPanelCopy::directoryMessage;
  if (!presenter_) {
    choosingDirectory_ = false;
    return settleDirectory(Json{{"requestId", *requestId}, {"operationId", *operationId}, {"status", "cancelled"}});
  }
  presenter_->runOpenPanel(
      std::move(panel), window_.lock(),
      [weak = weak_from_this(), requestId = *requestId,
       operationId = *operationId](std::optional<std::vector<std::string>> paths) {
        auto self = weak.lock();
        if (!self) return;
        self->choosingDirectory_ = false;
        Json result = {{"requestId", requestId}, {"operationId", operationId}, {"status", "cancelled"}};
        if (paths && !paths->empty()) {
          const std::string& chosen = paths->front();
          if (!chosen.empty() && chosen.front() == '/' && isDirectory(chosen)) {
            const std::string standardized = std::filesystem::path(chosen).lexically_normal().string();
            std::string path = standardized.size() > 1 && standardized.back() == '/' ? standardized.substr(0, standardized.size() - 1) : standardized;
            result["status"] = "selected";
            result["path"] = path;
            result["name"] = lastComponent(path);
          } else {
            result["status"] = "failed";
            result["message"] = ShellPanelCopy::directoryUnusable;
          }
        }
        self->settleDirectory(result);
      });
}

AlertPanel WebPanels::makeAlert(const std::string& message, const std::vector<std::string>& buttons) {
  auto [title, detail] = ShellPanels::split(ShellPanels::clip(message, maxDialogCharacters));
  AlertPanel panel;
  panel.messageText = std::move(title);
  panel.informativeText = std::move(detail);
  panel.buttons = buttons;
  return panel;
}

void WebPanels::runDialog(AlertPanel panel, std::function<void(AlertResult)> completion) {
  if (!presenter_) return completion(AlertResult{});
  presenter_->runAlert(std::move(panel), window_.lock(), std::move(completion));
}

void WebPanels::alert(const std::string& message, const MessageSource& frame, std::function<void()> completion) {
  assert(loop_.isMainThread());
  if (!trusts(frame)) return completion();
  runDialog(makeAlert(message, {std::string(ShellPanelCopy::ok)}),
            [completion = std::move(completion)](AlertResult) { completion(); });
}

void WebPanels::confirm(const std::string& message, const MessageSource& frame, std::function<void(bool)> completion) {
  assert(loop_.isMainThread());
  if (!trusts(frame)) return completion(false);
  runDialog(makeAlert(message, {std::string(ShellPanelCopy::ok), std::string(ShellPanelCopy::cancel)}),
            [completion = std::move(completion)](AlertResult result) { completion(result.isFirstButton()); });
}

void WebPanels::prompt(const std::string& message, const std::optional<std::string>& defaultText,
                       const MessageSource& frame, std::function<void(std::optional<std::string>)> completion) {
  assert(loop_.isMainThread());
  if (!trusts(frame)) return completion(std::nullopt);
  const bool secret = ShellPanels::isSecret(message);
  AlertPanel panel = makeAlert(message, {std::string(ShellPanelCopy::ok), std::string(ShellPanelCopy::cancel)});
  panel.field = AlertPanel::Field{secret, secret ? "" : defaultText.value_or(""), ShellPanels::split(message).first};
  if (secret) {
    panel.informativeText = panel.informativeText.empty()
                                ? std::string(ShellPanelCopy::secretNote)
                                : panel.informativeText + "\n" + std::string(ShellPanelCopy::secretNote);
  }
  runDialog(std::move(panel), [completion = std::move(completion)](AlertResult result) {
    if (result.isFirstButton()) return completion(std::move(result.fieldText));
    completion(std::nullopt);
  });
}

void WebPanels::openPanel(const FileChooserRequest& request, const MessageSource& frame,
                          std::function<void(std::optional<std::vector<std::string>>)> completion) {
  assert(loop_.isMainThread());
  if (!trusts(frame)) return completion(std::nullopt);
  OpenPanel panel;
  panel.canChooseFiles = true;
  panel.canChooseDirectories = request.allowsDirectories;
  panel.allowsMultipleSelection = request.allowsMultiple;
  panel.prompt = ShellPanelCopy::choose;
  panel.allowedExtensions = ShellPanels::fileExtensions(request.acceptedExtensions);
  if (!presenter_) return completion(std::nullopt);
  presenter_->runOpenPanel(std::move(panel), window_.lock(),
                           [completion = std::move(completion)](std::optional<std::vector<std::string>> paths) {
                             if (paths && !paths->empty()) return completion(std::move(paths));
                             completion(std::nullopt);
                           });
}

void WebPanels::runScriptDialog(const ScriptDialog& dialog, std::function<void(ScriptDialogAnswer)> completion) {
  switch (dialog.kind) {
    case ScriptDialog::Kind::alert:
      alert(dialog.message, dialog.source, [completion = std::move(completion)] { completion({true, std::nullopt}); });
      break;
    case ScriptDialog::Kind::confirm:
      confirm(dialog.message, dialog.source,
              [completion = std::move(completion)](bool confirmed) { completion({confirmed, std::nullopt}); });
      break;
    case ScriptDialog::Kind::prompt:
      prompt(dialog.message, dialog.defaultText, dialog.source,
             [completion = std::move(completion)](std::optional<std::string> text) {
               completion({text.has_value(), std::move(text)});
             });
      break;
  }
}

void WebPanels::adopt(const std::shared_ptr<WebDownload>& download) {
  assert(loop_.isMainThread());
  if (!download) return;
  adopted_[download.get()] = download;
  download->setClient(weak_from_this());
}

void WebPanels::downloadDecideDestination(WebDownload& download, const std::string& suggestedFilename,
                                          Completion completion) {
  assert(loop_.isMainThread());
  std::optional<DownloadExpectation> expectation;
  if (auto url = download.originalUrl()) {
    if (auto it = expectations_.find(*url); it != expectations_.end()) {
      expectation = std::move(it->second);
      expectations_.erase(it);
    }
  }
  if (expectation && expectation->cancelled) return completion(std::nullopt);
  auto job = std::make_shared<DownloadJob>();
  job->filename = suggestedFilename;
  job->expectation = std::move(expectation);
  auto known = adopted_.find(&download);
  if (known != adopted_.end()) job->download = known->second;
  jobs_[&download] = job;
  if (!job->expectation && mayBeRefusedAnnouncement(download.originalUrl())) {
    log("download: 登记已满时来的下载，不保存");
    return failBeforeStart(&download, job->filename, ShellPanelCopy::reasonGeneric, std::move(completion));
  }
  if (job->expectation && job->expectation->downloads) {
    decideAutomaticSave(download, *job, std::move(completion));
  } else {
    decidePanelSave(download, *job, std::move(completion));
  }
}

bool WebPanels::mayBeRefusedAnnouncement(const std::optional<std::string>& url) const {
  // Refused announcements are not kept (that would need the room that was missing):
  // every blob download is suspect for as long as one of them could have lived.
  return lastOverflow_ && url && url->starts_with("blob:") &&
         loop_.now() - *lastOverflow_ < expectationLifetimeSeconds;
}

void WebPanels::decidePanelSave(WebDownload& download, DownloadJob& job, Completion completion) {
  SavePanel panel;
  panel.nameFieldValue = ShellPanels::safeFilename(job.filename);
  panel.prompt = ShellPanelCopy::save;
  panel.canCreateDirectories = true;
  panel.directory = !lastDirectory_.empty() ? lastDirectory_ : folders_.downloads;
  std::weak_ptr<DownloadJob> weakJob = jobs_[&download];
  if (!presenter_) {
    completion(std::nullopt);
    return finish(&download, DownloadOutcome::cancelled(job.filename));
  }
  presenter_->runSavePanel(
      std::move(panel), window_.lock(),
      [weak = weak_from_this(), key = &download, weakJob, suggested = job.filename,
       completion = std::move(completion)](std::optional<std::string> chosen) mutable {
        auto self = weak.lock();
        if (!self) return completion(std::nullopt);
        auto current = self->jobs_.find(key);
        auto job = weakJob.lock();
        if (current == self->jobs_.end() || current->second != job || job->settled) return completion(std::nullopt);
        if (!chosen) {
          completion(std::nullopt);
          self->finish(key, DownloadOutcome::cancelled(suggested));
          return;
        }
        self->lastDirectory_ = parentFolder(*chosen);
        self->stageDownload(key, job.get(), *chosen, std::move(completion));
      });
}

void WebPanels::failBeforeStart(WebDownload* download, const std::string& filename, std::string_view reason,
                                Completion completion) {
  completion(std::nullopt);
  finish(download, DownloadOutcome::failed(filename, reason));
}

void WebPanels::decideAutomaticSave(WebDownload& download, DownloadJob& job, Completion completion) {
  if (job.expectation->filename != job.filename) {
    return failBeforeStart(&download, job.filename, kFolderUnavailable, std::move(completion));
  }
  auto folder = DownloadFiles::openDownloadsFolder(folders_.downloads);
  if (auto* problem = std::get_if<DownloadFiles::FolderProblem>(&folder)) {
    return failBeforeStart(&download, job.filename,
                           *problem == DownloadFiles::FolderProblem::changed ? kFolderChanged : kFolderUnavailable,
                           std::move(completion));
  }
  job.automaticDirectory = std::move(std::get<FileDescriptor>(folder));
  // The name is checked inside the folder just opened, where the file will be placed.
  if (DownloadFiles::existsIn(job.automaticDirectory.get(), job.filename)) {
    return failBeforeStart(&download, job.filename, kNameTaken, std::move(completion));
  }
  const std::string target = (std::filesystem::path(folders_.downloads) / job.filename).string();
  stageDownload(&download, &job, target, std::move(completion));
}

void WebPanels::stageDownload(WebDownload* download, DownloadJob* job, const std::string& chosen,
                              Completion completion) {
  auto current = jobs_.find(download);
  if (current == jobs_.end() || current->second.get() != job || job->settled) return completion(std::nullopt);
  job->destination = chosen;
  auto folder = DownloadFiles::makeStagingFolder(folders_.temporary);
  if (auto* error = std::get_if<SaveError>(&folder)) {
    log("download: 落盘失败：" + error->description);
    return failBeforeStart(download, job->filename, ShellPanels::failureReason(*error), std::move(completion));
  }
  job->staging = (std::filesystem::path(std::get<std::string>(folder)) / lastComponent(chosen)).string();
  completion(job->staging);
}

std::optional<SaveError> WebPanels::saveFinished(DownloadJob& job, std::optional<DownloadFiles::Verified>& verified) {
  const auto& expectation = job.expectation;
  const bool checked = expectation && expectation->sha256;
  if (checked) {
    auto staged = DownloadFiles::verify(job.staging, expectation->bytes, *expectation->sha256);
    if (auto* error = std::get_if<SaveError>(&staged)) return *error;
  }
  if (expectation && expectation->downloads) {
    if (auto error = DownloadFiles::placeExclusively(job.staging, job.automaticDirectory.get(),
                                                     lastComponent(job.destination), rename_)) {
      return error;
    }
  } else if (auto error = DownloadFiles::moveReplacing(job.staging, job.destination)) {
    return error;
  }
  if (checked) {
    // Read back through the held folder where there is one: the path may lead elsewhere now.
    const std::string placed =
        job.automaticDirectory.valid()
            ? "/proc/self/fd/" + std::to_string(job.automaticDirectory.get()) + "/" + lastComponent(job.destination)
            : job.destination;
    auto final = DownloadFiles::verify(placed, expectation->bytes, *expectation->sha256);
    if (auto* error = std::get_if<SaveError>(&final)) return *error;
    verified = std::get<DownloadFiles::Verified>(final);
  }
  return std::nullopt;
}

void WebPanels::downloadDidFinish(WebDownload& download) {
  assert(loop_.isMainThread());
  std::shared_ptr<DownloadJob> job;
  if (auto it = jobs_.find(&download); it != jobs_.end()) job = it->second;
  auto release = [this, key = &download] { loop_.post([weak = weak_from_this(), key] {
                                              if (auto self = weak.lock()) self->adopted_.erase(key);
                                            }); };
  if (!job || job->staging.empty() || job->destination.empty()) return release();
  std::optional<DownloadFiles::Verified> verified;
  auto error = saveFinished(*job, verified);
  DownloadFiles::removeStagingFolder(job->staging);
  if (error) {
    log("download: 落盘失败：" + error->description);
    finish(&download, DownloadOutcome::failed(job->filename, ShellPanels::failureReason(*error)));
  } else {
    finish(&download, DownloadOutcome::saved(job->filename, job->destination,
                                             verified ? std::optional(verified->sha256) : std::nullopt,
                                             verified ? std::optional(verified->bytes) : std::nullopt));
  }
  release();
}

void WebPanels::downloadDidFail(WebDownload& download, const std::string& error) {
  assert(loop_.isMainThread());
  loop_.post([weak = weak_from_this(), key = &download] {
    if (auto self = weak.lock()) self->adopted_.erase(key);
  });
  DownloadJob* job = jobFor(&download);
  if (!job) return;
  if (!job->staging.empty()) DownloadFiles::removeStagingFolder(job->staging);
  log("download: 下载失败：" + error);
  finish(&download, DownloadOutcome::failed(job->filename, ShellPanelCopy::reasonGeneric));
}

}  // namespace tovarin
