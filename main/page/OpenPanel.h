#pragma once

#include <string>
#include <vector>

namespace tovarin {

// A prepared panel for choosing existing files or folders.
struct OpenPanel {
  bool canChooseFiles = true;
  bool canChooseDirectories = false;
  bool allowsMultipleSelection = false;
  bool canCreateDirectories = false;
  std::string title;    // the panel's own title; may be empty
  std::string prompt;   // the confirming button's title
  std::string message;  // an explanation shown in the panel; may be empty
  // Lowercase file-name extensions without dot; empty lets any file be chosen.
  std::vector<std::string> allowedExtensions;
};

}  // namespace tovarin
