// A demo host database, a scripted view, a fixed clock and a controller started on them,
// plus an independent reading of the host order table to hold the controller's views
// against.
#pragma once

#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "common/temp_dir.h"
#include "db/connection.h"
#include "db/table.h"
#include "export/demo_host_database.h"
#include "selection/type_filter.h"
#include "shell/clock.h"
#include "shell/controller.h"
#include "shell/scripted_view.h"

namespace mrw::shell::test {

inline DateTime D(int y, int m, int d) { return EncodeDate(y, m, d); }

struct HostOrder {
  int64_t id = 0;
  int64_t id_order = 0;
  int64_t pot = 0;
  int64_t status = 0;
  std::optional<DateTime> date;
  int64_t address_id = 0;
  std::string gzs;
};

// Every row of the host order table, read without any filter.
inline std::vector<HostOrder> ReadHostOrders(const std::string& folder) {
  db::Connection conn;
  conn.SetPath(folder);
  conn.Open();
  db::Table t(conn, "Auftraege.ADT");
  t.Open();
  std::vector<HostOrder> out;
  for (t.First(); !t.Eof(); t.Next()) {
    HostOrder o;
    o.id = t.FieldByName("ID").AsInteger();
    o.id_order = t.FieldByName("ID_ORDER").AsInteger();
    o.pot = t.FieldByName("POT").AsInteger();
    o.status = t.FieldByName("Status").AsInteger();
    if (!t.FieldByName("Date").IsNull()) o.date = t.FieldByName("Date").AsDate();
    o.address_id = t.FieldByName("AdressID").AsInteger();
    o.gzs = t.FieldByName("GZS").AsString();
    out.push_back(o);
  }
  return out;
}

class ControllerTest : public ::testing::Test {
 protected:
  static constexpr double kAfternoon = 14.5 / 24;  // 14:30

  void SetUp() override {
    // The desktop (default output folder) lies in the test's folder.
    for (const char* v : {"HOME", "XDG_CONFIG_HOME"}) {
      const char* old = getenv(v);
      saved_env_.emplace_back(v, old ? std::optional<std::string>(old) : std::nullopt);
    }
    setenv("HOME", dir_.path().c_str(), 1);
    setenv("XDG_CONFIG_HOME", (dir_.str() + "config").c_str(), 1);
    DemoDatabaseOptions o;
    o.orders = 400;
    o.seed = 11;
    o.today = D(2024, 4, 3);
    CreateDemoHostDatabase(db_, o);
    host_orders_ = ReadHostOrders(db_);
  }

  void TearDown() override {
    controller_.reset();
    for (auto& [name, value] : saved_env_) {
      if (value) setenv(name.c_str(), value->c_str(), 1);
      else unsetenv(name.c_str());
    }
  }

  ControllerOptions Options() const {
    ControllerOptions o;
    o.program_folder = dir_.str() + "program/";
    o.work_folder = dir_.str() + "work/";
    o.mail_link = mail_link_;
    return o;
  }

  Controller& Start(std::vector<std::string> args = {}) {
    if (args.empty()) args = {db_, "1", "12340"};
    controller_.reset();  // one controller at a time holds the UI hooks
    controller_ = std::make_unique<Controller>(view_, clock_, std::move(args), Options());
    controller_->WMStartup();
    return *controller_;
  }

  // IDs the controller's order view shows, in view order.
  std::vector<int64_t> ShownIds() {
    std::vector<int64_t> ids;
    db::Table& t = controller_->orders();
    for (t.First(); !t.Eof(); t.Next()) ids.push_back(t.FieldByName("ID").AsInteger());
    return ids;
  }
  std::set<int64_t> ShownIdSet() {
    auto ids = ShownIds();
    return {ids.begin(), ids.end()};
  }

  // IDs the view must hold for orders dated first..last under the controller's boxes.
  std::set<int64_t> Expected(DateTime first, DateTime last) const {
    std::set<int64_t> out;
    for (const auto& o : host_orders_) {
      if (!o.date || *o.date < first || *o.date > last) continue;
      if (o.pot == 1 || o.pot == 5) continue;
      if (!controller_->type_filter().Accepts(o.pot, o.status, false)) continue;
      out.insert(o.id);
    }
    return out;
  }

  void TickAllBoxes() {
    for (int row = 1; row <= selection::kTypeRows; ++row) {
      controller_->editgridCheckBoxClick(1, row, true);
      controller_->editgridCheckBoxClick(2, row, true);
    }
  }

  mrw::test::TempDir dir_;
  std::string db_ = dir_.str() + "db/";
  std::vector<HostOrder> host_orders_;
  ScriptedView view_;
  FixedClock clock_{D(2024, 4, 3) + kAfternoon};
  std::unique_ptr<Controller> controller_;
  delivery::MailServiceLink mail_link_;  // where a send looks for the mail service
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_env_;
};

}  // namespace mrw::shell::test
