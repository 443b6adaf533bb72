// A table of a database folder and the cursor over its view.
//
// Files. A table "X.ADT" is three files in one folder: X.ADT (an SQLite database with the
// field definitions, the rows' fixed-size fields and the SQLite indexes that implement
// the index tags), X.ADM (memo and binary contents) and X.ADI (the index tag
// definitions). The three are opened together (the .ADM and .ADI attached to the .ADT)
// and every change is one SQLite transaction across them, so they never disagree after
// a crash; a random table id written into all three at creation catches files that were
// mixed up. File names are found case-insensitively when the exact name is missing.
//
// View. The rows visible are those that match the filter expression and the row
// callback (both only while Filtered() is on), in the order of the current index tag
// (ascending or descending; rows with equal keys in physical order) or in physical
// order when no tag is set. The cursor never keeps an SQLite statement open between
// calls, so another process can write while this one shows rows.
//
// Concurrency. Several processes (and several Table objects) may use a table at once:
// readers read while one writes. Edit() takes the table's write lock and re-reads the
// row; it is held until Post() or Cancel(). A writer that cannot get the lock within
// Settings().lock_wait_ms fails with a German mrw::Error, so two editors never overwrite
// each other's change unseen. An exclusive open (flock on the .ADT) fails while anyone
// else has the table open, and a shared open fails while someone holds it exclusively.
//
// Errors are mrw::Error with a German text. Not thread-safe.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "db/connection.h"
#include "db/field.h"

namespace mrw::db {

class Table;
struct TableImpl;

// A stored row position (the row's physical number); stays valid while the row exists.
using Bookmark = int64_t;

struct IndexTag {
  std::string name;        // e.g. "DATE"
  std::string expression;  // a field name, e.g. "Date"
  bool descending = false;
};

// Read access to the fields of one row (the row filter callback's argument).
// Every accessor throws mrw::Error for a field name the table does not have; names are
// compared case-insensitively. Valid only during the call that handed it out.
class RowView {
 public:
  bool IsNull(std::string_view field) const;
  std::string AsString(std::string_view field) const;
  int64_t AsInteger(std::string_view field) const;
  double AsFloat(std::string_view field) const;
  DateTime AsDate(std::string_view field) const;
  bool AsBoolean(std::string_view field) const;
  Value Get(size_t field_index) const;
  Bookmark bookmark() const { return rowid_; }

 private:
  friend struct TableImpl;
  RowView(TableImpl* impl, Bookmark rowid) : impl_(impl), rowid_(rowid) {}
  size_t IndexOf(std::string_view field) const;
  TableImpl* impl_;
  Bookmark rowid_;
};

using RowFilter = std::function<bool(const RowView&)>;

// Accessor of one field of a table's current row. Reads give null/0/"" when the cursor
// stands on no row. Writes need the table in Edit or Insert state and throw otherwise;
// writing an autoinc field always throws (the table numbers it).
class Field {
 public:
  const FieldDef& Def() const;
  const std::string& Name() const { return Def().name; }
  FieldType Type() const { return Def().type; }
  int Length() const { return Def().length; }

  bool IsNull() const;
  std::string AsString() const;   // see ValueAsString; memo and date as text
  int64_t AsInteger() const;
  double AsFloat() const;
  DateTime AsDate() const;
  bool AsBoolean() const;
  std::string AsBytes() const;    // raw blob bytes; empty when null
  Value AsValue() const;

  void SetString(std::string_view text);  // converted to the field's type
  void SetInteger(int64_t v);
  void SetFloat(double v);
  void SetDate(DateTime d);               // the date part only
  void SetBoolean(bool b);
  void SetBytes(std::string_view bytes);  // binary, memo or text
  void SetValue(FieldType from, const Value& v);  // typed copy, null stays null
  void Assign(const Field& source) { SetValue(source.Type(), source.AsValue()); }
  void Clear();                           // null

 private:
  friend class Table;
  Field(Table* table, size_t index) : table_(table), index_(index) {}
  Table* table_;
  size_t index_;
};

class Table {
 public:
  enum class State { Inactive, Browse, Edit, Insert };

  // `file_name` like "Auftraege.ADT" (".ADT" is added when there is no extension).
  Table(Connection& connection, std::string file_name);
  ~Table();
  Table(const Table&) = delete;
  Table& operator=(const Table&) = delete;

  // Rebinding, only while closed.
  void SetConnection(Connection& connection);
  void SetTableName(std::string file_name);
  const std::string& TableName() const;
  // The .ADT path in the connection's folder (case resolved when the file exists).
  std::string FilePath() const;

  // --- open / close -------------------------------------------------------------------
  // Needs an open connection. Fails with mrw::Error for a missing table ("Tabelle ...
  // nicht gefunden"), damaged or mismatched files, or an exclusive conflict. The cursor
  // stands on the first row afterwards (natural order, unfiltered).
  void Open(bool exclusive = false);
  void Close();  // a pending Edit/Insert is cancelled
  bool IsOpen() const;
  bool IsExclusive() const;
  State state() const;

  // --- structure ------------------------------------------------------------------------
  const std::vector<FieldDef>& Fields() const;
  int FieldIndex(std::string_view name) const;  // case-insensitive; -1 when missing
  bool HasField(std::string_view name) const { return FieldIndex(name) >= 0; }
  Field FieldByName(std::string_view name);     // throws "Feld ... nicht gefunden"
  Field FieldAt(size_t index);
  std::vector<IndexTag> IndexTags() const;      // in creation order

  // --- view ----------------------------------------------------------------------------
  // Parses the expression (see db/expression.h). A malformed one throws and leaves the
  // previous filter (and view) in force. Applied at once when filtering is on.
  void SetFilter(std::string_view expression);
  const std::string& Filter() const;
  void SetFiltered(bool on);
  bool Filtered() const;
  // Asked for every row while filtering is on; an exception from it propagates.
  void SetRowFilter(RowFilter callback);
  // "" for physical order; throws for an unknown tag. Stays on the current row when it
  // is in the view, else goes to the first.
  void SetIndex(std::string_view tag);
  const std::string& Index() const;
  // Re-reads the view (rows written by others become visible); stays on the current row
  // when it is still visible.
  void Refresh();

  // --- navigation ----------------------------------------------------------------------
  void First();
  void Next();
  void Prior();
  void Last();
  bool Eof() const;
  bool Bof() const;
  bool IsEmpty();          // no row in the view (then Bof and Eof are both set)
  int64_t RecordCount();   // rows of the view (may have to ask the callback for all)
  // First row of the view (in view order) whose field equals the integer.
  bool Locate(std::string_view field, int64_t value);
  // First row of the view whose current-index key equals the key text exactly (the text
  // converted to the key field's type; a text that does not convert finds nothing).
  // Throws when no index tag is set.
  bool Seek(std::string_view key);
  // Throws when the cursor stands on no row.
  Bookmark GetBookmark() const;
  // Throws mrw::Error when the row is gone or not in the view. The row is checked against
  // the files, so a deletion or change made elsewhere counts even before a Refresh.
  void GotoBookmark(Bookmark bookmark);

  // --- editing -------------------------------------------------------------------------
  void Insert();  // new empty row (all null) in Insert state
  void Edit();    // locks and re-reads the current row; Edit state
  void Post();    // stores the row; the cursor stays on it
  void Cancel();  // drops the changes
  void Delete();  // removes the current row; the cursor moves to the next one

  // Several posts as one transaction (also much faster for bulk inserts). Post, Delete
  // and Edit inside it do not commit on their own.
  void StartTransaction();
  void Commit();
  void Rollback();
  bool InTransaction() const;

  // Display updates: while disabled (counted), the change listener is not called; the
  // last Enable calls it once if anything changed meanwhile.
  void DisableControls();
  void EnableControls();
  bool ControlsDisabled() const;
  void SetChangeListener(std::function<void()> listener);

  // --- files ---------------------------------------------------------------------------
  // Creates an empty table at `new_adt_path` with this (open) table's fields; no rows,
  // no index tags, autoinc numbering from 1. Existing files of that name (any letter
  // case) are replaced.
  void CreateTable(const std::string& new_adt_path) const;
  // Creates an empty table from a field list (same replacement rule).
  static void Create(const std::string& adt_path, const std::vector<FieldDef>& fields);
  // Changes fields of the closed table: a change list of "old,new,type,length" entries
  // separated by ";" (length 0 = the type's own length), e.g. "ID,ID,integer,0".
  // Values are converted; one that does not fit fails the whole change.
  void Restructure(std::string_view change_list);
  // Adds an index tag on the open table. The expression is one field name; tag names
  // are unique (case-insensitive).
  void AddIndex(std::string_view tag, std::string_view expression, bool descending);

 private:
  friend class Field;
  friend class Connection;
  void impl_unbind_();  // the connection goes away first
  std::unique_ptr<TableImpl> impl_;
};

}  // namespace mrw::db
