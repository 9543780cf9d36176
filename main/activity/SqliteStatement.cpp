#include "main/activity/SqliteStatement.h"

#include <sqlite3.h>

namespace tovarin {

SqliteStatement& SqliteStatement::operator=(SqliteStatement&& other) noexcept {
  if (this != &other) {
    finalize();
    statement_ = std::exchange(other.statement_, nullptr);
  }
  return *this;
}

void SqliteStatement::finalize() {
  if (statement_) sqlite3_finalize(std::exchange(statement_, nullptr));
}

}  // namespace tovarin
