#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "main/page/LocalServer.h"
#include "main/page/SaveError.h"

// Text, address and file-name rules of the web panels. Pure; any thread.
namespace tovarin::ShellPanels {

// The message asks for a password, passphrase or PIN.
[[nodiscard]] bool isSecret(std::string_view message);
// (title, detail): the title ends at the first sentence end within the first 48
// characters; without one the whole message is the title.
[[nodiscard]] std::pair<std::string, std::string> split(std::string_view message);
// At most `limit` characters, then "…".
[[nodiscard]] std::string clip(std::string_view text, std::size_t limit);
// Bare lowercase extensions for a file panel; anything that is no extension is left out.
[[nodiscard]] std::vector<std::string> fileExtensions(const std::vector<std::string>& extensions);

// A download of this address may start in a window of the local server.
[[nodiscard]] bool acceptsDownload(const std::optional<std::string>& url, const LocalServer& server);
// A name that stays one file name in one folder.
[[nodiscard]] std::string safeFilename(std::string_view name);
// The sentence that ends a failed receipt.
[[nodiscard]] std::string_view failureReason(const SaveError& error);
// A page's identifier: 1 to 128 of [A-Za-z0-9._:-], starting with a letter or digit.
[[nodiscard]] bool isIdentifier(std::string_view text);

}  // namespace tovarin::ShellPanels
