#include "main/server/ServerStartupDiagnosis.h"

#include <cstdint>
#include <vector>

namespace tovarin::ServerStartupDiagnosis {
namespace {

// Process identifiers in decimal, in the order given, joined by "、".
std::string pidList(const std::vector<int32_t>& pids) {
  if (pids.empty()) return "未知";
  std::string text;
  for (size_t i = 0; i < pids.size(); ++i) {
    if (i > 0) text += "、";
    text += std::to_string(pids[i]);
  }
  return text;
}

}  // namespace

ServerStartupFailure classify(const ServerStartupFacts& facts) {
  if (!facts.autoStartEnabled) return ServerStartupFailure::autoStartDisabled;
  if (!facts.nodeFound) return ServerStartupFailure::nodeMissing;
  if (facts.listeners.empty()) {
    return facts.childAlive ? ServerStartupFailure::startingSlowly
                            : ServerStartupFailure::exitedAfterStart;
  }
  // A child of this launch that listens without passing the probe is among our stale
  // listeners too, so it is reported as a stale server, not as a slow start.
  return facts.ourStaleListeners.empty() ? ServerStartupFailure::portHeldByOthers
                                         : ServerStartupFailure::portHeldByOurStaleServer;
}

std::string headline(const ServerStartupFacts& facts) {
  return classify(facts) == ServerStartupFailure::startingSlowly ? "岚笺还在启动"
                                                                 : "岚笺暂时无法启动";
}

std::string summary(const ServerStartupFacts& facts) {
  switch (classify(facts)) {
    case ServerStartupFailure::autoStartDisabled:
      return "设置里关掉了自动启动本机服务。手动启动它之后，点「重试」。";
    case ServerStartupFailure::nodeMissing:
      return "这台电脑上缺少岚笺需要的运行环境，本机服务起不来。用完整安装包重新安装一次。";
    case ServerStartupFailure::portHeldByOthers:
      return "岚笺要用的本机端口被另一个程序占着。退出那个程序后点「重试」；是哪个程序，诊断里写着。";
    case ServerStartupFailure::portHeldByOurStaleServer:
      return "上一次没退干净的岚笺本机服务还占着端口。点「重试」，会先关掉它再重新启动。";
    case ServerStartupFailure::startingSlowly:
      return "本机服务还在启动，比平时慢。它一就绪，这里就会换成岚笺；也可以点「重试」。";
    case ServerStartupFailure::exitedAfterStart:
      return "本机服务启动后自己退出了。点「重试」再启动一次；仍然不行，用完整安装包重新安装。";
  }
  return {};
}

std::string shortReason(const ServerStartupFacts& facts) {
  switch (classify(facts)) {
    case ServerStartupFailure::autoStartDisabled: return "本机服务未自动启动";
    case ServerStartupFailure::nodeMissing: return "缺少运行环境，需要重新安装";
    case ServerStartupFailure::portHeldByOthers: return "端口被别的程序占着";
    case ServerStartupFailure::portHeldByOurStaleServer: return "旧版岚笺还占着端口";
    case ServerStartupFailure::startingSlowly: return "本机服务还在启动中";
    case ServerStartupFailure::exitedAfterStart: return "本机服务启动后已退出";
  }
  return {};
}

std::string reason(const ServerStartupFacts& facts) {
  const std::string port = std::to_string(facts.port);
  const std::string seconds = std::to_string(facts.waitedSeconds);
  switch (classify(facts)) {
    case ServerStartupFailure::autoStartDisabled:
      return "本机服务没有自动启动（设置里关掉了自动启动）。手动启动后，可从「显示」菜单重新连接。";
    case ServerStartupFailure::nodeMissing:
      return "这台电脑上找不到可用的 Node 运行时，本机服务起不来。请用完整安装包重新安装。";
    case ServerStartupFailure::portHeldByOthers:
      return "本机端口 " + port + " 被另一个程序占着（进程 " + pidList(facts.listeners) +
             "），它不是岚笺。" + "请先退出那个程序，或改用别的端口后重新打开。";
    case ServerStartupFailure::portHeldByOurStaleServer:
      return "本机端口 " + port + " 还被上一次没退干净的岚笺本机服务占着（进程 " +
             pidList(facts.ourStaleListeners) + "）。" + "请退出旧版岚笺后重新打开。";
    case ServerStartupFailure::startingSlowly:
      return "本机服务还在启动中，" + seconds + " 秒内没能就绪；端口 " + port +
             " 上没有别的程序占着。" + "请稍候片刻，再从「显示」菜单重新连接。";
    case ServerStartupFailure::exitedAfterStart:
      return "本机服务启动之后自己退出了，" + seconds + " 秒内没能就绪；端口 " + port +
             " 上没有别的程序占着——不是端口冲突。" + "请重新打开岚笺；仍然如此就重新安装。";
  }
  return {};
}

StartupNotice notice(const ServerStartupFacts& facts, std::string_view trigger, bool retried) {
  std::string triggerLine;
  if (!trigger.empty()) {
    triggerLine = "\n这一次：";
    triggerLine += trigger;
    triggerLine += "。";
  }
  return StartupNotice{
      .cause = classify(facts),
      .headline = headline(facts),
      .summary = summary(facts),
      .shortReason = shortReason(facts),
      .detail = reason(facts) + triggerLine,
      .retried = retried,
  };
}

}  // namespace tovarin::ServerStartupDiagnosis
