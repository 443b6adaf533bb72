#include "db/connection.h"

#include <vector>

#include "db/table.h"
#include "foundation/errors.h"
#include "foundation/paths.h"

namespace mrw::db {

EngineSettings& Settings() {
  static EngineSettings settings;
  return settings;
}

Connection::~Connection() {
  Close();
  std::vector<Table*> tables(tables_.begin(), tables_.end());
  for (Table* t : tables) t->impl_unbind_();
}

void Connection::Open() {
  if (path_.empty())
    throw Error("Verbindung zur Datenbank konnte nicht geöffnet werden: kein Verzeichnis angegeben");
  if (!IsFolder(path_)) {
    open_ = false;
    throw Error("Verbindung zur Datenbank " + path_ + " konnte nicht geöffnet werden: Verzeichnis nicht gefunden");
  }
  open_ = true;
}

void Connection::Close() {
  std::vector<Table*> tables(tables_.begin(), tables_.end());
  for (Table* t : tables)
    if (t->IsOpen()) t->Close();
  open_ = false;
}

std::string Connection::Folder() const { return AddPathDelimiter(path_); }

}  // namespace mrw::db
