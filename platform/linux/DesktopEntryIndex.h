#pragma once

#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace tovarin {

// The installed applications' desktop entries, by desktop-file id (the file's path
// under an "applications" folder, '/' turned into '-', without ".desktop"). Where two
// folders hold the same id, the earlier folder wins, as desktop menus decide.
class DesktopEntryIndex final {
 public:
  struct Entry {
    std::string name;             // in the user's language where the entry has it
    std::string startupWmClass;  // empty when the entry names none
  };

  // The folders of $XDG_DATA_HOME and $XDG_DATA_DIRS (with their defaults), in order.
  [[nodiscard]] static std::vector<std::string> defaultFolders();
  // The language from $LC_ALL, $LC_MESSAGES or $LANG ("zh_CN.UTF-8" gives "zh_CN").
  [[nodiscard]] static std::string defaultLocale();

  DesktopEntryIndex(std::vector<std::string> applicationFolders, std::string locale);

  // Reads every folder again.
  void reload();
  [[nodiscard]] const Entry* find(const std::string& id) const;
  // The id of the entry whose StartupWMClass is wmClass (exactly), if any.
  [[nodiscard]] std::optional<std::string> idForWmClass(const std::string& wmClass) const;
  // Every entry by id, in no particular order.
  [[nodiscard]] const std::unordered_map<std::string, Entry>& entries() const { return entries_; }

 private:
  void scan(const std::string& folder);

  const std::vector<std::string> folders_;
  const std::string locale_;
  std::unordered_map<std::string, Entry> entries_;
  std::unordered_map<std::string, std::string> wmClasses_;
};

}  // namespace tovarin
