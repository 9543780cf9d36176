#include "main/activity/ActivityCipher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <regex>
#include <thread>

namespace tovarin {
namespace {

std::vector<uint8_t> bytesOf(std::string_view text) { return {text.begin(), text.end()}; }

std::vector<uint8_t> fromHex(std::string_view hex) {
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) bytes.push_back(static_cast<uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
  return bytes;
}

std::string toHex(const std::vector<uint8_t>& bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  for (uint8_t b : bytes) {
    hex.push_back(kHex[b >> 4]);
    hex.push_back(kHex[b & 0xF]);
  }
  return hex;
}

// The key 00 01 02 ... 1f; the expected values were computed once with another HKDF,
// HMAC and AES-GCM implementation and are kept here as they came out.
ActivityCipher knownCipher() {
  std::vector<uint8_t> key(32);
  for (size_t i = 0; i < key.size(); ++i) key[i] = static_cast<uint8_t>(i);
  return ActivityCipher(SecretBytes(std::move(key)));
}

TEST(ActivityCipherTest, DerivedIdKeyAndOpaqueIdsMatchKnownValues) {
  const ActivityCipher cipher = knownCipher();
  EXPECT_EQ(toHex(cipher.idKey().bytes()), "6030a9f84f000d475abd3999d2a7a458278f677e33c6d4a14f29dd6bf5ccc027");
  EXPECT_EQ(cipher.itemId("2026-12-10T09\x1f" "com.example.app"), "act_aec9877eb4016b4f1cf7f704");
  EXPECT_EQ(cipher.opaqueId("hour_", "hour\x1f" "1765357200"), "hour_628e15d4d27832791e83d8ca");
}

TEST(ActivityCipherTest, OpensAValueSealedElsewhereWithTheSameKeyAndLabel) {
  const ActivityCipher cipher = knownCipher();
  const auto sealed =
      fromHex("6465666768696a6b6c6d6e6fada94481d55376ea5716338d97b9f2f1aa75ee213cfc02d588bc48a5");
  auto opened = cipher.open(sealed, "intervals:42");
  ASSERT_TRUE(opened.ok());
  EXPECT_EQ(opened.value, bytesOf("岚笺 title"));
}

TEST(ActivityCipherTest, SealsWithAFreshNonceAndOpensBack) {
  const ActivityCipher cipher(ActivityCipher::generateKeyData());
  for (const std::string& text : {std::string(), std::string("a"), std::string(100000, 'x')}) {
    auto first = cipher.seal(bytesOf(text), "meta:owner");
    auto second = cipher.seal(bytesOf(text), "meta:owner");
    ASSERT_TRUE(first.ok() && second.ok());
    EXPECT_EQ(first.value.size(), text.size() + ActivityCipher::kOverhead);
    EXPECT_NE(first.value, second.value) << "a fresh nonce every time";
    for (const auto& sealed : {first.value, second.value}) {
      auto opened = cipher.open(sealed, "meta:owner");
      ASSERT_TRUE(opened.ok());
      EXPECT_EQ(opened.value, bytesOf(text));
    }
  }
}

TEST(ActivityCipherTest, TamperingOfAnyKindIsRefusedWithoutPlaintext) {
  const ActivityCipher cipher(ActivityCipher::generateKeyData());
  const ActivityCipher other(ActivityCipher::generateKeyData());
  const auto sealed = cipher.seal(bytesOf("secret title"), "intervals:1").value;
  struct Case {
    const char* what;
    const ActivityCipher& by;
    std::vector<uint8_t> value;
    std::string aad;
    ActivityCryptoError error;
  };
  std::vector<Case> cases = {
      {"another row's label", cipher, sealed, "intervals:2", ActivityCryptoError::notAuthentic},
      {"the owner row's label", cipher, sealed, "meta:owner", ActivityCryptoError::notAuthentic},
      {"another key", other, sealed, "intervals:1", ActivityCryptoError::notAuthentic},
      {"27 bytes", cipher, std::vector<uint8_t>(27, 0), "intervals:1", ActivityCryptoError::tooShort},
      {"empty", cipher, {}, "intervals:1", ActivityCryptoError::tooShort},
  };
  for (size_t at : {size_t{0}, size_t{12}, sealed.size() - 1}) {
    auto changed = sealed;
    changed[at] ^= 0x01;
    cases.push_back({"a changed byte", cipher, changed, "intervals:1", ActivityCryptoError::notAuthentic});
  }
  for (const Case& c : cases) {
    auto opened = c.by.open(c.value, c.aad);
    EXPECT_EQ(opened.error, c.error) << c.what;
    EXPECT_TRUE(opened.value.empty()) << c.what;
  }
}

// The contexts are keyed once and reused: a refused value, another id or another
// thread in between must change no later answer.
TEST(ActivityCipherTest, ReusedContextsGiveEveryCallItsOwnAnswer) {
  const ActivityCipher cipher = knownCipher();
  const auto known = fromHex("6465666768696a6b6c6d6e6fada94481d55376ea5716338d97b9f2f1aa75ee213cfc02d588bc48a5");
  auto broken = known;
  broken.back() ^= 0x01;
  std::vector<uint8_t> plain = bytesOf("left over from an earlier row");
  for (int round = 0; round < 3; ++round) {
    EXPECT_EQ(cipher.openInto(broken, "intervals:42", plain), ActivityCryptoError::notAuthentic);
    EXPECT_TRUE(plain.empty());
    EXPECT_EQ(cipher.openInto(known, "intervals:42", plain), std::nullopt);
    EXPECT_EQ(plain, bytesOf("岚笺 title"));
    (void)cipher.itemId("another row");
    EXPECT_EQ(cipher.itemId("2026-12-10T09\x1f" "com.example.app"), "act_aec9877eb4016b4f1cf7f704");
  }
  const ActivityCipher copy = cipher;
  std::vector<std::thread> threads;
  std::atomic<int> wrong{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      const ActivityCipher& by = t % 2 ? copy : cipher;
      for (int i = 0; i < 200; ++i) {
        const std::string text = "row " + std::to_string(t) + "/" + std::to_string(i);
        auto opened = by.open(by.seal(bytesOf(text), "intervals:" + text).value, "intervals:" + text);
        if (!opened.ok() || opened.value != bytesOf(text)) ++wrong;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(wrong, 0);
}

TEST(ActivityCipherTest, IdsAreStablePerKeyAndChangeWithIt) {
  const ActivityCipher cipher(ActivityCipher::generateKeyData());
  const ActivityCipher rotated(ActivityCipher::generateKeyData());
  const std::string row = "1765357200\x1f" "org.gnome.TextEditor";
  EXPECT_EQ(cipher.itemId(row), cipher.itemId(row));
  EXPECT_NE(cipher.itemId(row), rotated.itemId(row));
  EXPECT_NE(cipher.opaqueId("hour_", "hour\x1f" "1"), cipher.opaqueId("hour_", "hour\x1f" "2"));
  EXPECT_TRUE(std::regex_match(cipher.itemId(row), std::regex("act_[0-9a-f]{24}")));
}

TEST(ActivityCipherTest, FreshKeysAreThirtyTwoBytesAndDiffer) {
  const SecretBytes a = ActivityCipher::generateKeyData();
  const SecretBytes b = ActivityCipher::generateKeyData();
  EXPECT_EQ(a.size(), 32u);
  EXPECT_FALSE(a == b);
}

}  // namespace
}  // namespace tovarin
