#include "main/page/SaveError.h"

#include <cstring>

namespace tovarin {

SaveError SaveError::fromErrno(int errorNumber, std::string description) {
  if (description.empty()) description = std::strerror(errorNumber);
  return {Kind::system, errorNumber, std::move(description)};
}

SaveError SaveError::unverified() { return {Kind::verification, contentUnverified, "文件内容未通过核验，本次未确认保存。"}; }

SaveError SaveError::changed() { return {Kind::verification, contentChanged, "文件内容已变化，本次未确认保存。"}; }

}  // namespace tovarin
