#pragma once

#include <functional>
#include <string_view>

namespace tovarin {

// Writes "[orvik] " + message + "\n" to standard error in one write. Any thread.
// Line breaks and other control characters in the message are written escaped
// ("\n", "\x1b"), so a message is always exactly one line.
void log(std::string_view message);

// Writes prefix + message + "\n" in one write (the voice engine's "[voice] " twin).
void logWithPrefix(std::string_view prefix, std::string_view message);

// Tests observe the log through this; nullptr removes the observer. The line passed
// is the whole line without its line feed.
void setLogObserverForTesting(std::function<void(std::string_view line)> observer);

}  // namespace tovarin
