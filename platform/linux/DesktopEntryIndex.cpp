#include "platform/linux/DesktopEntryIndex.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace tovarin {
namespace {

std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

struct ParsedEntry {
  std::string name;
  std::string localizedName;
  std::string languageName;
  std::string startupWmClass;
  bool usable = true;
};

// Only the [Desktop Entry] group counts; actions and other groups are skipped.
ParsedEntry parse(std::istream& in, const std::string& locale) {
  const std::string language = locale.substr(0, locale.find('_'));
  ParsedEntry entry;
  bool inMainGroup = false;
  bool isApplication = false;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      inMainGroup = line == "[Desktop Entry]";
      continue;
    }
    if (!inMainGroup) continue;
    const size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    std::string key = line.substr(0, equals);
    while (!key.empty() && key.back() == ' ') key.pop_back();
    std::string value = line.substr(equals + 1);
    while (!value.empty() && value.front() == ' ') value.erase(0, 1);
    if (key == "Name") entry.name = value;
    else if (!locale.empty() && key == "Name[" + locale + "]") entry.localizedName = value;
    else if (!language.empty() && key == "Name[" + language + "]") entry.languageName = value;
    else if (key == "StartupWMClass") entry.startupWmClass = value;
    else if (key == "Type") isApplication = value == "Application";
    else if (key == "Hidden" && value == "true") entry.usable = false;
  }
  entry.usable = entry.usable && isApplication;
  return entry;
}

}  // namespace

std::vector<std::string> DesktopEntryIndex::defaultFolders() {
  std::vector<std::string> folders;
  std::string dataHome = environment("XDG_DATA_HOME");
  if (dataHome.empty() && !environment("HOME").empty()) dataHome = environment("HOME") + "/.local/share";
  if (!dataHome.empty()) folders.push_back(dataHome + "/applications");
  std::string dataDirs = environment("XDG_DATA_DIRS");
  if (dataDirs.empty()) dataDirs = "/usr/local/share:/usr/share";
  std::stringstream dirs(dataDirs);
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    if (dir.empty()) continue;
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    folders.push_back(dir + "/applications");
  }
  return folders;
}

std::string DesktopEntryIndex::defaultLocale() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    std::string value = environment(name);
    if (value.empty()) continue;
    value = value.substr(0, value.find_first_of(".@"));
    return value == "C" || value == "POSIX" ? "" : value;
  }
  return "";
}

DesktopEntryIndex::DesktopEntryIndex(std::vector<std::string> applicationFolders, std::string locale)
    : folders_(std::move(applicationFolders)), locale_(std::move(locale)) {
  reload();
}

void DesktopEntryIndex::reload() {
  entries_.clear();
  wmClasses_.clear();
  for (const std::string& folder : folders_) scan(folder);
}

void DesktopEntryIndex::scan(const std::string& folder) {
  namespace fs = std::filesystem;
  std::error_code error;
  fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, error);
  if (error) return;
  for (; it != fs::recursive_directory_iterator(); it.increment(error)) {
    if (error) return;
    const fs::path& path = it->path();
    if (path.extension() != ".desktop" || !it->is_regular_file(error)) continue;
    std::string id = fs::relative(path, folder, error).string();
    if (error) continue;
    id.resize(id.size() - std::string(".desktop").size());
    for (char& c : id) {
      if (c == '/') c = '-';
    }
    if (entries_.count(id)) continue;
    std::ifstream in(path);
    ParsedEntry parsed = parse(in, locale_);
    // A hidden entry in an earlier folder deletes the id for the later ones too.
    Entry entry{!parsed.localizedName.empty() ? parsed.localizedName
                : !parsed.languageName.empty() ? parsed.languageName
                                               : parsed.name,
                parsed.startupWmClass};
    if (!parsed.usable) {
      entries_.emplace(id, Entry{});
      continue;
    }
    if (!entry.startupWmClass.empty()) wmClasses_.emplace(entry.startupWmClass, id);
    entries_.emplace(id, std::move(entry));
  }
}

const DesktopEntryIndex::Entry* DesktopEntryIndex::find(const std::string& id) const {
  auto found = entries_.find(id);
  if (found == entries_.end() || found->second.name.empty()) return nullptr;
  return &found->second;
}

std::optional<std::string> DesktopEntryIndex::idForWmClass(const std::string& wmClass) const {
  auto found = wmClasses_.find(wmClass);
  if (found == wmClasses_.end()) return std::nullopt;
  return found->second;
}

}  // namespace tovarin
