#include "shell/controller.h"

#include <exception>

#include "delivery/output_folder.h"
#include "delivery/send_package.h"
#include "export/export_log.h"
#include "export/export_tables.h"
#include "export/export_ui.h"
#include "export/package.h"
#include "export/transfer.h"
#include "foundation/folders.h"
#include "foundation/paths.h"
#include "foundation/ui_hooks.h"
#include "selection/order_filter.h"
#include "selection/selection_ui.h"

namespace mrw::shell {

// The window interfaces of the selection, export and save steps, forwarded to the view.
class ViewBridge final : public selection::SelectionUi, public ExportUi, public delivery::SaveUi {
 public:
  explicit ViewBridge(View& view) : view_(view) {}

  // Selection
  void SetStatusText(int panel, const std::string& text) override { view_.SetStatusText(panel, text); }
  void SetExportButtonsEnabled(bool enabled) override {
    view_.SetEnabled(Control::Save, enabled);
    view_.SetEnabled(Control::Send, enabled);
  }
  void SetRangeButtonDown(RangeButton button) override { view_.SetRangeButtonDown(button); }
  void SetDateEdits(DateTime begin, DateTime end) override { view_.SetDateEdits(begin, end); }
  void OrdersChanged() override { view_.OrdersChanged(); }
  void MarksCleared() override { view_.MarksCleared(); }

  // Shared
  void ShowMessage(const std::string& html) override { view_.ShowMessage(html); }
  void ProcessPendingEvents() override { view_.ProcessPendingEvents(); }

  // Export
  void SetProgressVisible(bool visible) override { view_.SetProgressVisible(visible); }
  void SetProgressMax(int max) override { view_.SetProgressMax(max); }
  void SetProgressPosition(int position) override { view_.SetProgressPosition(position); }
  void StepProgress() override { view_.StepProgress(); }
  void SetSelectionPanelEnabled(bool enabled) override { view_.SetSelectionPanelEnabled(enabled); }
  void SetActionPanelEnabled(bool enabled) override { view_.SetActionPanelEnabled(enabled); }
  void SetGridFollowsTable(bool follows) override { view_.SetGridFollowsTable(follows); }
  bool AskQuestion(const std::string& html) override { return view_.AskQuestion(html); }
  std::optional<std::string> RunMessageEditor() override { return view_.RunMessageEditor(); }
  void CloseMainWindow() override { view_.Close(); }

  // Save
  void PlayNotificationSound() override { view_.PlayNotificationSound(); }
  void ProcessEventsFor(std::chrono::milliseconds duration) override { view_.ProcessEventsFor(duration); }

 private:
  View& view_;
};

Controller::Controller(View& view, const Clock& clock, std::vector<std::string> command_line,
                       ControllerOptions options)
    : view_(view),
      clock_(clock),
      command_line_(std::move(command_line)),
      options_(std::move(options)),
      accounts_(options_.program_folder),
      bridge_(std::make_unique<ViewBridge>(view)),
      base_filter_(selection::BuildBaseFilter()),
      ranges_(host_.orders(), marks_, *bridge_, base_filter_),
      export_orders_(export_connection_, "Auftraege.ADT"),
      export_addresses_(export_connection_, "Adressen.ADT") {
  if (options_.program_folder.empty()) options_.program_folder = GetExeFolder();
  work_folder_ = options_.work_folder.empty() ? GetTempFolder("mrw_root")
                                              : AddPathDelimiter(options_.work_folder);
  // The foundation's busy cursor and pending-events calls reach this window (installed
  // last: nothing after it may throw, or the hooks would outlive the controller).
  UiHooks hooks;
  hooks.set_busy_cursor = [this](bool busy) { view_.SetBusyCursor(busy); };
  hooks.process_pending_events = [this] { view_.ProcessPendingEvents(); };
  InstallUiHooks(std::move(hooks));
}

Controller::~Controller() {
  // FormDestroy: nothing of the export may stay behind; errors are not reported.
  try {
    export_connection_.Close();
    DeleteExportTables(ExportFolder(work_folder_));
    ExportReset(export_state_, export_connection_, work_folder_);
  } catch (const std::exception&) {
  }
  InstallUiHooks({});
}

std::string Controller::Position(size_t n) const {
  return n >= 1 && n <= command_line_.size() ? command_line_[n - 1] : std::string();
}

// --- window life -------------------------------------------------------------------------

void Controller::FormShow() { view_.PostStartMessage(); }

void Controller::WMStartup() {
  if (Position(1) == "INSTALL") {
    if (options_.register_module) options_.register_module();
    view_.Close();
    return;
  }
  view_.SetEnabled(Control::Next, false);
  view_.SetEnabled(Control::Cancel, false);
  // A start without the host's arguments just ends, without a message.
  if (Position(1).empty() || Position(2).empty() || Position(3).empty()) {
    view_.Close();
    return;
  }
  bool connected = false;
  try {
    OpenHostDatabase();
    connected = host_.IsOpen();
  } catch (const std::exception&) {
    connected = false;
  }
  if (!connected) {
    host_.Close();
    view_.ShowMessage(kConnectFailedMessage);
    view_.Close();
    return;
  }
  ForceFolders(ExportFolder(work_folder_));
  fdClick();
  view_.SetCaption("Auftrag-Export,  Datenbank: " + Position(1));
}

void Controller::FormClose() {
  try {
    delivery::CleanSendFolder(GetTempFolder(delivery::kSendFolderPurpose), clock_.Now());
  } catch (const std::exception&) {
    // A send folder that cannot be had holds nothing to clean.
  }
  // The hand-over files carry passwords: they go with the package copies they were made
  // for, once the mail service has long had its chance to read them.
  delivery::DeleteStaleHandOverFiles(kHandOverFileAge);
}

// --- selection ---------------------------------------------------------------------------

void Controller::OpenHostDatabase() {
  host_.Open(Position(1), Position(2));
  if (!host_.IsOpen()) return;
  // The callback runs for every row of every view: find its two fields once.
  pot_index_ = host_.orders().FieldIndex("POT");
  status_index_ = host_.orders().FieldIndex("Status");
  host_.orders().SetRowFilter(
      [this](const db::RowView& row) { return TableOrderLocalFilterRecord(row); });
  LoadSelectionSettings();
}

void Controller::LoadSelectionSettings() {
  type_filter_.Load(host_.SelectionIniPath());
  FillAccountBox();
  SetOnlySave(delivery::ReadOnlySave(host_.SettingsFolder()));
}

void Controller::FillAccountBox() {
  try {
    account_box_ = delivery::FillAccountBox(accounts_, host_.Folder(), host_.SettingsFolder());
  } catch (const std::exception&) {
    // Account files that cannot be read leave the box empty: saving still works, and a
    // send goes out without a hand-over file for the mail service to decide.
    account_box_ = delivery::AccountBox{};
  }
  std::vector<std::string> texts;
  texts.reserve(account_box_.items.size());
  for (const auto& item : account_box_.items) texts.push_back(item.text);
  view_.SetAccountItems(texts);
  view_.SetAccountIndex(account_box_.selected);
}

void Controller::fdClick() { ranges_.ClickButton(RangeButton::Today, clock_.Now()); }
void Controller::fwClick() { ranges_.ClickButton(RangeButton::Week, clock_.Now()); }
void Controller::fmClick() { ranges_.ClickButton(RangeButton::Month, clock_.Now()); }
void Controller::dcdatebeginChange(DateTime shown) { ranges_.BeginChanged(shown); }
void Controller::dcdateendChange(DateTime shown) { ranges_.EndChanged(shown); }

void Controller::SetExportButtonsEnabled(bool enabled) { bridge_->SetExportButtonsEnabled(enabled); }

void Controller::editgridCheckBoxClick(int column, int row, bool checked) {
  type_filter_.Click(column == 1 ? selection::TypeColumn::Finished : selection::TypeColumn::Unfinished,
                     row, checked, host_.SelectionIniPath());
  selection::ReapplyFilter(orders());
  view_.OrdersChanged();
  SetExportButtonsEnabled(!orders().IsEmpty());
}

bool Controller::TableOrderLocalFilterRecord(const db::RowView& row) const {
  if (auto_mode_state_ == amActive) return true;
  // A table without the fields makes the row fail the filter (as a null type would).
  if (pot_index_ < 0 || status_index_ < 0) return false;
  auto number = [&row](int index) -> long long {
    db::Value v = row.Get(static_cast<size_t>(index));
    if (auto* i = std::get_if<int64_t>(&v)) return *i;
    if (auto* d = std::get_if<double>(&v)) return static_cast<long long>(*d);
    return 0;
  };
  return type_filter_.Accepts(number(pot_index_), number(status_index_), false);
}

void Controller::DBGrid_ORDERSMRWXTitleClick(const std::string& field_name) {
  auto tag = selection::IndexTagForTitle(field_name);
  if (!tag) return;
  orders().SetIndex(*tag);
  view_.OrdersChanged();
}

bool Controller::MarkCurrentRow() { return marks_.MarkCurrent(orders()); }

bool Controller::MarkRow(db::Bookmark bookmark) {
  orders().GotoBookmark(bookmark);
  return marks_.MarkCurrent(orders());
}

bool Controller::UnmarkRow(db::Bookmark bookmark) { return marks_.Unmark(bookmark); }

// --- delivery ----------------------------------------------------------------------------

bool Controller::TransferOrders() {
  // The export reads the host table as it is now, not as the grid last read it: rows other
  // workstations removed meanwhile must not be found by their old positions.
  host_.orders().Refresh();
  TransferContext context{host_.connection(), host_.orders(),     host_.addresses(),
                          marks_.Bookmarks(), export_connection_, export_orders_,
                          export_addresses_,  work_folder_,       *bridge_};
  return mrw::TransferOrders(context, export_state_);
}

bool Controller::BuildPackage(const std::string& out_dir, const std::string& file_name) {
  PackageJob job;
  job.work_folder = work_folder_;
  job.host_folder = host_.Folder();
  job.source.first_order_id = host_.settings().FirstOrderID;
  job.source.first_order_id2 = host_.settings().FirstOrderID2;
  job.source.database_guid = host_.settings().DatabaseGUID;
  job.out_dir = out_dir;
  job.file_name = file_name;
  return mrw::BuildPackage(job, export_state_, *bridge_);
}

void Controller::LogExport(const std::string& action) {
  mrw::LogExport(host_.connection(), host_.orders(), export_state_, action, [this] { return clock_.Now(); });
}

void Controller::fbsaveClick() {
  delivery::SaveSteps steps;
  steps.export_reset = [this] { ExportReset(export_state_, export_connection_, work_folder_); };
  steps.transfer_orders = [this] { return TransferOrders(); };
  steps.make_package_file_name = [this] { return MakePackageFileName(clock_.Now()); };
  steps.build_package = [this](const std::string& out_dir, const std::string& file_name) {
    return BuildPackage(out_dir, file_name);
  };
  steps.log_export = [this](const std::string& action) { LogExport(action); };

  delivery::SaveSettings settings;
  settings.only_save = only_save_;
  settings.program_folder = options_.program_folder;
  settings.out_dir_override = options_.out_dir_override;
  last_save_ = delivery::SaveResult{};
  last_save_ = delivery::RunSave(steps, *bridge_, settings);
  if (!last_save_.out_dir.empty()) out_dir_ = last_save_.out_dir;
  if (last_save_.saved) export_state_.LastPackagePath = last_save_.package_path;
}

void Controller::fbsendClick() {
  last_send_ = SendOutcome{};
  BusyCursor busy;
  ExportReset(export_state_, export_connection_, work_folder_);
  view_.ProcessPendingEvents();

  const std::string file_name = MakePackageFileName(clock_.Now());
  if (!TransferOrders() || !BuildPackage("", file_name)) return;  // both told the user
  const std::string package = export_state_.LastPackagePath;
  const int64_t size = GetFileSize64(package);
  if (auto refusal = delivery::MailSizeMessage(size < 0 ? 0 : static_cast<uint64_t>(size))) {
    view_.ShowMessage(*refusal);
    return;
  }

  delivery::RecipientDialogState dialog = delivery::OpenRecipientDialog(host_.SettingsFolder());
  const bool confirmed = view_.RunRecipientDialog(dialog);
  delivery::CloseRecipientDialog(dialog);  // the history keeps what was typed, sent or not
  const std::string address = confirmed ? dialog.address : std::string();
  if (address.empty()) return;
  last_send_.address = address;

  // Each attempt asks for a fresh hand-over file of the account chosen now.
  auto hand_over = [this](int32_t) { return delivery::AccountHandOverFile(accounts_, account_box_); };
  const delivery::PackageSendResult sent = delivery::SendPackageByMail(
      package, address, hand_over, options_.mail_link);
  last_send_.copy_path = sent.copyPath;
  last_send_.taken = sent.taken;
  if (!sent.taken) {
    // Nobody took the mail: neither the log nor the orders' history may say it was sent.
    view_.ShowMessage(delivery::kMailNotTakenMessage);
    return;
  }
  LogExport("Gesendet nach " + address);
}

void Controller::DCACIndexChange() {
  const int index = view_.AccountIndex();
  account_box_.selected = index >= 0 && index < static_cast<int>(account_box_.items.size()) ? index : -1;
  if (host_.Folder().empty()) return;  // no database path, nothing to remember it for
  try {
    delivery::StoreAccountChoice(account_box_, host_.SettingsFolder());
  } catch (const std::exception&) {
    // A choice that cannot be stored is still used for this session.
  }
}

void Controller::FlatButton1Click() {
  out_dir_ = delivery::ChooseOutDir(options_.program_folder,
                                    [this](const std::string& initial, const std::string& title) {
                                      return view_.ChooseFolder(initial, title);
                                    });
}

void Controller::HTMLabel1AnchorClick(const std::string& /*href*/) { SetOnlySave(!only_save_); }

void Controller::SetOnlySave(bool value) {
  only_save_ = value;
  delivery::StoreOnlySave(host_.SettingsFolder(), value);
  for (Control c : {Control::AccountLabel, Control::AccountBox, Control::Send, Control::FolderButton}) {
    view_.SetVisible(c, !value);
  }
}

}  // namespace mrw::shell
