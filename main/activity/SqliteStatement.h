#pragma once

#include <utility>

struct sqlite3_stmt;

namespace tovarin {

// Owns one compiled SQLite statement and finalizes it when dropped, so no path out of
// a statement's use can leak it.
class SqliteStatement final {
 public:
  SqliteStatement() = default;
  explicit SqliteStatement(sqlite3_stmt* statement) : statement_(statement) {}
  SqliteStatement(SqliteStatement&& other) noexcept : statement_(std::exchange(other.statement_, nullptr)) {}
  SqliteStatement& operator=(SqliteStatement&& other) noexcept;
  SqliteStatement(const SqliteStatement&) = delete;
  SqliteStatement& operator=(const SqliteStatement&) = delete;
  ~SqliteStatement() { finalize(); }

  sqlite3_stmt* get() const { return statement_; }
  explicit operator bool() const { return statement_ != nullptr; }
  void finalize();

 private:
  sqlite3_stmt* statement_ = nullptr;
};

}  // namespace tovarin
