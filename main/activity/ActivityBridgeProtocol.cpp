#include "main/activity/ActivityBridgeProtocol.h"

#include <array>
#include <algorithm>
#include <optional>
#include <stdexcept>

#include "base/Calendar.h"
#include "base/LowerHex.h"
#include "base/SecureRandom.h"
#include "main/activity_core/ActivityOwnership.h"
#include "main/activity_core/ActivityQuery.h"

namespace tovarin::ActivityBridgeProtocol {
namespace {

template <class... Handlers>
struct Overloaded : Handlers... {
  using Handlers::operator()...;
};
template <class... Handlers>
Overloaded(Handlers...) -> Overloaded<Handlers...>;

bool isVersion(const Json& request) {
  auto found = request.find("v");
  if (found == request.end()) return false;
  std::optional<double> number = jsonNumber(*found);
  return number && *number == version;
}

bool holdsToken(const Json& request, std::string_view token) {
  auto found = request.find("token");
  return found != request.end() && found->is_string() &&
         constantTimeEquals(found->get_ref<const std::string&>(), token);
}

std::optional<std::string> operation(const Json& request) {
  auto found = request.find("op");
  if (found == request.end() || !found->is_string()) return std::nullopt;
  const auto& op = found->get_ref<const std::string&>();
  if (op != "owner" && op != "query") return std::nullopt;
  return op;
}

std::optional<std::string> ownerHash(const Json& value) {
  if (!value.is_string() || !acceptsOwner(value.get_ref<const std::string&>())) return std::nullopt;
  return value.get<std::string>();
}

ParseResult parseOwnerReport(const Json& request) {
  auto found = request.find("owner");
  if (found == request.end()) return ActivityBridgeError::badArgs;
  if (found->is_null()) return ActivityBridgeRequest::ownerReport(std::nullopt);
  if (auto owner = ownerHash(*found)) return ActivityBridgeRequest::ownerReport(std::move(owner));
  return ActivityBridgeError::badArgs;
}

// Absent and empty are the same filter; anything but a string is refused.
bool readFilter(const Json& args, const char* key, std::optional<std::string>& filter) {
  auto found = args.find(key);
  if (found == args.end()) return true;
  if (!found->is_string()) return false;
  const auto& text = found->get_ref<const std::string&>();
  if (!text.empty()) filter = text;
  return true;
}

ParseResult parseQuery(const Json& request) {
  auto ownerField = request.find("owner");
  auto argsField = request.find("args");
  if (ownerField == request.end() || argsField == request.end() || !argsField->is_object()) {
    return ActivityBridgeError::badArgs;
  }
  std::optional<std::string> owner = ownerHash(*ownerField);
  std::optional<std::string> from = jsonString(*argsField, "from");
  std::optional<std::string> to = jsonString(*argsField, "to");
  if (!owner || !from || !to) return ActivityBridgeError::badArgs;
  ActivityQueryArgs args{*from, *to, std::nullopt, std::nullopt};
  if (!readFilter(*argsField, "app", args.app) || !readFilter(*argsField, "text", args.text)) {
    return ActivityBridgeError::badArgs;
  }
  if (!ActivityQuery::window(args, Calendar::gregorianInCurrentZone())) return ActivityBridgeError::badArgs;
  return ActivityBridgeRequest::query(std::move(*owner), std::move(args));
}

Json replyObject(const ActivityBridgeReply& reply) {
  Json object = Json::object();
  object["v"] = version;
  std::visit(Overloaded{
                 [&](const ActivityQueryResult& result) {
                   Json items = Json::array();
                   for (const ActivityItem& item : result.items) items.push_back(itemObject(item));
                   Json body{{"items", std::move(items)}};
                   if (result.truncated) body["truncated"] = true;
                   object["result"] = std::move(body);
                 },
                 [&](ActivityDenial denial) { object["result"] = Json{{"denied", rawValue(denial)}}; },
                 [&](ActivityBridgeError error) { object["error"] = rawValue(error); },
                 [&](const ActivityBridgeReply::Acknowledged&) { object["result"] = Json{{"ok", true}}; },
             },
             reply.payload());
  return object;
}

}  // namespace

std::string makeToken() {
  std::array<unsigned char, 32> bytes{};
  if (!fillSecureRandom(bytes.data(), bytes.size())) {
    // A guessable token would open the record to any process of the user.
    throw std::runtime_error("activity bridge: the secure random source failed");
  }
  return lowerHex(bytes);
}

bool constantTimeEquals(std::string_view a, std::string_view b) {
  const std::size_t length = std::max(a.size(), b.size());
  // volatile keeps the compiler from ending the loop at the first difference.
  volatile unsigned char difference = a.size() == b.size() ? 0 : 1;
  for (std::size_t index = 0; index < length; ++index) {
    const auto left = index < a.size() ? static_cast<unsigned char>(a[index]) : 0;
    const auto right = index < b.size() ? static_cast<unsigned char>(b[index]) : 0;
    difference = difference | static_cast<unsigned char>(left ^ right);
  }
  return difference == 0;
}

bool acceptsOwner(std::string_view owner) { return isOwnerHash(owner); }

ParseResult parse(std::string_view line, std::string_view token) {
  if (line.size() > maxRequestBytes) return ActivityBridgeError::tooLarge;
  std::optional<Json> request = parseJson(line);
  if (!request || !request->is_object()) return ActivityBridgeError::badJSON;
  if (!isVersion(*request)) return ActivityBridgeError::badVersion;
  if (!holdsToken(*request, token)) return ActivityBridgeError::badToken;
  std::optional<std::string> op = operation(*request);
  if (!op) return ActivityBridgeError::badOp;
  return *op == "owner" ? parseOwnerReport(*request) : parseQuery(*request);
}

std::string encode(const ActivityBridgeReply& reply) {
  std::string line;
  try {
    line = replyObject(reply).dump();
  } catch (const Json::exception&) {
    // Text that is not UTF-8 cannot be written as JSON; the peer gets a reply all the same.
    line = internalErrorLine;
  }
  line.push_back('\n');
  return line;
}

Json itemObject(const ActivityItem& item) { return item.toJson(); }

}  // namespace tovarin::ActivityBridgeProtocol
