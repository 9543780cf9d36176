#pragma once

#include <string>
#include <string_view>

// The fixed texts of panels and download receipts.
namespace tovarin::ShellPanelCopy {

inline constexpr std::string_view ok = "好";
inline constexpr std::string_view cancel = "取消";
inline constexpr std::string_view choose = "选择";
inline constexpr std::string_view save = "存储";
inline constexpr std::string_view secretNote = "输入时不显示明文。";
inline constexpr std::string_view reasonNoSpace = "磁盘空间不够。";
inline constexpr std::string_view reasonNoPermission = "这个位置不能写入，换一个位置再试。";
inline constexpr std::string_view reasonGeneric = "写文件时出了错，换一个位置再试。";

inline constexpr std::string_view directoryMessage = "选择本轮使用的文件夹。读取与保存权限仍由你分别选择。";
inline constexpr std::string_view directoryBusy = "请先完成已打开的文件夹选择。";
inline constexpr std::string_view directoryUnusable = "所选位置不是可用的文件夹。";

[[nodiscard]] std::string saved(std::string_view name, std::string_view folder);
[[nodiscard]] std::string cancelled(std::string_view name);
[[nodiscard]] std::string failed(std::string_view name, std::string_view reason);

}  // namespace tovarin::ShellPanelCopy
