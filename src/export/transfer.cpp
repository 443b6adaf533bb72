#include "export/transfer.h"

#include <algorithm>
#include <exception>
#include <optional>
#include <utility>

#include "export/export_tables.h"
#include "foundation/codepage.h"
#include "foundation/errors.h"
#include "foundation/file_io.h"
#include "foundation/folders.h"
#include "foundation/paths.h"
#include "foundation/ui_hooks.h"

namespace mrw {
namespace {

constexpr std::string_view kLinkFilePrefix = "linkfile://";
constexpr size_t kMaxLetterNameChars = 260;
constexpr std::string_view kSetupFailedText = "Export-Datenbank Fehler.";
constexpr std::string_view kTransferFailedText =
    "<B>Die Aufträge konnten nicht vollständig exportiert werden.</B>\r\n"
    "Folgender Fehler ist aufgetreten:\r\n";

// The first `count` characters of UTF-8 text (never cutting a character in two).
std::string_view Utf8Prefix(std::string_view text, size_t count) {
  size_t pos = 0;
  for (size_t chars = 0; pos < text.size() && chars < count; ++chars) {
    ++pos;
    while (pos < text.size() && (static_cast<unsigned char>(text[pos]) & 0xC0) == 0x80) ++pos;
  }
  return text.substr(0, pos);
}

// A letter name must stay inside its letter folder.
bool IsSafeLetterName(std::string_view name) {
  if (name.empty() || name.find('\0') != std::string_view::npos) return false;
  size_t start = 0;
  for (;;) {
    size_t slash = name.find('/', start);
    std::string_view part = name.substr(start, slash == std::string_view::npos ? slash : slash - start);
    if (part == "..") return false;
    if (slash == std::string_view::npos) return true;
    start = slash + 1;
  }
}

void CopyLetter(const std::string& source, const std::string& target_folder,
                const RetryPolicy& retry, ExportState& state) {
  std::string target = target_folder + ExtractFileName(source);
  if (!CopyFileSafe(source, target, retry)) {
    throw FileCreateError("Datei " + target + " kann nicht erstellt werden");
  }
  state.LetterFiles.push_back(target);
}

// Restores the window after the transfer proper, however it ends.
class PanelsDisabled {
 public:
  explicit PanelsDisabled(ExportUi& ui) : ui_(ui) {
    ui_.SetSelectionPanelEnabled(false);
    ui_.SetActionPanelEnabled(false);
    ui_.SetGridFollowsTable(false);
  }
  ~PanelsDisabled() {
    ui_.SetProgressVisible(false);
    ui_.SetSelectionPanelEnabled(true);
    ui_.SetActionPanelEnabled(true);
    ui_.SetGridFollowsTable(true);
  }
  PanelsDisabled(const PanelsDisabled&) = delete;
  PanelsDisabled& operator=(const PanelsDisabled&) = delete;

 private:
  ExportUi& ui_;
};

void SetUpExportDatabase(TransferContext& c) {
  c.export_orders.Close();
  c.export_addresses.Close();
  c.export_connection.Close();
  std::string folder = ExportFolder(c.work_folder);
  if (!ForceFolders(folder)) throw InOutError("Verzeichnis kann nicht erstellt werden", 3);
  c.export_connection.SetPath(folder);
  c.export_connection.SetKind(db::Connection::Kind::Local);
  c.export_connection.Open();
  CreateExportTables(c.host_connection, c.export_connection, folder,
                     [&ui = c.ui](const std::string& text) { ui.ShowMessage(text); });
  c.export_orders.Open();
  c.export_addresses.Open();
}

void DeleteAllRows(db::Table& table) {
  table.SetFiltered(false);
  table.First();
  while (!table.IsEmpty()) table.Delete();
}

// Commits what was posted so far also when the transfer ends early: the rows copied up to
// a failure stay in the export database.
class BulkInsert {
 public:
  explicit BulkInsert(db::Table& table) : table_(table) { table_.StartTransaction(); }
  ~BulkInsert() {
    try {
      if (table_.state() != db::Table::State::Browse) table_.Cancel();
      if (table_.InTransaction()) table_.Commit();
    } catch (const std::exception&) {
    }
  }
  void Commit() { table_.Commit(); }
  BulkInsert(const BulkInsert&) = delete;
  BulkInsert& operator=(const BulkInsert&) = delete;

 private:
  db::Table& table_;
};

}  // namespace

std::string ExportFolder(const std::string& work_folder) {
  // Never a folder relative to wherever the program happens to run.
  if (work_folder.empty()) throw InOutError("Verzeichnis kann nicht erstellt werden", 3);
  return AddPathDelimiter(work_folder) + "MRW/";
}

void ExportReset(ExportState& state, db::Connection& export_connection,
                 const std::string& work_folder) {
  state.Clear();
  export_connection.Close();
  if (!work_folder.empty()) DeleteTree(ExportFolder(work_folder), true);
}

namespace {

// NAME of "linkfile://NAME" (at most 260 characters), or nullopt for any other reference
// and for a name that would leave the letter folder.
std::optional<std::string> LinkedLetterName(std::string_view reference) {
  if (!reference.starts_with(kLinkFilePrefix)) return std::nullopt;
  std::string_view name = Utf8Prefix(reference.substr(kLinkFilePrefix.size()), kMaxLetterNameChars);
  if (!IsSafeLetterName(name)) return std::nullopt;
  return std::string(name);
}

// The letter folder as it exists (any letter case), created when missing.
std::string LetterFolderPath(const std::string& host_folder, std::string_view letter_folder) {
  std::string folder = ResolveNameCase(RemovePathDelimiter(host_folder + std::string(letter_folder)));
  if (!FolderExistsEx(folder)) ForceFolders(host_folder + std::string(letter_folder));
  return AddPathDelimiter(folder);
}

}  // namespace

std::string ResolveLetterReference(std::string_view reference, const std::string& host_folder,
                                   std::string_view letter_folder) {
  if (!reference.starts_with(kLinkFilePrefix)) return "";
  std::string folder = LetterFolderPath(host_folder, letter_folder);
  std::optional<std::string> name = LinkedLetterName(reference);
  if (!name) return "";
  std::string path = ResolveNameCase(folder + *name + ".RVF");
  return FileExistsEx(path) ? path : "";
}

RowCopier::RowCopier(db::Table& source, db::Table& target) {
  const auto& fields = source.Fields();
  for (size_t i = 0; i < fields.size(); ++i) {
    int t = target.FieldIndex(fields[i].name);
    // A field the table numbers itself never takes a value.
    if (t < 0 || target.Fields()[static_cast<size_t>(t)].type == db::FieldType::AutoInc) continue;
    pairs_.emplace_back(i, static_cast<size_t>(t));
  }
}

void RowCopier::Copy(db::Table& source, db::Table& target) const {
  for (auto [s, t] : pairs_) {
    try {
      db::Field from = source.FieldAt(s);
      db::Field to = target.FieldAt(t);
      if (from.Type() == db::FieldType::Date) {
        to.SetString(from.AsString());
      } else {
        to.Assign(from);
      }
    } catch (const Error&) {
      // One field that does not fit does not stop the order.
    }
  }
}

LetterFolder::LetterFolder(std::string host_folder, std::string_view letter_folder)
    : host_folder_(std::move(host_folder)), letter_folder_(letter_folder) {}

void LetterFolder::List() {
  listed_ = true;
  folder_ = LetterFolderPath(host_folder_, letter_folder_);
  std::vector<std::string> names;
  FindFiles(folder_ + "*.*", names, false, "");
  for (std::string& name : names) {
    std::string upper = Utf8AnsiUpper(name);
    auto it = by_upper_.find(upper);
    if (it == by_upper_.end() || name < it->second) by_upper_[upper] = name;
    exact_.insert(std::move(name));
  }
}

std::string LetterFolder::Find(std::string_view name) {
  if (!listed_) List();
  std::string file = std::string(name) + ".RVF";
  if (exact_.count(file)) return folder_ + file;
  // Names with a folder part are not in the listing; ask the file system for them.
  if (file.find('/') != std::string::npos) {
    std::string path = ResolveNameCase(folder_ + file);
    return FileExistsEx(path) ? path : "";
  }
  auto it = by_upper_.find(Utf8AnsiUpper(file));
  return it == by_upper_.end() ? "" : folder_ + it->second;
}

TransferRun::TransferRun(TransferContext& c)
    : orders(c.host_orders, c.export_orders),
      addresses(c.host_addresses, c.export_addresses),
      first_letters(c.host_connection.Folder(), kFirstLetterFolder),
      last_letters(c.host_connection.Folder(), kLastLetterFolder) {}

void TransferCurrentOrder(TransferContext& c, ExportState& state, TransferRun& run) {
  c.ui.StepProgress();
  c.ui.ProcessPendingEvents();

  db::Table& host = c.host_orders;
  db::Table& out = c.export_orders;
  out.Insert();
  run.orders.Copy(host, out);
  out.Post();

  const int32_t old_id = static_cast<int32_t>(host.FieldByName("ID").AsInteger());
  const int32_t new_id = static_cast<int32_t>(out.FieldByName("ID").AsInteger());
  state.OrderIdMap.push_back({old_id, new_id});

  TAdressExInfo info;
  try {
    if (host.HasField("EXTB")) LoadExtendedOrderInfo(host.FieldByName("EXTB").AsBytes(), info);
  } catch (const std::exception&) {
    info.Clear();  // damaged information: the order has no letters
  }

  const std::string export_folder = ExportFolder(c.work_folder);
  if (std::optional<std::string> name = LinkedLetterName(info.FirstDoc)) {
    std::string first = run.first_letters.Find(*name);
    if (!first.empty()) CopyLetter(first, export_folder + std::string(kFirstLetterFolder), c.copy_retry, state);
  }
  if (std::optional<std::string> name = LinkedLetterName(info.EndDoc)) {
    std::string last = run.last_letters.Find(*name);
    if (!last.empty()) CopyLetter(last, export_folder + std::string(kLastLetterFolder), c.copy_retry, state);
  }

  state.ExportedOrderIds.push_back(old_id);

  const int32_t address_id = static_cast<int32_t>(out.FieldByName("AdressID").AsInteger());
  if (run.copied_address_ids.count(address_id)) return;
  if (!c.host_addresses.Seek(std::to_string(address_id))) return;
  c.export_addresses.Insert();
  run.addresses.Copy(c.host_addresses, c.export_addresses);
  c.export_addresses.Post();
  run.copied_address_ids.insert(address_id);
}

bool TransferOrders(TransferContext& c, ExportState& state) {
  state.Clear();

  BusyCursor busy;
  c.ui.SetProgressVisible(true);
  c.ui.SetProgressMax(100);
  c.ui.SetProgressPosition(30);
  c.ui.ProcessPendingEvents();

  try {
    SetUpExportDatabase(c);
  } catch (const std::exception&) {
    // The table creation has told its own part already.
    c.ui.ShowMessage(std::string(kSetupFailedText));
    c.ui.CloseMainWindow();
    return false;
  }

  PanelsDisabled panels(c.ui);
  try {
    int64_t count = static_cast<int64_t>(c.selected.size());
    if (count == 0) count = c.host_orders.RecordCount();
    c.ui.SetProgressMax(static_cast<int>(std::min<int64_t>(count, INT32_MAX)));
    c.ui.SetProgressPosition(0);

    DeleteAllRows(c.export_orders);
    DeleteAllRows(c.export_addresses);
    if (!c.host_addresses.IsOpen()) c.host_addresses.Open();
    c.host_addresses.SetIndex("ID");

    TransferRun run(c);
    BulkInsert orders(c.export_orders);
    BulkInsert addresses(c.export_addresses);
    if (!c.selected.empty()) {
      for (db::Bookmark mark : c.selected) {
        // Fails for a marked row deleted or filtered out meanwhile (never its neighbour).
        c.host_orders.GotoBookmark(mark);
        TransferCurrentOrder(c, state, run);
      }
    } else {
      for (c.host_orders.First(); !c.host_orders.Eof(); c.host_orders.Next()) {
        TransferCurrentOrder(c, state, run);
      }
    }
    orders.Commit();
    addresses.Commit();
    return true;
  } catch (const std::exception& e) {
    c.ui.ShowMessage(std::string(kTransferFailedText) + e.what());
    return false;
  }
}

}  // namespace mrw
