#include "main/activity/ActivityBridgeProtocol.h"

#include <gtest/gtest.h>

#include <chrono>
#include <set>

#include "main/activity/ActivityBridgeEnvironment.h"

namespace tovarin {
namespace {

const std::string kToken(64, 'a');
const std::string kOwner = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";

std::string line(Json object) { return object.dump(); }

Json ownerRequest(Json owner) { return Json{{"v", 1}, {"token", kToken}, {"op", "owner"}, {"owner", std::move(owner)}}; }

Json queryRequest(Json args, Json owner = kOwner) {
  return Json{{"v", 1}, {"token", kToken}, {"op", "query"}, {"owner", std::move(owner)}, {"args", std::move(args)}};
}

TEST(ActivityBridgeProtocolTest, ErrorCodesRoundTripAndUnknownCodesGiveNone) {
  const std::set<std::string> expected = {"bad_json", "bad_version", "bad_token",     "bad_op",
                                          "bad_args", "too_large",   "peer_rejected", "internal"};
  std::set<std::string> seen;
  for (ActivityBridgeError error :
       {ActivityBridgeError::badJSON, ActivityBridgeError::badVersion, ActivityBridgeError::badToken,
        ActivityBridgeError::badOp, ActivityBridgeError::badArgs, ActivityBridgeError::tooLarge,
        ActivityBridgeError::peerRejected, ActivityBridgeError::internalError}) {
    seen.insert(std::string(rawValue(error)));
    EXPECT_EQ(activityBridgeErrorFromRaw(rawValue(error)), error);
  }
  EXPECT_EQ(seen, expected);
  EXPECT_EQ(activityBridgeErrorFromRaw("internalError"), std::nullopt);
  EXPECT_EQ(activityBridgeErrorFromRaw("BAD_JSON"), std::nullopt);
  EXPECT_EQ(activityBridgeErrorFromRaw(""), std::nullopt);
}

TEST(ActivityBridgeProtocolTest, RefusedRequestsGetTheFirstFailingChecksError) {
  struct Case {
    std::string name;
    std::string line;
    ActivityBridgeError error;
  };
  Json wrongTokenBadOp = ownerRequest(nullptr);
  wrongTokenBadOp["token"] = "nope";
  wrongTokenBadOp["op"] = "delete";
  Json badVersionBadToken = ownerRequest(nullptr);
  badVersionBadToken["v"] = 2;
  badVersionBadToken["token"] = 5;
  auto with = [](Json object, const std::string& key, Json value) {
    object[key] = std::move(value);
    return object;
  };
  auto without = [](Json object, const std::string& key) {
    object.erase(key);
    return object;
  };
  const Json goodArgs{{"from", "2026-03-01"}, {"to", "2026-03-02"}};
  const std::vector<Case> cases = {
      {"empty input", "", ActivityBridgeError::badJSON},
      {"not JSON", "{v:1}", ActivityBridgeError::badJSON},
      {"a top-level array", "[1]", ActivityBridgeError::badJSON},
      {"a top-level number", "1", ActivityBridgeError::badJSON},
      {"a top-level string", "\"owner\"", ActivityBridgeError::badJSON},
      {"trailing garbage", line(ownerRequest(nullptr)) + "x", ActivityBridgeError::badJSON},
      {"invalid UTF-8 in a string", "{\"v\":1,\"token\":\"\xff\"}", ActivityBridgeError::badJSON},
      {"empty object", "{}", ActivityBridgeError::badVersion},
      {"no v", line(without(ownerRequest(nullptr), "v")), ActivityBridgeError::badVersion},
      {"v true", line(with(ownerRequest(nullptr), "v", true)), ActivityBridgeError::badVersion},
      {"v \"1\"", line(with(ownerRequest(nullptr), "v", "1")), ActivityBridgeError::badVersion},
      {"v 2", line(with(ownerRequest(nullptr), "v", 2)), ActivityBridgeError::badVersion},
      {"v 1.5", line(with(ownerRequest(nullptr), "v", 1.5)), ActivityBridgeError::badVersion},
      {"v null", line(with(ownerRequest(nullptr), "v", nullptr)), ActivityBridgeError::badVersion},
      {"bad version before bad token", line(badVersionBadToken), ActivityBridgeError::badVersion},
      {"no token", line(without(ownerRequest(nullptr), "token")), ActivityBridgeError::badToken},
      {"token a number", line(with(ownerRequest(nullptr), "token", 7)), ActivityBridgeError::badToken},
      {"token empty", line(with(ownerRequest(nullptr), "token", "")), ActivityBridgeError::badToken},
      {"token last byte differs", line(with(ownerRequest(nullptr), "token", std::string(63, 'a') + "b")),
       ActivityBridgeError::badToken},
      {"token a prefix", line(with(ownerRequest(nullptr), "token", std::string(63, 'a'))),
       ActivityBridgeError::badToken},
      {"token with one more byte", line(with(ownerRequest(nullptr), "token", kToken + "a")),
       ActivityBridgeError::badToken},
      {"wrong token before bad op", line(wrongTokenBadOp), ActivityBridgeError::badToken},
      {"no op", line(without(ownerRequest(nullptr), "op")), ActivityBridgeError::badOp},
      {"op not a string", line(with(ownerRequest(nullptr), "op", 1)), ActivityBridgeError::badOp},
      {"op unknown", line(with(ownerRequest(nullptr), "op", "Owner")), ActivityBridgeError::badOp},
      {"owner report without owner", line(without(ownerRequest(nullptr), "owner")), ActivityBridgeError::badArgs},
      {"owner upper-case hex", line(ownerRequest(std::string(64, 'A'))), ActivityBridgeError::badArgs},
      {"owner 63 digits", line(ownerRequest(std::string(63, '0'))), ActivityBridgeError::badArgs},
      {"owner 65 digits", line(ownerRequest(std::string(65, '0'))), ActivityBridgeError::badArgs},
      {"owner a number", line(ownerRequest(5)), ActivityBridgeError::badArgs},
      {"owner false", line(ownerRequest(false)), ActivityBridgeError::badArgs},
      {"query owner null", line(queryRequest(goodArgs, nullptr)), ActivityBridgeError::badArgs},
      {"query without owner", line(without(queryRequest(goodArgs), "owner")), ActivityBridgeError::badArgs},
      {"query without args", line(without(queryRequest(goodArgs), "args")), ActivityBridgeError::badArgs},
      {"query args an array", line(queryRequest(Json::array({"2026-03-01", "2026-03-02"}))),
       ActivityBridgeError::badArgs},
      {"query without to", line(queryRequest(Json{{"from", "2026-03-01"}})), ActivityBridgeError::badArgs},
      {"query from a number", line(queryRequest(Json{{"from", 20260301}, {"to", "2026-03-02"}})),
       ActivityBridgeError::badArgs},
      {"query app a number", line(queryRequest(with(goodArgs, "app", 3))), ActivityBridgeError::badArgs},
      {"query text null", line(queryRequest(with(goodArgs, "text", nullptr))), ActivityBridgeError::badArgs},
      {"query window reversed", line(queryRequest(Json{{"from", "2026-03-02"}, {"to", "2026-03-01"}})),
       ActivityBridgeError::badArgs},
      {"query day not a date", line(queryRequest(Json{{"from", "2026-02-30"}, {"to", "2026-03-01"}})),
       ActivityBridgeError::badArgs},
  };
  for (const Case& c : cases) {
    auto parsed = ActivityBridgeProtocol::parse(c.line, kToken);
    ASSERT_TRUE(std::holds_alternative<ActivityBridgeError>(parsed)) << c.name;
    EXPECT_EQ(std::get<ActivityBridgeError>(parsed), c.error) << c.name << ": got " << rawValue(std::get<ActivityBridgeError>(parsed));
  }
}

TEST(ActivityBridgeProtocolTest, AcceptedRequestsCarryTheirOwnerAndArguments) {
  struct Case {
    std::string name;
    std::string line;
    ActivityBridgeRequest expected;
  };
  Json oneAsReal = ownerRequest(kOwner);
  Json extraFields = ownerRequest(nullptr);
  extraFields["extra"] = Json{{"ignored", true}};
  const std::vector<Case> cases = {
      {"owner null: nobody signed in", line(ownerRequest(nullptr)), ActivityBridgeRequest::ownerReport(std::nullopt)},
      {"owner hash", line(ownerRequest(kOwner)), ActivityBridgeRequest::ownerReport(kOwner)},
      {"v written 1.0", R"({"v":1.0,"token":")" + kToken + R"(","op":"owner","owner":null})",
       ActivityBridgeRequest::ownerReport(std::nullopt)},
      {"other fields ignored", line(extraFields), ActivityBridgeRequest::ownerReport(std::nullopt)},
      {"query with filters",
       line(queryRequest(Json{{"from", "2026-03-01"}, {"to", "2026-03-07"}, {"app", "Firefox"}, {"text", "mail"}})),
       ActivityBridgeRequest::query(kOwner, {"2026-03-01", "2026-03-07", "Firefox", "mail"})},
      {"empty filters are absent",
       line(queryRequest(Json{{"from", "2026-03-01"}, {"to", "2026-03-01"}, {"app", ""}, {"text", ""}})),
       ActivityBridgeRequest::query(kOwner, {"2026-03-01", "2026-03-01", std::nullopt, std::nullopt})},
  };
  for (const Case& c : cases) {
    auto parsed = ActivityBridgeProtocol::parse(c.line, kToken);
    ASSERT_TRUE(std::holds_alternative<ActivityBridgeRequest>(parsed))
        << c.name << ": " << rawValue(std::get<ActivityBridgeError>(parsed));
    EXPECT_EQ(std::get<ActivityBridgeRequest>(parsed), c.expected) << c.name;
  }
}

TEST(ActivityBridgeProtocolTest, TheLengthLimitIsOnTheLineWithoutItsNewline) {
  std::string base = line(ownerRequest(nullptr));
  base.pop_back();  // reopen the object to pad it
  auto padded = [&](size_t total) {
    std::string text = base + ",\"pad\":\"";
    text.append(total - text.size() - 2, 'x');
    return text + "\"}";
  };
  const std::string atLimit = padded(ActivityBridgeProtocol::maxRequestBytes);
  ASSERT_EQ(atLimit.size(), 16384u);
  EXPECT_TRUE(std::holds_alternative<ActivityBridgeRequest>(ActivityBridgeProtocol::parse(atLimit, kToken)));
  const std::string overLimit = padded(ActivityBridgeProtocol::maxRequestBytes + 1);
  EXPECT_EQ(std::get<ActivityBridgeError>(ActivityBridgeProtocol::parse(overLimit, kToken)),
            ActivityBridgeError::tooLarge);
  // Too large wins over every other fault.
  EXPECT_EQ(std::get<ActivityBridgeError>(ActivityBridgeProtocol::parse(std::string(20000, '{'), kToken)),
            ActivityBridgeError::tooLarge);
}

TEST(ActivityBridgeProtocolTest, RepliesAreCompactWithSortedKeysAndOneNewline) {
  ActivityItem plain{"act_1", "2026-03-01T09:00", "2026-03-01T09:30", "Firefox", "Mail", std::nullopt, 30};
  ActivityItem withDomain{"act_2", "2026-03-01T10:00", "2026-03-01T10:01", "Firefox", "News", "example.org", 1};
  struct Case {
    std::string name;
    ActivityBridgeReply reply;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"acknowledged", ActivityBridgeReply::acknowledged(), R"({"result":{"ok":true},"v":1})"},
      {"error", ActivityBridgeReply::error(ActivityBridgeError::badToken), R"({"error":"bad_token","v":1})"},
      {"denied", ActivityBridgeReply::denied(ActivityDenial::notGranted), R"({"result":{"denied":"not_granted"},"v":1})"},
      {"no items", ActivityBridgeReply::items({}), R"({"result":{"items":[]},"v":1})"},
      {"items, truncated", ActivityBridgeReply::items({{plain, withDomain}, true}),
       R"({"result":{"items":[{"app":"Firefox","durationMin":30,"end":"2026-03-01T09:30","id":"act_1",)"
       R"("start":"2026-03-01T09:00","title":"Mail"},{"app":"Firefox","domain":"example.org","durationMin":1,)"
       R"("end":"2026-03-01T10:01","id":"act_2","start":"2026-03-01T10:00","title":"News"}],"truncated":true},"v":1})"},
  };
  for (const Case& c : cases) EXPECT_EQ(ActivityBridgeProtocol::encode(c.reply), c.expected + "\n") << c.name;
}

TEST(ActivityBridgeProtocolTest, AReplyThatCannotBeWrittenBecomesTheFixedInternalLine) {
  ActivityItem broken{"act_1", "2026-03-01T09:00", "2026-03-01T09:30", "Firefox", "bad \xc3 text", std::nullopt, 30};
  const std::string encoded = ActivityBridgeProtocol::encode(ActivityBridgeReply::items({{broken}, false}));
  EXPECT_EQ(encoded, "{\"error\":\"internal\",\"v\":1}\n");
  EXPECT_EQ(encoded.size(), 27u);
}

TEST(ActivityBridgeProtocolTest, ConstantTimeEqualsComparesEveryByteAndTheLength) {
  struct Case {
    std::string a, b;
    bool equal;
  };
  const std::vector<Case> cases = {
      {"", "", true},          {"abc", "abc", true}, {"abc", "abd", false}, {"abc", "ab", false},
      {"ab", "abc", false},    {"", "a", false},     {std::string("a\0", 2), "a", false},
      {kToken, kToken, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ActivityBridgeProtocol::constantTimeEquals(c.a, c.b), c.equal) << c.a << " vs " << c.b;
  }
}

TEST(ActivityBridgeProtocolTest, TokensAreSixtyFourFreshLowerCaseHexDigits) {
  const std::string first = ActivityBridgeProtocol::makeToken();
  const std::string second = ActivityBridgeProtocol::makeToken();
  EXPECT_EQ(first.size(), 64u);
  EXPECT_EQ(first.find_first_not_of("0123456789abcdef"), std::string::npos);
  EXPECT_TRUE(ActivityBridgeProtocol::acceptsOwner(first));
  EXPECT_NE(first, second);
}

TEST(ActivityBridgeEnvironmentTest, ThePageHashIsTheSha256OfThePageToken) {
  EXPECT_EQ(ActivityBridgeEnvironment::sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(ActivityBridgeEnvironment::sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

TEST(ActivityBridgeEnvironmentTest, ExportSetsAndOverwritesTheThreeValuesAndClearRemovesThem) {
  ProcessEnvironment environment({"HOME=/home/u", std::string(ActivityBridgeEnvironment::tokenKey) + "=old"});
  ActivityBridgeEnvironment::exportTo(environment, "/run/user/1/tovarin-activity-7.sock", "bridge", "abc");
  EXPECT_EQ(environment.get("TOVARIN_ACTIVITY_SOCKET"), "/run/user/1/tovarin-activity-7.sock");
  EXPECT_EQ(environment.get("TOVARIN_ACTIVITY_TOKEN"), "bridge");
  EXPECT_EQ(environment.get("TOVARIN_ACTIVITY_PAGE_SHA256"),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  ActivityBridgeEnvironment::clear(environment);
  EXPECT_EQ(environment.snapshot(), std::vector<std::string>{"HOME=/home/u"});
  EXPECT_EQ(ActivityBridgeEnvironment::socketPath("/run/user/1000", 4321), "/run/user/1000/tovarin-activity-4321.sock");
}

}  // namespace
}  // namespace tovarin
