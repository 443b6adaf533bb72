#include "export/demo_host_database.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "common/temp_dir.h"
#include "db/table.h"
#include "export/component_stream.h"
#include "export/record_layout.h"
#include "foundation/dates.h"
#include "foundation/errors.h"

namespace mrw {
namespace {

namespace fs = std::filesystem;

DemoDatabaseOptions Options(int orders, uint64_t seed) {
  DemoDatabaseOptions o;
  o.orders = orders;
  o.seed = seed;
  o.today = *ParseDateText("15.06.2026");
  return o;
}

// Every row of a table, every field as text (binary fields as their bytes).
std::vector<std::string> Dump(const std::string& folder, const std::string& file) {
  db::Connection c;
  c.SetPath(folder);
  c.Open();
  db::Table t(c, file);
  t.Open();
  std::vector<std::string> rows;
  for (t.First(); !t.Eof(); t.Next()) {
    std::string row;
    for (size_t i = 0; i < t.Fields().size(); ++i) row += (t.FieldAt(i).IsNull() ? "<null>" : t.FieldAt(i).AsString()) + "|";
    rows.push_back(row);
  }
  return rows;
}

// Every file below the folder (except the table files, whose SQLite pages may differ
// in bytes that carry no data) with its content.
std::map<std::string, std::string> Files(const fs::path& root) {
  std::map<std::string, std::string> out;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    std::string rel = fs::relative(e.path(), root).string();
    if (e.is_directory()) {
      out[rel + "/"] = "";
    } else if (rel.find(".AD") == std::string::npos) {
      out[rel] = test::ReadFile(e.path().string());
    }
  }
  return out;
}

TEST(DemoHostDatabase, SmallDatabaseHasEveryVariety) {
  test::TempDir dir;
  const DemoDatabaseOptions o = Options(40, 7);
  DemoDatabaseSummary s = CreateDemoHostDatabase(dir.str(), o);
  EXPECT_EQ(s.orders, 40);
  EXPECT_GT(s.addresses, 1);
  EXPECT_LT(s.addresses, 40);

  db::Connection c;
  c.SetPath(dir.str());
  c.Open();
  db::Table orders(c, "Auftraege.ADT");
  orders.Open();
  EXPECT_TRUE(orders.HasField("EXTB"));
  std::vector<db::IndexTag> tags = orders.IndexTags();
  ASSERT_EQ(tags.size(), OrderIndexTags().size());
  for (size_t i = 0; i < tags.size(); ++i) {
    EXPECT_EQ(tags[i].name, OrderIndexTags()[i].tag);
    EXPECT_EQ(tags[i].expression, OrderIndexTags()[i].expression);
    EXPECT_EQ(tags[i].descending, OrderIndexTags()[i].descending);
  }
  db::Table addresses(c, "Adressen.ADT");
  addresses.Open();
  ASSERT_EQ(addresses.IndexTags().size(), 1u);
  addresses.SetIndex("ID");
  EXPECT_EQ(addresses.RecordCount(), s.addresses);

  std::set<int64_t> types, statuses, order_numbers;
  std::map<int64_t, int> address_uses;
  int missing_addresses = 0, linked_existing = 0, linked_missing = 0, temp_refs = 0, empty = 0, damaged = 0;
  DateTime min_date = 1e9, max_date = 0;
  bool today_seen = false;
  for (orders.First(); !orders.Eof(); orders.Next()) {
    types.insert(orders.FieldByName("POT").AsInteger());
    statuses.insert(orders.FieldByName("Status").AsInteger());
    order_numbers.insert(orders.FieldByName("ID_ORDER").AsInteger());
    DateTime d = orders.FieldByName("Date").AsDate();
    min_date = std::min(min_date, d);
    max_date = std::max(max_date, d);
    today_seen |= d == o.today;
    int64_t address_id = orders.FieldByName("AdressID").AsInteger();
    ++address_uses[address_id];
    if (!addresses.Seek(std::to_string(address_id))) ++missing_addresses;

    db::Field extb = orders.FieldByName("EXTB");
    if (!extb.IsNull() && extb.AsBytes().empty()) ++empty;
    TAdressExInfo info;
    try {
      LoadExtendedOrderInfo(extb.AsBytes(), info);
    } catch (const ComponentStreamError&) {
      ++damaged;
    }
    auto judge = [&](const std::string& ref, const char* folder) {
      if (ref.rfind("tempfile://", 0) == 0) ++temp_refs;
      if (ref.rfind("linkfile://", 0) != 0) return;
      (fs::exists(dir.path() / folder / (ref.substr(11) + ".RVF")) ? linked_existing : linked_missing)++;
    };
    judge(info.FirstDoc, "ORDER_LETTERS");
    judge(info.EndDoc, "ORDER_LETTERS_LAST");
  }
  EXPECT_EQ(order_numbers.size(), 40u);
  for (int64_t t : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 130, 133}) EXPECT_TRUE(types.count(t)) << t;
  EXPECT_EQ(statuses, (std::set<int64_t>{0, 1, 2}));
  EXPECT_EQ(min_date, o.today - 59);
  EXPECT_GT(max_date, o.today);
  EXPECT_LE(max_date, o.today + 3);
  EXPECT_TRUE(today_seen);
  EXPECT_GT(missing_addresses, 0);
  EXPECT_EQ(missing_addresses, s.orders_without_address);
  int shared = 0;
  for (const auto& [id, uses] : address_uses) shared += uses > 1;
  EXPECT_GT(shared, 0);
  EXPECT_GT(linked_existing, 0);
  EXPECT_GT(linked_missing, 0);
  EXPECT_GT(temp_refs, 0);
  EXPECT_GT(empty, 0);
  EXPECT_GT(damaged, 0);

  // Attachment folders: plain files, a hidden file and a subfolder; also an empty one.
  int with_hidden = 0, empty_folders = 0;
  for (const auto& e : fs::directory_iterator(dir.path() / "L2ROOT_ORDER")) {
    int plain = 0;
    bool hidden = false, sub = false;
    for (const auto& f : fs::directory_iterator(e.path())) {
      std::string name = f.path().filename().string();
      if (f.is_directory()) sub = true;
      else if (name[0] == '.') hidden = true;
      else ++plain;
    }
    if (plain >= 2 && hidden && sub) ++with_hidden;
    if (plain == 0 && !hidden && !sub) ++empty_folders;
  }
  EXPECT_GT(with_hidden, 0);
  EXPECT_GT(empty_folders, 0);

  db::Table settings(c, "setup.ADT");
  settings.Open();
  ASSERT_TRUE(settings.Locate("Ident", 15000));
  EXPECT_GT(std::stoi(settings.FieldByName("stringItem").AsString()), 0);
  ASSERT_TRUE(settings.Locate("Ident", 15001));
  EXPECT_FALSE(settings.FieldByName("stringItem").AsString().empty());
  ASSERT_TRUE(settings.Locate("Ident", 1));
  EXPECT_EQ(settings.FieldByName("stringItem").AsString().size(), 38u);  // {GUID}
  ASSERT_EQ(settings.IndexTags().size(), 1u);
  EXPECT_EQ(settings.IndexTags()[0].name, "IDENT");
}

TEST(DemoHostDatabase, SameSeedGivesTheSameDatabase) {
  test::TempDir a, b, other;
  CreateDemoHostDatabase(a.str(), Options(60, 42));
  CreateDemoHostDatabase(b.str(), Options(60, 42));
  CreateDemoHostDatabase(other.str(), Options(60, 43));
  for (const char* table : {"Auftraege.ADT", "Adressen.ADT", "setup.ADT"}) {
    EXPECT_EQ(Dump(a.str(), table), Dump(b.str(), table)) << table;
  }
  EXPECT_EQ(Files(a.path()), Files(b.path()));
  EXPECT_NE(Dump(a.str(), "Auftraege.ADT"), Dump(other.str(), "Auftraege.ADT"));
}

TEST(DemoHostDatabase, NeverOverwritesAnExistingDatabase) {
  test::TempDir dir;
  CreateDemoHostDatabase(dir.str(), Options(0, 1));  // no orders: empty tables
  EXPECT_TRUE(Dump(dir.str(), "Auftraege.ADT").empty());
  auto before = Dump(dir.str(), "setup.ADT");
  EXPECT_THROW(CreateDemoHostDatabase(dir.str(), Options(5, 1)), Error);
  EXPECT_EQ(Dump(dir.str(), "setup.ADT"), before);

  // Another letter case of a table name counts as well.
  test::TempDir lower;
  test::WriteFile(lower / "adressen.adt", "");
  EXPECT_THROW(CreateDemoHostDatabase(lower.str(), Options(5, 1)), Error);
  EXPECT_FALSE(fs::exists(lower / "Auftraege.ADT"));
}

}  // namespace
}  // namespace mrw
