#include "main/activity_ui/ActivityTexts.h"

#include <gtest/gtest.h>

namespace tovarin {
namespace {

using ClearOutcome = ActivityServiceOutcome<ActivityClearCounts>;

ActivityStoreError sqliteFailure() { return ActivityStoreError::sqlite(5, "busy"); }

TEST(ActivityTextsTest, ClearSentenceNamesTrimmedIntervalsOnlyWhenThereAreSome) {
  EXPECT_EQ(ActivityTexts::describe({3, 1, 1}, ClearRange::lastHour),
            "已清除最近 1 小时：删除 3 段记录、1 份小时摘要，另有 1 段去掉了清除时段里的部分");
  EXPECT_EQ(ActivityTexts::describe({2, 0, 0}, ClearRange::last10Minutes),
            "已清除最近 10 分钟：删除 2 段记录、0 份小时摘要");
  EXPECT_EQ(ActivityTexts::clearResult(ClearOutcome{{}, ActivityServiceFailure(sqliteFailure())}, ClearRange::all),
            "没清除成功，记录没有改动。");
}

TEST(ActivityTextsTest, RebindAndResetTellTheMissingAccountApartFromOtherFailures) {
  const ClearOutcome needsAccount = ClearOutcome::failed(ActivityServiceError::needsAccount);
  const ClearOutcome notAllowed = ClearOutcome::failed(ActivityServiceError::notAllowed);
  const ClearOutcome storeFailed{{}, ActivityServiceFailure(sqliteFailure())};
  EXPECT_EQ(ActivityTexts::rebindResult(ClearOutcome{{4, 0, 2}, std::nullopt}),
            "已改绑到当前账号，删除了 4 段记录、2 份小时摘要。");
  EXPECT_EQ(ActivityTexts::rebindResult(needsAccount), "先登录岚笺账号再改绑。");
  EXPECT_EQ(ActivityTexts::rebindResult(notAllowed), "没能改绑，记录没有改动。");
  EXPECT_EQ(ActivityTexts::rebindResult(storeFailed), "没能改绑，记录没有改动。");

  auto reset = [](ClearOutcome base, bool wiped) {
    ActivityService::KeyLossReset answer;
    answer.value = base.value;
    answer.error = base.error;
    answer.recordsWiped = wiped;
    return answer;
  };
  EXPECT_EQ(ActivityTexts::resetResult(reset({{7, 0, 3}, std::nullopt}, true)), "已清掉 7 段解不开的记录，重新开始记录。");
  EXPECT_EQ(ActivityTexts::resetResult(reset(needsAccount, false)), "先登录岚笺账号再重新开始。");
  EXPECT_EQ(ActivityTexts::resetResult(reset(storeFailed, false)), "没能重新开始，记录没有改动。");
  // The records went before the new key failed: saying nothing changed would be false.
  EXPECT_EQ(ActivityTexts::resetResult(reset(storeFailed, true)), "已清掉解不开的记录，但没能生成新的密钥。请稍后再试。");
}

TEST(ActivityTextsTest, EnableDestroyAndAddAppSentences) {
  using Outcome = ActivityService::EnableOutcome;
  EXPECT_EQ(ActivityTexts::enableResult(Outcome::enabled), std::nullopt);
  EXPECT_EQ(ActivityTexts::enableResult(Outcome::needsAccount), "先登录岚笺账号再开启：记录会绑定到开启时登录的账号。");
  EXPECT_EQ(ActivityTexts::enableResult(Outcome::needsAccountChoice),
            "这台电脑上已有属于另一个账号的活动记录，请在「所属账号」里选择。");
  EXPECT_EQ(ActivityTexts::enableResult(Outcome::failed), "没能打开记录。");

  using Destroy = ActivityServiceOutcome<ActivityDestroyCounts>;
  Destroy done;
  done.value.intervalsDeleted = 12;
  done.value.summariesDeleted = 3;
  EXPECT_EQ(ActivityTexts::destroyResult(done), "已关闭，删除了 12 段记录、3 份小时摘要和密钥。");
  EXPECT_EQ(ActivityTexts::destroyResult(Destroy{{}, ActivityServiceFailure(sqliteFailure())}),
            "已关闭，但没能删干净。点下面的「重试删除」再来一次。");

  EXPECT_EQ(ActivityTexts::addAppResult({}), std::nullopt);
  EXPECT_EQ(ActivityTexts::addAppResult({"Signal（通讯与会议）", "Bank（金融）"}),
            "默认排除，没有添加：Signal（通讯与会议）、Bank（金融）");
  EXPECT_EQ(ActivityTexts::storedLine(ActivityStore::RowCounts{1234, 5}), "这台电脑上现有 1234 段记录、5 份小时摘要");
  EXPECT_EQ(ActivityTexts::storedLine(std::nullopt), "");
}

// The record lives on a Linux computer: no question before a deletion calls it a Mac.
TEST(ActivityTextsTest, ConfirmationsSayThisComputer) {
  const ActivityConfirmation asking[] = {ActivityTexts::disableAndDelete(), ActivityTexts::clearAll(),
                                         ActivityTexts::rebind(), ActivityTexts::resetAfterKeyLoss()};
  for (const ActivityConfirmation& question : asking) {
    for (const std::string& text : {question.title, question.message, question.action}) {
      EXPECT_EQ(text.find("Mac"), std::string::npos) << text;
    }
  }
  EXPECT_EQ(ActivityTexts::clearAll().message,
            "会删除这台电脑上的全部活动记录和小时摘要，不能恢复。已经记进卡片或档案的内容不受影响。");
}

}  // namespace
}  // namespace tovarin
