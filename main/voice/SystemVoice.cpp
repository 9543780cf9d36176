#include "main/voice/SystemVoice.h"

#include <algorithm>
#include <functional>

#include "base/Text.h"

namespace tovarin {
namespace {

std::string normalisedTag(const std::string& tag) {
  std::string normal = text::lowercased(tag);
  std::replace(normal.begin(), normal.end(), '_', '-');
  return normal;
}

std::string primaryLanguage(const std::string& tag) { return tag.substr(0, tag.find('-')); }

bool speaks(const SystemVoice& voice, const std::function<bool(const std::string&)>& matches) {
  if (matches(normalisedTag(voice.language))) return true;
  return std::any_of(voice.otherLanguages.begin(), voice.otherLanguages.end(),
                     [&](const std::string& language) { return matches(normalisedTag(language)); });
}

}  // namespace

std::optional<SystemVoice> SystemVoice::choose(const std::vector<SystemVoice>& voices,
                                               const std::optional<std::string>& id, const std::string& locale) {
  if (id) {
    for (const auto& voice : voices) {
      if (voice.id == *id) return voice;
    }
  }
  const std::string tag = normalisedTag(locale);
  if (tag.empty()) return std::nullopt;
  for (const auto& voice : voices) {
    if (speaks(voice, [&](const std::string& language) { return language == tag; })) return voice;
  }
  const std::string primary = primaryLanguage(tag);
  for (const auto& voice : voices) {
    if (speaks(voice, [&](const std::string& language) { return language == primary; })) return voice;
  }
  return std::nullopt;
}

}  // namespace tovarin
