#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace strixc::settings {

// One prepared SQLite statement, finalised on destruction. Binds are 1-based as in SQLite.
class SqliteStatement {
 public:
  SqliteStatement(sqlite3* db, const char* sql);
  ~SqliteStatement();
  SqliteStatement(const SqliteStatement&) = delete;
  SqliteStatement& operator=(const SqliteStatement&) = delete;

  bool Ok() const { return statement_ != nullptr; }
  SqliteStatement& Bind(int index, std::string_view text);
  SqliteStatement& Bind(int index, int64_t value);
  SqliteStatement& BindBlob(int index, const void* data, size_t size);

  // SQLITE_ROW, SQLITE_DONE or an error code.
  int Step();
  // Runs to completion; true when it ended with SQLITE_DONE.
  bool Run();
  // Ready to run again with new bindings.
  void Reset();

  int64_t ColumnInt(int column) const;
  std::string ColumnText(int column) const;
  std::string ColumnBlob(int column) const;

 private:
  sqlite3_stmt* statement_ = nullptr;
};

}  // namespace strixc::settings
