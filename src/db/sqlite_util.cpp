#include "db/sqlite_util.h"

#include "foundation/errors.h"

namespace mrw::db {

bool IsBusy(int rc) {
  int primary = rc & 0xff;
  return primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
}

void ThrowSqlite(sqlite3* db, const std::string& context) {
  int rc = db ? sqlite3_extended_errcode(db) : SQLITE_ERROR;
  std::string text = db ? sqlite3_errmsg(db) : "unbekannter Fehler";
  if (IsBusy(rc)) text = "die Tabelle wird von einem anderen Benutzer gesperrt (" + text + ")";
  throw Error(context + ": " + text);
}

void Exec(sqlite3* db, const std::string& sql, const std::string& context) {
  char* err = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
    sqlite3_free(err);
    ThrowSqlite(db, context);
  }
}

std::string QuoteIdent(std::string_view name) {
  std::string out = "\"";
  for (char c : name) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

std::string QuoteText(std::string_view text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') out += '\'';
    out += c;
  }
  return out + "'";
}

Value ReadColumn(sqlite3_stmt* st, int col, FieldType t) {
  if (sqlite3_column_type(st, col) == SQLITE_NULL) return std::monostate{};
  if (t == FieldType::Double) return sqlite3_column_double(st, col);
  if (t == FieldType::Text || IsBlobType(t)) {
    const void* p = t == FieldType::Text ? static_cast<const void*>(sqlite3_column_text(st, col)) : sqlite3_column_blob(st, col);
    size_t n = static_cast<size_t>(sqlite3_column_bytes(st, col));
    return p ? std::string(static_cast<const char*>(p), n) : std::string();
  }
  return static_cast<int64_t>(sqlite3_column_int64(st, col));
}

Stmt::Stmt(sqlite3* db, const std::string& sql, const std::string& context) : db_(db), context_(context) {
  if (sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &st_, nullptr) != SQLITE_OK)
    ThrowSqlite(db, context);
}

Stmt::~Stmt() {
  if (st_) sqlite3_finalize(st_);
}

Stmt& Stmt::operator=(Stmt&& o) noexcept {
  if (this != &o) {
    if (st_) sqlite3_finalize(st_);
    db_ = o.db_;
    st_ = o.st_;
    context_ = std::move(o.context_);
    o.st_ = nullptr;
  }
  return *this;
}

void Stmt::Bind(int i, const Value& v) {
  if (IsNull(v))
    sqlite3_bind_null(st_, i);
  else if (auto n = std::get_if<int64_t>(&v))
    sqlite3_bind_int64(st_, i, *n);
  else if (auto d = std::get_if<double>(&v))
    sqlite3_bind_double(st_, i, *d);
  else
    BindText(i, std::get<std::string>(v));
}

void Stmt::BindInt(int i, int64_t v) { sqlite3_bind_int64(st_, i, v); }

void Stmt::BindText(int i, std::string_view v) {
  sqlite3_bind_text64(st_, i, v.data(), v.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

void Stmt::BindBlob(int i, std::string_view v) {
  sqlite3_bind_blob64(st_, i, v.empty() ? "" : v.data(), v.size(), SQLITE_TRANSIENT);
}

bool Stmt::Step() {
  int rc = sqlite3_step(st_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  std::string ctx = context_;
  sqlite3_reset(st_);
  ThrowSqlite(db_, ctx);
}

void Stmt::Reset() {
  sqlite3_reset(st_);
  sqlite3_clear_bindings(st_);
}

std::string Stmt::Text(int col) const {
  const unsigned char* p = sqlite3_column_text(st_, col);
  int n = sqlite3_column_bytes(st_, col);
  return p ? std::string(reinterpret_cast<const char*>(p), static_cast<size_t>(n)) : std::string();
}

std::string Stmt::Blob(int col) const {
  const void* p = sqlite3_column_blob(st_, col);
  int n = sqlite3_column_bytes(st_, col);
  return p ? std::string(static_cast<const char*>(p), static_cast<size_t>(n)) : std::string();
}

}  // namespace mrw::db
