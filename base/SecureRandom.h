#pragma once

#include <cstddef>

namespace tovarin {

// Fills `size` bytes from the kernel's generator, the source cryptographic libraries
// seed from, without starting one of them. False if the kernel could not serve them.
bool fillSecureRandom(void* data, std::size_t size);

}  // namespace tovarin
