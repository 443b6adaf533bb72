// mrw export: a whole export from a host database without a window, through the same
// controller the wizard drives.
#include <unistd.h>

#include <charconv>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/table_text.h"
#include "foundation/dates.h"
#include "foundation/errors.h"
#include "foundation/folders.h"
#include "shell/clock.h"
#include "shell/controller.h"
#include "shell/text_view.h"

namespace mrw::cli {
namespace {

const char kHelp[] =
    "usage: mrw export DBDIR [--today DD.MM.YYYY]\n"
    "                  [--range heute|woche|30tage|DD.MM.YYYY-DD.MM.YYYY]\n"
    "                  [--orders N,N,...] [--message TEXT] [--out FOLDER] [--list]\n"
    "                  [--send ADDRESS [--account ID]]\n"
    "\n"
    "Opens the host database in DBDIR as the wizard does, shows today's orders (\"Heute\"),\n"
    "then the chosen range: one of the range buttons or a range of the two date edits.\n"
    "The type filter is the one stored for the host database.\n"
    "\n"
    "  --today D     take D as today (the ranges are computed from it)\n"
    "  --orders N,.. mark, in this order, the shown orders with these order numbers; only\n"
    "                they are exported (without it: every order shown)\n"
    "  --message T   leave T as the sender's message (info.rtf); without it none\n"
    "  --out F       save into folder F for this run (not stored); without it the stored\n"
    "                output folder or the desktop's MRW_DATA folder\n"
    "  --list        print the two status texts and the orders shown (ID, ID_ORDER, Typ,\n"
    "                Date, KNR, AdressName; TAB-separated) and export nothing\n"
    "  --send A      mail the package to A through the mail service instead of saving it;\n"
    "                A is confirmed in the recipient dialog as with its button (it must\n"
    "                hold \"@\") and goes into the database's address history\n"
    "  --account ID  send from the account with this ID, chosen in the account box as in\n"
    "                the wizard (and so remembered); without it the stored or first one\n"
    "\n"
    "Saves the package and prints its full path; with --send, prints the path of the\n"
    "package copy handed to the mail service. Messages go to stderr as plain text.\n"
    "Exit 0 when the package was saved or the mail service took it, 1 when the export or\n"
    "the send failed, 2 for wrong arguments.\n";

DateTime ParseDateOption(const std::string& text, const std::string& option) {
  auto d = ParseDateText(text);
  if (!d) throw UsageError("--" + option + ": not a date DD.MM.YYYY: " + text);
  return *d;
}

struct RangeOption {
  shell::RangeButton button = shell::RangeButton::Today;
  std::optional<std::pair<DateTime, DateTime>> edits;
};

RangeOption ParseRange(const std::string& text) {
  RangeOption r;
  if (text == "heute") return r;
  if (text == "woche") {
    r.button = shell::RangeButton::Week;
    return r;
  }
  if (text == "30tage") {
    r.button = shell::RangeButton::Month;
    return r;
  }
  auto dash = text.find('-');
  if (dash == std::string::npos) throw UsageError("--range: heute, woche, 30tage or DD.MM.YYYY-DD.MM.YYYY");
  DateTime begin = ParseDateOption(text.substr(0, dash), "range");
  DateTime end = ParseDateOption(text.substr(dash + 1), "range");
  if (end < begin) throw UsageError("--range: the end lies before the beginning");
  r.button = shell::RangeButton::None;
  r.edits = std::make_pair(begin, end);
  return r;
}

std::vector<int64_t> ParseOrders(const std::string& text) {
  std::vector<int64_t> out;
  size_t start = 0;
  while (start <= text.size()) {
    size_t comma = text.find(',', start);
    std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    int64_t n = 0;
    auto [end, ec] = std::from_chars(item.data(), item.data() + item.size(), n);
    if (item.empty() || ec != std::errc() || end != item.data() + item.size()) {
      throw UsageError("--orders: a list of order numbers N,N,...: " + text);
    }
    out.push_back(n);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return out;
}

// Text of a field for the listing: as `mrw query` shows texts, null as empty.
std::string ListText(db::Table& table, const char* field) {
  db::Field f = table.FieldByName(field);
  return f.IsNull() ? std::string() : EscapeTabText(f.AsString());
}

void PrintList(shell::Controller& controller, const shell::TextView& view) {
  std::cout << view.StatusText(0) << "\n" << view.StatusText(1) << "\n";
  static const char* const kFields[] = {"ID", "ID_ORDER", "Typ", "Date", "KNR", "AdressName"};
  for (size_t i = 0; i < std::size(kFields); ++i) std::cout << (i ? "\t" : "") << kFields[i];
  std::cout << "\n";
  db::Table& orders = controller.orders();
  for (orders.First(); !orders.Eof(); orders.Next()) {
    for (size_t i = 0; i < std::size(kFields); ++i) {
      std::cout << (i ? "\t" : "") << ListText(orders, kFields[i]);
    }
    std::cout << "\n";
  }
}

// Marks the shown rows with these order numbers, in the order given, as a user marks
// them in the grid. A number that no shown row has is an error: exporting without it
// would hand over something else than was asked for.
void MarkOrders(shell::Controller& controller, const std::vector<int64_t>& numbers) {
  db::Table& orders = controller.orders();
  for (int64_t n : numbers) {
    std::vector<db::Bookmark> rows;
    for (orders.First(); !orders.Eof(); orders.Next()) {
      if (!orders.FieldByName("ID_ORDER").IsNull() && orders.FieldByName("ID_ORDER").AsInteger() == n) {
        rows.push_back(orders.GetBookmark());
      }
    }
    if (rows.empty()) {
      throw Error("Auftrag " + std::to_string(n) + " wird im gewählten Bereich nicht angezeigt.");
    }
    for (db::Bookmark b : rows) controller.MarkRow(b);
  }
}

// Selects the account with this ID in the account box as a user picks it there.
void ChooseAccount(shell::Controller& controller, shell::TextView& view, const std::string& id) {
  const auto& items = controller.account_box().items;
  for (size_t n = 0; n < items.size(); ++n) {
    if (items[n].account.accountId == id) {
      view.SetAccountIndex(static_cast<int>(n));
      controller.DCACIndexChange();
      return;
    }
  }
  throw Error("Account \"" + id + "\" ist für diese Datenbank nicht eingerichtet.");
}

// The export's own work folder: a run of mrw may happen beside the wizard or beside
// another run, and the work folder is emptied at the start of every export.
class RunWorkFolder {
 public:
  RunWorkFolder() : path_(GetTempFolder("mrw_export_" + std::to_string(getpid()))) {}
  ~RunWorkFolder() { DeleteTree(path_, true); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

int RunExport(const std::vector<std::string>& args) {
  ParsedArgs a = ParseArgs(args, {"today", "range", "orders", "message", "out", "send", "account"}, {"list"});
  if (a.positional.size() != 1) throw UsageError("one host database folder expected");
  const std::optional<std::string> recipient = a.Value("send");
  if (a.Has("account") && !recipient) throw UsageError("--account: only with --send");
  if (recipient && a.Has("out")) throw UsageError("--out: a sent package is not saved");
  const std::string db_dir = a.positional[0];
  if (db_dir.empty()) throw UsageError("the host database folder is empty");

  std::unique_ptr<shell::Clock> clock;
  if (auto today = a.Value("today")) {
    clock = std::make_unique<shell::ShiftedDayClock>(ParseDateOption(*today, "today"));
  } else {
    clock = std::make_unique<shell::SystemClock>();
  }
  RangeOption range = ParseRange(a.ValueOr("range", "heute"));
  std::vector<int64_t> numbers;
  if (auto list = a.Value("orders")) numbers = ParseOrders(*list);

  shell::TextView view(std::cerr, a.Value("message"));
  view.SetRecipient(recipient);
  RunWorkFolder work;
  shell::ControllerOptions options;
  options.work_folder = work.path();
  if (auto out = a.Value("out")) {
    if (out->empty()) throw UsageError("--out: the folder is empty");
    options.out_dir_override = *out;
  }
  // Positions 1 to 3 as the host passes them: folder, local engine, a release.
  shell::Controller controller(view, *clock, {db_dir, "1", "mrw"}, std::move(options));
  controller.WMStartup();
  if (view.Closed()) return 1;

  if (range.edits) {
    // As a user would set the edits: never passing through a begin after the end.
    auto [begin, end] = *range.edits;
    if (begin > controller.ranges().EditEnd()) {
      controller.dcdateendChange(end);
      controller.dcdatebeginChange(begin);
    } else {
      controller.dcdatebeginChange(begin);
      controller.dcdateendChange(end);
    }
  } else if (range.button == shell::RangeButton::Week) {
    controller.fwClick();
  } else if (range.button == shell::RangeButton::Month) {
    controller.fmClick();
  }

  if (a.Has("list")) {
    PrintList(controller, view);
    return 0;
  }
  MarkOrders(controller, numbers);
  if (controller.orders().IsEmpty()) {
    std::cerr << view.StatusText(1) << "\n";
    return 1;
  }
  if (recipient) {
    if (controller.OnlySave()) {
      throw Error("Für diese Datenbank ist \"Nur Speichern\" eingeschaltet: es wird nichts versendet.");
    }
    if (auto account = a.Value("account")) ChooseAccount(controller, view, *account);
    // The copy stays in the send folder for the mail service; the wizard's close removes
    // it (and the account hand-over files) once it is old.
    controller.fbsendClick();
    if (!controller.LastSend().taken) return 1;
    std::cout << controller.LastSend().copy_path << "\n";
    return 0;
  }
  controller.fbsaveClick();
  if (!controller.LastSave().saved) return 1;
  std::cout << controller.LastSave().package_path << "\n";
  return 0;
}

MRW_COMMAND(Command{"export", "export orders of a host database into a transfer package", kHelp, RunExport});

}  // namespace
}  // namespace mrw::cli
