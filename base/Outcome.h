#pragma once

#include <optional>
#include <utility>

namespace tovarin {

// An operation's answer: a value, or the error that stopped it. On failure the value
// is the type's empty one, so that code which reports counts can read it either way.
template <typename T, typename E>
struct [[nodiscard]] Outcome {
  T value{};
  std::optional<E> error;

  [[nodiscard]] bool ok() const { return !error.has_value(); }
  static Outcome failed(E why) { return {T{}, std::move(why)}; }
  // Another layer's answer of the same value, its error widened to E.
  template <typename Narrower>
  static Outcome from(Outcome<T, Narrower> other) {
    if (other.error) return failed(E(std::move(*other.error)));
    return {std::move(other.value), std::nullopt};
  }
};

}  // namespace tovarin
