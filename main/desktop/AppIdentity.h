#pragma once

#include <string>
#include <string_view>

#include "main/config/Bundle.h"

namespace tovarin {

// What the program calls itself, read from the bundle's Info keys. Any thread.
namespace AppIdentity {

inline constexpr std::string_view defaultProductName = "The Tovarin｜岚笺";
inline constexpr std::string_view defaultVersion = "0.2.0";
inline constexpr std::string_view aboutCredits =
    "Hub、对话、事项与日历。\n登录后可按设置同步至 KELM；使用智能功能时，按授权向所选服务发送内容。";

// "CFBundleDisplayName" when it is a string, else the default.
[[nodiscard]] std::string productName(const Bundle& bundle);
// "CFBundleShortVersionString" when it is a string, else "0.2.0".
[[nodiscard]] std::string version(const Bundle& bundle);

}  // namespace AppIdentity

// What the About window shows.
struct AboutInfo {
  std::string name;
  std::string version;
  std::string credits;
  bool operator==(const AboutInfo&) const = default;
};

}  // namespace tovarin
