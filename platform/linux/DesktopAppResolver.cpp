#include "platform/linux/DesktopAppResolver.h"

#include <cctype>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

#include "base/Text.h"

namespace tovarin {
namespace {

std::string readFile(const std::string& path, size_t limit = 64 * 1024) {
  std::ifstream in(path, std::ios::binary);
  std::string text;
  text.resize(limit);
  in.read(text.data(), static_cast<std::streamsize>(limit));
  text.resize(static_cast<size_t>(in.gcount()));
  return text;
}

std::string flatpakId(const std::string& info) {
  std::istringstream in(info);
  std::string line;
  bool inApplication = false;
  while (std::getline(in, line)) {
    if (!line.empty() && line[0] == '[') inApplication = line == "[Application]";
    else if (inApplication && line.rfind("name=", 0) == 0) return line.substr(5);
  }
  return {};
}

// systemd escapes a unit name's special bytes as \xNN.
std::string unescapeUnit(const std::string& name) {
  std::string out;
  for (size_t i = 0; i < name.size(); ++i) {
    if (name.compare(i, 2, "\\x") == 0 && i + 3 < name.size() && std::isxdigit(static_cast<unsigned char>(name[i + 2])) &&
        std::isxdigit(static_cast<unsigned char>(name[i + 3]))) {
      out.push_back(static_cast<char>(std::stoi(name.substr(i + 2, 2), nullptr, 16)));
      i += 3;
    } else {
      out.push_back(name[i]);
    }
  }
  return out;
}

std::vector<std::string> unitsOf(const std::string& cgroup) {
  std::vector<std::string> units;
  std::istringstream lines(cgroup);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream path(line.substr(line.rfind(':') == std::string::npos ? 0 : line.rfind(':') + 1));
    std::string part;
    while (std::getline(path, part, '/')) {
      if (!part.empty()) units.push_back(part);
    }
  }
  return units;
}

std::optional<std::string> snapId(const std::string& cgroup) {
  // snap.<snap>.<app>.<uuid>.scope (or .service) names the desktop file <snap>_<app>.
  for (const std::string& unit : unitsOf(cgroup)) {
    if (unit.rfind("snap.", 0) != 0) continue;
    const size_t appStart = unit.find('.', 5);
    if (appStart == std::string::npos) continue;
    const size_t appEnd = unit.find_first_of(".-", appStart + 1);
    const std::string snap = unit.substr(5, appStart - 5);
    const std::string app = unit.substr(appStart + 1, appEnd == std::string::npos ? std::string::npos : appEnd - appStart - 1);
    if (!snap.empty() && !app.empty()) return snap + "_" + app;
  }
  return std::nullopt;
}

// app[-<launcher>]-<id>-<random>.scope or app[-<launcher>]-<id>[@<random>].service:
// the launcher part is optional, so both readings are offered.
std::vector<std::string> appUnitIds(const std::string& cgroup) {
  std::vector<std::string> ids;
  for (const std::string& unit : unitsOf(cgroup)) {
    if (unit.rfind("app-", 0) != 0) continue;
    std::string rest = unit.substr(4);
    if (rest.size() > 6 && rest.ends_with(".scope")) {
      rest.resize(rest.size() - 6);
      const size_t dash = rest.rfind('-');
      if (dash == std::string::npos) continue;
      rest.resize(dash);
    } else if (rest.size() > 8 && rest.ends_with(".service")) {
      rest.resize(rest.size() - 8);
      rest = rest.substr(0, rest.find('@'));
    } else {
      continue;
    }
    // Split before unescaping: a dash inside the id is escaped, the launcher's is not.
    const size_t dash = rest.find('-');
    if (dash != std::string::npos) ids.push_back(unescapeUnit(rest.substr(dash + 1)));
    ids.push_back(unescapeUnit(rest));
  }
  return ids;
}

std::string desktopFileId(const std::string& path) {
  std::string base = path.substr(path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1);
  if (base.ends_with(".desktop")) base.resize(base.size() - 8);
  return base;
}

}  // namespace

DesktopAppResolver::DesktopAppResolver(DesktopEntryIndex index)
    : index_(std::move(index)), loadedAt_(std::chrono::steady_clock::now()) {}

DesktopAppResolver::ProcessFacts DesktopAppResolver::readProcessFacts(std::int32_t pid, const std::string& procRoot) {
  ProcessFacts facts;
  if (pid <= 0) return facts;
  const std::string dir = procRoot + "/" + std::to_string(pid);
  facts.flatpakId = flatpakId(readFile(dir + "/root/.flatpak-info"));
  facts.cgroup = readFile(dir + "/cgroup");
  const std::string environ = readFile(dir + "/environ", 256 * 1024);
  size_t start = 0;
  while (start < environ.size()) {
    size_t end = environ.find('\0', start);
    if (end == std::string::npos) end = environ.size();
    const std::string_view entry(environ.data() + start, end - start);
    if (entry.starts_with("GIO_LAUNCHED_DESKTOP_FILE=")) {
      facts.launchedDesktopFile = std::string(entry.substr(26));
    } else if (entry.starts_with("GIO_LAUNCHED_DESKTOP_FILE_PID=")) {
      try {
        facts.launchedDesktopFilePid = std::stoi(std::string(entry.substr(30)));
      } catch (...) {
        facts.launchedDesktopFilePid = 0;
      }
    }
    start = end + 1;
  }
  return facts;
}

std::optional<DesktopAppResolver::Identity> DesktopAppResolver::identity(const std::string& id) const {
  if (id.empty()) return std::nullopt;
  const DesktopEntryIndex::Entry* entry = index_.find(id);
  if (!entry) return std::nullopt;
  return Identity{id, entry->name};
}

std::optional<DesktopAppResolver::Identity> DesktopAppResolver::lookup(const WindowFacts& window,
                                                                      const ProcessFacts& process) const {
  std::vector<std::string> candidates;
  candidates.push_back(process.flatpakId);
  if (auto snap = snapId(process.cgroup)) candidates.push_back(*snap);
  candidates.push_back(window.gtkApplicationId);
  for (const std::string& name : {window.wmClass, window.wmInstance}) {
    if (auto id = index_.idForWmClass(name); id && !name.empty()) candidates.push_back(*id);
  }
  for (const std::string& name : {window.wmClass, window.wmInstance, text::asciiLowercased(window.wmClass), text::asciiLowercased(window.wmInstance)}) {
    candidates.push_back(name);
  }
  if (window.pid > 0 && process.launchedDesktopFilePid == window.pid) {
    candidates.push_back(desktopFileId(process.launchedDesktopFile));
  }
  for (std::string& id : appUnitIds(process.cgroup)) candidates.push_back(std::move(id));

  for (const std::string& id : candidates) {
    if (auto found = identity(id)) return found;
  }
  return std::nullopt;
}

std::optional<DesktopAppResolver::Identity> DesktopAppResolver::resolve(const WindowFacts& window,
                                                                       const ProcessFacts& process) {
  if (auto found = lookup(window, process)) return found;
  const auto now = std::chrono::steady_clock::now();
  if (now - loadedAt_ < reloadInterval) return std::nullopt;
  index_.reload();
  loadedAt_ = now;
  return lookup(window, process);
}

}  // namespace tovarin
