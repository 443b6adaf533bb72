// The wizard's controller: the whole interactive state of the main window and its event
// handlers, by their names. The window (or a test, or `mrw export`) calls the handlers;
// the controller reaches the user only through the View and gets "now" from the Clock.
//
// State owned from creation to destruction: the host database (connection, tables,
// settings), the base filter, the type filter, the grid's marks, the date-range state,
// the export connection with its tables and the export lists, AutoModeState, OutDir,
// OnlySave and the account box with the accounts behind it. Destruction removes the
// export database and the work folder's "MRW/".
//
// The command line is given by position (index 0 = position 1): the host database folder,
// the server kind ("1" = local engine), the host's release, an order number, a fifth value
// and "AUTOMODE".
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "db/connection.h"
#include "db/table.h"
#include "delivery/account_box.h"
#include "delivery/accounts_ex.h"
#include "delivery/save.h"
#include "delivery/send_mail.h"
#include "export/export_state.h"
#include "selection/date_range_selector.h"
#include "selection/host_database.h"
#include "selection/order_marks.h"
#include "selection/type_filter.h"
#include "shell/clock.h"
#include "shell/view.h"

namespace mrw::shell {

enum AutoModeState { amNone = 0, amActive = 1, amRefused = 2 };

inline constexpr const char* kConnectFailedMessage =
    "Verbindung zur Datenbank konnte nicht aufgebaut werden.";

struct ControllerOptions {
  // The folder whose UserMode.INI remembers the output folder (the program's own folder
  // when empty).
  std::string program_folder;
  // The export's work folder (GetTempFolder("mrw_root") when empty). The wizard runs once
  // per user; a process that may run beside it (`mrw export`) passes a folder of its own.
  std::string work_folder;
  // The registration mode ("INSTALL"); the window just closes when it is not set.
  std::function<void()> register_module;
  // The output folder of every save of this controller, instead of the stored one.
  std::string out_dir_override;
  // Where the mail service is reached and how long a send waits for it.
  delivery::MailServiceLink mail_link;
};

// The outcome of the last "Senden".
struct SendOutcome {
  std::string address;    // the confirmed recipient, as typed; "" when none was given
  bool taken = false;     // the mail service took the request
  std::string copy_path;  // the package copy the request named ("" when none was sent)
};

inline constexpr std::chrono::hours kHandOverFileAge{48};

class ViewBridge;

// One controller at a time: it installs the foundation's UI hooks (busy cursor, pending
// events) for its view and removes them when it is destroyed.
class Controller {
 public:
  Controller(View& view, const Clock& clock, std::vector<std::string> command_line,
             ControllerOptions options = {});
  ~Controller();  // FormDestroy
  Controller(const Controller&) = delete;
  Controller& operator=(const Controller&) = delete;

  // --- window life -----------------------------------------------------------------------
  void FormShow();   // posts the start message
  void WMStartup();  // the deferred start
  void FormClose();  // removes old package copies and account hand-over files

  // --- selection -------------------------------------------------------------------------
  void OpenHostDatabase();  // throws what the engine throws
  void LoadSelectionSettings();
  void fdClick();  // "Heute": pressed and applied
  void fwClick();  // "Woche"
  void fmClick();  // "30Tage"
  void dcdatebeginChange(DateTime shown);
  void dcdateendChange(DateTime shown);
  // column 1 = "Fertige", 2 = "Unfertige"; row 1..10.
  void editgridCheckBoxClick(int column, int row, bool checked);
  bool TableOrderLocalFilterRecord(const db::RowView& row) const;
  void DBGrid_ORDERSMRWXTitleClick(const std::string& field_name);
  // Marks the order table's current row / the row at a bookmark (false: already marked or
  // no row); unmarks one.
  bool MarkCurrentRow();
  bool MarkRow(db::Bookmark bookmark);
  bool UnmarkRow(db::Bookmark bookmark);

  // --- delivery --------------------------------------------------------------------------
  void fbsaveClick();
  // Builds a package in the work folder, asks for the recipient and hands the package to
  // the mail service. Logged as sent only when the service took it; otherwise the user
  // is told (kMailNotTakenMessage). Errors of copying the package, of the recipient
  // history and of the export log propagate (the busy cursor is off by then).
  void fbsendClick();
  // The user chose another item of the account box: remembered for the host database.
  void DCACIndexChange();
  void FlatButton1Click();
  void HTMLabel1AnchorClick(const std::string& href);
  void SetOnlySave(bool value);

  // --- state -----------------------------------------------------------------------------
  selection::HostDatabase& host() { return host_; }
  db::Table& orders() { return host_.orders(); }
  const selection::OrderMarks& marks() const { return marks_; }
  const selection::TypeFilter& type_filter() const { return type_filter_; }
  const selection::DateRangeSelector& ranges() const { return ranges_; }
  const ExportState& export_state() const { return export_state_; }
  const std::string& BaseFilter() const { return base_filter_; }
  AutoModeState auto_mode_state() const { return auto_mode_state_; }
  bool OnlySave() const { return only_save_; }
  const std::string& OutDir() const { return out_dir_; }
  const std::string& work_folder() const { return work_folder_; }
  // The outcome of the last "Speichern".
  const delivery::SaveResult& LastSave() const { return last_save_; }
  const SendOutcome& LastSend() const { return last_send_; }
  const delivery::AccountBox& account_box() const { return account_box_; }
  std::string Position(size_t n) const;  // command-line position n (1-based), "" if absent

 private:
  void SetExportButtonsEnabled(bool enabled);
  bool TransferOrders();
  bool BuildPackage(const std::string& out_dir, const std::string& file_name);
  void LogExport(const std::string& action);
  void FillAccountBox();

  View& view_;
  const Clock& clock_;
  std::vector<std::string> command_line_;
  ControllerOptions options_;
  delivery::TAccountsEx accounts_;
  std::unique_ptr<ViewBridge> bridge_;

  AutoModeState auto_mode_state_ = amNone;
  std::string base_filter_;
  selection::HostDatabase host_;
  selection::TypeFilter type_filter_;
  selection::OrderMarks marks_;
  selection::DateRangeSelector ranges_;
  int pot_index_ = -1;     // field positions of POT and Status in the order table
  int status_index_ = -1;

  std::string work_folder_;
  db::Connection export_connection_;
  db::Table export_orders_;
  db::Table export_addresses_;
  ExportState export_state_;

  std::string out_dir_;
  bool only_save_ = false;
  delivery::SaveResult last_save_;
  delivery::AccountBox account_box_;
  SendOutcome last_send_;
};

}  // namespace mrw::shell
