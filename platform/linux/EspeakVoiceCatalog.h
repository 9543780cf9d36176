#pragma once

#include "main/voice/SystemVoice.h"

namespace tovarin {

// The espeak-ng voices installed on this computer, ids being their voice files
// ("sit/cmn"), which the espeak speaker takes as an utterance's voice. Blocks the
// caller while the espeak worker lists them.
class EspeakVoiceCatalog final : public VoiceCatalog {
 public:
  std::vector<SystemVoice> voices() override;
};

}  // namespace tovarin
