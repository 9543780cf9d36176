#include "main/page/ShellPanelCopy.h"

namespace tovarin::ShellPanelCopy {

std::string saved(std::string_view name, std::string_view folder) {
  return "已存到「" + std::string(folder) + "」：" + std::string(name);
}

std::string cancelled(std::string_view name) { return "没有保存「" + std::string(name) + "」：存储时点了取消。"; }

std::string failed(std::string_view name, std::string_view reason) {
  return "「" + std::string(name) + "」没有存下来：" + std::string(reason);
}

}  // namespace tovarin::ShellPanelCopy
