#include "platform/linux/EspeakVoiceCatalog.h"

#include <espeak-ng/speak_lib.h>

#include "platform/linux/EspeakEngine.h"

namespace tovarin {
namespace {

// espeak lists a voice's languages as runs of a priority byte and a terminated name,
// ended by a zero priority.
std::vector<std::string> languagesOf(const char* packed) {
  std::vector<std::string> languages;
  if (!packed) return languages;
  const char* at = packed;
  while (*at != 0) {
    ++at;  // the priority
    std::string language(at);
    at += language.size() + 1;
    if (!language.empty()) languages.push_back(std::move(language));
  }
  return languages;
}

}  // namespace

std::vector<SystemVoice> EspeakVoiceCatalog::voices() {
  std::vector<SystemVoice> result;
  auto& engine = EspeakEngine::shared();
  engine.queue().sync([&] {
    if (engine.sampleRate() <= 0) return;
    const espeak_VOICE** list = espeak_ListVoices(nullptr);
    for (; list && *list; ++list) {
      const espeak_VOICE& voice = **list;
      auto languages = languagesOf(voice.languages);
      if (!voice.identifier || languages.empty()) continue;
      SystemVoice entry{voice.identifier, voice.name ? voice.name : voice.identifier, languages.front(),
                        {languages.begin() + 1, languages.end()}, "default"};
      result.push_back(std::move(entry));
    }
  });
  return result;
}

}  // namespace tovarin
