#include "platform/gtk/GtkWebDownload.h"

#include <webkit2/webkit2.h>

#include <cassert>

namespace tovarin {
namespace {

struct HandlerData {
  std::weak_ptr<GtkWebDownload> download;
};

void freeHandlerData(gpointer data, GClosure*) { delete static_cast<HandlerData*>(data); }

std::shared_ptr<GtkWebDownload> lock(gpointer data) { return static_cast<HandlerData*>(data)->download.lock(); }

gboolean decideDestination(WebKitDownload*, gchar* suggested, gpointer data) {
  auto self = lock(data);
  if (!self) return FALSE;
  return self->onDecideDestination(suggested) ? TRUE : FALSE;
}

void failed(WebKitDownload*, GError* error, gpointer data) {
  if (auto self = lock(data)) self->onFailed(error && error->message ? error->message : "download failed");
}

void finished(WebKitDownload*, gpointer data) {
  if (auto self = lock(data)) self->onFinished();
}

}  // namespace

std::shared_ptr<GtkWebDownload> GtkWebDownload::create(MainLoop& loop, _WebKitDownload* download) {
  std::shared_ptr<GtkWebDownload> made(new GtkWebDownload(loop, download));
  made->connectSignals();
  return made;
}

GtkWebDownload::GtkWebDownload(MainLoop& loop, _WebKitDownload* download)
    : loop_(loop), download_(WEBKIT_DOWNLOAD(g_object_ref(download))) {}

GtkWebDownload::~GtkWebDownload() {
  for (auto& [instance, id] : signalHandlers_) g_signal_handler_disconnect(instance, id);
  // Nobody holds it any more: a download without an owner is never written anywhere
  // (the engine would otherwise pick a place itself), and one waiting for its
  // destination would wait for ever.
  cancelOnce();
  g_object_unref(download_);
}

void GtkWebDownload::connectSignals() {
  auto connect = [this](const char* signal, GCallback callback) {
    const gulong id = g_signal_connect_data(download_, signal, callback, new HandlerData{weak_from_this()},
                                            freeHandlerData, GConnectFlags(0));
    signalHandlers_.emplace_back(download_, id);
  };
  connect("decide-destination", G_CALLBACK(decideDestination));
  connect("failed", G_CALLBACK(failed));
  connect("finished", G_CALLBACK(finished));
}

void GtkWebDownload::setClient(std::weak_ptr<WebDownloadClient> client) {
  assert(loop_.isMainThread());
  client_ = std::move(client);
}

std::optional<std::string> GtkWebDownload::originalUrl() const {
  WebKitURIRequest* request = webkit_download_get_request(download_);
  const char* uri = request ? webkit_uri_request_get_uri(request) : nullptr;
  if (!uri) return std::nullopt;
  return std::string(uri);
}

void GtkWebDownload::cancel() {
  assert(loop_.isMainThread());
  cancelOnce();
}

void GtkWebDownload::cancelOnce() {
  if (ended_ || cancelAsked_) return;
  cancelAsked_ = true;
  webkit_download_cancel(download_);
}

bool GtkWebDownload::onDecideDestination(const char* suggestedFilename) {
  assert(loop_.isMainThread());
  const unsigned decision = ++decisions_;
  awaitingDestination_ = true;
  auto client = client_.lock();
  if (!client) {
    answerDestination(decision, std::nullopt);
    return true;
  }
  // The answer may come much later, from a save panel.
  client->downloadDecideDestination(*this, suggestedFilename ? suggestedFilename : "",
                                    [weak = weak_from_this(), decision](std::optional<std::string> path) {
                                      if (auto self = weak.lock()) self->answerDestination(decision, std::move(path));
                                    });
  return true;
}

void GtkWebDownload::answerDestination(unsigned decision, std::optional<std::string> path) {
  if (decision != decisions_ || !awaitingDestination_) return;
  awaitingDestination_ = false;
  if (ended_) return;
  if (path) {
    webkit_download_set_allow_overwrite(download_, FALSE);
    webkit_download_set_destination(download_, path->c_str());
  } else {
    cancelOnce();
  }
}

void GtkWebDownload::onFailed(const char* error) {
  assert(loop_.isMainThread());
  failed_ = true;
  ended_ = true;
  awaitingDestination_ = false;
  if (auto client = client_.lock()) client->downloadDidFail(*this, error);
}

void GtkWebDownload::onFinished() {
  assert(loop_.isMainThread());
  if (failed_) return;
  ended_ = true;
  if (auto client = client_.lock()) client->downloadDidFinish(*this);
}

}  // namespace tovarin
