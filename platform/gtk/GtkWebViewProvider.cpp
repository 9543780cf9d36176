#include "platform/gtk/GtkWebViewProvider.h"

#include <unistd.h>
#include <webkit2/webkit2.h>

#include <algorithm>
#include <cassert>
#include <filesystem>
#include <system_error>

#include "base/Log.h"
#include "platform/gtk/GtkWebView.h"
#include "platform/webext/FrameMessageWire.h"

namespace tovarin {

namespace {

constexpr const char* kExtensionModule = "libtovarin_webext.so";

void initialiseWebExtensions(WebKitWebContext*, gpointer data) {
  static_cast<GtkWebViewProvider*>(data)->initialiseWebProcess();
}

std::string programPrefix() {
  std::error_code error;
  const auto program = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return {};
  return program.parent_path().parent_path().string();  // <prefix>/bin/TheTovarin
}

}  // namespace

GtkWebViewProvider::Options GtkWebViewProvider::defaultOptions() {
  Options options;
  const std::string prefix = programPrefix();
  if (!prefix.empty()) options.webExtensionDirectory = prefix + "/lib/the-tovarin/webext";
  options.dataDirectory = std::string(g_get_user_data_dir()) + "/TheTovarin/web";
  return options;
}

GtkWebViewProvider::GtkWebViewProvider(MainLoop& loop, Options options) : loop_(loop), options_(std::move(options)) {
  assert(loop_.isMainThread());
  const std::string cacheDirectory = options_.dataDirectory + "/cache";
  WebKitWebsiteDataManager* manager =
      webkit_website_data_manager_new("base-data-directory", options_.dataDirectory.c_str(), "base-cache-directory",
                                      cacheDirectory.c_str(), nullptr);
  const std::string cookies = options_.dataDirectory + "/cookies.sqlite";
  std::error_code ignored;
  std::filesystem::create_directories(options_.dataDirectory, ignored);
  webkit_cookie_manager_set_persistent_storage(webkit_website_data_manager_get_cookie_manager(manager), cookies.c_str(),
                                               WEBKIT_COOKIE_PERSISTENT_STORAGE_SQLITE);
  context_ = webkit_web_context_new_with_website_data_manager(manager);
  g_object_unref(manager);
  // The pages come from a server on this machine and must always show what it has
  // now; a request header alone does not keep the engine from its caches.
  webkit_web_context_set_cache_model(context_, WEBKIT_CACHE_MODEL_DOCUMENT_VIEWER);

  const std::string module = options_.webExtensionDirectory + "/" + kExtensionModule;
  if (options_.webExtensionDirectory.empty() || !std::filesystem::exists(module, ignored)) {
    log("web extension not found at " + module + "; page messages will carry no frame facts");
  }
  initialiseHandler_ = g_signal_connect(context_, "initialize-web-extensions", G_CALLBACK(initialiseWebExtensions), this);
}

GtkWebViewProvider::~GtkWebViewProvider() {
  assert(loop_.isMainThread());
  g_signal_handler_disconnect(context_, initialiseHandler_);
  g_object_unref(context_);
}

void GtkWebViewProvider::initialiseWebProcess() {
  assert(loop_.isMainThread());
  webkit_web_context_set_web_extensions_directory(context_, options_.webExtensionDirectory.c_str());
  std::vector<const char*> names;
  for (const auto& name : handlerNames_) names.push_back(name.c_str());
  webkit_web_context_set_web_extensions_initialization_user_data(
      context_, g_variant_new_strv(names.data(), static_cast<gssize>(names.size())));
}

std::shared_ptr<WebView> GtkWebViewProvider::makeWebView(const WebViewOptions& options) {
  assert(loop_.isMainThread());
  for (const auto& name : options.messageNames) {
    if (std::find(handlerNames_.begin(), handlerNames_.end(), name) == handlerNames_.end()) handlerNames_.push_back(name);
  }
  WebKitUserContentManager* manager = webkit_user_content_manager_new();
  auto* view = WEBKIT_WEB_VIEW(
      g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context_, "user-content-manager", manager, nullptr));
  g_object_unref(manager);

  WebKitSettings* settings = webkit_web_view_get_settings(view);
  webkit_settings_set_enable_developer_extras(settings, TRUE);
  // Script may ask for a window only on a user action (which still reaches "create",
  // where it is refused and reported); a page or a frame inside it cannot open the
  // browser again and again on its own.
  webkit_settings_set_javascript_can_open_windows_automatically(settings, FALSE);
  if (options.transparent) {
    const GdkRGBA clear = {0, 0, 0, 0};
    webkit_web_view_set_background_color(view, &clear);
  }

  // The signal handlers first, then the names: nothing posted in between is lost.
  auto webView = GtkWebView::create(loop_, view, options.messageNames);
  for (const auto& name : options.messageNames) {
    if (!webkit_user_content_manager_register_script_message_handler(manager, name.c_str())) {
      log("script message handler " + name + " could not be registered");
    }
  }
  return webView;
}

}  // namespace tovarin

namespace tovarin {

void GtkWebViewProvider::setSessionCookie(const std::string& host, const std::string& name, const std::string& value,
                                          const std::string& path) {
  assert(loop_.isMainThread());
  // max-age -1: no expiry, so the cookie ends with the session.
  SoupCookie* cookie = soup_cookie_new(name.c_str(), value.c_str(), host.c_str(), path.c_str(), -1);
  if (!cookie) return;
  soup_cookie_set_http_only(cookie, TRUE);
  soup_cookie_set_secure(cookie, FALSE);
  soup_cookie_set_same_site_policy(cookie, SOUP_SAME_SITE_POLICY_STRICT);
  WebKitCookieManager* manager = webkit_web_context_get_cookie_manager(context_);
  webkit_cookie_manager_add_cookie(manager, cookie, nullptr, nullptr, nullptr);
  soup_cookie_free(cookie);
}

}  // namespace tovarin
