#pragma once

#include <map>
#include <optional>
#include <string>

namespace tovarin {

using ProxySettingsTable = std::map<std::string, std::string>;

// The system proxy settings turned into the "HTTP_PROXY" and "HTTPS_PROXY" entries
// handed to the local server. The settings arrive as a key/value table with the keys
// HTTPEnable, HTTPProxy, HTTPPort and their HTTPS twins; on this platform the table is
// fed from the GNOME proxy settings. Pure rules, apart from systemProxyEnvironment().
namespace SystemProxy {

// "key : value" lines into a table: a line is cut at its first colon that follows a
// non-empty field; both fields are trimmed of spaces, tabs and line breaks; lines that
// do not give two fields are ignored; a later key replaces an earlier one.
ProxySettingsTable parseSettingsText(const std::string& text);

// The output of `gsettings list-recursively org.gnome.system.proxy` as the same table:
// manual mode enables both the http and the https proxy with their hosts and ports.
ProxySettingsTable tableFromGSettings(const std::string& text);

// "http://host:port" for the prefix "HTTP" or "HTTPS", when the table enables a
// usable proxy for it.
std::optional<std::string> proxyAddress(const ProxySettingsTable& table, const std::string& prefix);

// At most the keys "HTTP_PROXY" and "HTTPS_PROXY".
std::map<std::string, std::string> environmentFromTable(const ProxySettingsTable& table);

}  // namespace SystemProxy

// Runs gsettings (when it and the schema exist) and applies the rules above. Blocks
// while the tool runs; an empty result when there is nothing to read.
std::map<std::string, std::string> systemProxyEnvironment();

}  // namespace tovarin
