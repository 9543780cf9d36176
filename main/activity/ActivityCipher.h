#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/Outcome.h"
#include "main/activity/SecretBytes.h"

namespace tovarin {

// Why sealing or opening a record value failed. Opening does not tell a wrong key from
// a damaged value or a wrong label.
enum class ActivityCryptoError {
  sealFailed,    // the cipher produced nothing
  tooShort,      // under nonce plus tag
  notAuthentic,  // wrong key, changed byte or another label
};

// The record cipher: AES-256-GCM sealing bound to a label (associated data), and opaque
// ids derived from the record key so that no stored id reveals an app, title or time.
// Immutable; any thread (the OpenSSL contexts prepared for the key are taken in turn).
class ActivityCipher final {
 public:
  static constexpr size_t kKeySize = 32;
  static constexpr size_t kNonceSize = 12;
  static constexpr size_t kTagSize = 16;
  static constexpr size_t kOverhead = kNonceSize + kTagSize;

  using Outcome = tovarin::Outcome<std::vector<uint8_t>, ActivityCryptoError>;

  // 32 fresh bytes from the system's secure random source; empty if it has none.
  static SecretBytes generateKeyData();

  explicit ActivityCipher(SecretBytes keyData);

  // nonce (12) + ciphertext + tag (16), with a fresh nonce every call.
  Outcome seal(const std::vector<uint8_t>& plaintext, std::string_view aad) const;
  // The plaintext only once the tag is verified.
  Outcome open(const std::vector<uint8_t>& sealed, std::string_view aad) const;
  // The same into `plain`, whose storage is reused: wiped and emptied on failure.
  std::optional<ActivityCryptoError> openInto(std::span<const uint8_t> sealed, std::string_view aad,
                                              std::vector<uint8_t>& plain) const;

  // "act_" + 24 lower-case hex digits, for a query row key.
  std::string itemId(std::string_view rowKey) const { return opaqueId("act_", rowKey); }
  // prefix + the first 12 bytes of HMAC-SHA256(idKey, input) in lower-case hex.
  std::string opaqueId(std::string_view prefix, std::string_view input) const;

  const SecretBytes& key() const { return key_; }
  const SecretBytes& idKey() const { return idKey_; }

 private:
  struct Contexts;

  SecretBytes key_;
  SecretBytes idKey_;
  // Cipher and MAC contexts keyed once and only re-initialised per call: a query opens
  // thousands of rows, and setting a context up from nothing costs more than the work.
  // Shared by copies, which hold the same key.
  std::shared_ptr<Contexts> contexts_;
};

}  // namespace tovarin
