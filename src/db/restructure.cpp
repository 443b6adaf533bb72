// Changing field names, types and lengths of a closed table. The rows table is rebuilt
// with the new column declarations (so SQLite compares by the new type), values are
// converted one by one, memo/binary contents move between the .ADT and the .ADM as the
// storage of a field changes, and the index tags are rebuilt on the new rows table.
#include <map>

#include "db/sqlite_util.h"
#include "db/table_files.h"
#include "foundation/codepage.h"
#include "foundation/errors.h"

namespace mrw::db {

namespace {

std::string Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return std::string(s);
}

std::vector<std::string> Split(std::string_view s, char sep) {
  std::vector<std::string> out;
  size_t start = 0;
  for (size_t i = 0; i <= s.size(); ++i)
    if (i == s.size() || s[i] == sep) {
      out.push_back(Trim(s.substr(start, i - start)));
      start = i + 1;
    }
  return out;
}

}  // namespace

void RestructureTable(const TablePaths& paths, const std::string& label, std::string_view change_list, int busy_ms) {
  std::string ctx = "Tabelle " + label + " kann nicht umstrukturiert werden";
  sqlite3* db = OpenTableDb(paths, label, busy_ms);
  try {
    std::vector<StoredField> old_fields = LoadFields(db, label);
    std::vector<StoredTag> tags = LoadTags(db, old_fields, label);
    std::vector<StoredField> fields = old_fields;
    std::map<size_t, bool> changed;  // field index -> changed

    for (const std::string& entry : Split(change_list, ';')) {
      if (entry.empty()) continue;
      auto parts = Split(entry, ',');
      if (parts.size() < 3 || parts.size() > 5) throw Error(ctx + ": ungültige Änderung \"" + entry + "\"");
      size_t f = old_fields.size();
      for (size_t i = 0; i < old_fields.size(); ++i)
        if (Utf8SameTextAnsi(old_fields[i].def.name, parts[0])) f = i;
      if (f == old_fields.size()) throw Error(ctx + ": Feld " + parts[0] + " nicht gefunden");
      FieldDef def;
      def.name = parts[1].empty() ? old_fields[f].def.name : parts[1];
      def.type = ParseFieldType(parts[2]);
      int length = 0;
      if (parts.size() > 3 && !parts[3].empty()) {
        try {
          length = std::stoi(parts[3]);
        } catch (const std::exception&) {
          throw Error(ctx + ": ungültige Länge \"" + parts[3] + "\"");
        }
      }
      if (def.type == FieldType::Text) {
        if (length == 0 && old_fields[f].def.type == FieldType::Text) length = old_fields[f].def.length;
        def.length = length;
      }
      fields[f].def = def;
      changed[f] = true;
    }
    std::vector<FieldDef> defs;
    for (const auto& f : fields) defs.push_back(f.def);
    ValidateFields(defs);
    for (auto& t : tags) {
      t.tag.expression = fields[t.field].def.name;
      if (IsBlobType(fields[t.field].def.type))
        throw Error(ctx + ": Feld " + t.tag.expression + " ist im Index " + t.tag.name + " benutzt");
    }

    Exec(db, "BEGIN IMMEDIATE", ctx);
    std::string old_cols, new_cols, params;
    std::vector<size_t> old_fixed, new_fixed;
    for (size_t i = 0; i < fields.size(); ++i) {
      if (!IsBlobType(old_fields[i].def.type)) {
        old_cols += "," + ColumnName(old_fields[i].id);
        old_fixed.push_back(i);
      }
      if (!IsBlobType(fields[i].def.type)) {
        new_cols += "," + ColumnName(fields[i].id);
        params += ",?";
        new_fixed.push_back(i);
      }
    }
    std::string decl = "CREATE TABLE main.rows_new(rid INTEGER PRIMARY KEY AUTOINCREMENT";
    for (size_t i : new_fixed) decl += "," + ColumnName(fields[i].id) + " " + ColumnAffinity(fields[i].def.type);
    Exec(db, decl + ")", ctx);

    {
      Stmt read(db, "SELECT rid" + old_cols + " FROM main.rows ORDER BY rid", ctx);
      Stmt write(db, "INSERT INTO main.rows_new(rid" + new_cols + ") VALUES(?" + params + ")", ctx);
      Stmt blob_get(db, "SELECT data FROM adm.blobs WHERE rid=? AND fid=?", ctx);
      Stmt blob_del(db, "DELETE FROM adm.blobs WHERE rid=? AND fid=?", ctx);
      Stmt blob_put(db, "INSERT INTO adm.blobs(rid,fid,data) VALUES(?,?,?)", ctx);
      while (read.Step()) {
        int64_t rid = read.Int(0);
        std::vector<Value> values(fields.size());
        for (size_t k = 0; k < old_fixed.size(); ++k)
          values[old_fixed[k]] = ReadColumn(read.get(), static_cast<int>(k) + 1, old_fields[old_fixed[k]].def.type);
        for (auto& [i, yes] : changed) {
          const FieldDef& from = old_fields[i].def;
          const StoredField& to = fields[i];
          if (IsBlobType(from.type)) {
            blob_get.BindInt(1, rid);
            blob_get.BindInt(2, to.id);
            if (blob_get.Step()) values[i] = blob_get.Blob(0);
            blob_get.Reset();
            blob_del.BindInt(1, rid);
            blob_del.BindInt(2, to.id);
            blob_del.Step();
            blob_del.Reset();
          }
          try {
            values[i] = ConvertValue(from.type, values[i], to.def);
          } catch (const Error& e) {
            throw Error(ctx + ": " + e.what());
          }
          if (IsBlobType(to.def.type) && !IsNull(values[i])) {
            blob_put.BindInt(1, rid);
            blob_put.BindInt(2, to.id);
            blob_put.BindBlob(3, std::get<std::string>(values[i]));
            blob_put.Step();
            blob_put.Reset();
          }
        }
        write.BindInt(1, rid);
        for (size_t k = 0; k < new_fixed.size(); ++k) write.Bind(static_cast<int>(k) + 2, values[new_fixed[k]]);
        write.Step();
        write.Reset();
      }
    }
    Exec(db, "DROP TABLE main.rows; ALTER TABLE main.rows_new RENAME TO rows;", ctx);
    for (const auto& t : tags) {
      Exec(db, "CREATE INDEX main." + QuoteIdent(t.sql_name) + " ON rows(" + ColumnName(fields[t.field].id) +
                   (t.tag.descending ? " DESC" : "") + ")", ctx);
      Stmt up(db, "UPDATE adi.tags SET expression=? WHERE sql_name=?", ctx);
      up.BindText(1, t.tag.expression);
      up.BindText(2, t.sql_name);
      up.Step();
    }
    for (auto& [i, yes] : changed) {
      const StoredField& f = fields[i];
      Stmt up(db, "UPDATE main.fields SET name=?, type=?, length=? WHERE id=?", ctx);
      up.BindText(1, f.def.name);
      up.BindText(2, FieldTypeName(f.def.type));
      up.BindInt(3, f.def.type == FieldType::Text ? f.def.length : 0);
      up.BindInt(4, f.id);
      up.Step();
      if (f.def.type == FieldType::AutoInc && old_fields[i].def.type != FieldType::AutoInc)
        Exec(db, "UPDATE main.fields SET next_auto=(SELECT coalesce(max(" + ColumnName(f.id) +
                     "),0)+1 FROM main.rows) WHERE id=" + std::to_string(f.id), ctx);
    }
    Exec(db, "COMMIT", ctx);
  } catch (...) {
    if (!sqlite3_get_autocommit(db)) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    throw;
  }
  sqlite3_close(db);
}

}  // namespace mrw::db
