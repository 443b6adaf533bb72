#include "export/export_tables.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/temp_dir.h"
#include "db/table.h"
#include "export/record_layout.h"
#include "foundation/dates.h"
#include "foundation/errors.h"

namespace mrw {
namespace {

namespace fs = std::filesystem;

// A host folder with Adressen.ADT and Auftraege.ADT (a few rows and a tag of their own,
// none of which may reach the export tables) and an export folder.
class ExportTablesTest : public ::testing::Test {
 protected:
  void MakeHost(bool with_extb, bool with_addresses = true, bool with_orders = true) {
    fs::create_directories(host_dir.path());
    if (with_addresses) {
      db::Table::Create(host_dir / "Adressen.ADT", AddressRecordFields());
      FillHost("Adressen.ADT");
    }
    if (with_orders) {
      std::vector<db::FieldDef> fields = OrderRecordFields();
      if (with_extb) fields.push_back({"EXTB", db::FieldType::Binary, 0});
      db::Table::Create(host_dir / "Auftraege.ADT", fields);
      FillHost("Auftraege.ADT");
    }
    host.SetPath(host_dir.str());
    host.Open();
    target.SetPath(export_dir.str());
    target.Open();
  }

  void FillHost(const std::string& file) {
    db::Connection c;
    c.SetPath(host_dir.str());
    c.Open();
    db::Table t(c, file);
    t.Open();
    for (int i = 0; i < 3; ++i) {
      t.Insert();
      t.Post();
    }
    t.AddIndex("HOSTONLY", "ID", true);
    t.Close();
  }

  void Create() {
    CreateExportTables(host, target, export_dir.str(), [this](const std::string& m) { messages.push_back(m); });
  }

  std::vector<db::FieldDef> FieldsOf(db::Connection& c, const std::string& file) {
    db::Table t(c, file);
    t.Open();
    return t.Fields();
  }

  test::TempDir host_dir, export_dir;
  db::Connection host, target;
  std::vector<std::string> messages;
};

void ExpectSameFields(const std::vector<db::FieldDef>& actual, std::vector<db::FieldDef> expected) {
  ASSERT_EQ(actual.size(), expected.size());
  for (size_t i = 0; i < actual.size(); ++i) {
    EXPECT_EQ(actual[i].name, expected[i].name) << i;
    EXPECT_EQ(actual[i].type, expected[i].type) << actual[i].name;
    EXPECT_EQ(actual[i].length, expected[i].length) << actual[i].name;
  }
}

void ExpectTags(db::Connection& c, const std::string& file, const std::vector<IndexTagDef>& expected) {
  db::Table t(c, file);
  t.Open();
  std::vector<db::IndexTag> tags = t.IndexTags();
  ASSERT_EQ(tags.size(), expected.size()) << file;
  for (size_t i = 0; i < tags.size(); ++i) {
    EXPECT_EQ(tags[i].name, expected[i].tag);
    EXPECT_EQ(tags[i].expression, expected[i].expression);
    EXPECT_EQ(tags[i].descending, expected[i].descending) << tags[i].name;
  }
  EXPECT_EQ(t.RecordCount(), 0) << file;
}

class ExportTablesExtbTest : public ExportTablesTest, public ::testing::WithParamInterface<bool> {};

TEST_P(ExportTablesExtbTest, CopiesTheHostStructure) {
  const bool with_extb = GetParam();
  MakeHost(with_extb);
  Create();
  EXPECT_TRUE(messages.empty());

  std::vector<db::FieldDef> address_fields = AddressRecordFields();
  address_fields[0].type = db::FieldType::Integer;  // keeps the host IDs
  ExpectSameFields(FieldsOf(target, "Adressen.ADT"), address_fields);
  std::vector<db::FieldDef> order_fields = OrderRecordFields();
  if (with_extb) order_fields.push_back({"EXTB", db::FieldType::Binary, 0});
  ExpectSameFields(FieldsOf(target, "Auftraege.ADT"), order_fields);

  ExpectTags(target, "Adressen.ADT", AddressIndexTags());
  ExpectTags(target, "Auftraege.ADT", OrderIndexTags());
  for (const char* f : {"Adressen.ADT", "Adressen.ADM", "Adressen.ADI", "Auftraege.ADT", "Auftraege.ADM",
                        "Auftraege.ADI"}) {
    EXPECT_TRUE(fs::exists(export_dir / f)) << f;
  }
  // The host tables are untouched.
  EXPECT_EQ(FieldsOf(host, "Adressen.ADT")[0].type, db::FieldType::AutoInc);
}

INSTANTIATE_TEST_SUITE_P(WithAndWithoutExtb, ExportTablesExtbTest, ::testing::Bool());

TEST_F(ExportTablesTest, AddressKeepsItsIdWhileTheOrderIsNumberedAnew) {
  MakeHost(true);
  Create();
  db::Table addresses(target, "Adressen.ADT");
  addresses.Open();
  addresses.Insert();
  addresses.FieldByName("ID").SetInteger(4711);
  addresses.Post();
  db::Table orders(target, "Auftraege.ADT");
  orders.Open();
  orders.Insert();
  orders.FieldByName("AdressID").SetInteger(4711);
  orders.Post();
  EXPECT_EQ(orders.FieldByName("ID").AsInteger(), 1);
  EXPECT_EQ(orders.FieldByName("AdressID").AsInteger(), 4711);
  addresses.SetIndex("ID");
  ASSERT_TRUE(addresses.Seek("4711"));
  EXPECT_EQ(addresses.FieldByName("ID").AsInteger(), 4711);
}

TEST_F(ExportTablesTest, CreatingTwiceStartsFromEmptyTablesAndRemovesLeftovers) {
  MakeHost(true);
  Create();
  {
    db::Table orders(target, "Auftraege.ADT");
    orders.Open();
    for (int i = 0; i < 3; ++i) {
      orders.Insert();
      orders.Post();
    }
    EXPECT_EQ(orders.FieldByName("ID").AsInteger(), 3);
  }
  // A leftover under another spelling must not be taken for the new table's file.
  test::WriteFile(export_dir / "adressen.adi", "stale");
  Create();
  EXPECT_TRUE(messages.empty());
  EXPECT_FALSE(fs::exists(export_dir / "adressen.adi"));
  db::Table orders(target, "Auftraege.ADT");
  orders.Open();
  EXPECT_TRUE(orders.IsEmpty());
  orders.Insert();
  orders.Post();
  EXPECT_EQ(orders.FieldByName("ID").AsInteger(), 1);
  ExpectTags(target, "Adressen.ADT", AddressIndexTags());
}

TEST_F(ExportTablesTest, IndexTagsSortInTheirDirections) {
  MakeHost(false);
  Create();
  db::Table orders(target, "Auftraege.ADT");
  orders.Open();
  struct Row {
    int id_order, status, address;
    const char* gtyp;
    double open;
    const char* date;
  };
  const Row rows[] = {
      {5, 2, 30, "BRIEF", 1.5, "03.01.2026"},
      {9, 0, 10, "ANGEBOT", 0, "01.01.2026"},
      {1, 2, 20, "ANGEBOT", 7, "03.01.2026"},
      {9, 1, 10, "MULTI", 0.25, "02.01.2026"},
  };
  for (const Row& r : rows) {
    orders.Insert();
    orders.FieldByName("ID_ORDER").SetInteger(r.id_order);
    orders.FieldByName("Status").SetInteger(r.status);
    orders.FieldByName("AdressID").SetInteger(r.address);
    orders.FieldByName("GTyp").SetString(r.gtyp);
    orders.FieldByName("OPEN_").SetFloat(r.open);
    orders.FieldByName("Date").SetDate(*ParseDateText(r.date));
    orders.Post();
  }
  // Expected IDs in view order; equal keys keep their physical order.
  const std::vector<std::pair<const char*, std::vector<int>>> cases = {
      {"ID", {1, 2, 3, 4}},      {"ID_ORDER", {2, 4, 1, 3}}, {"STATUS", {2, 4, 1, 3}},
      {"ADRESSID", {2, 4, 3, 1}}, {"GTYP", {2, 3, 1, 4}},     {"OPEN_", {2, 4, 1, 3}},
      {"DATE", {1, 3, 4, 2}},
  };
  for (const auto& [tag, expected] : cases) {
    orders.SetIndex(tag);
    std::vector<int> ids;
    for (orders.First(); !orders.Eof(); orders.Next()) ids.push_back(static_cast<int>(orders.FieldByName("ID").AsInteger()));
    EXPECT_EQ(ids, expected) << tag;
  }
}

TEST_F(ExportTablesTest, FailingAddressTableIsReportedAndTheOrderTableNotAttempted) {
  MakeHost(true, /*with_addresses=*/false);
  EXPECT_THROW(Create(), Error);
  EXPECT_EQ(messages, std::vector<std::string>{"Table Adressen.ADT Could Not Be Created"});
  EXPECT_FALSE(fs::exists(export_dir / "Auftraege.ADT"));
}

TEST_F(ExportTablesTest, FailingOrderTableIsReportedAfterTheAddressTable) {
  MakeHost(true, true, /*with_orders=*/false);
  EXPECT_THROW(Create(), Error);
  EXPECT_EQ(messages, std::vector<std::string>{"Table Auftraege.ADT Could Not Be Created"});
  EXPECT_TRUE(fs::exists(export_dir / "Adressen.ADT"));
  // Without a message callback the error still passes on.
  EXPECT_THROW(CreateOrderTable(host, target, export_dir.str(), nullptr), Error);
}

TEST_F(ExportTablesTest, DeleteExportTablesRemovesExactlyTheSixFiles) {
  MakeHost(true);
  Create();
  test::WriteFile(export_dir / "info.rtf", "keep");
  DeleteExportTables(export_dir.path().string());  // no trailing delimiter
  for (const char* f : {"Adressen.ADT", "Adressen.ADM", "Adressen.ADI", "Auftraege.ADT", "Auftraege.ADM",
                        "Auftraege.ADI"}) {
    EXPECT_FALSE(fs::exists(export_dir / f)) << f;
  }
  EXPECT_TRUE(fs::exists(export_dir / "info.rtf"));
  DeleteExportTables(export_dir.str());  // nothing left to delete: silent
  DeleteExportTables(export_dir / "no such folder");
}

}  // namespace
}  // namespace mrw
