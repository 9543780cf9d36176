#include "main/app/AppIdentity.h"

namespace tovarin::AppIdentity {
namespace {

std::string stringOr(const Json& info, const char* key, std::string_view fallback) {
  if (info.is_object()) {
    auto found = info.find(key);
    if (found != info.end() && found->is_string()) return found->get<std::string>();
  }
  return std::string(fallback);
}

}  // namespace

std::string productName(const Json& info) { return stringOr(info, "CFBundleDisplayName", defaultProductName); }

std::string version(const Json& info) { return stringOr(info, "CFBundleShortVersionString", defaultVersion); }

}  // namespace tovarin::AppIdentity
