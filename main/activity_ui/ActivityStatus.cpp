#include "main/activity_ui/ActivityStatus.h"

namespace tovarin {

ActivityStatus ActivityStatus::derive(const ActivityService::Snapshot& snapshot, bool opening,
                                      const std::optional<std::string>& frontName, bool trusted) {
  if (!snapshot.settings.enabled) return of(Kind::off);
  if (opening) return of(Kind::opening);
  if (snapshot.storeState != ActivityStoreState::ready) return unavailable(snapshot.storeState);
  switch (snapshot.ownership) {
    case ActivityOwnership::matched:
      if (snapshot.settings.paused) return of(Kind::paused);
      return trusted ? recording(frontName) : of(Kind::needsAccess);
    case ActivityOwnership::otherAccount: return otherAccount(snapshot.keptForOriginal);
    case ActivityOwnership::signedOut: return of(Kind::signedOut);
    case ActivityOwnership::unknown: return of(Kind::waitingForAccount);
    case ActivityOwnership::unbound: return of(Kind::unbound);
  }
  return of(Kind::waitingForAccount);
}

std::string ActivityStatus::menuTitle() const {
  const std::string base = "活动记录";
  switch (kind) {
    case Kind::off: return base;
    case Kind::opening: return base + " · 正在打开";
    case Kind::waitingForAccount: return base + " · 确认账号";
    case Kind::signedOut: return base + " · 已退出账号";
    case Kind::unbound: return base + " · 未绑定账号";
    case Kind::needsAccess: return base + " · 需要权限";
    case Kind::paused: return base + " · 已暂停";
    case Kind::otherAccount: return base + " · 属于另一个账号";
    case Kind::recording: return base + " · 记录中";
    case Kind::unavailable: return base + " · 暂不可用";
  }
  return base;
}

std::string ActivityStatus::statusLine() const {
  switch (kind) {
    case Kind::off: return "未开启";
    case Kind::opening: return "正在打开记录";
    case Kind::waitingForAccount: return "正在确认登录的账号 · 暂不记录";
    case Kind::signedOut: return "已退出岚笺账号 · 不记录，对话也读不到";
    case Kind::unbound: return "还没有绑定账号 · 不记录";
    case Kind::needsAccess: return "需要「辅助功能」权限才能记录";
    case Kind::paused: return "已暂停 · 不记录，对话也读不到";
    case Kind::otherAccount:
      return kept ? "已保留给原来的账号 · 当前账号读不到，也不记录" : "属于另一个岚笺账号 · 当前账号读不到，也不记录";
    case Kind::recording: return frontName ? "正在记录：" + *frontName : "正在记录 · 当前 App 不在勾选范围";
    case Kind::unavailable:
      return storeState == ActivityStoreState::keyMissing ? "找不到解开记录的密钥" : "记录暂时打不开";
  }
  return {};
}

bool ActivityStatus::operator==(const ActivityStatus& other) const {
  if (kind != other.kind) return false;
  switch (kind) {
    case Kind::otherAccount: return kept == other.kept;
    case Kind::recording: return frontName == other.frontName;
    case Kind::unavailable: return storeState == other.storeState;
    default: return true;
  }
}

}  // namespace tovarin
