#include "main/windows/FrameNavigation.h"

#include "base/UrlComponents.h"

namespace tovarin::FrameNavigation {

bool mayLoadInFrame(std::string_view url) {
  const auto parsed = UrlComponents::parse(url);
  if (!parsed || !parsed->scheme) return false;
  std::string scheme = *parsed->scheme;
  for (char& c : scheme) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return scheme == "http" || scheme == "https" || scheme == "about" || scheme == "data" || scheme == "blob";
}

}  // namespace tovarin::FrameNavigation
