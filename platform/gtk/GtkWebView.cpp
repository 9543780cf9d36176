#include "platform/gtk/GtkWebView.h"

#include <libsoup/soup.h>
#include <webkit2/webkit2.h>

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstring>
#include <utility>

#include "base/Log.h"
#include "platform/gtk/GtkWebDownload.h"
#include "platform/webext/FrameMessageWire.h"

namespace tovarin {

namespace {

namespace wire = frame_message_wire;

// The data of one connected signal handler: the view, held weakly, and for the
// per-name script-message handlers the name.
struct HandlerData {
  std::weak_ptr<GtkWebView> view;
  std::string name;
};

std::shared_ptr<GtkWebView> lockView(gpointer data) { return static_cast<HandlerData*>(data)->view.lock(); }

void freeHandlerData(gpointer data, GClosure*) { delete static_cast<HandlerData*>(data); }

void loadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer data) {
  if (auto self = lockView(data)) self->onLoadChanged(event);
}

gboolean loadFailed(WebKitWebView*, WebKitLoadEvent event, gchar* uri, GError* error, gpointer data) {
  auto self = lockView(data);
  // TRUE keeps WebKit's own error page out: it would load as a page of its own and be
  // reported as a finished navigation of the failing address.
  return self ? self->onLoadFailed(event, uri, error) : TRUE;
}

gboolean decidePolicy(WebKitWebView*, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type, gpointer data) {
  auto self = lockView(data);
  return self ? self->onDecidePolicy(decision, type) : FALSE;
}

GtkWidget* createWindow(WebKitWebView*, WebKitNavigationAction* action, gpointer data) {
  if (auto self = lockView(data)) self->onNewWindowRequested(action);
  return nullptr;  // never a new window
}

void webProcessTerminated(WebKitWebView*, WebKitWebProcessTerminationReason, gpointer data) {
  if (auto self = lockView(data)) self->onWebProcessTerminated();
}

gboolean userMessageReceived(WebKitWebView*, WebKitUserMessage* message, gpointer data) {
  const char* name = webkit_user_message_get_name(message);
  if (g_strcmp0(name, wire::kPanelFactsName) == 0) {
    if (auto self = lockView(data)) self->onPanelFacts(message);
    return TRUE;
  }
  if (g_strcmp0(name, wire::kMessageName) != 0) return FALSE;
  if (auto self = lockView(data)) self->onFramedMessage(message);
  return TRUE;
}

gboolean scriptDialog(WebKitWebView*, WebKitScriptDialog* dialog, gpointer data) {
  auto self = lockView(data);
  return self ? self->onScriptDialog(dialog) : TRUE;
}

gboolean runFileChooser(WebKitWebView*, WebKitFileChooserRequest* request, gpointer data) {
  auto self = lockView(data);
  if (!self) {
    webkit_file_chooser_request_cancel(request);
    return TRUE;
  }
  return self->onFileChooser(request);
}

gboolean printRequested(WebKitWebView*, WebKitPrintOperation*, gpointer data) {
  auto self = lockView(data);
  return self ? self->onPrint() : TRUE;
}

gboolean authenticate(WebKitWebView*, WebKitAuthenticationRequest* request, gpointer data) {
  auto self = lockView(data);
  if (!self) {
    webkit_authentication_request_cancel(request);
    return TRUE;
  }
  return self->onAuthenticate(request);
}

void downloadStarted(WebKitWebContext*, WebKitDownload* download, gpointer data) {
  if (auto self = lockView(data)) self->onDownloadStarted(download);
}

// Panel announcements older than this belong to a panel the engine never raised.
constexpr double kPanelFactsLifetime = 2.0;

void scriptMessageReceived(WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer data) {
  auto* handler = static_cast<HandlerData*>(data);
  if (auto self = handler->view.lock()) self->onUnframedMessage(handler->name, result);
}

ScriptValue toScriptValue(JSCValue* value, GError* error) {
  if (error) return ScriptValue::error(error->message ? error->message : "script failed");
  if (!value || jsc_value_is_undefined(value)) return ScriptValue::undefinedValue();
  if (jsc_value_is_null(value)) return ScriptValue::nullValue();
  if (jsc_value_is_boolean(value)) return ScriptValue::ofBool(jsc_value_to_boolean(value));
  if (jsc_value_is_number(value)) return ScriptValue::ofNumber(jsc_value_to_double(value));
  if (jsc_value_is_string(value)) {
    g_autofree char* text = jsc_value_to_string(value);
    return ScriptValue::ofString(text ? text : "");
  }
  return ScriptValue{ScriptValue::Kind::other, false, 0, {}};
}

// A script call in flight. Its completion runs only while the view exists: once the
// view is gone the call is cancelled and nobody is told.
struct ScriptCall {
  std::weak_ptr<GtkWebView> view;
  std::function<void(ScriptValue)> completion;
  JSCValue* (*finish)(WebKitWebView*, GAsyncResult*, GError**);
};

void scriptCallFinished(GObject* source, GAsyncResult* result, gpointer data) {
  std::unique_ptr<ScriptCall> call(static_cast<ScriptCall*>(data));
  GError* error = nullptr;
  JSCValue* value = call->finish(WEBKIT_WEB_VIEW(source), result, &error);
  const bool cancelled = error && g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED);
  auto view = call->view.lock();
  if (!cancelled && view && call->completion) call->completion(toScriptValue(value, error));
  if (value) g_object_unref(value);
  if (error) g_error_free(error);
}

ScriptValue fromReadReply(GVariant* parameters) {
  if (!parameters || !g_variant_is_of_type(parameters, G_VARIANT_TYPE(wire::kReadReplyFormat))) {
    return ScriptValue::error("unreadable answer from the page");
  }
  const char* kind = nullptr;
  gboolean boolean = FALSE;
  double number = 0;
  const char* text = nullptr;
  g_variant_get(parameters, "(&sbd&s)", &kind, &boolean, &number, &text);
  const std::string_view name = kind;
  if (name == "undefined") return ScriptValue::undefinedValue();
  if (name == "null") return ScriptValue::nullValue();
  if (name == "boolean") return ScriptValue::ofBool(boolean != FALSE);
  if (name == "number") return ScriptValue::ofNumber(number);
  if (name == "string") return ScriptValue::ofString(text);
  if (name == "error") return ScriptValue::error(text);
  return ScriptValue{ScriptValue::Kind::other, false, 0, {}};
}

// A read in flight; like a script call, its completion runs only while the view exists.
struct ReadCall {
  std::weak_ptr<GtkWebView> view;
  std::string expression;
  std::function<void(ScriptValue)> completion;
};

void readFinished(GObject* source, GAsyncResult* result, gpointer data) {
  std::unique_ptr<ReadCall> call(static_cast<ReadCall*>(data));
  GError* error = nullptr;
  WebKitUserMessage* reply = webkit_web_view_send_message_to_page_finish(WEBKIT_WEB_VIEW(source), result, &error);
  const bool cancelled = error && g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED);
  auto view = call->view.lock();
  if (!cancelled && view) {
    if (reply) {
      call->completion(fromReadReply(webkit_user_message_get_parameters(reply)));
    } else {
      // No page extension took it (none loaded, or the page went): the script never ran.
      view->evaluate(call->expression, std::move(call->completion));
    }
  }
  if (reply) g_object_unref(reply);
  if (error) g_error_free(error);
}

bool isSupersededOrDownload(const GError* error) {
  return g_error_matches(error, WEBKIT_POLICY_ERROR, WEBKIT_POLICY_ERROR_FRAME_LOAD_INTERRUPTED_BY_POLICY_CHANGE) ||
         g_error_matches(error, WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED);
}

// Navigations the user or this program started are known to target the main frame;
// script-started ones may target a sub-frame (see the class comment).
bool looksLikeMainFrameNavigation(WebKitNavigationAction* action) {
  switch (webkit_navigation_action_get_navigation_type(action)) {
    case WEBKIT_NAVIGATION_TYPE_LINK_CLICKED:
    case WEBKIT_NAVIGATION_TYPE_FORM_SUBMITTED:
    case WEBKIT_NAVIGATION_TYPE_FORM_RESUBMITTED:
    case WEBKIT_NAVIGATION_TYPE_BACK_FORWARD:
    case WEBKIT_NAVIGATION_TYPE_RELOAD:
      return true;
    default:
      return false;
  }
}

std::string requestUri(WebKitURIRequest* request) {
  const char* uri = request ? webkit_uri_request_get_uri(request) : nullptr;
  return uri ? uri : "";
}

// The fragment never reaches the server: addresses that differ only there load the
// same document.
std::string withoutFragment(const std::string& url) { return url.substr(0, url.find('#')); }

// Enough for the few navigations that can be in flight between two commits; a page that
// asks for more only makes the oldest be asked about again.
constexpr size_t kMaxVettedUrls = 16;

void apply(WebKitPolicyDecision* decision, NavigationDecision answer) {
  switch (answer) {
    case NavigationDecision::allow: webkit_policy_decision_use(decision); break;
    case NavigationDecision::cancel: webkit_policy_decision_ignore(decision); break;
    case NavigationDecision::download: webkit_policy_decision_download(decision); break;
  }
}

NavigationResponse describeResponse(WebKitResponsePolicyDecision* decision) {
  WebKitURIResponse* response = webkit_response_policy_decision_get_response(decision);
  NavigationResponse described;
  const char* uri = webkit_uri_response_get_uri(response);
  described.url = uri ? uri : "";
  described.status = static_cast<int>(webkit_uri_response_get_status_code(response));
  const char* mime = webkit_uri_response_get_mime_type(response);
  described.mimeType = mime ? mime : "";
  described.canShowMimeType = webkit_response_policy_decision_is_mime_type_supported(decision);
  if (SoupMessageHeaders* headers = webkit_uri_response_get_http_headers(response)) {
    char* disposition = nullptr;
    GHashTable* dispositionParameters = nullptr;
    if (soup_message_headers_get_content_disposition(headers, &disposition, &dispositionParameters)) {
      described.isAttachment = disposition && g_ascii_strcasecmp(disposition, "attachment") == 0;
    }
    g_free(disposition);
    if (dispositionParameters) g_hash_table_destroy(dispositionParameters);
  }
  const char* suggested = webkit_uri_response_get_suggested_filename(response);
  described.suggestedFilename = suggested ? suggested : "";
  described.forMainFrame = webkit_response_policy_decision_is_main_frame_main_resource(decision);
  return described;
}

}  // namespace

std::shared_ptr<GtkWebView> GtkWebView::create(MainLoop& loop, _WebKitWebView* view,
                                               std::vector<std::string> messageNames) {
  std::shared_ptr<GtkWebView> made(new GtkWebView(loop, view, std::move(messageNames)));
  made->connectSignals();
  return made;
}

GtkWebView::GtkWebView(MainLoop& loop, _WebKitWebView* view, std::vector<std::string> messageNames)
    : loop_(loop),
      view_(WEBKIT_WEB_VIEW(g_object_ref_sink(view))),
      cancellable_(g_cancellable_new()),
      messageNames_(std::move(messageNames)) {
  assert(loop_.isMainThread());
}

GtkWebView::~GtkWebView() {
  assert(loop_.isMainThread());
  g_cancellable_cancel(cancellable_);
  for (auto& [instance, id] : signalHandlers_) g_signal_handler_disconnect(instance, id);
  webkit_web_view_stop_loading(view_);
  gtk_widget_destroy(GTK_WIDGET(view_));
  g_object_unref(view_);
  g_object_unref(cancellable_);
}

void GtkWebView::connectSignals() {
  auto connect = [this](gpointer instance, const char* signal, GCallback callback, std::string name = {}) {
    const gulong id = g_signal_connect_data(instance, signal, callback, new HandlerData{weak_from_this(), std::move(name)},
                                            freeHandlerData, GConnectFlags(0));
    signalHandlers_.emplace_back(instance, id);
  };
  connect(view_, "load-changed", G_CALLBACK(loadChanged));
  connect(view_, "load-failed", G_CALLBACK(loadFailed));
  connect(view_, "decide-policy", G_CALLBACK(decidePolicy));
  connect(view_, "create", G_CALLBACK(createWindow));
  connect(view_, "web-process-terminated", G_CALLBACK(webProcessTerminated));
  connect(view_, "user-message-received", G_CALLBACK(userMessageReceived));
  connect(view_, "script-dialog", G_CALLBACK(scriptDialog));
  connect(view_, "run-file-chooser", G_CALLBACK(runFileChooser));
  connect(view_, "print", G_CALLBACK(printRequested));
  connect(view_, "authenticate", G_CALLBACK(authenticate));
  connect(webkit_web_view_get_context(view_), "download-started", G_CALLBACK(downloadStarted));
  WebKitUserContentManager* manager = webkit_web_view_get_user_content_manager(view_);
  for (const auto& name : messageNames_) {
    const std::string signal = "script-message-received::" + name;
    connect(manager, signal.c_str(), G_CALLBACK(scriptMessageReceived), name);
  }
}

void GtkWebView::setClient(std::weak_ptr<WebViewClient> client) {
  assert(loop_.isMainThread());
  client_ = std::move(client);
}

void GtkWebView::loadUrl(const std::string& url, double timeoutSeconds) {
  assert(loop_.isMainThread());
  g_autoptr(WebKitURIRequest) request = webkit_uri_request_new(url.c_str());
  // Always from the server: the page must show what the server has now.
  if (SoupMessageHeaders* headers = webkit_uri_request_get_http_headers(request)) {
    soup_message_headers_replace(headers, "Cache-Control", "no-cache");
    soup_message_headers_replace(headers, "Pragma", "no-cache");
  }
  ownLoadUrl_ = requestUri(request);
  ownLoadPending_ = true;
  refusedUrls_.clear();
  const unsigned generation = ++loadGeneration_;
  loadTimeout_.cancel();
  if (timeoutSeconds > 0 && std::isfinite(timeoutSeconds)) {
    loadTimeout_ = loop_.postAfter(timeoutSeconds, [weak = weak_from_this(), generation] {
      if (auto self = weak.lock()) self->onLoadTimedOut(generation);
    });
  }
  webkit_web_view_load_request(view_, request);
}

void GtkWebView::loadHtml(const std::string& html, const std::string& baseUrl) {
  assert(loop_.isMainThread());
  ownLoadUrl_ = baseUrl.empty() ? "about:blank" : baseUrl;
  ownLoadPending_ = true;
  refusedUrls_.clear();
  ++loadGeneration_;
  loadTimeout_.cancel();
  webkit_web_view_load_html(view_, html.c_str(), baseUrl.empty() ? nullptr : baseUrl.c_str());
}

std::string GtkWebView::url() const {
  const char* uri = webkit_web_view_get_uri(view_);
  return uri ? uri : "";
}

void GtkWebView::evaluate(const std::string& script, std::function<void(ScriptValue)> completion) {
  assert(loop_.isMainThread());
  if (!completion) {
    webkit_web_view_evaluate_javascript(view_, script.data(), static_cast<gssize>(script.size()), nullptr, nullptr,
                                        nullptr, nullptr, nullptr);
    return;
  }
  auto* call = new ScriptCall{weak_from_this(), std::move(completion), webkit_web_view_evaluate_javascript_finish};
  webkit_web_view_evaluate_javascript(view_, script.data(), static_cast<gssize>(script.size()), nullptr, nullptr,
                                      cancellable_, scriptCallFinished, call);
}

void GtkWebView::read(const std::string& expression, std::function<void(ScriptValue)> completion) {
  assert(loop_.isMainThread());
  if (!completion) return;
  WebKitUserMessage* message =
      webkit_user_message_new(wire::kReadName, g_variant_new(wire::kReadFormat, expression.c_str()));
  webkit_web_view_send_message_to_page(view_, message, cancellable_, readFinished,
                                       new ReadCall{weak_from_this(), expression, std::move(completion)});
}

void GtkWebView::callAsync(const std::string& functionBody, const Json& arguments,
                           std::function<void(ScriptValue)> completion) {
  assert(loop_.isMainThread());
  // One string argument: the engine refuses Boolean and array arguments, and a string
  // can never be read as script.
  const std::string argumentsJson = toJsonText(arguments);
  GVariantBuilder builder;
  g_variant_builder_init(&builder, G_VARIANT_TYPE_VARDICT);
  g_variant_builder_add(&builder, "{sv}", "argumentsJson", g_variant_new_string(argumentsJson.c_str()));
  auto* call = new ScriptCall{weak_from_this(), std::move(completion),
                              webkit_web_view_call_async_javascript_function_finish};
  webkit_web_view_call_async_javascript_function(view_, functionBody.data(), static_cast<gssize>(functionBody.size()),
                                                 g_variant_builder_end(&builder), nullptr, nullptr, cancellable_,
                                                 scriptCallFinished, call);
}

void GtkWebView::removeAllDocumentStartScripts() {
  assert(loop_.isMainThread());
  webkit_user_content_manager_remove_all_scripts(webkit_web_view_get_user_content_manager(view_));
}

void GtkWebView::addDocumentStartScript(const std::string& source) {
  assert(loop_.isMainThread());
  WebKitUserScript* script = webkit_user_script_new(source.c_str(), WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                                                    WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
  webkit_user_content_manager_add_script(webkit_web_view_get_user_content_manager(view_), script);
  webkit_user_script_unref(script);
}

_GtkWidget* GtkWebView::widget() const { return GTK_WIDGET(view_); }

void GtkWebView::onLoadChanged(int loadEvent) {
  assert(loop_.isMainThread());
  switch (static_cast<WebKitLoadEvent>(loadEvent)) {
    case WEBKIT_LOAD_STARTED:
      // The engine still names the previous address here; the load is checked once it
      // names the new one.
      committed_ = false;
      loadFailed_ = false;
      break;
    case WEBKIT_LOAD_REDIRECTED:
      vetRedirect();
      break;
    case WEBKIT_LOAD_COMMITTED:
      committed_ = true;
      ownLoadPending_ = false;
      vettedUrls_.clear();
      refusedUrls_.clear();
      loadTimeout_.cancel();
      break;
    case WEBKIT_LOAD_FINISHED:
      loadTimeout_.cancel();
      if (loadFailed_) return;
      if (auto c = client()) c->webViewDidFinishNavigation(url());
      break;
  }
}

bool GtkWebView::onLoadFailed(int loadEvent, const char* failingUri, const void* errorPointer) {
  assert(loop_.isMainThread());
  const auto* error = static_cast<const GError*>(errorPointer);
  loadFailed_ = true;
  loadTimeout_.cancel();
  // A download took the navigation over, or a newer navigation replaced it: no outage.
  if (isSupersededOrDownload(error)) return true;
  const std::string message = error && error->message ? error->message : "load failed";
  const std::string failed = failingUri ? failingUri : "";
  log("page load failed (" + failed + "): " + message);
  auto c = client();
  if (!c) return true;
  if (loadEvent == WEBKIT_LOAD_COMMITTED) {
    c->webViewDidFailNavigation(message, failed);
  } else {
    c->webViewDidFailProvisionalNavigation(message, failed);
  }
  return true;
}

void GtkWebView::onLoadTimedOut(unsigned generation) {
  assert(loop_.isMainThread());
  if (generation != loadGeneration_ || committed_ || loadFailed_) return;
  loadFailed_ = true;
  // Stopping reports a cancellation, which is filtered; the timeout is the outage.
  webkit_web_view_stop_loading(view_);
  log("page load timed out: " + ownLoadUrl_);
  if (auto c = client()) c->webViewDidFailProvisionalNavigation("The request timed out.", ownLoadUrl_);
}

bool GtkWebView::onDecidePolicy(void* decisionPointer, int decisionType) {
  assert(loop_.isMainThread());
  auto* decision = static_cast<WebKitPolicyDecision*>(decisionPointer);
  switch (static_cast<WebKitPolicyDecisionType>(decisionType)) {
    case WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION:
      decideNavigationAction(decision);
      return true;
    case WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION:
      // Let WebKit ask for the window through "create", which refuses it and reports.
      webkit_policy_decision_use(decision);
      return true;
    case WEBKIT_POLICY_DECISION_TYPE_RESPONSE:
      decideResponse(decision);
      return true;
    default:
      return false;
  }
}

void GtkWebView::decideNavigationAction(_WebKitPolicyDecision* decision) {
  WebKitNavigationAction* action =
      webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
  NavigationAction asked;
  asked.url = requestUri(webkit_navigation_action_get_request(action));
  asked.programInitiated = ownLoadPending_ && asked.url == ownLoadUrl_;
  asked.targetsMainFrame = asked.programInitiated || looksLikeMainFrameNavigation(action);
  asked.userGesture = webkit_navigation_action_is_user_gesture(action);
  asked.initiator = takeLinkFacts(asked.url);
  auto c = client();
  const NavigationDecision answer = c ? c->webViewDecideNavigation(asked) : NavigationDecision::allow;
  if (answer == NavigationDecision::allow && asked.targetsMainFrame) rememberVetted(asked.url);
  apply(decision, answer);
}

void GtkWebView::decideResponse(_WebKitPolicyDecision* decision) {
  const NavigationResponse asked = describeResponse(WEBKIT_RESPONSE_POLICY_DECISION(decision));
  // The first moment the main frame's new address is certain, and still before the
  // page can show or run anything.
  if (asked.forMainFrame) {
    const NavigationDecision vetting = vetMainFrameAddress(asked.url);
    if (vetting != NavigationDecision::allow) {
      apply(decision, vetting);
      return;
    }
  }
  auto c = client();
  apply(decision, c ? c->webViewDecideResponse(asked) : NavigationDecision::allow);
}

NavigationDecision GtkWebView::vetMainFrameAddress(const std::string& url) {
  if (isVetted(url)) return NavigationDecision::allow;
  const std::string bare = withoutFragment(url);
  if (std::find(refusedUrls_.begin(), refusedUrls_.end(), bare) != refusedUrls_.end()) {
    return NavigationDecision::cancel;
  }
  auto c = client();
  if (!c) return NavigationDecision::allow;
  NavigationAction asked;
  asked.url = url;
  asked.targetsMainFrame = true;
  asked.programInitiated = ownLoadPending_ && url == ownLoadUrl_;
  const NavigationDecision answer = c->webViewDecideNavigation(asked);
  if (answer == NavigationDecision::allow) {
    rememberVetted(url);
  } else if (answer == NavigationDecision::cancel && refusedUrls_.size() < kMaxVettedUrls) {
    refusedUrls_.push_back(bare);
  }
  return answer;
}

void GtkWebView::vetRedirect() {
  // A redirect of an allowed load is a new address the client may not have seen.
  const std::string target = url();
  const NavigationDecision answer = vetMainFrameAddress(target);
  if (answer == NavigationDecision::allow) return;
  webkit_web_view_stop_loading(view_);
  if (answer == NavigationDecision::download) webkit_web_view_download_uri(view_, target.c_str());
}

void GtkWebView::rememberVetted(const std::string& url) {
  if (isVetted(url)) return;
  if (vettedUrls_.size() >= kMaxVettedUrls) vettedUrls_.erase(vettedUrls_.begin());
  vettedUrls_.push_back(withoutFragment(url));
}

bool GtkWebView::isVetted(const std::string& url) const {
  return std::find(vettedUrls_.begin(), vettedUrls_.end(), withoutFragment(url)) != vettedUrls_.end();
}

void GtkWebView::onNewWindowRequested(void* actionPointer) {
  assert(loop_.isMainThread());
  auto* action = static_cast<WebKitNavigationAction*>(actionPointer);
  NavigationAction asked;
  asked.url = requestUri(webkit_navigation_action_get_request(action));
  asked.targetsMainFrame = false;
  asked.userGesture = webkit_navigation_action_is_user_gesture(action);
  asked.opensNewWindow = true;
  if (auto c = client()) c->webViewRequestedNewWindow(asked);
}

void GtkWebView::onWebProcessTerminated() {
  assert(loop_.isMainThread());
  log("web content process ended");
  if (auto c = client()) c->webViewWebContentProcessDidTerminate();
}

bool GtkWebView::isHandlerName(const std::string& name) const {
  for (const auto& known : messageNames_)
    if (known == name) return true;
  return false;
}

void GtkWebView::onFramedMessage(void* messagePointer) {
  assert(loop_.isMainThread());
  auto* message = static_cast<WebKitUserMessage*>(messagePointer);
  GVariant* parameters = webkit_user_message_get_parameters(message);
  if (!parameters || !g_variant_is_of_type(parameters, G_VARIANT_TYPE(wire::kParametersFormat))) {
    logDropped("shape", "dropped a script message of the wrong shape");
    return;
  }
  const char* name = nullptr;
  gboolean isMainFrame = FALSE;
  const char* frameUrl = nullptr;
  const char* origin = nullptr;
  const char* bodyJson = nullptr;
  g_variant_get(parameters, "(&sb&s&s&s)", &name, &isMainFrame, &frameUrl, &origin, &bodyJson);
  if (!isHandlerName(name)) {
    logDropped("unknown", std::string("dropped a script message for the unknown handler ") + name);
    return;
  }
  MessageSource source{true, isMainFrame != FALSE, frameUrl, origin};
  if (!accepts(name, source)) return;
  g_autoptr(GVariant) bodyVariant = g_variant_get_child_value(parameters, 4);
  gsize bodyBytes = 0;
  g_variant_get_string(bodyVariant, &bodyBytes);
  if (bodyBytes > wire::kMaxBodyBytes) {
    logDropped(name, std::string("dropped a script message for ") + name + ": its body is too large");
    return;
  }
  auto body = parseJson(bodyJson);
  if (!body) {
    logDropped(name, std::string("dropped a script message for ") + name + ": its body is not JSON");
    return;
  }
  deliver(ScriptMessage{name, std::move(*body), std::move(source)});
}

void GtkWebView::onUnframedMessage(const std::string& name, void* resultPointer) {
  assert(loop_.isMainThread());
  // The page went around the frame-aware postMessage: who sent it is not known.
  if (!accepts(name, MessageSource{})) return;
  auto* result = static_cast<WebKitJavascriptResult*>(resultPointer);
  JSCValue* value = webkit_javascript_result_get_js_value(result);
  g_autofree char* json = value ? jsc_value_to_json(value, 0) : nullptr;
  if (json && std::strlen(json) > wire::kMaxBodyBytes) {
    logDropped(name, "dropped a script message for " + name + ": its body is too large");
    return;
  }
  auto body = parseJson(json ? json : "null");
  if (!body) {
    logDropped(name, "dropped a script message for " + name + ": its body is not JSON");
    return;
  }
  deliver(ScriptMessage{name, std::move(*body), MessageSource{}});
}

bool GtkWebView::accepts(const std::string& name, const MessageSource& source) {
  auto c = client();
  return c && c->webViewAcceptsMessage(name, source);
}

void GtkWebView::logDropped(const std::string& kind, const std::string& line) {
  if (dropLog_.allows(kind, loop_.now())) log(line);
}

void GtkWebView::deliver(ScriptMessage message) {
  if (auto c = client()) c->webViewDidReceiveMessage(message);
}

void GtkWebView::onPanelFacts(void* messagePointer) {
  assert(loop_.isMainThread());
  GVariant* parameters = webkit_user_message_get_parameters(static_cast<WebKitUserMessage*>(messagePointer));
  if (!parameters || !g_variant_is_of_type(parameters, G_VARIANT_TYPE(wire::kPanelFactsFormat))) return;
  const char* kind = nullptr;
  gboolean isMainFrame = FALSE;
  const char* frameUrl = nullptr;
  const char* origin = nullptr;
  const char* detail = nullptr;
  g_variant_get(parameters, "(&sb&s&s&s)", &kind, &isMainFrame, &frameUrl, &origin, &detail);
  MessageSource source{true, isMainFrame != FALSE, frameUrl, origin};
  if (g_strcmp0(kind, "file-end") == 0) {
    // The frame has handled its click: a chooser it raised was asked for by now, and
    // the announcement must not serve one raised later by anybody else.
    if (panelFacts_ && panelFacts_->kind == "file" && panelFacts_->source.isMainFrame == source.isMainFrame &&
        panelFacts_->source.frameUrl == source.frameUrl && panelFacts_->source.securityOrigin == source.securityOrigin) {
      panelFacts_.reset();
    }
    return;
  }
  panelFacts_ = PanelFacts{kind, loop_.now(), std::move(source), detail};
}

MessageSource GtkWebView::takeLinkFacts(const std::string& url) {
  if (!panelFacts_ || panelFacts_->kind != "link" || panelFacts_->detail != url) return MessageSource{};
  return takePanelFacts("link");
}

MessageSource GtkWebView::takePanelFacts(const std::string& kind, std::string* detail) {
  auto facts = std::exchange(panelFacts_, std::nullopt);
  if (!facts || facts->kind != kind || loop_.now() - facts->at > kPanelFactsLifetime) return MessageSource{};
  if (detail) *detail = facts->detail;
  return facts->source;
}

bool GtkWebView::onScriptDialog(void* dialogPointer) {
  assert(loop_.isMainThread());
  auto* dialog = static_cast<WebKitScriptDialog*>(dialogPointer);
  ScriptDialog asked;
  switch (webkit_script_dialog_get_dialog_type(dialog)) {
    case WEBKIT_SCRIPT_DIALOG_ALERT: asked.kind = ScriptDialog::Kind::alert; break;
    case WEBKIT_SCRIPT_DIALOG_CONFIRM: asked.kind = ScriptDialog::Kind::confirm; break;
    case WEBKIT_SCRIPT_DIALOG_PROMPT: asked.kind = ScriptDialog::Kind::prompt; break;
    case WEBKIT_SCRIPT_DIALOG_BEFORE_UNLOAD_CONFIRM:
      // Leaving a page is never held up by a question from the page.
      webkit_script_dialog_confirm_set_confirmed(dialog, TRUE);
      return true;
  }
  static const char* const kinds[] = {"alert", "confirm", "prompt"};
  asked.source = takePanelFacts(kinds[static_cast<int>(asked.kind)]);
  const char* message = webkit_script_dialog_get_message(dialog);
  asked.message = message ? message : "";
  if (asked.kind == ScriptDialog::Kind::prompt) {
    const char* defaultText = webkit_script_dialog_prompt_get_default_text(dialog);
    if (defaultText) asked.defaultText = std::string(defaultText);
  }
  auto c = client();
  if (!c) return true;  // the engine answers negatively
  // An answer given at once is left for the engine to read when this handler returns;
  // one given later closes the dialog, which the engine then waits for.
  struct Pending {
    WebKitScriptDialog* dialog;
    bool inSignal = true;
  };
  auto pending = std::make_shared<Pending>(Pending{webkit_script_dialog_ref(dialog)});
  const auto kind = asked.kind;
  c->webViewRunScriptDialog(asked, [pending, kind](ScriptDialogAnswer answer) {
    if (!pending->dialog) return;
    WebKitScriptDialog* dialog = std::exchange(pending->dialog, nullptr);
    if (kind == ScriptDialog::Kind::confirm) webkit_script_dialog_confirm_set_confirmed(dialog, answer.confirmed);
    // A cancelled prompt gives null to the page; an empty text is an answer.
    if (kind == ScriptDialog::Kind::prompt && answer.text) webkit_script_dialog_prompt_set_text(dialog, answer.text->c_str());
    if (!pending->inSignal) webkit_script_dialog_close(dialog);
    webkit_script_dialog_unref(dialog);
  });
  pending->inSignal = false;
  return true;
}

bool GtkWebView::onFileChooser(void* requestPointer) {
  assert(loop_.isMainThread());
  auto* request = static_cast<WebKitFileChooserRequest*>(requestPointer);
  FileChooserRequest asked;
  asked.allowsMultiple = webkit_file_chooser_request_get_select_multiple(request);
  // The engine tells MIME types only; the file-name extensions the input accepts come
  // with the frame's announcement of the click.
  std::string accepted;
  asked.source = takePanelFacts("file", &accepted);
  std::size_t start = 0;
  while (start <= accepted.size()) {
    const std::size_t comma = std::min(accepted.find(',', start), accepted.size());
    std::string item = accepted.substr(start, comma - start);
    const auto first = item.find_first_not_of(' ');
    if (first != std::string::npos && item[first] == '.') asked.acceptedExtensions.push_back(item);
    start = comma + 1;
  }
  auto c = client();
  if (!c) {
    webkit_file_chooser_request_cancel(request);
    return true;
  }
  g_object_ref(request);
  c->webViewRunFileChooser(asked, [request](std::optional<std::vector<std::string>> paths) {
    if (paths && !paths->empty()) {
      std::vector<const char*> files;
      for (const auto& path : *paths) files.push_back(path.c_str());
      files.push_back(nullptr);
      webkit_file_chooser_request_select_files(request, files.data());
    } else {
      webkit_file_chooser_request_cancel(request);
    }
    g_object_unref(request);
  });
  return true;
}

bool GtkWebView::onPrint() {
  assert(loop_.isMainThread());
  const MessageSource source = takePanelFacts("print");
  auto c = client();
  // TRUE stops the engine's own print dialog.
  return !(c && c->webViewAllowsPrinting(source));
}

bool GtkWebView::onAuthenticate(void* requestPointer) {
  assert(loop_.isMainThread());
  auto* request = static_cast<WebKitAuthenticationRequest*>(requestPointer);
  const char* host = webkit_authentication_request_get_host(request);
  const int port = static_cast<int>(webkit_authentication_request_get_port(request));
  auto c = client();
  if (c && !webkit_authentication_request_is_for_proxy(request) && c->webViewAllowsAuthentication(host ? host : "", port)) {
    return false;  // the engine asks the user
  }
  log(std::string("login request refused: ") + (host ? host : "") + ":" + std::to_string(port));
  webkit_authentication_request_cancel(request);
  return true;
}

void GtkWebView::onDownloadStarted(void* downloadPointer) {
  assert(loop_.isMainThread());
  auto* download = static_cast<WebKitDownload*>(downloadPointer);
  if (webkit_download_get_web_view(download) != view_) return;
  auto made = GtkWebDownload::create(loop_, download);
  if (auto c = client()) c->webViewDidStartDownload(made);
}

}  // namespace tovarin
