#include "widget/FeedFailure.h"

namespace tovarin {

std::string_view hint(FeedFailure failure) {
  switch (failure) {
    case FeedFailure::unreachable: return "打开日历以同步";
    case FeedFailure::signedOut: return "已退出账号 · 登录后显示";
    case FeedFailure::accountChanged: return "账号已切换 · 稍后更新";
    case FeedFailure::zoneUnavailable: return "账号时区未就绪 · 请打开日历";
    case FeedFailure::zoneUnverified: return "暂无法核对账号时区";
    case FeedFailure::locked: return "日历设了访问令牌";
    case FeedFailure::malformed: return "读不到日历数据";
  }
  return "读不到日历数据";
}

std::string_view name(FeedFailure failure) {
  switch (failure) {
    case FeedFailure::unreachable: return "unreachable";
    case FeedFailure::signedOut: return "signedOut";
    case FeedFailure::accountChanged: return "accountChanged";
    case FeedFailure::zoneUnavailable: return "zoneUnavailable";
    case FeedFailure::zoneUnverified: return "zoneUnverified";
    case FeedFailure::locked: return "locked";
    case FeedFailure::malformed: return "malformed";
  }
  return "malformed";
}

}  // namespace tovarin
