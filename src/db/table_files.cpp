#include "db/table_files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <set>

#include "db/sqlite_util.h"
#include "foundation/codepage.h"
#include "foundation/errors.h"
#include "foundation/paths.h"

namespace mrw::db {

namespace fs = std::filesystem;

namespace {

constexpr const char* kFormat = "mrw-table 1";

std::string ExtLike(const std::string& adt_ext, const char* upper_ext) {
  // ".adt" -> ".adm": follow the letter case of the .ADT's extension letter by letter.
  std::string out = upper_ext;
  for (size_t i = 1; i < out.size() && i < adt_ext.size(); ++i)
    if (std::islower(static_cast<unsigned char>(adt_ext[i])))
      out[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(out[i])));
  return out;
}

std::string NewTableId() {
  std::random_device rd;
  char buf[33];
  std::snprintf(buf, sizeof buf, "%08x%08x%08x%08x", rd(), rd(), rd(), rd());
  return buf;
}

std::string MetaValue(sqlite3* db, const std::string& schema, const std::string& key, const std::string& label) {
  Stmt st(db, "SELECT value FROM " + schema + ".meta WHERE key=?",
          "Tabelle " + label + " ist beschädigt oder keine Tabellendatei");
  st.BindText(1, key);
  return st.Step() ? st.Text(0) : std::string();
}

// Every directory entry of `folder` whose name equals `name` case-insensitively.
std::vector<fs::path> CaseVariants(const fs::path& folder, const std::string& name) {
  std::vector<fs::path> out;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(folder.empty() ? fs::path(".") : folder, ec))
    if (Utf8SameTextAnsi(e.path().filename().string(), name)) out.push_back(e.path());
  return out;
}

void RemoveWithJournals(const std::string& path) {
  fs::path p(path);
  fs::path folder = p.parent_path();
  std::string name = p.filename().string();
  std::error_code ec;
  for (const auto& v : CaseVariants(folder, name)) {
    fs::remove(v, ec);
    if (ec) throw Error("Datei " + v.string() + " kann nicht gelöscht werden: " + ec.message());
  }
  for (const auto& v : CaseVariants(folder, name + "-journal")) fs::remove(v, ec);
}

struct LockEntry {
  int fd = -1;
  int shared = 0;
  bool exclusive = false;
};

std::map<std::pair<unsigned long, unsigned long>, LockEntry>& Locks() {
  static std::map<std::pair<unsigned long, unsigned long>, LockEntry> locks;
  return locks;
}

}  // namespace

std::string ColumnName(int64_t field_id) { return "c" + std::to_string(field_id); }

const char* ColumnAffinity(FieldType t) {
  switch (t) {
    case FieldType::Double: return "REAL";
    case FieldType::Text: return "TEXT";
    default: return "INTEGER";
  }
}

TablePaths CompanionPaths(const std::string& adt_path) {
  TablePaths p;
  p.adt = ResolveNameCase(adt_path);
  std::string ext = ExtractFileExt(p.adt);
  std::string stem = p.adt.substr(0, p.adt.size() - ext.size());
  p.adm = ResolveNameCase(stem + ExtLike(ext, ".ADM"));
  p.adi = ResolveNameCase(stem + ExtLike(ext, ".ADI"));
  return p;
}

void ValidateFields(const std::vector<FieldDef>& fields) {
  if (fields.empty()) throw Error("Eine Tabelle braucht mindestens ein Feld");
  std::set<std::string> seen;
  for (const auto& f : fields) {
    if (f.name.empty()) throw Error("Feldname darf nicht leer sein");
    if (!seen.insert(Utf8AnsiUpper(f.name)).second) throw Error("Feldname " + f.name + " kommt mehrfach vor");
    if (f.type == FieldType::Text && (f.length < 1 || f.length > 65530))
      throw Error("Feld " + f.name + ": ungültige Länge " + std::to_string(f.length));
  }
}

void CreateTableFiles(const std::string& adt_path, const std::vector<FieldDef>& fields) {
  ValidateFields(fields);
  std::string folder = ExtractFilePath(adt_path);
  if (!folder.empty() && !IsFolder(folder))
    throw Error("Tabelle " + adt_path + " kann nicht erstellt werden: Verzeichnis nicht gefunden");
  std::string ext = ExtractFileExt(adt_path);
  std::string stem = adt_path.substr(0, adt_path.size() - ext.size());
  TablePaths p{adt_path, stem + ExtLike(ext, ".ADM"), stem + ExtLike(ext, ".ADI")};
  for (const auto* f : {&p.adt, &p.adm, &p.adi}) RemoveWithJournals(*f);

  std::string label = ExtractFileName(adt_path);
  std::string ctx = "Tabelle " + label + " kann nicht erstellt werden";
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(p.adt.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  try {
    if (rc != SQLITE_OK) ThrowSqlite(db, ctx);
    Exec(db, "ATTACH " + QuoteText(p.adm) + " AS adm; ATTACH " + QuoteText(p.adi) + " AS adi;", ctx);
    std::string id = NewTableId();
    std::string sql = "BEGIN;";
    for (const char* schema : {"main", "adm", "adi"}) {
      sql += "CREATE TABLE " + std::string(schema) + ".meta(key TEXT PRIMARY KEY, value TEXT);";
      sql += "INSERT INTO " + std::string(schema) + ".meta VALUES('format'," + QuoteText(kFormat) + "),('table_id'," +
             QuoteText(id) + ");";
    }
    sql += "CREATE TABLE main.fields(pos INTEGER PRIMARY KEY, id INTEGER NOT NULL UNIQUE, name TEXT NOT NULL,"
           " type TEXT NOT NULL, length INTEGER NOT NULL, next_auto INTEGER NOT NULL DEFAULT 1);";
    std::string rows = "CREATE TABLE main.rows(rid INTEGER PRIMARY KEY AUTOINCREMENT";
    for (size_t i = 0; i < fields.size(); ++i) {
      const auto& f = fields[i];
      int64_t fid = static_cast<int64_t>(i) + 1;
      sql += "INSERT INTO main.fields(pos,id,name,type,length) VALUES(" + std::to_string(i) + "," +
             std::to_string(fid) + "," + QuoteText(f.name) + "," + QuoteText(FieldTypeName(f.type)) + "," +
             std::to_string(f.type == FieldType::Text ? f.length : 0) + ");";
      if (!IsBlobType(f.type)) rows += "," + ColumnName(fid) + " " + ColumnAffinity(f.type);
    }
    sql += rows + ");";
    sql += "CREATE TABLE adm.blobs(rid INTEGER NOT NULL, fid INTEGER NOT NULL, data BLOB NOT NULL,"
           " PRIMARY KEY(rid, fid)) WITHOUT ROWID;";
    sql += "CREATE TABLE adi.tags(pos INTEGER PRIMARY KEY, name TEXT NOT NULL, expression TEXT NOT NULL,"
           " descending INTEGER NOT NULL, sql_name TEXT NOT NULL);";
    sql += "COMMIT;";
    Exec(db, sql, ctx);
    sqlite3_close(db);
  } catch (...) {
    sqlite3_close(db);
    std::error_code ec;
    for (const auto* f : {&p.adt, &p.adm, &p.adi}) fs::remove(*f, ec);
    throw;
  }
}

sqlite3* OpenTableDb(const TablePaths& paths, const std::string& label, int busy_ms) {
  std::string damaged = "Tabelle " + label + " ist beschädigt oder keine Tabellendatei";
  for (const auto* f : {&paths.adm, &paths.adi})
    if (!FileExistsEx(*f)) throw Error("Tabelle " + label + ": Datei " + ExtractFileName(*f) + " fehlt");
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(paths.adt.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
  try {
    if (rc != SQLITE_OK) ThrowSqlite(db, "Tabelle " + label + " kann nicht geöffnet werden");
    sqlite3_busy_timeout(db, busy_ms);
    sqlite3_extended_result_codes(db, 1);
    Exec(db, "ATTACH " + QuoteText(paths.adm) + " AS adm; ATTACH " + QuoteText(paths.adi) + " AS adi;", damaged);
    std::string id;
    for (const char* schema : {"main", "adm", "adi"}) {
      if (MetaValue(db, schema, "format", label) != kFormat) throw Error(damaged);
      std::string this_id = MetaValue(db, schema, "table_id", label);
      if (id.empty()) id = this_id;
      if (this_id != id)
        throw Error("Tabelle " + label + ": die Dateien .ADT, .ADM und .ADI gehören nicht zusammen");
    }
    return db;
  } catch (...) {
    sqlite3_close(db);
    throw;
  }
}

std::vector<StoredField> LoadFields(sqlite3* db, const std::string& label) {
  std::string ctx = "Tabelle " + label + " ist beschädigt oder keine Tabellendatei";
  Stmt st(db, "SELECT id, name, type, length FROM main.fields ORDER BY pos", ctx);
  std::vector<StoredField> out;
  while (st.Step()) {
    StoredField f;
    f.id = st.Int(0);
    f.def.name = st.Text(1);
    try {
      f.def.type = ParseFieldType(st.Text(2));
    } catch (const Error&) {
      throw Error(ctx);
    }
    f.def.length = static_cast<int>(st.Int(3));
    out.push_back(std::move(f));
  }
  if (out.empty()) throw Error(ctx);
  return out;
}

std::vector<StoredTag> LoadTags(sqlite3* db, const std::vector<StoredField>& fields, const std::string& label) {
  std::string ctx = "Indexdatei der Tabelle " + label + " ist beschädigt";
  Stmt st(db, "SELECT name, expression, descending, sql_name FROM adi.tags ORDER BY pos", ctx);
  Stmt exists(db, "SELECT 1 FROM main.sqlite_master WHERE type='index' AND name=?", ctx);
  std::vector<StoredTag> out;
  while (st.Step()) {
    StoredTag t;
    t.tag.name = st.Text(0);
    t.tag.expression = st.Text(1);
    t.tag.descending = st.Int(2) != 0;
    t.sql_name = st.Text(3);
    bool found = false;
    for (size_t i = 0; i < fields.size(); ++i)
      if (Utf8SameTextAnsi(fields[i].def.name, t.tag.expression)) {
        t.field = i;
        found = true;
        break;
      }
    exists.BindText(1, t.sql_name);
    bool have_index = exists.Step();
    exists.Reset();
    if (!found || !have_index) throw Error(ctx + " (Tag " + t.tag.name + ")");
    out.push_back(std::move(t));
  }
  return out;
}

TableLock::TableLock(const std::string& adt_path, bool exclusive, const std::string& label) : exclusive_(exclusive) {
  struct stat sb{};
  if (stat(adt_path.c_str(), &sb) != 0)
    throw Error("Tabelle " + label + " kann nicht geöffnet werden: " + std::strerror(errno));
  key_ = {static_cast<unsigned long>(sb.st_dev), static_cast<unsigned long>(sb.st_ino)};
  auto& locks = Locks();
  auto it = locks.find(key_);
  if (it != locks.end()) {
    LockEntry& e = it->second;
    if (e.exclusive || exclusive)
      throw Error("Tabelle " + label + " ist bereits " + (e.exclusive ? "exklusiv " : "") +
                  "geöffnet und kann nicht " + (exclusive ? "exklusiv " : "") + "geöffnet werden");
    ++e.shared;
    held_ = true;
    return;
  }
  int fd = ::open(adt_path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw Error("Tabelle " + label + " kann nicht geöffnet werden: " + std::strerror(errno));
  if (flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
    int err = errno;
    ::close(fd);
    if (err == EWOULDBLOCK)
      throw Error(exclusive ? "Tabelle " + label + " kann nicht exklusiv geöffnet werden: sie wird von einem anderen Programm benutzt"
                            : "Tabelle " + label + " ist von einem anderen Programm exklusiv geöffnet");
    throw Error("Tabelle " + label + " kann nicht gesperrt werden: " + std::strerror(err));
  }
  LockEntry e;
  e.fd = fd;
  e.exclusive = exclusive;
  e.shared = exclusive ? 0 : 1;
  locks[key_] = e;
  held_ = true;
}

TableLock& TableLock::operator=(TableLock&& o) noexcept {
  if (this != &o) {
    Release();
    key_ = o.key_;
    exclusive_ = o.exclusive_;
    held_ = o.held_;
    o.held_ = false;
  }
  return *this;
}

TableLock::~TableLock() { Release(); }

void TableLock::Release() {
  if (!held_) return;
  held_ = false;
  auto& locks = Locks();
  auto it = locks.find(key_);
  if (it == locks.end()) return;
  LockEntry& e = it->second;
  if (exclusive_)
    e.exclusive = false;
  else
    --e.shared;
  if (!e.exclusive && e.shared <= 0) {
    ::close(e.fd);
    locks.erase(it);
  }
}

}  // namespace mrw::db
