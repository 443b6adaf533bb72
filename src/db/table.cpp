#include "db/table.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "db/expression.h"
#include "db/sqlite_util.h"
#include "db/table_files.h"
#include "foundation/codepage.h"
#include "foundation/errors.h"
#include "foundation/paths.h"

namespace mrw::db {

struct TableImpl {
  Table* self = nullptr;
  Connection* conn = nullptr;
  std::string name;

  // Open state.
  sqlite3* db = nullptr;
  TableLock lock;
  bool exclusive = false;
  TablePaths paths;
  std::vector<StoredField> sfields;
  std::vector<FieldDef> fields;
  std::vector<int> select_col;  // per field: column in `fetch`, -1 for blob fields
  std::unordered_map<std::string, size_t> by_upper;
  std::unordered_map<int64_t, size_t> blob_by_id;
  std::vector<StoredTag> tags;
  Stmt fetch;        // fixed columns of one row
  Stmt fetch_blobs;  // blob contents of one row
  Stmt insert_row;
  Stmt insert_blob;
  Stmt next_auto;
  Stmt probe;  // the callback's columns of one row
  std::vector<bool> probe_used;
  std::vector<int> probe_col;
  bool probe_dirty = true;

  // View.
  std::string filter_text;
  FilterExpression filter;
  FilterExpression residual;  // the terms the view checks row by row (see BuildView)
  bool filtered = false;
  RowFilter callback;
  std::string index_name;
  int index_tag = -1;
  bool view_stale = true;
  std::vector<int64_t> cand;  // rows matching the expression, in view order
  size_t cand_next = 0;       // first candidate not yet asked to the callback
  std::vector<int64_t> acc;   // rows of the view found so far, in view order
  std::string view_where = "1";  // the SQL part of the view's filter (see BuildView)
  std::vector<Value> view_params;

  // Cursor.
  bool need_first = true;
  long pos = -1;
  bool bof = true, eof = true;

  // Current record.
  Table::State state = Table::State::Inactive;
  int64_t rid = 0;  // 0: no row
  std::vector<Value> values;
  bool blobs_loaded = false;
  std::vector<bool> dirty;
  bool edit_txn = false;
  bool user_txn = false;

  int disabled = 0;
  bool pending_notify = false;
  std::function<void()> listener;

  // --- basics ---------------------------------------------------------------------------
  const std::string& Label() const { return name; }

  void RequireOpen() const {
    if (!db) throw Error("Tabelle " + name + " ist nicht geöffnet");
  }

  std::string Column(size_t field) const { return ColumnName(sfields[field].id); }

  int FieldIndex(std::string_view n) const {
    auto it = by_upper.find(Utf8AnsiUpper(n));
    return it == by_upper.end() ? -1 : static_cast<int>(it->second);
  }

  size_t RequireField(std::string_view n) const {
    int i = FieldIndex(n);
    if (i < 0) throw Error("Feld " + std::string(n) + " nicht gefunden (Tabelle " + name + ")");
    return static_cast<size_t>(i);
  }

  void Notify() {
    if (disabled > 0) {
      pending_notify = true;
      return;
    }
    if (listener) listener();
  }

  // --- reading rows ---------------------------------------------------------------------
  Value ReadFixed(sqlite3_stmt* st, int col, FieldType t) const { return ReadColumn(st, col, t); }

  // Positions `fetch` on the row; false when it no longer exists. Caller resets.
  bool FetchRow(int64_t row) {
    fetch.BindInt(1, row);
    if (fetch.Step()) return true;
    fetch.Reset();
    return false;
  }

  void LoadBlobsInto(int64_t row, std::vector<Value>& into) {
    for (auto& [fid, i] : blob_by_id) into[i] = std::monostate{};
    if (blob_by_id.empty()) return;
    fetch_blobs.BindInt(1, row);
    try {
      while (fetch_blobs.Step()) {
        auto it = blob_by_id.find(fetch_blobs.Int(0));
        if (it != blob_by_id.end()) into[it->second] = fetch_blobs.Blob(1);
      }
    } catch (...) {
      fetch_blobs.Reset();
      throw;
    }
    fetch_blobs.Reset();
  }

  Value BlobValue(int64_t row, size_t field) {
    std::vector<Value> tmp(fields.size());
    LoadBlobsInto(row, tmp);
    return tmp[field];
  }

  // Loads the current record buffer from row `row`; false when the row is gone.
  bool LoadRecord(int64_t row, bool with_blobs) {
    values.assign(fields.size(), std::monostate{});
    dirty.assign(fields.size(), false);
    if (!FetchRow(row)) {
      rid = 0;
      return false;
    }
    for (size_t i = 0; i < fields.size(); ++i)
      if (select_col[i] >= 0) values[i] = ReadFixed(fetch.get(), select_col[i], fields[i].type);
    fetch.Reset();
    rid = row;
    blobs_loaded = false;
    if (with_blobs) {
      LoadBlobsInto(row, values);
      blobs_loaded = true;
    }
    return true;
  }

  void ClearRecord() {
    rid = 0;
    values.assign(fields.size(), std::monostate{});
    dirty.assign(fields.size(), false);
    blobs_loaded = true;
  }

  Value CurrentValue(size_t i) {
    if (IsBlobType(fields[i].type) && !blobs_loaded && rid != 0 && state != Table::State::Insert) {
      std::vector<Value> tmp(values);
      LoadBlobsInto(rid, tmp);
      for (auto& [fid, bi] : blob_by_id)
        if (!dirty[bi]) values[bi] = tmp[bi];
      blobs_loaded = true;
    }
    return values[i];
  }

  void SetCurrent(size_t i, Value v) {
    if (state != Table::State::Edit && state != Table::State::Insert)
      throw Error("Tabelle " + name + " ist nicht im Bearbeitungs- oder Einfügemodus");
    if (fields[i].type == FieldType::AutoInc)
      throw Error("Feld " + fields[i].name + " kann nicht geändert werden (Autoinkrement)");
    if (IsBlobType(fields[i].type)) CurrentValue(i);  // keep the other blobs loaded
    values[i] = std::move(v);
    dirty[i] = true;
  }

  // --- view -----------------------------------------------------------------------------
  bool CallbackActive() const { return filtered && static_cast<bool>(callback); }
  // Rows need a look of their own: the callback or filter terms left out of the SQL.
  bool RowCheck() const { return CallbackActive() || (filtered && !residual.AcceptsAll()); }

  // The callback's rows are read through a statement with only the columns it has
  // asked for so far; a field it asks for the first time is read separately and joins
  // the statement from the next row on. Typical callbacks read two or three fields.
  void PrepareProbe() {
    std::string cols = "rid";
    probe_col.assign(fields.size(), -1);
    int n = 1;
    for (size_t i = 0; i < fields.size(); ++i)
      if (probe_used[i] && select_col[i] >= 0) {
        cols += "," + Column(i);
        probe_col[i] = n++;
      }
    probe = Stmt(db, "SELECT " + cols + " FROM main.rows WHERE rid=?", "Tabelle " + name + " kann nicht gelesen werden");
    probe_dirty = false;
  }

  Value ProbeValue(int64_t row, size_t i) {
    if (select_col[i] < 0) return BlobValue(row, i);
    if (probe_col[i] >= 0) return ReadFixed(probe.get(), probe_col[i], fields[i].type);
    probe_used[i] = true;
    probe_dirty = true;
    if (!FetchRow(row)) return std::monostate{};
    Value v = ReadFixed(fetch.get(), select_col[i], fields[i].type);
    fetch.Reset();
    return v;
  }

  bool Accept(int64_t row) {
    if (!RowCheck()) return true;
    if (!probe || probe_dirty) PrepareProbe();
    probe.BindInt(1, row);
    if (!probe.Step()) {
      probe.Reset();
      return false;
    }
    bool ok = false;
    try {
      ok = residual.Matches([&](size_t i) { return ProbeValue(row, i); });
      if (ok && CallbackActive()) {
        RowView view(this, row);
        ok = callback(view);
      }
    } catch (...) {
      probe.Reset();
      throw;
    }
    probe.Reset();
    return ok;
  }

  void BuildView() {
    // Terms on fields that have an index tag go to SQLite, which answers them from the
    // indexes alone; the others are checked row by row as the cursor gets there, so the
    // first rows of a large view do not wait for every row to be read.
    std::string where = "1";
    std::vector<Value> params;
    residual = FilterExpression();
    if (filtered && !filter.AcceptsAll()) {
      auto [sql_part, rest] = filter.Split([this](size_t f) {
        for (const auto& t : tags)
          if (t.field == f) return true;
        return false;
      });
      auto sql = sql_part.ToSql([this](size_t f) { return Column(f); });
      where = std::move(sql.where);
      params = std::move(sql.params);
      residual = std::move(rest);
      for (size_t f : residual.FieldsUsed())
        if (!probe_used[f]) probe_used[f] = probe_dirty = true;
    }
    std::string order = "rid";
    if (index_tag >= 0) {
      const StoredTag& t = tags[static_cast<size_t>(index_tag)];
      order = Column(t.field) + (t.tag.descending ? " DESC" : "") + ", rid";
    }
    Stmt st(db, "SELECT rid FROM main.rows WHERE " + where + " ORDER BY " + order,
            "Tabelle " + name + " kann nicht gelesen werden");
    for (size_t i = 0; i < params.size(); ++i) st.Bind(static_cast<int>(i) + 1, params[i]);
    std::vector<int64_t> rows;
    while (st.Step()) rows.push_back(st.Int(0));
    view_where = std::move(where);
    view_params = std::move(params);
    cand = std::move(rows);
    acc.clear();
    cand_next = 0;
    if (!RowCheck()) {
      acc = cand;
      cand_next = cand.size();
    }
    view_stale = false;
  }

  // Evaluates candidates until the view holds at least n rows or none are left.
  bool Ensure(size_t n) {
    if (acc.size() >= n || cand_next >= cand.size()) return acc.size() >= n;
    // Read a few rows ahead, so stepping through the view does not take a lock per row.
    const size_t want = n;
    n = std::max(n, acc.size() + 32);
    // One read transaction for the whole run instead of a lock round trip per row. It
    // ends before returning, so writers elsewhere are held up for this run at most.
    bool own_read = RowCheck() && sqlite3_get_autocommit(db);
    if (own_read) sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    try {
      while (acc.size() < n && cand_next < cand.size()) {
        int64_t row = cand[cand_next++];
        if (Accept(row)) acc.push_back(row);
      }
    } catch (...) {
      if (own_read) sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
      throw;
    }
    if (own_read) sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    return acc.size() >= want;
  }

  // Index of `row` in the view, evaluating as far as needed.
  std::optional<size_t> FindInView(int64_t row) {
    for (size_t i = 0; i < acc.size(); ++i)
      if (acc[i] == row) return i;
    for (size_t k = cand_next; k < cand.size(); ++k)
      if (cand[k] == row) {
        Ensure(std::numeric_limits<size_t>::max());  // cheap enough; keeps the code simple
        for (size_t i = 0; i < acc.size(); ++i)
          if (acc[i] == row) return i;
        return std::nullopt;
      }
    return std::nullopt;
  }

  // Whether `row` exists now and belongs to the view as it stands in the files, asked
  // afresh (the cached view may predate deletions and changes made elsewhere). Call
  // inside a read transaction so the answer and a following load see the same state.
  bool RowInViewNow(int64_t row) {
    Stmt st(db, "SELECT 1 FROM main.rows WHERE (" + view_where + ") AND rid=?",
            "Tabelle " + name + " kann nicht gelesen werden");
    int n = 1;
    for (const Value& v : view_params) st.Bind(n++, v);
    st.BindInt(n, row);
    if (!st.Step()) return false;
    st = Stmt();
    return Accept(row);
  }

  // After an edit that cannot have moved the row in the view's order (physical order, or
  // the index key untouched), only that row needs a new look: it stays where it is or
  // leaves the view. Anything else, and a cursor not on its view position, leaves the
  // view to be read again. False when the view must be read again.
  bool RecheckEditedRow(int64_t row, bool key_changed) {
    if (view_stale || need_first || key_changed) return false;
    if (pos < 0 || static_cast<size_t>(pos) >= acc.size() || acc[static_cast<size_t>(pos)] != row) return false;
    bool still_in = false;
    try {
      still_in = RowInViewNow(row);
    } catch (...) {
      // The row is stored: a failing callback or read is for the next look at the view
      // to report, not this post.
      return false;
    }
    if (still_in) return true;
    // As Sync does for a row that left the view: the cursor stays on the record, just
    // before the row that followed it.
    acc.erase(acc.begin() + pos);
    if (auto it = std::find(cand.begin(), cand.end(), row); it != cand.end()) {
      if (static_cast<size_t>(it - cand.begin()) < cand_next) --cand_next;
      cand.erase(it);
    }
    pos = std::max(-1L, pos - 1);
    return true;
  }

  // Puts the cursor on view position p (which must exist); skips rows deleted meanwhile.
  bool GoTo(size_t p) {
    while (Ensure(p + 1)) {
      if (LoadRecord(acc[p], false)) {
        pos = static_cast<long>(p);
        return true;
      }
      acc.erase(acc.begin() + static_cast<long>(p));
    }
    return false;
  }

  void SetEmptyPosition() {
    pos = -1;
    bof = eof = true;
    ClearRecord();
  }

  void DoFirst() {
    need_first = false;
    if (view_stale) BuildView();
    if (GoTo(0)) {
      bof = true;
      eof = false;
    } else {
      SetEmptyPosition();
    }
  }

  // Rebuilds a stale view and finds the current row in it again. When it has left the
  // view, the cursor stands just before the row that followed it.
  void Sync() {
    if (!db) return;
    if (need_first) {
      DoFirst();
      return;
    }
    if (!view_stale) return;
    int64_t cur = rid;
    long old_pos = pos;
    BuildView();
    if (cur != 0) {
      if (auto p = FindInView(cur)) {
        pos = static_cast<long>(*p);
        return;
      }
    }
    pos = std::max(-1L, old_pos - 1);
  }

  void RequireBrowse(const char* what) {
    if (state == Table::State::Edit || state == Table::State::Insert)
      throw Error(std::string(what) + " nicht möglich: Tabelle " + name + " wird gerade bearbeitet");
  }

  // --- writing --------------------------------------------------------------------------
  void Begin(const std::string& context) {
    if (user_txn) return;
    int rc = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) ThrowSqlite(db, context);
  }

  void CommitOwn(const std::string& context) {
    if (user_txn) return;
    if (sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
      std::string err = sqlite3_errmsg(db);
      sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
      throw Error(context + ": " + err);
    }
  }

  void RollbackOwn() {
    if (!user_txn && !sqlite3_get_autocommit(db)) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
  }

  void WriteBlobs(int64_t row, bool only_dirty) {
    for (auto& [fid, i] : blob_by_id) {
      if (only_dirty && !dirty[i]) continue;
      if (only_dirty) {
        Stmt del(db, "DELETE FROM adm.blobs WHERE rid=? AND fid=?", "Memo kann nicht gespeichert werden");
        del.BindInt(1, row);
        del.BindInt(2, fid);
        del.Step();
      }
      if (IsNull(values[i])) continue;
      insert_blob.BindInt(1, row);
      insert_blob.BindInt(2, fid);
      insert_blob.BindBlob(3, std::get<std::string>(values[i]));
      try {
        insert_blob.Step();
      } catch (...) {
        insert_blob.Reset();
        throw;
      }
      insert_blob.Reset();
    }
  }

  int64_t PostInsert() {
    std::string ctx = "Datensatz kann nicht gespeichert werden (Tabelle " + name + ")";
    for (size_t i = 0; i < fields.size(); ++i) {
      if (fields[i].type != FieldType::AutoInc) continue;
      next_auto.BindInt(1, sfields[i].id);
      bool ok = next_auto.Step();
      if (ok) values[i] = next_auto.Int(0);
      while (ok && next_auto.Step()) {
      }
      next_auto.Reset();
      if (!ok) throw Error(ctx);
    }
    int param = 1;
    for (size_t i = 0; i < fields.size(); ++i)
      if (select_col[i] >= 0) insert_row.Bind(param++, values[i]);
    try {
      insert_row.Step();
    } catch (...) {
      insert_row.Reset();
      throw;
    }
    insert_row.Reset();
    int64_t row = sqlite3_last_insert_rowid(db);
    WriteBlobs(row, false);
    return row;
  }

  void PostEdit() {
    std::string ctx = "Datensatz kann nicht gespeichert werden (Tabelle " + name + ")";
    std::string set;
    std::vector<size_t> changed;
    for (size_t i = 0; i < fields.size(); ++i)
      if (dirty[i] && select_col[i] >= 0) {
        set += (set.empty() ? "" : ",") + Column(i) + "=?";
        changed.push_back(i);
      }
    if (!changed.empty()) {
      Stmt up(db, "UPDATE main.rows SET " + set + " WHERE rid=?", ctx);
      int param = 1;
      for (size_t i : changed) up.Bind(param++, values[i]);
      up.BindInt(param, rid);
      up.Step();
      if (sqlite3_changes(db) == 0) throw Error(ctx + ": der Datensatz wurde von einem anderen Benutzer gelöscht");
    }
    WriteBlobs(rid, true);
  }

  void Open(bool excl) {
    if (db) return;
    if (!conn) throw Error("Tabelle " + name + ": keine Verbindung");
    if (!conn->IsOpen()) throw Error("Tabelle " + name + ": die Verbindung zur Datenbank ist nicht geöffnet");
    std::string path = ResolveNameCase(conn->Folder() + name);
    if (!FileExistsEx(path)) throw Error("Tabelle " + name + " nicht gefunden in " + conn->Folder());
    TableLock l(path, excl, name);
    paths = CompanionPaths(path);
    sqlite3* h = OpenTableDb(paths, name, Settings().lock_wait_ms);
    try {
      // Shared tables are synced at commit (NORMAL); a table opened exclusively is private
      // to this process (export tables being filled), so it skips the syncs and keeps its
      // locks: a crash of the process still rolls back cleanly from the journals.
      std::string pragmas = excl ? "PRAGMA locking_mode=EXCLUSIVE;" : "";
      pragmas += "PRAGMA main.cache_size=-16384;";
      for (const char* schema : {"main", "adm", "adi"})
        pragmas += "PRAGMA " + std::string(schema) + ".synchronous=" + (excl ? "OFF;" : "NORMAL;");
      Exec(h, pragmas, "Tabelle " + name);
      db = h;
      LoadStructure();
    } catch (...) {
      CloseHandles();
      if (!db) sqlite3_close(h);
      db = nullptr;
      throw;
    }
    lock = std::move(l);
    exclusive = excl;
    state = Table::State::Browse;
    filter_text.clear();
    filter = FilterExpression();
    filtered = false;
    index_name.clear();
    index_tag = -1;
    view_stale = true;
    need_first = true;
    ClearRecord();
  }

  void LoadStructure() {
    sfields = LoadFields(db, name);
    tags = LoadTags(db, sfields, name);
    fields.clear();
    by_upper.clear();
    blob_by_id.clear();
    select_col.assign(sfields.size(), -1);
    probe_used.assign(sfields.size(), false);
    probe_dirty = true;
    std::string cols, qs;
    int n = 0;
    for (size_t i = 0; i < sfields.size(); ++i) {
      fields.push_back(sfields[i].def);
      by_upper[Utf8AnsiUpper(sfields[i].def.name)] = i;
      if (IsBlobType(sfields[i].def.type)) {
        blob_by_id[sfields[i].id] = i;
        continue;
      }
      select_col[i] = n++;
      cols += (cols.empty() ? "" : ",") + Column(i);
      qs += qs.empty() ? "?" : ",?";
    }
    std::string ctx = "Tabelle " + name + " ist beschädigt";
    fetch = Stmt(db, "SELECT " + (cols.empty() ? std::string("rid") : cols) + " FROM main.rows WHERE rid=?", ctx);
    fetch_blobs = Stmt(db, "SELECT fid, data FROM adm.blobs WHERE rid=?", ctx);
    insert_row = cols.empty() ? Stmt(db, "INSERT INTO main.rows DEFAULT VALUES", ctx)
                              : Stmt(db, "INSERT INTO main.rows(" + cols + ") VALUES(" + qs + ")", ctx);
    insert_blob = Stmt(db, "INSERT INTO adm.blobs(rid, fid, data) VALUES(?,?,?)", ctx);
    next_auto = Stmt(db, "UPDATE main.fields SET next_auto=next_auto+1 WHERE id=? RETURNING next_auto-1", ctx);
  }

  void CloseHandles() {
    fetch = Stmt();
    fetch_blobs = Stmt();
    insert_row = Stmt();
    insert_blob = Stmt();
    next_auto = Stmt();
    probe = Stmt();
  }

  void Close() {
    if (!db) return;
    if (!sqlite3_get_autocommit(db)) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    edit_txn = user_txn = false;
    CloseHandles();
    sqlite3_close(db);
    db = nullptr;
    lock = TableLock();
    state = Table::State::Inactive;
    cand.clear();
    acc.clear();
    view_stale = true;
    pos = -1;
    bof = eof = true;
    rid = 0;
    values.clear();
    fields.clear();
    sfields.clear();
    tags.clear();
  }
};

// --- RowView ------------------------------------------------------------------------------

size_t RowView::IndexOf(std::string_view field) const { return impl_->RequireField(field); }

Value RowView::Get(size_t i) const {
  if (i >= impl_->fields.size()) throw Error("Feldnummer außerhalb des Bereichs");
  return impl_->ProbeValue(rowid_, i);
}

bool RowView::IsNull(std::string_view f) const { return db::IsNull(Get(IndexOf(f))); }
std::string RowView::AsString(std::string_view f) const {
  size_t i = IndexOf(f);
  return ValueAsString(impl_->fields[i].type, Get(i));
}
int64_t RowView::AsInteger(std::string_view f) const {
  size_t i = IndexOf(f);
  return ValueAsInteger(impl_->fields[i].type, Get(i), impl_->fields[i].name);
}
double RowView::AsFloat(std::string_view f) const {
  size_t i = IndexOf(f);
  return ValueAsFloat(impl_->fields[i].type, Get(i), impl_->fields[i].name);
}
DateTime RowView::AsDate(std::string_view f) const {
  size_t i = IndexOf(f);
  return ValueAsDate(impl_->fields[i].type, Get(i), impl_->fields[i].name);
}
bool RowView::AsBoolean(std::string_view f) const {
  size_t i = IndexOf(f);
  return ValueAsBoolean(impl_->fields[i].type, Get(i));
}

// --- Field --------------------------------------------------------------------------------

const FieldDef& Field::Def() const {
  table_->impl_->RequireOpen();
  return table_->impl_->fields.at(index_);
}
Value Field::AsValue() const {
  table_->impl_->RequireOpen();
  table_->impl_->Sync();
  return table_->impl_->CurrentValue(index_);
}
bool Field::IsNull() const { return db::IsNull(AsValue()); }
std::string Field::AsString() const { return ValueAsString(Type(), AsValue()); }
int64_t Field::AsInteger() const { return ValueAsInteger(Type(), AsValue(), Name()); }
double Field::AsFloat() const { return ValueAsFloat(Type(), AsValue(), Name()); }
DateTime Field::AsDate() const { return ValueAsDate(Type(), AsValue(), Name()); }
bool Field::AsBoolean() const { return ValueAsBoolean(Type(), AsValue()); }
std::string Field::AsBytes() const {
  Value v = AsValue();
  if (db::IsNull(v)) return "";
  if (auto s = std::get_if<std::string>(&v)) return *s;
  return ValueAsString(Type(), v);
}
void Field::SetString(std::string_view t) { table_->impl_->SetCurrent(index_, ValueFromString(Def(), t)); }
void Field::SetInteger(int64_t v) { table_->impl_->SetCurrent(index_, ValueFromInteger(Def(), v)); }
void Field::SetFloat(double v) { table_->impl_->SetCurrent(index_, ValueFromFloat(Def(), v)); }
void Field::SetDate(DateTime d) { table_->impl_->SetCurrent(index_, ValueFromDate(Def(), d)); }
void Field::SetBoolean(bool b) { table_->impl_->SetCurrent(index_, ValueFromBoolean(Def(), b)); }
void Field::SetBytes(std::string_view b) { table_->impl_->SetCurrent(index_, ValueFromBytes(Def(), b)); }
void Field::SetValue(FieldType from, const Value& v) {
  table_->impl_->SetCurrent(index_, ConvertValue(from, v, Def()));
}
void Field::Clear() { table_->impl_->SetCurrent(index_, std::monostate{}); }

// --- Table --------------------------------------------------------------------------------

namespace {
std::string WithExtension(std::string n) {
  if (ExtractFileExt(n).empty()) n += ".ADT";
  return n;
}
}  // namespace

Table::Table(Connection& connection, std::string file_name) : impl_(std::make_unique<TableImpl>()) {
  impl_->self = this;
  impl_->conn = &connection;
  impl_->name = WithExtension(std::move(file_name));
  connection.Attach(this);
}

Table::~Table() {
  impl_->Close();
  if (impl_->conn) impl_->conn->Detach(this);
}

void Table::impl_unbind_() {
  impl_->Close();
  impl_->conn = nullptr;
}

void Table::SetConnection(Connection& connection) {
  if (impl_->db) throw Error("Tabelle " + impl_->name + " ist geöffnet");
  if (impl_->conn) impl_->conn->Detach(this);
  impl_->conn = &connection;
  connection.Attach(this);
}

void Table::SetTableName(std::string file_name) {
  if (impl_->db) throw Error("Tabelle " + impl_->name + " ist geöffnet");
  impl_->name = WithExtension(std::move(file_name));
}

const std::string& Table::TableName() const { return impl_->name; }

std::string Table::FilePath() const {
  if (!impl_->conn) return impl_->name;
  return ResolveNameCase(impl_->conn->Folder() + impl_->name);
}

void Table::Open(bool exclusive) {
  impl_->Open(exclusive);
  impl_->Notify();
}
void Table::Close() {
  impl_->Close();
  impl_->Notify();
}
bool Table::IsOpen() const { return impl_->db != nullptr; }
bool Table::IsExclusive() const { return impl_->db && impl_->exclusive; }
Table::State Table::state() const { return impl_->state; }

const std::vector<FieldDef>& Table::Fields() const { return impl_->fields; }
int Table::FieldIndex(std::string_view name) const { return impl_->FieldIndex(name); }
Field Table::FieldByName(std::string_view name) {
  impl_->RequireOpen();
  return Field(this, impl_->RequireField(name));
}
Field Table::FieldAt(size_t index) {
  impl_->RequireOpen();
  if (index >= impl_->fields.size()) throw Error("Feldnummer außerhalb des Bereichs");
  return Field(this, index);
}
std::vector<IndexTag> Table::IndexTags() const {
  std::vector<IndexTag> out;
  for (const auto& t : impl_->tags) out.push_back(t.tag);
  return out;
}

void Table::SetFilter(std::string_view expression) {
  impl_->RequireOpen();
  impl_->RequireBrowse("Filtern");
  FilterExpression parsed = FilterExpression::Parse(expression, impl_->fields);
  impl_->filter = std::move(parsed);
  impl_->filter_text = std::string(expression);
  if (impl_->filtered) {
    // The view is read when it is first looked at (the cursor goes to its first row).
    impl_->view_stale = impl_->need_first = true;
    impl_->Notify();
  }
}
const std::string& Table::Filter() const { return impl_->filter_text; }

void Table::SetFiltered(bool on) {
  impl_->RequireOpen();
  impl_->RequireBrowse("Filtern");
  impl_->filtered = on;
  impl_->view_stale = impl_->need_first = true;
  impl_->Notify();
}
bool Table::Filtered() const { return impl_->filtered; }

void Table::SetRowFilter(RowFilter callback) {
  impl_->callback = std::move(callback);
  if (impl_->db && impl_->filtered) impl_->view_stale = true;
}

void Table::SetIndex(std::string_view tag) {
  impl_->RequireOpen();
  impl_->RequireBrowse("Indexwechsel");
  int found = -1;
  if (!tag.empty()) {
    for (size_t i = 0; i < impl_->tags.size(); ++i)
      if (Utf8SameTextAnsi(impl_->tags[i].tag.name, tag)) found = static_cast<int>(i);
    if (found < 0) throw Error("Indextag " + std::string(tag) + " nicht gefunden (Tabelle " + impl_->name + ")");
  }
  impl_->index_tag = found;
  impl_->index_name = found < 0 ? "" : impl_->tags[static_cast<size_t>(found)].tag.name;
  Refresh();
}
const std::string& Table::Index() const { return impl_->index_name; }

void Table::Refresh() {
  impl_->RequireOpen();
  impl_->RequireBrowse("Aktualisieren");
  if (impl_->need_first) {
    impl_->view_stale = true;
  } else {
    int64_t cur = impl_->rid;
    impl_->BuildView();
    std::optional<size_t> p;
    if (cur != 0) p = impl_->FindInView(cur);
    if (p && impl_->GoTo(*p)) {
      impl_->bof = impl_->eof = false;
    } else {
      impl_->DoFirst();
    }
  }
  impl_->Notify();
}

void Table::First() {
  impl_->RequireOpen();
  impl_->RequireBrowse("Positionieren");
  impl_->view_stale = impl_->view_stale || impl_->need_first;
  impl_->DoFirst();
  impl_->Notify();
}

void Table::Next() {
  impl_->RequireOpen();
  impl_->RequireBrowse("Positionieren");
  impl_->Sync();
  if (impl_->eof && impl_->rid != 0) return;
  if (impl_->GoTo(static_cast<size_t>(impl_->pos + 1))) {
    impl_->bof = impl_->eof = false;
  } else if (impl_->rid == 0) {
    impl_->SetEmptyPosition();
  } else {
    impl_->eof = true;  // stays on the last row
  }
  impl_->Notify();
}

void Table::Prior() {
  impl_->RequireOpen();
  impl_->RequireBrowse("Positionieren");
  impl_->Sync();
  if (impl_->pos <= 0) {
    impl_->bof = true;
    return;
  }
  if (impl_->GoTo(static_cast<size_t>(impl_->pos - 1))) impl_->bof = impl_->eof = false;
  impl_->Notify();
}

void Table::Last() {
  impl_->RequireOpen();
  impl_->RequireBrowse("Positionieren");
  impl_->Sync();
  impl_->Ensure(std::numeric_limits<size_t>::max());
  if (impl_->acc.empty() || !impl_->GoTo(impl_->acc.size() - 1)) {
    impl_->SetEmptyPosition();
  } else {
    impl_->bof = false;
    impl_->eof = true;
  }
  impl_->Notify();
}

bool Table::Eof() const {
  if (!impl_->db) return true;
  impl_->Sync();
  return impl_->eof;
}
bool Table::Bof() const {
  if (!impl_->db) return true;
  impl_->Sync();
  return impl_->bof;
}

bool Table::IsEmpty() {
  impl_->RequireOpen();
  impl_->Sync();
  return !impl_->Ensure(1);
}

int64_t Table::RecordCount() {
  impl_->RequireOpen();
  impl_->Sync();
  impl_->Ensure(std::numeric_limits<size_t>::max());
  return static_cast<int64_t>(impl_->acc.size());
}

namespace {

// Rows whose `field` equals `key`, as a set.
std::unordered_set<int64_t> RowsWith(TableImpl& t, size_t field, const Value& key) {
  std::unordered_set<int64_t> out;
  if (IsNull(key)) return out;
  Stmt st(t.db, "SELECT rid FROM main.rows WHERE " + t.Column(field) + "=?", "Tabelle " + t.name + " kann nicht gelesen werden");
  st.Bind(1, key);
  while (st.Step()) out.insert(st.Int(0));
  return out;
}

bool PositionOnFirstOf(TableImpl& t, const std::unordered_set<int64_t>& rows) {
  if (rows.empty()) return false;
  for (size_t i = 0;; ++i) {
    if (!t.Ensure(i + 1)) return false;
    if (rows.count(t.acc[i]) && t.GoTo(i)) {
      t.bof = t.eof = false;
      return true;
    }
  }
}

}  // namespace

bool Table::Locate(std::string_view field, int64_t value) {
  impl_->RequireOpen();
  impl_->RequireBrowse("Suchen");
  size_t f = impl_->RequireField(field);
  if (IsBlobType(impl_->fields[f].type))
    throw Error("Feld " + impl_->fields[f].name + " kann nicht durchsucht werden");
  impl_->Sync();
  Value key;
  try {
    key = ValueFromInteger(impl_->fields[f], value);
  } catch (const Error&) {
    return false;
  }
  bool found = PositionOnFirstOf(*impl_, RowsWith(*impl_, f, key));
  impl_->Notify();
  return found;
}

bool Table::Seek(std::string_view key) {
  impl_->RequireOpen();
  impl_->RequireBrowse("Suchen");
  if (impl_->index_tag < 0) throw Error("Suchen in Tabelle " + impl_->name + " nicht möglich: kein Index gesetzt");
  impl_->Sync();
  size_t f = impl_->tags[static_cast<size_t>(impl_->index_tag)].field;
  Value k;
  try {
    k = ValueFromString(impl_->fields[f], key);
  } catch (const Error&) {
    return false;
  }
  bool found = PositionOnFirstOf(*impl_, RowsWith(*impl_, f, k));
  impl_->Notify();
  return found;
}

Bookmark Table::GetBookmark() const {
  impl_->RequireOpen();
  impl_->Sync();
  if (impl_->rid == 0) throw Error("Tabelle " + impl_->name + ": kein aktueller Datensatz");
  return impl_->rid;
}

void Table::GotoBookmark(Bookmark bookmark) {
  TableImpl& t = *impl_;
  t.RequireOpen();
  t.RequireBrowse("Positionieren");
  t.Sync();
  const std::string gone = "Datensatz nicht gefunden (Tabelle " + t.name + "): er wurde gelöscht oder ist ausgefiltert";
  // The row is checked against the files, not the cached view: a row deleted elsewhere
  // must fail here rather than hand over the row that followed it.
  bool own_read = sqlite3_get_autocommit(t.db);
  if (own_read) sqlite3_exec(t.db, "BEGIN", nullptr, nullptr, nullptr);
  try {
    if (!t.RowInViewNow(bookmark)) throw Error(gone);
    auto p = t.FindInView(bookmark);
    if (!p) {
      // Changed elsewhere so that it belongs to the view now: the cached order is out of date.
      t.BuildView();
      p = t.FindInView(bookmark);
    }
    if (!p || !t.LoadRecord(bookmark, false)) throw Error(gone);
    t.pos = static_cast<long>(*p);
  } catch (...) {
    if (own_read) sqlite3_exec(t.db, "COMMIT", nullptr, nullptr, nullptr);
    throw;
  }
  if (own_read) sqlite3_exec(t.db, "COMMIT", nullptr, nullptr, nullptr);
  t.bof = t.eof = false;
  t.Notify();
}

void Table::Insert() {
  impl_->RequireOpen();
  impl_->RequireBrowse("Einfügen");
  // No view work here: bulk inserts run Insert/Post without moving the cursor.
  impl_->need_first = false;
  impl_->ClearRecord();
  impl_->state = State::Insert;
  impl_->Notify();
}

void Table::Edit() {
  TableImpl& t = *impl_;
  t.RequireOpen();
  if (t.state == State::Edit || t.state == State::Insert) return;
  t.Sync();
  if (t.rid == 0) throw Error("Tabelle " + t.name + ": kein Datensatz zum Bearbeiten");
  std::string ctx = "Datensatz kann nicht bearbeitet werden (Tabelle " + t.name + ")";
  t.edit_txn = !t.user_txn;
  t.Begin(ctx);
  try {
    if (!t.LoadRecord(t.rid, true)) throw Error(ctx + ": der Datensatz wurde von einem anderen Benutzer gelöscht");
  } catch (...) {
    t.RollbackOwn();
    t.edit_txn = false;
    throw;
  }
  t.state = State::Edit;
  t.Notify();
}

void Table::Post() {
  TableImpl& t = *impl_;
  t.RequireOpen();
  if (t.state != State::Edit && t.state != State::Insert) return;
  std::string ctx = "Datensatz kann nicht gespeichert werden (Tabelle " + t.name + ")";
  bool inserting = t.state == State::Insert;
  int64_t row = t.rid;
  bool key_changed = t.index_tag >= 0 && t.dirty[t.tags[static_cast<size_t>(t.index_tag)].field];
  try {
    if (inserting) t.Begin(ctx);
    if (inserting)
      row = t.PostInsert();
    else
      t.PostEdit();
    t.CommitOwn(ctx);
  } catch (...) {
    t.RollbackOwn();
    t.edit_txn = false;
    if (!inserting) {
      // The lock is gone with the rollback: back to browsing the stored row.
      t.state = State::Browse;
      if (t.rid) t.LoadRecord(t.rid, false);
    }
    throw;
  }
  t.edit_txn = false;
  t.state = State::Browse;
  t.LoadRecord(row, false);
  t.bof = t.eof = false;
  if (inserting || !t.RecheckEditedRow(row, key_changed)) t.view_stale = true;
  t.Notify();
}

void Table::Cancel() {
  TableImpl& t = *impl_;
  if (!t.db || (t.state != State::Edit && t.state != State::Insert)) return;
  if (t.edit_txn) t.RollbackOwn();
  t.edit_txn = false;
  t.state = State::Browse;
  if (t.pos >= 0 && static_cast<size_t>(t.pos) < t.acc.size() && t.LoadRecord(t.acc[static_cast<size_t>(t.pos)], false)) {
  } else if (!t.acc.empty() || t.Ensure(1)) {
    t.DoFirst();
  } else {
    t.SetEmptyPosition();
  }
  t.Notify();
}

void Table::Delete() {
  TableImpl& t = *impl_;
  t.RequireOpen();
  if (t.state == State::Insert) {
    Cancel();
    return;
  }
  if (t.state == State::Edit) Cancel();
  t.Sync();
  if (t.rid == 0) throw Error("Tabelle " + t.name + ": kein Datensatz zum Löschen");
  std::string ctx = "Datensatz kann nicht gelöscht werden (Tabelle " + t.name + ")";
  int64_t row = t.rid;
  t.Begin(ctx);
  try {
    Exec(t.db, "DELETE FROM main.rows WHERE rid=" + std::to_string(row) + "; DELETE FROM adm.blobs WHERE rid=" +
                   std::to_string(row) + ";",
         ctx);
    t.CommitOwn(ctx);
  } catch (...) {
    t.RollbackOwn();
    throw;
  }
  // The order of the other rows is unchanged: drop the row from the view in place.
  if (auto it = std::find(t.cand.begin(), t.cand.end(), row); it != t.cand.end()) {
    size_t k = static_cast<size_t>(it - t.cand.begin());
    t.cand.erase(it);
    if (k < t.cand_next) --t.cand_next;
  }
  if (auto it = std::find(t.acc.begin(), t.acc.end(), row); it != t.acc.end()) t.acc.erase(it);
  size_t p = t.pos < 0 ? 0 : static_cast<size_t>(t.pos);
  if (t.GoTo(p)) {
    t.eof = false;
  } else if (!t.acc.empty() && t.GoTo(t.acc.size() - 1)) {
    t.eof = true;
  } else {
    t.SetEmptyPosition();
  }
  t.Notify();
}

void Table::StartTransaction() {
  impl_->RequireOpen();
  if (impl_->user_txn) throw Error("Tabelle " + impl_->name + ": Transaktion läuft bereits");
  impl_->RequireBrowse("Transaktion");
  impl_->Begin("Transaktion kann nicht begonnen werden (Tabelle " + impl_->name + ")");
  impl_->user_txn = true;
}

void Table::Commit() {
  impl_->RequireOpen();
  if (!impl_->user_txn) throw Error("Tabelle " + impl_->name + ": keine Transaktion aktiv");
  impl_->RequireBrowse("Commit");
  impl_->user_txn = false;
  impl_->CommitOwn("Transaktion kann nicht abgeschlossen werden (Tabelle " + impl_->name + ")");
}

void Table::Rollback() {
  impl_->RequireOpen();
  if (!impl_->user_txn) throw Error("Tabelle " + impl_->name + ": keine Transaktion aktiv");
  impl_->state = State::Browse;
  impl_->user_txn = false;
  impl_->RollbackOwn();
  impl_->view_stale = true;
  impl_->need_first = true;
  impl_->Notify();
}

bool Table::InTransaction() const { return impl_->user_txn; }

void Table::DisableControls() { ++impl_->disabled; }
void Table::EnableControls() {
  if (impl_->disabled > 0 && --impl_->disabled == 0 && impl_->pending_notify) {
    impl_->pending_notify = false;
    if (impl_->listener) impl_->listener();
  }
}
bool Table::ControlsDisabled() const { return impl_->disabled > 0; }
void Table::SetChangeListener(std::function<void()> listener) { impl_->listener = std::move(listener); }

void Table::CreateTable(const std::string& new_adt_path) const {
  impl_->RequireOpen();
  CreateTableFiles(new_adt_path, impl_->fields);
}

void Table::Create(const std::string& adt_path, const std::vector<FieldDef>& fields) {
  CreateTableFiles(adt_path, fields);
}

void Table::Restructure(std::string_view change_list) {
  TableImpl& t = *impl_;
  if (t.db) throw Error("Tabelle " + t.name + " muss zum Umstrukturieren geschlossen sein");
  if (!t.conn || !t.conn->IsOpen()) throw Error("Tabelle " + t.name + ": die Verbindung zur Datenbank ist nicht geöffnet");
  std::string path = ResolveNameCase(t.conn->Folder() + t.name);
  if (!FileExistsEx(path)) throw Error("Tabelle " + t.name + " nicht gefunden in " + t.conn->Folder());
  TableLock lock(path, true, t.name);
  RestructureTable(CompanionPaths(path), t.name, change_list, Settings().lock_wait_ms);
}

void Table::AddIndex(std::string_view tag, std::string_view expression, bool descending) {
  TableImpl& t = *impl_;
  t.RequireOpen();
  t.RequireBrowse("Index anlegen");
  std::string ctx = "Index " + std::string(tag) + " kann nicht angelegt werden (Tabelle " + t.name + ")";
  if (tag.empty()) throw Error(ctx + ": kein Name");
  std::string expr(expression);
  while (!expr.empty() && expr.back() == ' ') expr.pop_back();
  while (!expr.empty() && expr.front() == ' ') expr.erase(0, 1);
  int f = t.FieldIndex(expr);
  if (f < 0) throw Error(ctx + ": Ausdruck " + expr + " ist kein Feld der Tabelle");
  if (IsBlobType(t.fields[static_cast<size_t>(f)].type)) throw Error(ctx + ": Memo- und Binärfelder sind nicht indizierbar");
  for (const auto& existing : t.tags)
    if (Utf8SameTextAnsi(existing.tag.name, tag)) throw Error(ctx + ": der Tag existiert bereits");
  t.Begin(ctx);
  try {
    Stmt next(t.db, "SELECT coalesce(max(pos),0)+1 FROM adi.tags", ctx);
    next.Step();
    int64_t n = next.Int(0);
    next = Stmt();
    std::string sql_name = "tag_" + std::to_string(n);
    Exec(t.db, "CREATE INDEX main." + QuoteIdent(sql_name) + " ON rows(" + t.Column(static_cast<size_t>(f)) +
                   (descending ? " DESC" : "") + ")", ctx);
    Stmt ins(t.db, "INSERT INTO adi.tags(pos,name,expression,descending,sql_name) VALUES(?,?,?,?,?)", ctx);
    ins.BindInt(1, n);
    ins.BindText(2, tag);
    ins.BindText(3, t.fields[static_cast<size_t>(f)].name);
    ins.BindInt(4, descending ? 1 : 0);
    ins.BindText(5, sql_name);
    ins.Step();
    ins = Stmt();
    t.CommitOwn(ctx);
  } catch (...) {
    t.RollbackOwn();
    throw;
  }
  t.tags = LoadTags(t.db, t.sfields, t.name);
}

}  // namespace mrw::db
