#include "selection/host_database.h"

#include <gtest/gtest.h>

#include "common/temp_dir.h"
#include "foundation/errors.h"
#include "selection/order_marks.h"

namespace mrw::selection {
namespace {

TEST(HostDatabase, SettingTextsAsNumbers) {
  const std::pair<const char*, int32_t> cases[] = {
      {"4711", 4711}, {" 42 ", 42}, {"-7", -7}, {"+8", 8},         {"A12", 0},
      {"12A", 0},     {"", 0},      {"1.5", 0}, {"2147483648", 0}, {"-2147483648", INT32_MIN}};
  for (const auto& [text, value] : cases) EXPECT_EQ(SettingToInteger(text), value) << text;
}

TEST(HostDatabase, MissingFolderFailsAndFoldersFollowThePath) {
  mrw::test::TempDir dir;
  HostDatabase db;
  EXPECT_THROW(db.Open(dir / "missing", "1"), mrw::Error);
  EXPECT_FALSE(db.IsOpen());
  EXPECT_EQ(db.Folder(), dir / "missing/");
  EXPECT_EQ(db.SelectionIniPath(), dir / "missing/marrowby_setup/MARROWBY.INI");
}

TEST(HostDatabase, SettingsRowsOrTheirDefaults) {
  mrw::test::TempDir dir;
  using db::FieldType;
  db::Table::Create(dir / "Adressen.ADT", {{"ID", FieldType::AutoInc, 0}});
  db::Table::Create(dir / "Auftraege.ADT", {{"ID", FieldType::AutoInc, 0}});
  db::Table::Create(dir / "setup.ADT", {{"ID", FieldType::AutoInc, 0},
                                        {"Ident", FieldType::Integer, 0},
                                        {"stringItem", FieldType::Text, 100}});
  HostDatabase db;
  db.Open(dir.str(), "2");
  EXPECT_EQ(db.connection().kind(), db::Connection::Kind::Remote);
  EXPECT_EQ(db.settings().FirstOrderID, 0);
  EXPECT_EQ(db.settings().FirstOrderID2, "");
  EXPECT_EQ(db.settings().DatabaseGUID, "");

  {
    db::Table setup(db.connection(), "setup.ADT");
    setup.Open();
    const std::pair<int, const char*> rows[] = {{15000, "A12"}, {15001, "7-B"}, {1, "{GUID}"}};
    for (const auto& [ident, text] : rows) {
      setup.Insert();
      setup.FieldByName("Ident").SetInteger(ident);
      setup.FieldByName("stringItem").SetString(text);
      setup.Post();
    }
  }
  db.Open(dir.str(), "1");  // every open reads the rows afresh
  EXPECT_EQ(db.connection().kind(), db::Connection::Kind::Local);
  EXPECT_TRUE(db.orders().IsOpen());
  EXPECT_EQ(db.settings().FirstOrderID, 0);
  EXPECT_EQ(db.settings().FirstOrderID2, "7-B");
  EXPECT_EQ(db.settings().DatabaseGUID, "{GUID}");
}

TEST(OrderGrid, TitleClicksChooseTags) {
  const std::pair<const char*, const char*> cases[] = {
      {"ID_ORDER", "ID_ORDER"}, {"Typ", "GTYP"},   {"StatusText", "STATUS"},
      {"Date", "DATE"},         {"open_", "OPEN_"}, {"KNR", nullptr}, {"AdressName", nullptr}};
  for (const auto& [field, tag] : cases) {
    auto got = IndexTagForTitle(field);
    if (tag) {
      EXPECT_EQ(got, std::optional<std::string>(tag)) << field;
    } else {
      EXPECT_FALSE(got) << field;
    }
  }
}

}  // namespace
}  // namespace mrw::selection
