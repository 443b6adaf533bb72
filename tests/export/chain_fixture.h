// A small host database, an export database and a recording window for the tests of the
// transfer, the package and the export log.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "common/temp_dir.h"
#include "db/connection.h"
#include "db/table.h"
#include "export/component_stream.h"
#include "export/export_state.h"
#include "export/export_ui.h"
#include "export/record_layout.h"
#include "export/transfer.h"
#include "foundation/dates.h"
#include "foundation/folders.h"

namespace mrw::test {

// Records what the export steps tell the window and answers their questions.
class RecordingUi : public ExportUi {
 public:
  void SetProgressVisible(bool visible) override { progress_visible = visible; }
  void SetProgressMax(int max) override { progress_max = max; }
  void SetProgressPosition(int position) override { progress_position = position; }
  void StepProgress() override { ++progress_position; }
  void ProcessPendingEvents() override { ++pending_event_runs; }
  void SetSelectionPanelEnabled(bool enabled) override { selection_enabled = enabled; }
  void SetActionPanelEnabled(bool enabled) override { action_enabled = enabled; }
  void SetGridFollowsTable(bool follows) override { grid_follows = follows; }
  void ShowMessage(const std::string& html) override { messages.push_back(html); }
  bool AskQuestion(const std::string& html) override {
    questions.push_back(html);
    return answer;
  }
  std::optional<std::string> RunMessageEditor() override {
    ++editor_runs;
    return editor_text;
  }
  void CloseMainWindow() override { closed = true; }

  bool progress_visible = false;
  int progress_max = 0;
  int progress_position = 0;
  int pending_event_runs = 0;
  bool selection_enabled = true;
  bool action_enabled = true;
  bool grid_follows = true;
  std::vector<std::string> messages;
  std::vector<std::string> questions;
  bool answer = false;
  int editor_runs = 0;
  std::optional<std::string> editor_text;
  bool closed = false;
};

struct OrderSpec {
  int id_order = 1;
  int32_t adress_id = 0;
  std::optional<DateTime> date;  // nullopt: the date stays empty
  int pot = 2;
  std::optional<std::string> extb;  // raw EXTB bytes; nullopt: null
  std::string print_name = "Rechnung";
  std::string adress = "Firma Muster\r\nHauptstr. 1\r\n12345 Stadt";
  std::string gzs;
};

// Host folder <tmp>/host/ with Auftraege (EXTB optional), Adressen (tag ID); work folder
// <tmp>/work/; export connection and tables ready for TransferOrders.
class ChainFixture {
 public:
  explicit ChainFixture(bool with_extb = true) {
    ForceFolders(host_folder);
    ForceFolders(work_folder);
    std::vector<db::FieldDef> order_fields = OrderRecordFields();
    if (with_extb) order_fields.push_back({"EXTB", db::FieldType::Binary, 0});
    db::Table::Create(host_folder + "Auftraege.ADT", order_fields);
    db::Table::Create(host_folder + "Adressen.ADT", AddressRecordFields());
    host.SetPath(host_folder);
    host.Open();
    addresses.Open();
    addresses.AddIndex("ID", "ID", false);
    orders.Open();
  }

  int32_t AddAddress(const std::string& name) {
    addresses.Insert();
    addresses.FieldByName("NName").SetString(name);
    addresses.Post();
    return static_cast<int32_t>(addresses.FieldByName("ID").AsInteger());
  }

  int32_t AddOrder(const OrderSpec& spec) {
    orders.Insert();
    orders.FieldByName("ID_ORDER").SetInteger(spec.id_order);
    orders.FieldByName("AdressID").SetInteger(spec.adress_id);
    orders.FieldByName("POT").SetInteger(spec.pot);
    if (spec.date) orders.FieldByName("Date").SetDate(*spec.date);
    if (spec.extb) orders.FieldByName("EXTB").SetBytes(*spec.extb);
    orders.FieldByName("PrintName").SetString(spec.print_name);
    orders.FieldByName("Adress").SetString(spec.adress);
    orders.FieldByName("GZS").SetString(spec.gzs);
    orders.FieldByName("KNR").SetString("K" + std::to_string(spec.id_order));
    orders.Post();
    return static_cast<int32_t>(orders.FieldByName("ID").AsInteger());
  }

  db::Bookmark BookmarkOf(int32_t id) {
    EXPECT_TRUE(orders.Locate("ID", id));
    return orders.GetBookmark();
  }

  TransferContext Context(std::vector<db::Bookmark> selected = {}) {
    TransferContext c{host,        orders,         addresses, std::move(selected), export_conn,
                      export_orders, export_addresses, work_folder, ui};
    c.copy_retry = RetryPolicy{2, std::chrono::milliseconds(1)};
    return c;
  }

  bool Transfer(std::vector<db::Bookmark> selected = {}) {
    TransferContext c = Context(std::move(selected));
    return TransferOrders(c, state);
  }

  // The rows of an export table as (field -> text) for the named fields.
  std::vector<std::vector<std::string>> Rows(db::Table& table, const std::vector<std::string>& fields) {
    std::vector<std::vector<std::string>> rows;
    table.SetIndex("");
    for (table.First(); !table.Eof(); table.Next()) {
      std::vector<std::string> row;
      for (const auto& f : fields) row.push_back(table.FieldByName(f).AsString());
      rows.push_back(row);
    }
    return rows;
  }

  TempDir dir;
  std::string host_folder = dir.str() + "host/";
  std::string work_folder = dir.str() + "work/";
  db::Connection host;
  db::Table orders{host, "Auftraege.ADT"};
  db::Table addresses{host, "Adressen.ADT"};
  db::Connection export_conn;
  db::Table export_orders{export_conn, "Auftraege.ADT"};
  db::Table export_addresses{export_conn, "Adressen.ADT"};
  RecordingUi ui;
  ExportState state;
};

// EXTB content naming a first and a last letter.
inline std::string LetterExtb(const std::string& first, const std::string& last = "") {
  std::vector<AdressExInfoItem> items;
  if (!first.empty()) items.push_back({TAdressExInfo::kFirstDocType, first});
  if (!last.empty()) items.push_back({TAdressExInfo::kEndDocType, last});
  return EncodeExtendedOrderInfo(items);
}

}  // namespace mrw::test
