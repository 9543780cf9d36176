#include "main/activity_core/ActivityDisclosure.h"

namespace tovarin::ActivityDisclosure {

const std::vector<DisclosureRow>& rows() {
  static const std::vector<DisclosureRow> table{
      {"App 名称", "只记勾选的 App", "通讯、健康、金融、密码类即使勾选也不记。"},
      {"窗口标题", "只记勾选的 App", "需要「辅助功能」权限；邮箱和 6 位以上的数字会被遮住。"},
      {"开始与结束时间", "记录", "离开电脑、锁屏、睡眠或暂停时，这一段就结束。"},
      {"网页标题", "只记勾选的浏览器", "来自窗口标题；邮箱、银行、密码类网页不记。"},
      {"网站域名", "单独开启", "需要「自动化」权限；只存域名，不存完整网址。"},
      {"空闲时长", "不存", "只用来判断你离开了电脑。"},
      {"所属账号", "只存摘要", "开启时绑定当时登录的岚笺账号；别的账号读不到，也不在它登录时记录。"},
      {"打字内容", "从不", ""},
      {"窗口里的正文", "从不", ""},
      {"截图与录屏", "从不", ""},
      {"麦克风与声音", "从不", ""},
      {"剪贴板", "从不", ""},
      {"点击位置", "从不", ""},
  };
  return table;
}

}  // namespace tovarin::ActivityDisclosure
