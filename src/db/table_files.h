// The three files of a table on disk (internal to the engine).
//
// X.ADT: tables `meta` (format, table id), `fields` (position, stable id, name, type,
//   length, next autoinc number), `rows` (rid INTEGER PRIMARY KEY AUTOINCREMENT, one
//   column "c<id>" per non-blob field) and the SQLite indexes "tag_<n>" of the tags.
// X.ADM: `meta`, `blobs` (rid, field id, data) for memo and binary contents; a missing
//   row is null, an empty blob is empty.
// X.ADI: `meta`, `tags` (position, name, expression, descending, SQLite index name).
// The .ADM and .ADI are attached to the .ADT's connection as "adm" and "adi", so one
// transaction covers all three (rollback journal with a super-journal).
#pragma once

#include <sqlite3.h>

#include <string>
#include <vector>

#include "db/field.h"
#include "db/table.h"

namespace mrw::db {

struct StoredField {
  FieldDef def;
  int64_t id = 0;
};

struct StoredTag {
  IndexTag tag;
  std::string sql_name;
  size_t field = 0;  // index into the fields
};

struct TablePaths {
  std::string adt, adm, adi;
};

std::string ColumnName(int64_t field_id);
// SQLite column declaration for a non-blob type ("INTEGER", "REAL", "TEXT").
const char* ColumnAffinity(FieldType t);

// Companion names of an .ADT path: existing files found case-insensitively; missing ones
// named after the .ADT with the extension in the same letter case (".adt" -> ".adm").
TablePaths CompanionPaths(const std::string& adt_path);

// Throws for empty or duplicate names and text lengths outside 1..65530.
void ValidateFields(const std::vector<FieldDef>& fields);

// Replaces whatever exists under the three names (any letter case, with their journals)
// by a new empty table.
void CreateTableFiles(const std::string& adt_path, const std::vector<FieldDef>& fields);

// Opens the .ADT read-write with the .ADM/.ADI attached and checks that the three belong
// together. `label` names the table in error texts. The caller closes the handle.
sqlite3* OpenTableDb(const TablePaths& paths, const std::string& label, int busy_ms);

// Applies a change list "old,new,type,length;..." to a table nobody has open; all or
// nothing (one transaction over the three files).
void RestructureTable(const TablePaths& paths, const std::string& label, std::string_view change_list, int busy_ms);

std::vector<StoredField> LoadFields(sqlite3* db, const std::string& label);
std::vector<StoredTag> LoadTags(sqlite3* db, const std::vector<StoredField>& fields, const std::string& label);

// Whole-table open lock shared by every Table of this process on the same file
// (flock on an extra descriptor kept as long as any Table here has the file open, so
// closing it never drops SQLite's own locks). Throws mrw::Error on a conflict.
class TableLock {
 public:
  TableLock() = default;
  TableLock(const std::string& adt_path, bool exclusive, const std::string& label);
  ~TableLock();
  TableLock(TableLock&& o) noexcept : key_(o.key_), exclusive_(o.exclusive_), held_(o.held_) { o.held_ = false; }
  TableLock& operator=(TableLock&& o) noexcept;
  TableLock(const TableLock&) = delete;
  TableLock& operator=(const TableLock&) = delete;

 private:
  void Release();
  std::pair<unsigned long, unsigned long> key_{};
  bool exclusive_ = false;
  bool held_ = false;
};

}  // namespace mrw::db
