#pragma once

namespace tovarin {

class VoiceCloudCancellable {
 public:
  virtual ~VoiceCloudCancellable() = default;
  // The operation's completion will not run.
  virtual void cancel() = 0;
};

}  // namespace tovarin
