#include "main/server/ServerStartupDiagnosis.h"

#include <gtest/gtest.h>

#include <ostream>
#include <unordered_set>

namespace tovarin {

void PrintTo(ServerStartupFailure failure, std::ostream* os) {
  *os << serverStartupFailureName(failure);
}

void PrintTo(const StartupNotice& notice, std::ostream* os) {
  *os << "{" << serverStartupFailureName(notice.cause) << ", \"" << notice.headline << "\", \""
      << notice.summary << "\", \"" << notice.shortReason << "\", \"" << notice.detail << "\", "
      << (notice.retried ? "retried" : "first") << "}";
}

namespace {

constexpr const char* cannotStart = "岚笺暂时无法启动";

// A start that got as far as launching a child: auto-start on, runtime found.
ServerStartupFacts launched(std::vector<int32_t> listeners, std::vector<int32_t> ours,
                            bool childAlive) {
  return ServerStartupFacts{.port = 4173,
                            .autoStartEnabled = true,
                            .nodeFound = true,
                            .listeners = std::move(listeners),
                            .ourStaleListeners = std::move(ours),
                            .childAlive = childAlive,
                            .probe = ServerStatus::down,
                            .waitedSeconds = 12};
}

ServerStartupFacts with(ServerStartupFacts facts, auto change) {
  change(facts);
  return facts;
}

TEST(ServerStartupDiagnosisTest, FactsGiveCauseHeadlineShortReasonAndDetail) {
  struct Case {
    const char* name;
    ServerStartupFacts facts;
    const char* trigger;
    ServerStartupFailure cause;
    const char* headline;
    const char* shortReason;
    const char* detail;
  } cases[] = {
      {"auto-start off outranks a missing runtime and a held port",
       with(launched({812}, {812}, true), [](auto& f) { f.autoStartEnabled = false; f.nodeFound = false; }),
       "", ServerStartupFailure::autoStartDisabled, cannotStart, "本机服务未自动启动",
       "本机服务没有自动启动（设置里关掉了自动启动）。手动启动后，可从「显示」菜单重新连接。"},
      {"missing runtime outranks a held port",
       with(launched({812}, {}, false), [](auto& f) { f.nodeFound = false; }),
       "", ServerStartupFailure::nodeMissing, cannotStart, "缺少运行环境，需要重新安装",
       "这台电脑上找不到可用的 Node 运行时，本机服务起不来。请用完整安装包重新安装。"},
      {"port held by two foreign processes, listed in order",
       launched({812, 4410}, {}, true), "",
       ServerStartupFailure::portHeldByOthers, cannotStart, "端口被别的程序占着",
       "本机端口 4173 被另一个程序占着（进程 812、4410），它不是岚笺。"
       "请先退出那个程序，或改用别的端口后重新打开。"},
      {"one of the listeners is ours: only ours are named",
       launched({812, 4410}, {4410}, false), "",
       ServerStartupFailure::portHeldByOurStaleServer, cannotStart, "旧版岚笺还占着端口",
       "本机端口 4173 还被上一次没退干净的岚笺本机服务占着（进程 4410）。"
       "请退出旧版岚笺后重新打开。"},
      {"our own child listening without passing the probe counts as stale, not slow",
       launched({5120}, {5120}, true), "",
       ServerStartupFailure::portHeldByOurStaleServer, cannotStart, "旧版岚笺还占着端口",
       "本机端口 4173 还被上一次没退干净的岚笺本机服务占着（进程 5120）。"
       "请退出旧版岚笺后重新打开。"},
      {"no listener and a live child is a slow start",
       launched({}, {}, true), "",
       ServerStartupFailure::startingSlowly, "岚笺还在启动", "本机服务还在启动中",
       "本机服务还在启动中，12 秒内没能就绪；端口 4173 上没有别的程序占着。"
       "请稍候片刻，再从「显示」菜单重新连接。"},
      {"the seconds and port are the facts' own",
       with(launched({}, {}, true), [](auto& f) { f.port = 8080; f.waitedSeconds = 30; }),
       "接着又等了 30 秒",
       ServerStartupFailure::startingSlowly, "岚笺还在启动", "本机服务还在启动中",
       "本机服务还在启动中，30 秒内没能就绪；端口 8080 上没有别的程序占着。"
       "请稍候片刻，再从「显示」菜单重新连接。\n这一次：接着又等了 30 秒。"},
      {"no listener and the child gone",
       launched({}, {}, false), "打开岚笺时等本机服务就绪",
       ServerStartupFailure::exitedAfterStart, cannotStart, "本机服务启动后已退出",
       "本机服务启动之后自己退出了，12 秒内没能就绪；端口 4173 上没有别的程序占着——不是端口冲突。"
       "请重新打开岚笺；仍然如此就重新安装。\n这一次：打开岚笺时等本机服务就绪。"},
      {"a zero-second wait is written as 0",
       with(launched({}, {}, false), [](auto& f) { f.waitedSeconds = 0; }), "",
       ServerStartupFailure::exitedAfterStart, cannotStart, "本机服务启动后已退出",
       "本机服务启动之后自己退出了，0 秒内没能就绪；端口 4173 上没有别的程序占着——不是端口冲突。"
       "请重新打开岚笺；仍然如此就重新安装。"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const StartupNotice notice = ServerStartupDiagnosis::notice(c.facts, c.trigger, false);
    EXPECT_EQ(notice.cause, c.cause);
    EXPECT_EQ(ServerStartupDiagnosis::classify(c.facts), c.cause);
    EXPECT_EQ(notice.headline, c.headline);
    EXPECT_EQ(ServerStartupDiagnosis::headline(c.facts), c.headline);
    EXPECT_EQ(notice.shortReason, c.shortReason);
    EXPECT_EQ(ServerStartupDiagnosis::shortReason(c.facts), c.shortReason);
    EXPECT_EQ(notice.detail, c.detail);
    EXPECT_EQ(notice.summary, ServerStartupDiagnosis::summary(c.facts));
    EXPECT_FALSE(notice.retried);
  }
}

TEST(ServerStartupDiagnosisTest, EachCauseHasItsOwnSummary) {
  struct Case {
    ServerStartupFacts facts;
    ServerStartupFailure cause;
    const char* summary;
  } cases[] = {
      {with(launched({}, {}, true), [](auto& f) { f.autoStartEnabled = false; }),
       ServerStartupFailure::autoStartDisabled,
       "设置里关掉了自动启动本机服务。手动启动它之后，点「重试」。"},
      {with(launched({}, {}, true), [](auto& f) { f.nodeFound = false; }),
       ServerStartupFailure::nodeMissing,
       "这台电脑上缺少岚笺需要的运行环境，本机服务起不来。用完整安装包重新安装一次。"},
      {launched({77}, {}, true), ServerStartupFailure::portHeldByOthers,
       "岚笺要用的本机端口被另一个程序占着。退出那个程序后点「重试」；是哪个程序，诊断里写着。"},
      {launched({77}, {77}, true), ServerStartupFailure::portHeldByOurStaleServer,
       "上一次没退干净的岚笺本机服务还占着端口。点「重试」，会先关掉它再重新启动。"},
      {launched({}, {}, true), ServerStartupFailure::startingSlowly,
       "本机服务还在启动，比平时慢。它一就绪，这里就会换成岚笺；也可以点「重试」。"},
      {launched({}, {}, false), ServerStartupFailure::exitedAfterStart,
       "本机服务启动后自己退出了。点「重试」再启动一次；仍然不行，用完整安装包重新安装。"},
  };
  std::unordered_set<ServerStartupFailure> covered;
  for (const auto& c : cases) {
    ASSERT_EQ(ServerStartupDiagnosis::classify(c.facts), c.cause);
    EXPECT_EQ(ServerStartupDiagnosis::summary(c.facts), c.summary)
        << serverStartupFailureName(c.cause);
    covered.insert(c.cause);
  }
  EXPECT_EQ(covered.size(), allServerStartupFailures.size());
}

TEST(ServerStartupDiagnosisTest, FullNoticeForAForeignPortHolderAfterARetry) {
  const StartupNotice expected{
      .cause = ServerStartupFailure::portHeldByOthers,
      .headline = "岚笺暂时无法启动",
      .summary = "岚笺要用的本机端口被另一个程序占着。退出那个程序后点「重试」；是哪个程序，诊断里写着。",
      .shortReason = "端口被别的程序占着",
      .detail = "本机端口 4173 被另一个程序占着（进程 812、4410、9），它不是岚笺。"
                "请先退出那个程序，或改用别的端口后重新打开。\n这一次：点了「重试」。",
      .retried = true,
  };
  EXPECT_EQ(ServerStartupDiagnosis::notice(launched({812, 4410, 9}, {}, true), "点了「重试」", true),
            expected);
}

TEST(ServerStartupDiagnosisTest, FullNoticeForASlowStartAtLaunch) {
  const StartupNotice expected{
      .cause = ServerStartupFailure::startingSlowly,
      .headline = "岚笺还在启动",
      .summary = "本机服务还在启动，比平时慢。它一就绪，这里就会换成岚笺；也可以点「重试」。",
      .shortReason = "本机服务还在启动中",
      .detail = "本机服务还在启动中，12 秒内没能就绪；端口 4173 上没有别的程序占着。"
                "请稍候片刻，再从「显示」菜单重新连接。\n这一次：打开岚笺时。",
      .retried = false,
  };
  EXPECT_EQ(ServerStartupDiagnosis::notice(launched({}, {}, true), "打开岚笺时", false), expected);
}

TEST(ServerStartupDiagnosisTest, EmptyTriggerLeavesTheDetailEqualToTheReason) {
  for (const auto& facts : {launched({}, {}, true), launched({3}, {}, false),
                            with(launched({}, {}, true), [](auto& f) { f.nodeFound = false; })}) {
    EXPECT_EQ(ServerStartupDiagnosis::notice(facts, "", false).detail,
              ServerStartupDiagnosis::reason(facts));
  }
}

TEST(ServerStartupDiagnosisTest, TheProbeStatusChangesNothing) {
  for (const auto& base : {launched({}, {}, true), launched({}, {}, false), launched({1}, {}, true),
                           launched({1}, {1}, true)}) {
    const StartupNotice reference = ServerStartupDiagnosis::notice(base, "打开岚笺时", true);
    for (ServerStatus probe : {ServerStatus::ours, ServerStatus::compatible,
                               ServerStatus::incompatible, ServerStatus::down}) {
      auto facts = with(base, [probe](auto& f) { f.probe = probe; });
      EXPECT_EQ(ServerStartupDiagnosis::notice(facts, "打开岚笺时", true), reference);
    }
  }
}

}  // namespace
}  // namespace tovarin
