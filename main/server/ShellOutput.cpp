#include "main/server/ShellOutput.h"

#include <unistd.h>

#include <filesystem>

#include "base/ChildProcess.h"
#include "base/ProcessEnvironment.h"

namespace tovarin {

bool isValidUtf8(const std::string& text) {
  size_t i = 0;
  const size_t size = text.size();
  while (i < size) {
    const auto lead = static_cast<unsigned char>(text[i]);
    size_t length;
    uint32_t value;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if ((lead & 0xE0) == 0xC0) {
      length = 2;
      value = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3;
      value = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4;
      value = lead & 0x07;
    } else {
      return false;
    }
    if (i + length > size) return false;
    for (size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      value = (value << 6) | (next & 0x3F);
    }
    static constexpr uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < kSmallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return false;
    i += length;
  }
  return true;
}

std::string shellOutput(const std::string& path, const std::vector<std::string>& arguments) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error) || ::access(path.c_str(), X_OK) != 0) return "";
  ChildProcessOptions options;
  options.executable = path;
  options.arguments = arguments;
  options.environment = ProcessEnvironment::shared().snapshot();
  options.inheritStdin = true;
  options.captureStdout = true;
  auto launched = ChildProcess::launch(options);
  if (!launched.process) return "";
  std::string output = launched.process->readAllOutput();
  (void)launched.process->wait();
  return isValidUtf8(output) ? output : "";
}

}  // namespace tovarin
