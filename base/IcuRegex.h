#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>


namespace tovarin {

// A regular expression in ICU's syntax, where \d, \b and \p{...} follow Unicode.
// Compiled once; matching makes a fresh matcher each time, so one instance may be
// used from several threads at once.
class IcuRegex final {
 public:
  // An invalid pattern gives a regex that matches nothing; valid() tells.
  explicit IcuRegex(std::string_view pattern);
  ~IcuRegex();
  IcuRegex(const IcuRegex&) = delete;
  IcuRegex& operator=(const IcuRegex&) = delete;

  [[nodiscard]] bool valid() const;
  // True when the whole text matches.
  [[nodiscard]] bool matchesWhole(std::string_view utf8) const;
  // Replaces every match with `replacement`, taken literally ($ and \ included).
  // Nothing when the pattern is invalid or the matching could not finish: a caller
  // that masks must then not use the text as if nothing had matched.
  [[nodiscard]] std::optional<std::string> replaceAll(std::string_view utf8, std::string_view replacement) const;

 private:
  struct Compiled;
  std::unique_ptr<Compiled> compiled_;
};

}  // namespace tovarin
