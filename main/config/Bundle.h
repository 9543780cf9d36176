#pragma once

#include <optional>
#include <string>

#include "base/Json.h"

namespace tovarin {

// The application's installed resources: <prefix>/share/the-tovarin beside the program
// at <prefix>/bin, with its Info.json keys. Immutable; copied freely.
class Bundle final {
 public:
  // The running program's bundle, found from /proc/self/exe. When the program does not
  // sit in that layout the bundle has no resource directory and no resources.
  static Bundle main();
  // The bundle of the program at programPath (<prefix>/bin/<name>): <prefix>/share/the-tovarin.
  static Bundle forProgram(const std::string& programPath);
  // No resource directory: every lookup finds nothing.
  Bundle() : info_(Json::object()) {}
  // The bundle whose resource directory is resourcePath; empty means none.
  explicit Bundle(std::string resourcePath);

  // Empty when there is no resource directory.
  const std::string& resourcePath() const { return resourcePath_; }
  // The path of <resources>/<subdirectory>/<name>.<type> (no dot when type is empty)
  // when it exists; nullopt otherwise.
  std::optional<std::string> resource(const std::string& name, const std::string& type,
                                      const std::string& subdirectory = {}) const;
  // A string value of Info.json.
  std::optional<std::string> infoString(const std::string& key) const;

 private:
  std::string resourcePath_;
  Json info_;  // an object; empty when Info.json is missing or not an object
};

}  // namespace tovarin
