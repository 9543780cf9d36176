#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

namespace tovarin {

// Key material: bytes that are wiped from memory whenever a copy is dropped or
// overwritten, so a record key lingers no longer than the object that holds it.
class SecretBytes final {
 public:
  SecretBytes() = default;
  explicit SecretBytes(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
  SecretBytes(const uint8_t* data, size_t size) : bytes_(data, data + size) {}
  SecretBytes(std::initializer_list<uint8_t> bytes) : bytes_(bytes) {}
  SecretBytes(const SecretBytes& other) : bytes_(other.bytes_) {}
  SecretBytes(SecretBytes&& other) noexcept : bytes_(std::move(other.bytes_)) { other.wipe(); }
  SecretBytes& operator=(const SecretBytes& other);
  SecretBytes& operator=(SecretBytes&& other) noexcept;
  ~SecretBytes() { wipe(); }

  const uint8_t* data() const { return bytes_.data(); }
  size_t size() const { return bytes_.size(); }
  bool empty() const { return bytes_.empty(); }
  const std::vector<uint8_t>& bytes() const { return bytes_; }
  bool operator==(const SecretBytes& other) const { return bytes_ == other.bytes_; }

 private:
  void wipe() noexcept;

  std::vector<uint8_t> bytes_;
};

}  // namespace tovarin
