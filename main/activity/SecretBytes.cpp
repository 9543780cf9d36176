#include "main/activity/SecretBytes.h"

#include <openssl/crypto.h>

namespace tovarin {

SecretBytes& SecretBytes::operator=(const SecretBytes& other) {
  if (this != &other) {
    wipe();
    bytes_ = other.bytes_;
  }
  return *this;
}

SecretBytes& SecretBytes::operator=(SecretBytes&& other) noexcept {
  if (this != &other) {
    wipe();
    bytes_ = std::move(other.bytes_);
    other.wipe();
  }
  return *this;
}

void SecretBytes::wipe() noexcept {
  // A cleanse the compiler may not remove as a dead store.
  if (!bytes_.empty()) OPENSSL_cleanse(bytes_.data(), bytes_.size());
  bytes_.clear();
}

}  // namespace tovarin
