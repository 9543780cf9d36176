#pragma once

#include <memory>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "main/page/WebView.h"
#include "tests/platform/gtk/GlibPump.h"

namespace tovarin {

// Evaluates a script in the page and waits for its answer. The answer lands in storage
// the completion shares: after a wait that ran out, a late answer must not write into
// this call's frame, long gone by then.
inline ScriptValue evaluateInPage(WebView& view, const std::string& script) {
  auto answer = std::make_shared<std::optional<ScriptValue>>();
  view.evaluate(script, [answer](ScriptValue value) { *answer = std::move(value); });
  EXPECT_TRUE(pumpUntil([&] { return answer->has_value(); })) << script;
  return answer->value_or(ScriptValue::error("no answer"));
}

}  // namespace tovarin
