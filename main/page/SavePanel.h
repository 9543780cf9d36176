#pragma once

#include <string>

namespace tovarin {

// A prepared panel for choosing where a new file goes. Choosing an existing file
// means the user confirmed replacing it.
struct SavePanel {
  std::string nameFieldValue;
  std::string prompt;     // the confirming button's title
  std::string directory;  // the folder shown first; empty for the panel's own choice
  bool canCreateDirectories = true;
};

}  // namespace tovarin
