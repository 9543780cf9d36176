#pragma once

#include <string>
#include <string_view>

#include "main/server/ServerStartupFacts.h"
#include "main/server/ServerStartupFailure.h"
#include "main/server/StartupNotice.h"

namespace tovarin {

// Turns the facts gathered after a failed or slow start into the Chinese notice of the
// offline page. Pure functions of the facts: any thread, no state, never fail.
// The facts' probe status is deliberately not read: a probe made after the facts were
// gathered says nothing about why the start failed.
namespace ServerStartupDiagnosis {

[[nodiscard]] ServerStartupFailure classify(const ServerStartupFacts& facts);

[[nodiscard]] std::string headline(const ServerStartupFacts& facts);
[[nodiscard]] std::string summary(const ServerStartupFacts& facts);
[[nodiscard]] std::string shortReason(const ServerStartupFacts& facts);
// The diagnosis with the port, the seconds waited and the process identifiers.
[[nodiscard]] std::string reason(const ServerStartupFacts& facts);

// trigger names the moment of the check ("打开岚笺时"); an empty one adds no line.
[[nodiscard]] StartupNotice notice(const ServerStartupFacts& facts, std::string_view trigger,
                                   bool retried);

}  // namespace ServerStartupDiagnosis
}  // namespace tovarin
