#pragma once

// What the web-process extension and the web view agree on. Kept free of any toolkit
// header so both sides can include it.
namespace tovarin::frame_message_wire {

// The user message sent to the web view for every script message a page posts.
inline constexpr const char* kMessageName = "tovarin.script-message";
// Its parameters: handler name, posted by the main frame, the frame's URL, the frame's
// security origin ("null" when opaque), and the posted body as JSON text.
inline constexpr const char* kParametersFormat = "(sbsss)";

// The extension's initialisation data: the handler names of every web view ("as").
inline constexpr const char* kInitialisationFormat = "as";

}  // namespace tovarin::frame_message_wire
