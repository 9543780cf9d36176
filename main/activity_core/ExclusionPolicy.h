#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "main/activity_core/ActivitySettings.h"
#include "main/activity_core/CaptureDecision.h"
#include "main/activity_core/ExclusionCategory.h"

// Which apps, sites and window titles the activity record may keep. Pure functions
// over tables built once; safe from any thread.
//
// App ids are matched lower-cased (and without a ".desktop" suffix). The tables hold the macOS bundle ids of the
// sensitive apps and browsers and, beside them, the Linux desktop-file ids (native
// packages, Flatpak and Snap) of the same kinds of app, because on Linux an app is
// known by its desktop-file id and none of the macOS ids would ever match.
namespace tovarin::ExclusionPolicy {

inline constexpr std::string_view ownBundleId = "com.orvik.thetovarin";

using CategoryRow = std::pair<std::string, ExclusionCategory>;

// One source list of bundles(), as written (ids are lower-cased when inserted).
struct BundleList {
  ExclusionCategory category;
  std::vector<std::string> ids;
};
// The lists bundles() is built from, in order; a later list wins for an id in two.
[[nodiscard]] const std::vector<BundleList>& bundleLists();

// Lower-cased app id -> category.
[[nodiscard]] const std::unordered_map<std::string, ExclusionCategory>& bundles();
// App-id prefixes, first match wins.
[[nodiscard]] const std::vector<CategoryRow>& bundlePrefixes();
// Lower-cased app ids of browsers; browserPrefixes() completes it.
[[nodiscard]] const std::unordered_set<std::string>& browsers();
[[nodiscard]] const std::vector<std::string>& browserPrefixes();
// The sensitive-site table: a host matches a row when it equals the row or is a
// subdomain of it.
[[nodiscard]] const std::vector<CategoryRow>& domains();
// The last label that marks a bank's own top-level domain: ".bank" is open only to
// verified banks, so every host under it is a bank.
inline constexpr std::string_view bankTopLevelDomain = "bank";
// The first label of a widely used hosted patient portal, which health providers run
// at "mychart.<provider>"; it is also the portal's title keyword.
inline constexpr std::string_view patientPortalLabel = "mychart";
[[nodiscard]] const std::vector<CategoryRow>& titleKeywords();

[[nodiscard]] CaptureDecision decide(std::string_view bundleId, const ActivitySettings& settings);
[[nodiscard]] std::optional<ExclusionCategory> category(std::string_view bundleId);
[[nodiscard]] bool isBrowserLike(std::string_view bundleId);
// A sensitive category in what a window shows: its host first, then (for browsers, or
// when no app id is given) its title's keywords.
[[nodiscard]] std::optional<ExclusionCategory> sensitiveContent(const std::optional<std::string>& title,
                                                                const std::optional<std::string>& domain,
                                                                const std::optional<std::string>& bundleId);
[[nodiscard]] std::string_view label(ExclusionCategory category);
[[nodiscard]] std::string_view reason(ExclusionCategory category);

}  // namespace tovarin::ExclusionPolicy
