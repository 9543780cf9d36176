#include "platform/linux/EspeakEngine.h"

#include <espeak-ng/speak_lib.h>

#include <algorithm>
#include <cassert>

namespace tovarin {

namespace {
constexpr int kFragmentMilliseconds = 100;
}  // namespace

EspeakEngine& EspeakEngine::shared() {
  static EspeakEngine* engine = new EspeakEngine();  // lives until exit, like its thread
  return *engine;
}

int EspeakEngine::sampleRate() {
  assert(queue_.isCurrent());
  if (!initialised_) {
    initialised_ = true;
    sampleRate_ = std::max(0, espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, kFragmentMilliseconds, nullptr, 0));
  }
  return sampleRate_;
}

}  // namespace tovarin
