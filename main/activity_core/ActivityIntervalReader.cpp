#include "main/activity_core/ActivityIntervalReader.h"

#include <charconv>
#include <cmath>
#include <cstdint>

namespace tovarin {

namespace {

// A cursor over the written shape. Every method answers false where the text leaves
// that shape, never deciding on its own that the text is not JSON: the general parser
// then reads it as it always did.
class Cursor {
 public:
  explicit Cursor(std::string_view text) : text_(text) {}

  bool atEnd() const { return at_ == text_.size(); }
  bool take(char expected) {
    if (at_ >= text_.size() || text_[at_] != expected) return false;
    ++at_;
    return true;
  }

  // A key: plain ASCII, no escapes.
  bool key(std::string_view& out) {
    if (!take('"')) return false;
    const std::size_t start = at_;
    while (at_ < text_.size() && text_[at_] != '"') {
      const auto c = static_cast<unsigned char>(text_[at_]);
      if (c == '\\' || c < 0x20 || c >= 0x80) return false;
      ++at_;
    }
    if (at_ >= text_.size()) return false;
    out = text_.substr(start, at_ - start);
    ++at_;
    return true;
  }

  bool string(std::string& out) {
    if (!take('"')) return false;
    out.clear();
    while (at_ < text_.size()) {
      // Plain bytes go over in one run.
      std::size_t run = at_;
      while (run < text_.size()) {
        const auto c = static_cast<unsigned char>(text_[run]);
        if (c == '"' || c == '\\' || c < 0x20 || c >= 0x80) break;
        ++run;
      }
      out.append(text_.data() + at_, run - at_);
      at_ = run;
      if (at_ >= text_.size()) return false;
      const auto c = static_cast<unsigned char>(text_[at_]);
      if (c == '"') {
        ++at_;
        return true;
      }
      if (c < 0x20) return false;
      if (c == '\\' ? !escape(out) : !multiByte(out)) return false;
    }
    return false;
  }

  // A JSON number that a double holds finitely, converted as the general parser does:
  // a whole number through a 64-bit integer, any other correctly rounded.
  bool number(double& out) {
    const std::size_t start = at_;
    take('-');
    if (take('0')) {
    } else if (!digits()) {
      return false;
    }
    bool whole = true;
    std::size_t fraction = at_;
    if (take('.')) {
      whole = false;
      fraction = at_;
      if (!digits()) return false;
    }
    const std::size_t fractionEnd = at_;
    bool exponent = false;
    if (take('e') || take('E')) {
      whole = false;
      exponent = true;
      if (!take('+')) take('-');
      if (!digits()) return false;
    }
    const char* first = text_.data() + start;
    const char* last = text_.data() + at_;
    if (!whole && !exponent && exactQuotient(first, fraction, fractionEnd, out)) return true;
    if (whole) {
      if (*first == '-') {
        int64_t value = 0;
        if (std::from_chars(first, last, value).ec != std::errc()) return false;
        out = static_cast<double>(value);
      } else {
        uint64_t value = 0;
        if (std::from_chars(first, last, value).ec != std::errc()) return false;
        out = static_cast<double>(value);
      }
      return true;
    }
    const auto parsed = std::from_chars(first, last, out, std::chars_format::general);
    return parsed.ec == std::errc() && parsed.ptr == last && std::isfinite(out);
  }

 private:
  // A decimal fraction whose digits make an integer a double holds exactly, divided by a
  // power of ten a double holds exactly: one division, so correctly rounded, as the
  // general conversion would give it. Times written as seconds with a fraction are.
  bool exactQuotient(const char* first, std::size_t fraction, std::size_t fractionEnd, double& out) const {
    static constexpr double powers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                        1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    const bool negative = *first == '-';
    const char* wholeEnd = text_.data() + fraction - 1;  // the point
    const std::size_t places = fractionEnd - fraction;
    if (places >= std::size(powers)) return false;
    constexpr uint64_t exactLimit = uint64_t{1} << 53;
    uint64_t digits = 0;
    auto add = [&digits](char c) {
      digits = digits * 10 + static_cast<uint64_t>(c - '0');
      return digits <= exactLimit;
    };
    for (const char* c = first + (negative ? 1 : 0); c < wholeEnd; ++c) {
      if (!add(*c)) return false;
    }
    for (std::size_t i = fraction; i < fractionEnd; ++i) {
      if (!add(text_[i])) return false;
    }
    const double value = static_cast<double>(digits) / powers[places];
    out = negative ? -value : value;
    return true;
  }

  bool digits() {
    const std::size_t start = at_;
    while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') ++at_;
    return at_ > start;
  }

  bool escape(std::string& out) {
    if (at_ + 1 >= text_.size()) return false;
    const char kind = text_[at_ + 1];
    at_ += 2;
    switch (kind) {
      case '"': out.push_back('"'); return true;
      case '\\': out.push_back('\\'); return true;
      case '/': out.push_back('/'); return true;
      case 'b': out.push_back('\b'); return true;
      case 'f': out.push_back('\f'); return true;
      case 'n': out.push_back('\n'); return true;
      case 'r': out.push_back('\r'); return true;
      case 't': out.push_back('\t'); return true;
      case 'u': return unicodeEscape(out);
      default: return false;
    }
  }

  // \uXXXX outside the surrogates; pairs are left to the general parser.
  bool unicodeEscape(std::string& out) {
    if (at_ + 4 > text_.size()) return false;
    unsigned code = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = text_[at_ + i];
      unsigned digit = 0;
      if (c >= '0' && c <= '9') {
        digit = static_cast<unsigned>(c - '0');
      } else if (c >= 'a' && c <= 'f') {
        digit = static_cast<unsigned>(c - 'a' + 10);
      } else if (c >= 'A' && c <= 'F') {
        digit = static_cast<unsigned>(c - 'A' + 10);
      } else {
        return false;
      }
      code = code * 16 + digit;
    }
    if (code >= 0xD800 && code <= 0xDFFF) return false;
    at_ += 4;
    if (code < 0x80) {
      out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (code >> 6)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xE0 | (code >> 12)));
      out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
    return true;
  }

  // One well-formed UTF-8 sequence (no overlong forms, no surrogates, at most U+10FFFF).
  bool multiByte(std::string& out) {
    const auto lead = static_cast<unsigned char>(text_[at_]);
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      return false;
    }
    if (at_ + length > text_.size()) return false;
    for (std::size_t i = 1; i < length; ++i) {
      const auto c = static_cast<unsigned char>(text_[at_ + i]);
      if (c < (i == 1 ? low : 0x80) || c > (i == 1 ? high : 0xBF)) return false;
    }
    out.append(text_.data() + at_, length);
    at_ += length;
    return true;
  }

  std::string_view text_;
  std::size_t at_ = 0;
};

}  // namespace

std::optional<ActivityInterval> ActivityIntervalReader::readWritten(std::string_view text) {
  enum Field : unsigned { id = 1, bundleId = 2, appName = 4, title = 8, domain = 16, start = 32, end = 64 };
  constexpr unsigned required = id | bundleId | appName | title | start | end;
  Cursor cursor(text);
  if (!cursor.take('{')) return std::nullopt;
  ActivityInterval interval;
  unsigned seen = 0;
  do {
    std::string_view key;
    if (!cursor.key(key) || !cursor.take(':')) return std::nullopt;
    unsigned field = 0;
    bool read = false;
    if (key == "id") {
      field = id, read = cursor.string(interval.id);
    } else if (key == "bundleId") {
      field = bundleId, read = cursor.string(interval.bundleId);
    } else if (key == "appName") {
      field = appName, read = cursor.string(interval.appName);
    } else if (key == "title") {
      field = title, read = cursor.string(interval.title);
    } else if (key == "domain") {
      field = domain, read = cursor.string(interval.domain.emplace());
    } else if (key == "start") {
      field = start, read = cursor.number(interval.start);
    } else if (key == "end") {
      field = end, read = cursor.number(interval.end);
    }
    if (!read || (seen & field) != 0) return std::nullopt;
    seen |= field;
  } while (cursor.take(','));
  if (!cursor.take('}') || !cursor.atEnd() || (seen & required) != required) return std::nullopt;
  return interval;
}

std::optional<ActivityInterval> ActivityIntervalReader::read(std::string_view text) {
  if (auto interval = readWritten(text)) return interval;
  auto json = parseJson(text);
  return json ? ActivityInterval::fromJson(*json) : std::nullopt;
}

}  // namespace tovarin
