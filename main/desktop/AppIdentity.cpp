#include "main/desktop/AppIdentity.h"

namespace tovarin::AppIdentity {

std::string productName(const Bundle& bundle) {
  return bundle.infoString("CFBundleDisplayName").value_or(std::string(defaultProductName));
}

std::string version(const Bundle& bundle) {
  return bundle.infoString("CFBundleShortVersionString").value_or(std::string(defaultVersion));
}

}  // namespace tovarin::AppIdentity
