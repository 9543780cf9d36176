#include "main/activity/ActivityCipher.h"

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/kdf.h>
#include <openssl/rand.h>

#include <algorithm>
#include <memory>
#include <mutex>

namespace tovarin {
namespace {

constexpr std::string_view kIdKeyInfo = "tovarin-activity-item-id-v1";

struct CipherContextFree {
  void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};
using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, CipherContextFree>;

// Fetched once: an implicit fetch at every initialisation costs more than sealing a
// small record.
const EVP_CIPHER* aes256Gcm() {
  static EVP_CIPHER* const cipher = EVP_CIPHER_fetch(nullptr, "AES-256-GCM", nullptr);
  return cipher;
}

// HKDF-SHA256 with the empty salt (HashLen zero bytes), 32 bytes out.
SecretBytes deriveIdKey(const SecretBytes& key) {
  EVP_KDF* kdf = EVP_KDF_fetch(nullptr, "HKDF", nullptr);
  if (!kdf) return {};
  EVP_KDF_CTX* context = EVP_KDF_CTX_new(kdf);
  EVP_KDF_free(kdf);
  if (!context) return {};
  std::string digest = "SHA256";
  std::string info(kIdKeyInfo);
  OSSL_PARAM params[] = {
      OSSL_PARAM_construct_utf8_string(OSSL_KDF_PARAM_DIGEST, digest.data(), 0),
      OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_KEY, const_cast<uint8_t*>(key.data()), key.size()),
      OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_INFO, info.data(), info.size()),
      OSSL_PARAM_construct_end(),
  };
  std::vector<uint8_t> out(ActivityCipher::kKeySize);
  const bool derived = EVP_KDF_derive(context, out.data(), out.size(), params) == 1;
  EVP_KDF_CTX_free(context);
  SecretBytes idKey(std::move(out));
  return derived ? idKey : SecretBytes();
}

struct MacContextFree {
  void operator()(EVP_MAC_CTX* context) const { EVP_MAC_CTX_free(context); }
};
using MacContext = std::unique_ptr<EVP_MAC_CTX, MacContextFree>;

// A MAC context keyed with `idKey`, or nothing when OpenSSL cannot make one.
MacContext makeIdMac(const SecretBytes& idKey) {
  static EVP_MAC* const hmac = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
  if (!hmac || idKey.empty()) return nullptr;
  MacContext context(EVP_MAC_CTX_new(hmac));
  char digest[] = "SHA256";
  OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0), OSSL_PARAM_construct_end()};
  if (!context || EVP_MAC_init(context.get(), idKey.data(), idKey.size(), params) != 1) return nullptr;
  return context;
}

// An AES-256-GCM context with the key and the nonce length set; each call then only
// sets its nonce. Nothing when the key has the wrong size or OpenSSL fails.
CipherContext makeGcm(const SecretBytes& key, bool encrypt) {
  if (key.size() != ActivityCipher::kKeySize || !aes256Gcm()) return nullptr;
  CipherContext context(EVP_CIPHER_CTX_new());
  if (!context || EVP_CipherInit_ex(context.get(), aes256Gcm(), nullptr, nullptr, nullptr, encrypt ? 1 : 0) != 1 ||
      EVP_CIPHER_CTX_ctrl(context.get(), EVP_CTRL_GCM_SET_IVLEN, ActivityCipher::kNonceSize, nullptr) != 1 ||
      EVP_CipherInit_ex(context.get(), nullptr, nullptr, key.data(), nullptr, encrypt ? 1 : 0) != 1) {
    return nullptr;
  }
  return context;
}

}  // namespace

struct ActivityCipher::Contexts {
  std::mutex mutex;  // guards all three: a context serves one call at a time
  CipherContext seal;
  CipherContext open;
  MacContext idMac;
};

SecretBytes ActivityCipher::generateKeyData() {
  std::vector<uint8_t> bytes(kKeySize);
  if (RAND_priv_bytes(bytes.data(), static_cast<int>(bytes.size())) != 1) return {};
  return SecretBytes(std::move(bytes));
}

ActivityCipher::ActivityCipher(SecretBytes keyData)
    : key_(std::move(keyData)), idKey_(deriveIdKey(key_)), contexts_(std::make_shared<Contexts>()) {
  contexts_->seal = makeGcm(key_, true);
  contexts_->open = makeGcm(key_, false);
  contexts_->idMac = makeIdMac(idKey_);
}

ActivityCipher::Outcome ActivityCipher::seal(const std::vector<uint8_t>& plaintext, std::string_view aad) const {
  const Outcome failed{{}, ActivityCryptoError::sealFailed};
  if (key_.size() != kKeySize) return failed;
  std::vector<uint8_t> sealed(kNonceSize + plaintext.size() + kTagSize);
  if (RAND_bytes(sealed.data(), kNonceSize) != 1) return failed;
  std::lock_guard lock(contexts_->mutex);
  EVP_CIPHER_CTX* context = contexts_->seal.get();
  int length = 0;
  if (!context || EVP_EncryptInit_ex(context, nullptr, nullptr, nullptr, sealed.data()) != 1 ||
      EVP_EncryptUpdate(context, nullptr, &length, reinterpret_cast<const uint8_t*>(aad.data()),
                        static_cast<int>(aad.size())) != 1) {
    return failed;
  }
  uint8_t* out = sealed.data() + kNonceSize;
  if (!plaintext.empty() &&
      EVP_EncryptUpdate(context, out, &length, plaintext.data(), static_cast<int>(plaintext.size())) != 1) {
    return failed;
  }
  int finalLength = 0;
  if (EVP_EncryptFinal_ex(context, out + plaintext.size(), &finalLength) != 1 ||
      EVP_CIPHER_CTX_ctrl(context, EVP_CTRL_GCM_GET_TAG, kTagSize, out + plaintext.size()) != 1) {
    return failed;
  }
  return {std::move(sealed), std::nullopt};
}

ActivityCipher::Outcome ActivityCipher::open(const std::vector<uint8_t>& sealed, std::string_view aad) const {
  Outcome outcome;
  outcome.error = openInto(sealed, aad, outcome.value);
  return outcome;
}

std::optional<ActivityCryptoError> ActivityCipher::openInto(std::span<const uint8_t> sealed, std::string_view aad,
                                                            std::vector<uint8_t>& plain) const {
  // Decrypted into a buffer that is wiped unless the tag proves it authentic: nothing
  // unverified ever leaves here.
  const auto refuse = [&plain](ActivityCryptoError error) {
    if (!plain.empty()) OPENSSL_cleanse(plain.data(), plain.size());
    plain.clear();
    return error;
  };
  if (sealed.size() < kOverhead) return refuse(ActivityCryptoError::tooShort);
  if (key_.size() != kKeySize) return refuse(ActivityCryptoError::notAuthentic);
  const size_t textSize = sealed.size() - kOverhead;
  const uint8_t* nonce = sealed.data();
  const uint8_t* text = nonce + kNonceSize;
  uint8_t tag[kTagSize];
  std::copy(text + textSize, text + textSize + kTagSize, tag);
  if (!plain.empty()) OPENSSL_cleanse(plain.data(), plain.size());
  plain.resize(textSize);
  std::lock_guard lock(contexts_->mutex);
  EVP_CIPHER_CTX* context = contexts_->open.get();
  int length = 0;
  if (!context || EVP_DecryptInit_ex(context, nullptr, nullptr, nullptr, nonce) != 1 ||
      EVP_DecryptUpdate(context, nullptr, &length, reinterpret_cast<const uint8_t*>(aad.data()),
                        static_cast<int>(aad.size())) != 1) {
    return refuse(ActivityCryptoError::notAuthentic);
  }
  if (textSize > 0 && EVP_DecryptUpdate(context, plain.data(), &length, text, static_cast<int>(textSize)) != 1) {
    return refuse(ActivityCryptoError::notAuthentic);
  }
  int finalLength = 0;
  if (EVP_CIPHER_CTX_ctrl(context, EVP_CTRL_GCM_SET_TAG, kTagSize, tag) != 1 ||
      EVP_DecryptFinal_ex(context, plain.data() + textSize, &finalLength) != 1) {
    return refuse(ActivityCryptoError::notAuthentic);
  }
  return std::nullopt;
}

std::string ActivityCipher::opaqueId(std::string_view prefix, std::string_view input) const {
  uint8_t code[EVP_MAX_MD_SIZE] = {};
  unsigned int codeLength = 0;
  size_t macLength = 0;
  {
    std::lock_guard lock(contexts_->mutex);
    // Initialising without a key starts over with the key it already holds.
    EVP_MAC_CTX* context = contexts_->idMac.get();
    if (context && EVP_MAC_init(context, nullptr, 0, nullptr) == 1 &&
        EVP_MAC_update(context, reinterpret_cast<const uint8_t*>(input.data()), input.size()) == 1 &&
        EVP_MAC_final(context, code, &macLength, sizeof code) == 1) {
      codeLength = static_cast<unsigned int>(macLength);
    }
  }
  if (codeLength == 0) {
    HMAC(EVP_sha256(), idKey_.data(), static_cast<int>(idKey_.size()), reinterpret_cast<const uint8_t*>(input.data()),
         input.size(), code, &codeLength);
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string id(prefix);
  for (size_t i = 0; i < 12; ++i) {
    id.push_back(kHex[code[i] >> 4]);
    id.push_back(kHex[code[i] & 0xF]);
  }
  return id;
}

}  // namespace tovarin
