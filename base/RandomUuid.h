#pragma once

#include <string>

namespace tovarin {

// A new random (version 4) UUID in its 36-character upper-case text form.
std::string randomUuid();

}  // namespace tovarin
