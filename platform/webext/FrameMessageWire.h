#pragma once

// What the web-process extension and the web view agree on. Kept free of any toolkit
// header so both sides can include it.
namespace tovarin::frame_message_wire {

// The user message sent to the web view for every script message a page posts.
inline constexpr const char* kMessageName = "tovarin.script-message";
// Its parameters: handler name, posted by the main frame, the frame's URL, the frame's
// security origin ("null" when opaque), and the posted body as JSON text.
inline constexpr const char* kParametersFormat = "(sbsss)";
// The largest body, as JSON text, either side passes on: well above the largest page
// message (a picture for text recognition, refused above 48 MiB of base64 with an
// answer the page must still get), well below what would make parsing a burden.
inline constexpr unsigned long kMaxBodyBytes = 64ul * 1024 * 1024;

// Sent just before a frame raises a panel the engine reports without its frame (a
// script dialog, the print dialog, a file chooser), so the view can tell who asked.
inline constexpr const char* kPanelFactsName = "tovarin.panel-facts";
// Its parameters: the panel ("alert", "confirm", "prompt", "print", "file", or "link"
// for a link's click, or "file-end" once a file input's click has been handled), main
// frame, the frame's URL, the frame's security origin, and a detail (a file input's
// accept attribute, a link's address; empty otherwise).
inline constexpr const char* kPanelFactsFormat = "(sbsss)";

// Sent by the view to read a plain value from the page's main frame inside the web
// process, so that the view's own process starts no script engine to receive it.
inline constexpr const char* kReadName = "tovarin.read";
// Its parameter: the expression. The reply: the value's kind ("undefined", "null",
// "boolean", "number", "string", "other" or "error"), the boolean, the number, and the
// string or the error message.
inline constexpr const char* kReadFormat = "(s)";
inline constexpr const char* kReadReplyFormat = "(sbds)";

// The extension's initialisation data: the handler names of every web view ("as").
inline constexpr const char* kInitialisationFormat = "as";

}  // namespace tovarin::frame_message_wire
