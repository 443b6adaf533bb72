#include "export/transfer.h"

#include <algorithm>
#include <exception>
#include <utility>

#include "export/export_tables.h"
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

// Copies the fields of the current row of `source` into the row `target` is inserting,
// by name. Date fields travel as their date text, everything else as its value (null
// stays null). A field that cannot take the value keeps what it has: in particular the
// export order table keeps the ID it numbers itself.
class FieldCopier {
 public:
  FieldCopier(db::Table& source, db::Table& target) {
    const auto& fields = source.Fields();
    for (size_t i = 0; i < fields.size(); ++i) {
      int t = target.FieldIndex(fields[i].name);
      // A field the table numbers itself never takes a value.
      if (t < 0 || target.Fields()[static_cast<size_t>(t)].type == db::FieldType::AutoInc) continue;
      pairs_.emplace_back(i, static_cast<size_t>(t));
    }
  }

  void Copy(db::Table& source, db::Table& target) const {
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

 private:
  std::vector<std::pair<size_t, size_t>> pairs_;
};

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

std::string ResolveLetterReference(std::string_view reference, const std::string& host_folder,
                                   std::string_view letter_folder) {
  if (!reference.starts_with(kLinkFilePrefix)) return "";
  std::string_view name = Utf8Prefix(reference.substr(kLinkFilePrefix.size()), kMaxLetterNameChars);
  std::string folder = ResolveNameCase(RemovePathDelimiter(host_folder + std::string(letter_folder)));
  if (!FolderExistsEx(folder)) ForceFolders(host_folder + std::string(letter_folder));
  if (!IsSafeLetterName(name)) return "";
  std::string path = ResolveNameCase(AddPathDelimiter(folder) + std::string(name) + ".RVF");
  return FileExistsEx(path) ? path : "";
}

void TransferCurrentOrder(TransferContext& c, ExportState& state,
                          std::vector<int32_t>& copied_address_ids) {
  c.ui.StepProgress();
  c.ui.ProcessPendingEvents();

  db::Table& host = c.host_orders;
  db::Table& out = c.export_orders;
  out.Insert();
  FieldCopier(host, out).Copy(host, out);
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

  const std::string host_folder = c.host_connection.Folder();
  const std::string export_folder = ExportFolder(c.work_folder);
  std::string first = ResolveLetterReference(info.FirstDoc, host_folder, kFirstLetterFolder);
  if (!first.empty()) CopyLetter(first, export_folder + std::string(kFirstLetterFolder), c.copy_retry, state);
  std::string last = ResolveLetterReference(info.EndDoc, host_folder, kLastLetterFolder);
  if (!last.empty()) CopyLetter(last, export_folder + std::string(kLastLetterFolder), c.copy_retry, state);

  state.ExportedOrderIds.push_back(old_id);

  const int32_t address_id = static_cast<int32_t>(out.FieldByName("AdressID").AsInteger());
  if (std::find(copied_address_ids.begin(), copied_address_ids.end(), address_id) !=
      copied_address_ids.end()) {
    return;
  }
  if (!c.host_addresses.Seek(std::to_string(address_id))) return;
  c.export_addresses.Insert();
  FieldCopier(c.host_addresses, c.export_addresses).Copy(c.host_addresses, c.export_addresses);
  c.export_addresses.Post();
  copied_address_ids.push_back(address_id);
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

  std::vector<int32_t> copied_address_ids;
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

    BulkInsert orders(c.export_orders);
    BulkInsert addresses(c.export_addresses);
    if (!c.selected.empty()) {
      for (db::Bookmark mark : c.selected) {
        c.host_orders.GotoBookmark(mark);
        // A marked row that is gone must not be replaced by its neighbour.
        if (c.host_orders.GetBookmark() != mark) {
          throw Error("Ein markierter Auftrag wurde inzwischen gelöscht oder ist ausgefiltert.");
        }
        TransferCurrentOrder(c, state, copied_address_ids);
      }
    } else {
      for (c.host_orders.First(); !c.host_orders.Eof(); c.host_orders.Next()) {
        TransferCurrentOrder(c, state, copied_address_ids);
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
