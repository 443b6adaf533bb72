// Thin RAII helpers over the SQLite C API for the table engine (internal).
// Every failure becomes mrw::Error carrying the given German context and SQLite's text.
#pragma once

#include <sqlite3.h>

#include <string>
#include <string_view>

#include "db/field.h"

namespace mrw::db {

[[noreturn]] void ThrowSqlite(sqlite3* db, const std::string& context);
bool IsBusy(int rc);

// Runs statements without results.
void Exec(sqlite3* db, const std::string& sql, const std::string& context);

// "x" -> "\"x\"" with inner quotes doubled (identifiers) / "'x'" (text literals).
std::string QuoteIdent(std::string_view name);
std::string QuoteText(std::string_view text);

// The value of a result column as a field of type `t` holds it (null stays null).
Value ReadColumn(sqlite3_stmt* st, int col, FieldType t);

class Stmt {
 public:
  Stmt() = default;
  Stmt(sqlite3* db, const std::string& sql, const std::string& context);
  ~Stmt();
  Stmt(Stmt&& o) noexcept : db_(o.db_), st_(o.st_), context_(std::move(o.context_)) { o.st_ = nullptr; }
  Stmt& operator=(Stmt&& o) noexcept;
  Stmt(const Stmt&) = delete;
  Stmt& operator=(const Stmt&) = delete;

  explicit operator bool() const { return st_ != nullptr; }
  sqlite3_stmt* get() const { return st_; }

  // Parameters are 1-based.
  void Bind(int i, const Value& v);
  void BindInt(int i, int64_t v);
  void BindText(int i, std::string_view v);
  void BindBlob(int i, std::string_view v);
  // True when a row is available; false at the end. Throws on errors (and on busy
  // after the connection's busy timeout).
  bool Step();
  void Reset();  // also clears bindings

  bool IsNullAt(int col) const { return sqlite3_column_type(st_, col) == SQLITE_NULL; }
  int64_t Int(int col) const { return sqlite3_column_int64(st_, col); }
  double Double(int col) const { return sqlite3_column_double(st_, col); }
  std::string Text(int col) const;
  std::string Blob(int col) const;

 private:
  sqlite3* db_ = nullptr;
  sqlite3_stmt* st_ = nullptr;
  std::string context_;
};

}  // namespace mrw::db
