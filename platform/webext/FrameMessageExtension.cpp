// Runs inside each web process. WebKitGTK's UI process is not told which frame posted
// a script message, so every frame gets, before its own scripts run, a postMessage that
// knows its frame and sends the message with its frame's facts to the web view.

#include <webkit2/webkit-web-extension.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/webext/FrameMessageWire.h"

namespace {

namespace wire = tovarin::frame_message_wire;

std::vector<std::string>& handlerNames() {
  static std::vector<std::string> names;
  return names;
}

// Installed into each frame's script world. Everything the replacement uses at call
// time is captured here, while only built-ins the page has not touched exist, and is
// bound so that no property is looked up later: a page cannot redirect it.
constexpr const char* kInstaller = R"JS(
(function (send, names, isMainFrame, announce) {
  'use strict';
  const win = globalThis;
  const findGetter = (object, key) => {
    for (let o = object; o; o = Object.getPrototypeOf(o)) {
      const d = Object.getOwnPropertyDescriptor(o, key);
      if (d) return d.get;
    }
    return undefined;
  };
  const originGetter = findGetter(win, 'origin');
  const readOrigin = originGetter ? Function.prototype.call.bind(originGetter, win) : () => 'null';
  const originOf = originGetter ? Function.prototype.call.bind(originGetter) : () => 'null';
  const mapGet = Function.prototype.call.bind(Map.prototype.get);
  const handlers = new Map();
  const namespace = win.webkit && win.webkit.messageHandlers;
  let proto = null;
  for (const name of names) {
    const handler = namespace ? namespace[name] : undefined;
    if (handler) {
      handlers.set(handler, name);
      proto = proto || Object.getPrototypeOf(handler);
    }
  }
  if (proto) {
    const existing = Object.getOwnPropertyDescriptor(proto, 'postMessage');
    // A handler this process was not told about keeps the engine's own path, whose
    // messages arrive without frame facts and so are never trusted.
    const original = existing && typeof existing.value === 'function'
        ? Function.prototype.call.bind(existing.value) : null;
    if (!existing || existing.configurable) {
      Object.defineProperty(proto, 'postMessage', {
        value: function postMessage(body) {
          const name = mapGet(handlers, this);
          if (name !== undefined) return send(name, readOrigin(), body);
          if (original) return original(this, body);
          throw new TypeError('Unknown message handler');
        },
        writable: false, configurable: false, enumerable: true,
      });
    }
  }
  if (!isMainFrame) {
    let sameOriginAsTop = false;
    try {
      const own = readOrigin();
      sameOriginAsTop = own !== 'null' && originOf(win.top) === own;
    } catch (e) {
      sameOriginAsTop = false;  // the top frame is cross-origin
    }
    if (!sameOriginAsTop) {
      const answers = [['alert', undefined], ['confirm', false], ['prompt', null]];
      for (const [key, answer] of answers) {
        try {
          Object.defineProperty(win, key, {
            value: function () { return answer; }, writable: false, configurable: false,
          });
        } catch (e) {}
      }
    }
  }
  // Dialogs a foreign frame had neutralised above stay so (they cannot be redefined).
  // Dialogs and file choosers reach the view without their frame: each is announced
  // with this frame's origin just before it is raised. A panel nobody announced (a
  // frame this process never saw) is answered as refused.
  const reflectApply = Reflect.apply;
  const wrapPanel = (key) => {
    const original = win[key];
    if (typeof original !== 'function') return;
    try {
      Object.defineProperty(win, key, {
        value: function () {
          announce(key, readOrigin(), '');
          return reflectApply(original, win, arguments);
        },
        writable: false, configurable: false,
      });
    } catch (e) {}
  };
  for (const key of ['alert', 'confirm', 'prompt', 'print']) wrapPanel(key);
  // A file input's announcement holds only while its click is handled: a click the page
  // cancels raises no chooser, and its announcement must not serve a later one (a
  // detached input's click reaches no listener here). The chooser's request leaves this
  // process during the click, before the task that withdraws the announcement.
  const inputProto = win.HTMLInputElement ? win.HTMLInputElement.prototype : null;
  const inputType = findGetter(inputProto, 'type');
  const inputAccept = findGetter(inputProto, 'accept');
  const readType = inputType ? Function.prototype.call.bind(inputType) : null;
  const readAccept = inputAccept ? Function.prototype.call.bind(inputAccept) : () => '';
  const InputElement = win.HTMLInputElement;
  const anchorHref = findGetter(win.HTMLAnchorElement ? win.HTMLAnchorElement.prototype : null, 'href');
  const areaHref = findGetter(win.HTMLAreaElement ? win.HTMLAreaElement.prototype : null, 'href');
  const readAnchorHref = anchorHref ? Function.prototype.call.bind(anchorHref) : null;
  const readAreaHref = areaHref ? Function.prototype.call.bind(areaHref) : null;
  const AnchorElement = win.HTMLAnchorElement;
  const AreaElement = win.HTMLAreaElement;
  const later = typeof win.setTimeout === 'function' ? Function.prototype.bind.call(win.setTimeout, win) : null;
  const composedPath = win.Event ? Function.prototype.call.bind(win.Event.prototype.composedPath) : null;
  const isFileInput = (node) => readType && InputElement && node instanceof InputElement && readType(node) === 'file';
  const linkOf = (node) => {
    if (readAnchorHref && AnchorElement && node instanceof AnchorElement) return String(readAnchorHref(node));
    if (readAreaHref && AreaElement && node instanceof AreaElement) return String(readAreaHref(node));
    return null;
  };
  // A link's click is announced with its address: a download it starts is told apart
  // from one a frame started without showing itself.
  const announceActivation = (path) => {
    for (const node of path) {
      if (isFileInput(node)) {
        announce('file', readOrigin(), String(readAccept(node)).slice(0, 4096));
        if (later) later(() => announce('file-end', readOrigin(), ''), 0);
        return;
      }
      const href = linkOf(node);
      if (href !== null) {
        announce('link', readOrigin(), href);
        return;
      }
    }
  };
  if (typeof win.addEventListener === 'function' && composedPath) {
    win.addEventListener('click', (event) => announceActivation(composedPath(event)), true);
  }
  // Script's click() of an element outside the document reaches no listener.
  const elementProto = win.HTMLElement ? win.HTMLElement.prototype : null;
  const originalClick = elementProto && typeof elementProto.click === 'function' ? elementProto.click : null;
  if (originalClick) {
    try {
      Object.defineProperty(elementProto, 'click', {
        value: function click() {
          announceActivation([this]);
          return reflectApply(originalClick, this, arguments);
        },
        writable: false, configurable: false, enumerable: true,
      });
    } catch (e) {}
  }
})
)JS";

// The frame and page a frame's postMessage reports for. Both are held weakly: the
// closure lives as long as the frame's script objects, which may outlive either.
struct FrameTarget {
  GWeakRef frame;
  GWeakRef page;
};

void freeTarget(gpointer data) {
  auto* target = static_cast<FrameTarget*>(data);
  g_weak_ref_clear(&target->frame);
  g_weak_ref_clear(&target->page);
  delete target;
}

void sendScriptMessage(const char* name, const char* origin, JSCValue* body, gpointer data) {
  auto* target = static_cast<FrameTarget*>(data);
  g_autoptr(WebKitFrame) frame = static_cast<WebKitFrame*>(g_weak_ref_get(&target->frame));
  g_autoptr(WebKitWebPage) page = static_cast<WebKitWebPage*>(g_weak_ref_get(&target->page));
  if (!frame || !page || !name) return;
  JSCContext* context = jsc_value_get_context(body);
  g_autofree char* json = jsc_value_to_json(body, 0);
  if (!json) {
    // A body JSON cannot express: undefined travels as null; a cyclic value leaves
    // its exception pending, which the page sees as a throw from postMessage.
    if (jsc_context_get_exception(context)) return;
    json = g_strdup("null");
  }
  // The view would refuse it too; not sending spares both processes a copy.
  if (std::strlen(json) > wire::kMaxBodyBytes) {
    jsc_context_throw_with_name(context, "RangeError", "message body too large");
    return;
  }
  const char* uri = webkit_frame_get_uri(frame);
  WebKitUserMessage* message = webkit_user_message_new(
      wire::kMessageName, g_variant_new(wire::kParametersFormat, name, webkit_frame_is_main_frame(frame),
                                        uri ? uri : "", origin ? origin : "null", json));
  g_object_ref_sink(message);
  webkit_web_page_send_message_to_view(page, message, nullptr, nullptr, nullptr);
  g_object_unref(message);
}

void sendPanelFacts(const char* kind, const char* origin, const char* detail, gpointer data) {
  auto* target = static_cast<FrameTarget*>(data);
  g_autoptr(WebKitFrame) frame = static_cast<WebKitFrame*>(g_weak_ref_get(&target->frame));
  g_autoptr(WebKitWebPage) page = static_cast<WebKitWebPage*>(g_weak_ref_get(&target->page));
  if (!frame || !page || !kind) return;
  const char* uri = webkit_frame_get_uri(frame);
  WebKitUserMessage* message = webkit_user_message_new(
      wire::kPanelFactsName, g_variant_new(wire::kPanelFactsFormat, kind, webkit_frame_is_main_frame(frame),
                                           uri ? uri : "", origin ? origin : "null", detail ? detail : ""));
  g_object_ref_sink(message);
  webkit_web_page_send_message_to_view(page, message, nullptr, nullptr, nullptr);
  g_object_unref(message);
}

FrameTarget* newTarget(WebKitWebPage* page, WebKitFrame* frame) {
  auto* target = new FrameTarget;
  g_weak_ref_init(&target->frame, frame);
  g_weak_ref_init(&target->page, page);
  return target;
}

void installIntoFrame(WebKitScriptWorld* world, WebKitWebPage* page, WebKitFrame* frame, gpointer) {
  g_autoptr(JSCContext) context = webkit_frame_get_js_context_for_script_world(frame, world);
  if (!context) return;
  g_autoptr(JSCValue) send = jsc_value_new_function(context, nullptr, G_CALLBACK(sendScriptMessage),
                                                    newTarget(page, frame), freeTarget, G_TYPE_NONE, 3, G_TYPE_STRING,
                                                    G_TYPE_STRING, JSC_TYPE_VALUE);
  g_autoptr(JSCValue) announce = jsc_value_new_function(context, nullptr, G_CALLBACK(sendPanelFacts),
                                                        newTarget(page, frame), freeTarget, G_TYPE_NONE, 3,
                                                        G_TYPE_STRING, G_TYPE_STRING, G_TYPE_STRING);
  std::vector<const char*> names;
  for (const auto& name : handlerNames()) names.push_back(name.c_str());
  names.push_back(nullptr);
  g_autoptr(JSCValue) nameArray = jsc_value_new_array_from_strv(context, names.data());
  g_autoptr(JSCValue) isMain = jsc_value_new_boolean(context, webkit_frame_is_main_frame(frame));
  g_autoptr(JSCValue) installer = jsc_context_evaluate(context, kInstaller, -1);
  if (installer && jsc_value_is_function(installer)) {
    g_autoptr(JSCValue) ignored = jsc_value_function_call(installer, JSC_TYPE_VALUE, send, JSC_TYPE_VALUE, nameArray,
                                                          JSC_TYPE_VALUE, isMain, JSC_TYPE_VALUE, announce, G_TYPE_NONE);
  }
  if (JSCException* failure = jsc_context_get_exception(context)) {
    g_warning("[orvik] frame message hook failed: %s", jsc_exception_get_message(failure));
    jsc_context_clear_exception(context);
  }
}

GVariant* readReply(JSCContext* context, JSCValue* value) {
  if (JSCException* failure = jsc_context_get_exception(context)) {
    GVariant* reply = g_variant_new(wire::kReadReplyFormat, "error", FALSE, 0.0, jsc_exception_get_message(failure));
    jsc_context_clear_exception(context);
    return reply;
  }
  if (!value || jsc_value_is_undefined(value)) return g_variant_new(wire::kReadReplyFormat, "undefined", FALSE, 0.0, "");
  if (jsc_value_is_null(value)) return g_variant_new(wire::kReadReplyFormat, "null", FALSE, 0.0, "");
  if (jsc_value_is_boolean(value)) {
    return g_variant_new(wire::kReadReplyFormat, "boolean", jsc_value_to_boolean(value), 0.0, "");
  }
  if (jsc_value_is_number(value)) {
    return g_variant_new(wire::kReadReplyFormat, "number", FALSE, jsc_value_to_double(value), "");
  }
  if (jsc_value_is_string(value)) {
    g_autofree char* text = jsc_value_to_string(value);
    return g_variant_new(wire::kReadReplyFormat, "string", FALSE, 0.0, text ? text : "");
  }
  return g_variant_new(wire::kReadReplyFormat, "other", FALSE, 0.0, "");
}

// Only the view's own reads are answered; a page cannot send this process messages.
gboolean answerRead(WebKitWebPage* page, WebKitUserMessage* message, gpointer) {
  if (g_strcmp0(webkit_user_message_get_name(message), wire::kReadName) != 0) return FALSE;
  GVariant* parameters = webkit_user_message_get_parameters(message);
  const char* script = nullptr;
  if (parameters && g_variant_is_of_type(parameters, G_VARIANT_TYPE(wire::kReadFormat))) {
    g_variant_get(parameters, "(&s)", &script);
  }
  // Deprecated only for the next major version of the engine's interface.
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  WebKitFrame* frame = webkit_web_page_get_main_frame(page);
  G_GNUC_END_IGNORE_DEPRECATIONS
  g_autoptr(JSCContext) context =
      frame ? webkit_frame_get_js_context_for_script_world(frame, webkit_script_world_get_default()) : nullptr;
  GVariant* reply = nullptr;
  if (!script || !context) {
    reply = g_variant_new(wire::kReadReplyFormat, "error", FALSE, 0.0, "no page to read from");
  } else {
    g_autoptr(JSCValue) value = jsc_context_evaluate(context, script, -1);
    reply = readReply(context, value);
  }
  webkit_user_message_send_reply(message, webkit_user_message_new(wire::kReadName, reply));
  return TRUE;
}

void pageCreated(WebKitWebExtension*, WebKitWebPage* page, gpointer) {
  g_signal_connect(page, "user-message-received", G_CALLBACK(answerRead), nullptr);
}

}  // namespace

extern "C" G_MODULE_EXPORT void webkit_web_extension_initialize_with_user_data(WebKitWebExtension* extension,
                                                                                const GVariant* data) {
  g_signal_connect(extension, "page-created", G_CALLBACK(pageCreated), nullptr);
  auto* variant = const_cast<GVariant*>(data);
  if (variant && g_variant_is_of_type(variant, G_VARIANT_TYPE(wire::kInitialisationFormat))) {
    g_autofree const char** names = g_variant_get_strv(variant, nullptr);
    for (const char** name = names; name && *name; ++name) handlerNames().emplace_back(*name);
  }
  g_signal_connect(webkit_script_world_get_default(), "window-object-cleared", G_CALLBACK(installIntoFrame), nullptr);
}
