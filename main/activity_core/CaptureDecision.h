#pragma once

#include <optional>

#include "main/activity_core/ExclusionCategory.h"

namespace tovarin {

// The verdict on one app: may it be recorded, and if not, why.
class CaptureDecision final {
 public:
  enum class Kind { excluded, record, notIncluded, selfApp };

  [[nodiscard]] static CaptureDecision excluded(ExclusionCategory category) { return {Kind::excluded, category}; }
  [[nodiscard]] static CaptureDecision record() { return {Kind::record, std::nullopt}; }
  [[nodiscard]] static CaptureDecision notIncluded() { return {Kind::notIncluded, std::nullopt}; }
  [[nodiscard]] static CaptureDecision selfApp() { return {Kind::selfApp, std::nullopt}; }

  [[nodiscard]] Kind kind() const { return kind_; }
  // Present exactly for `excluded`.
  [[nodiscard]] std::optional<ExclusionCategory> category() const { return category_; }

  bool operator==(const CaptureDecision&) const = default;

 private:
  CaptureDecision(Kind kind, std::optional<ExclusionCategory> category) : kind_(kind), category_(category) {}

  Kind kind_;
  std::optional<ExclusionCategory> category_;
};

}  // namespace tovarin
