#pragma once

#include <functional>
#include <string>
#include <vector>

namespace tovarin {

// The whole window as a target for dropped files, with its highlight chip. Until the
// page is ready the web view inside takes file drags itself; once the page can take
// dropped text, the window takes them over for good. Main thread only.
class DropHost {
 public:
  using FilesHandler = std::function<void(std::vector<std::string> paths)>;
  virtual ~DropHost() = default;
  // Receives the accepted local files of each drop, in their order.
  virtual void setFilesHandler(FilesHandler handler) = 0;
  // The page's web view stops taking file drags; drags anywhere in the window reach the
  // host and show its chip from now on.
  virtual void takeFileDropsFromPage() = 0;
};

}  // namespace tovarin
