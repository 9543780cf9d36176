#pragma once

#include <optional>
#include <string>
#include <type_traits>
#include <variant>

#include "base/Json.h"

namespace tovarin {

// What the engine tells the owner of a dictation, a speak job or a speech stream. The
// id is the one the page gave (a stream's "target").
struct VoiceEngineEvent {
  struct Listening {
    std::string id;
    bool onDevice = false;
    std::string reason;
    bool operator==(const Listening&) const = default;
  };
  struct Partial {
    std::string id;
    std::string text;
    bool onDevice = false;
    bool operator==(const Partial&) const = default;
  };
  struct Finished {
    std::string id;
    std::string text;
    bool onDevice = false;
    std::string reason;
    bool operator==(const Finished&) const = default;
  };
  struct Failed {
    std::string id;
    std::string code;
    std::optional<std::string> message;
    std::optional<std::string> reason;
    bool operator==(const Failed&) const = default;
  };
  struct SpeakStarted {
    std::string id;
    bool operator==(const SpeakStarted&) const = default;
  };
  struct SpeakEnded {
    std::string id;
    bool cancelled = false;
    bool operator==(const SpeakEnded&) const = default;
  };
  struct SpeakFailed {
    std::string id;
    std::string code;
    std::string message;
    bool operator==(const SpeakFailed&) const = default;
  };
  struct SpeakStreamFailed {
    std::string id;
    std::string code;
    std::string message;
    bool started = false;
    bool operator==(const SpeakStreamFailed&) const = default;
  };

  using Value = std::variant<Listening, Partial, Finished, Failed, SpeakStarted, SpeakEnded, SpeakFailed,
                             SpeakStreamFailed>;
  Value value;

  template <class Case>
    requires(!std::is_same_v<std::remove_cvref_t<Case>, VoiceEngineEvent>)
  VoiceEngineEvent(Case event) : value(std::move(event)) {}

  const std::string& id() const;
  // The object handed to the page's __voice.emit.
  Json pagePayload() const;

  bool operator==(const VoiceEngineEvent&) const = default;
};

}  // namespace tovarin
