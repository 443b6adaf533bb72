// A connection to a database folder and the engine settings of the process.
//
// A connection names the folder in which its tables are found by file name. Both kinds
// (local engine, remote server) open the folder directly: there is no server on Linux,
// the kind is kept because the host's command line chooses it. Opening fails with a
// German mrw::Error when the path is empty or is not an existing folder. Closing the
// connection closes every table bound to it that is still open.
//
// Not thread-safe: a connection and its tables belong to one thread.
#pragma once

#include <set>
#include <string>

namespace mrw::db {

class Table;

// Process-wide settings of the engine. Only the date format has a use here: it is the
// format of date texts (read and written) and "DD.MM.YYYY" is the only one supported.
// `decimals` is kept for callers that format doubles for display; deleted rows are
// removed at once (there is nothing to show), so there is no "show deleted" switch.
// `lock_wait_ms` bounds how long an edit, post or delete waits for another process
// that is writing the same table before it fails.
struct EngineSettings {
  std::string date_format = "DD.MM.YYYY";
  int decimals = 2;
  int lock_wait_ms = 3000;
};
EngineSettings& Settings();

class Connection {
 public:
  enum class Kind { Local, Remote };

  Connection() = default;
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  void SetKind(Kind kind) { kind_ = kind; }
  Kind kind() const { return kind_; }

  // The folder; used at the next Open. A trailing "/" is optional.
  void SetPath(const std::string& folder) { path_ = folder; }
  const std::string& Path() const { return path_; }

  // Throws mrw::Error ("Verbindung zu ... konnte nicht geöffnet werden: ...") when the
  // folder is missing. Opening an open connection re-checks the folder.
  void Open();
  void Close();
  bool IsOpen() const { return open_; }

  // The folder with exactly one trailing "/" (valid while open).
  std::string Folder() const;

 private:
  friend class Table;
  void Attach(Table* t) { tables_.insert(t); }
  void Detach(Table* t) { tables_.erase(t); }

  Kind kind_ = Kind::Local;
  std::string path_;
  bool open_ = false;
  std::set<Table*> tables_;
};

}  // namespace mrw::db
