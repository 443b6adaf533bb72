#include "export/transfer.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "export/chain_fixture.h"
#include "foundation/paths.h"

namespace mrw {
namespace {

namespace fs = std::filesystem;
using test::ChainFixture;
using test::LetterExtb;
using test::OrderSpec;

using Rows = std::vector<std::vector<std::string>>;

TEST(TransferTest, SelectedOrdersSharingOneAddressAreRenumberedInMarkingOrder) {
  ChainFixture f;
  f.AddAddress("Andere");
  int32_t shared = f.AddAddress("Muster");
  int32_t a = f.AddOrder({.id_order = 100, .adress_id = shared, .date = EncodeDate(2024, 4, 3)});
  int32_t b = f.AddOrder({.id_order = 101, .adress_id = shared});
  int32_t c = f.AddOrder({.id_order = 102, .adress_id = shared});
  f.AddOrder({.id_order = 103, .adress_id = 1});  // not selected

  ASSERT_TRUE(f.Transfer({f.BookmarkOf(c), f.BookmarkOf(a), f.BookmarkOf(b)}));

  EXPECT_EQ(f.Rows(f.export_orders, {"ID", "ID_ORDER", "AdressID", "Date"}),
            (Rows{{"1", "102", "2", ""}, {"2", "100", "2", "03.04.2024"}, {"3", "101", "2", ""}}));
  EXPECT_EQ(f.Rows(f.export_addresses, {"ID", "NName"}), (Rows{{"2", "Muster"}}));
  EXPECT_EQ(f.state.OrderIdMap, (std::vector<OrderIdPair>{{c, 1}, {a, 2}, {b, 3}}));
  EXPECT_EQ(f.state.ExportedOrderIds, (std::vector<int32_t>{c, a, b}));
  EXPECT_TRUE(f.state.LetterFiles.empty());
  // The window is given back as it was.
  EXPECT_EQ(f.ui.progress_max, 3);
  EXPECT_EQ(f.ui.progress_position, 3);
  EXPECT_FALSE(f.ui.progress_visible);
  EXPECT_TRUE(f.ui.selection_enabled && f.ui.action_enabled && f.ui.grid_follows);
  EXPECT_TRUE(f.ui.messages.empty());
}

TEST(TransferTest, WithoutSelectionTheWholeViewIsTransferredAndAMissingAddressIsSkipped) {
  ChainFixture f;
  int32_t addr = f.AddAddress("Muster");
  f.AddOrder({.id_order = 1, .adress_id = addr});
  f.AddOrder({.id_order = 2, .adress_id = 999, .pot = 5});  // hidden by the filter
  f.AddOrder({.id_order = 3, .adress_id = 999});            // its address does not exist
  f.orders.SetFilter("POT<>5");
  f.orders.SetFiltered(true);

  ASSERT_TRUE(f.Transfer());

  EXPECT_EQ(f.Rows(f.export_orders, {"ID", "ID_ORDER", "AdressID"}),
            (Rows{{"1", "1", std::to_string(addr)}, {"2", "3", "999"}}));
  EXPECT_EQ(f.Rows(f.export_addresses, {"ID"}), (Rows{{std::to_string(addr)}}));
  EXPECT_EQ(f.ui.progress_max, 2);
}

TEST(TransferTest, EmptyViewGivesEmptyTablesAndASecondRunStartsAfresh) {
  ChainFixture f;
  ASSERT_TRUE(f.Transfer());
  EXPECT_TRUE(f.export_orders.IsEmpty());
  EXPECT_TRUE(f.export_addresses.IsEmpty());

  int32_t addr = f.AddAddress("Muster");
  f.AddOrder({.id_order = 7, .adress_id = addr});
  f.AddOrder({.id_order = 8, .adress_id = addr});
  ASSERT_TRUE(f.Transfer());
  ExportReset(f.state, f.export_conn, f.work_folder);
  ASSERT_TRUE(f.Transfer());
  ASSERT_TRUE(f.Transfer());  // also without a reset in between
  EXPECT_EQ(f.Rows(f.export_orders, {"ID", "ID_ORDER"}), (Rows{{"1", "7"}, {"2", "8"}}));
  EXPECT_EQ(f.Rows(f.export_addresses, {"ID"}), (Rows{{std::to_string(addr)}}));
  EXPECT_EQ(f.state.OrderIdMap.size(), 2u);
}

TEST(TransferTest, LetterReferencesCopyExistingFilesOnly) {
  ChainFixture f;
  test::WriteFile(f.host_folder + "ORDER_LETTERS/Brief 7.RVF", "erster Brief");
  test::WriteFile(f.host_folder + "ORDER_LETTERS_LAST/Ende 7.RVF", "letzter Brief");
  test::WriteFile(f.dir.str() + "geheim.RVF", "außerhalb");
  f.AddOrder({.id_order = 1, .extb = LetterExtb("linkfile://Brief 7", "linkfile://Ende 7")});
  f.AddOrder({.id_order = 2, .extb = LetterExtb("linkfile://Brief 8")});  // missing file
  f.AddOrder({.id_order = 3, .extb = LetterExtb("tempfile://Brief 7", "LINKFILE://Ende 7")});
  f.AddOrder({.id_order = 4, .extb = LetterExtb("linkfile://../../geheim")});

  ASSERT_TRUE(f.Transfer());

  const std::string mrw = f.work_folder + "MRW/";
  EXPECT_EQ(f.state.LetterFiles, (std::vector<std::string>{mrw + "ORDER_LETTERS/Brief 7.RVF",
                                                           mrw + "ORDER_LETTERS_LAST/Ende 7.RVF"}));
  EXPECT_EQ(test::ReadFile(mrw + "ORDER_LETTERS/Brief 7.RVF"), "erster Brief");
  EXPECT_EQ(test::ReadFile(mrw + "ORDER_LETTERS_LAST/Ende 7.RVF"), "letzter Brief");
  EXPECT_EQ(f.state.ExportedOrderIds.size(), 4u);
}

TEST(TransferTest, MissingLetterStillCreatesTheHostLetterFolder) {
  ChainFixture f;
  f.AddOrder({.id_order = 1, .extb = LetterExtb("linkfile://Brief 7", "linkfile://Brief 7")});
  ASSERT_TRUE(f.Transfer());
  EXPECT_TRUE(f.state.LetterFiles.empty());
  EXPECT_TRUE(fs::is_directory(f.host_folder + "ORDER_LETTERS"));
  EXPECT_TRUE(fs::is_directory(f.host_folder + "ORDER_LETTERS_LAST"));
}

TEST(TransferTest, UnusableExtendedInformationMeansNoLetters) {
  for (bool with_extb : {true, false}) {
    ChainFixture f(with_extb);
    test::WriteFile(f.host_folder + "ORDER_LETTERS/Brief 7.RVF", "x");
    if (with_extb) {
      std::string valid = LetterExtb("linkfile://Brief 7");
      f.AddOrder({.id_order = 1, .extb = std::string()});                      // empty
      f.AddOrder({.id_order = 2});                                             // null
      f.AddOrder({.id_order = 3, .extb = "kein zlib"});                        // not inflatable
      f.AddOrder({.id_order = 4, .extb = valid.substr(0, valid.size() / 2)});  // cut short
      f.AddOrder({.id_order = 5, .extb = DeflateZlib("TPF0 kaputt")});         // not a stream
    } else {
      f.AddOrder({.id_order = 1});
    }
    ASSERT_TRUE(f.Transfer()) << with_extb;
    EXPECT_TRUE(f.state.LetterFiles.empty());
    EXPECT_EQ(f.export_orders.HasField("EXTB"), with_extb);
    EXPECT_TRUE(f.ui.messages.empty());
  }
}

TEST(TransferTest, AMarkedRowDeletedMeanwhileEndsTheTransferWithOneMessage) {
  ChainFixture f;
  int32_t a = f.AddOrder({.id_order = 1});
  int32_t b = f.AddOrder({.id_order = 2});
  int32_t c = f.AddOrder({.id_order = 3});
  std::vector<db::Bookmark> marks = {f.BookmarkOf(a), f.BookmarkOf(b), f.BookmarkOf(c)};
  {  // another user deletes the second marked order
    db::Connection other_connection;
    other_connection.SetPath(f.host_folder);
    other_connection.Open();
    db::Table other(other_connection, "Auftraege.ADT");
    other.Open();
    ASSERT_TRUE(other.Locate("ID", b));
    other.Delete();
  }

  EXPECT_FALSE(f.Transfer(marks));

  ASSERT_EQ(f.ui.messages.size(), 1u);
  EXPECT_NE(f.ui.messages[0].find("Die Aufträge konnten nicht vollständig exportiert werden."),
            std::string::npos);
  EXPECT_FALSE(f.ui.closed);
  // What was copied before stays; the neighbour of the gone row is not taken in its place.
  EXPECT_EQ(f.Rows(f.export_orders, {"ID_ORDER"}), (Rows{{"1"}}));
  EXPECT_TRUE(f.ui.selection_enabled && f.ui.action_enabled && f.ui.grid_follows);
}

TEST(TransferTest, ALetterThatCannotBeWrittenIsATransferError) {
  ChainFixture f;
  test::WriteFile(f.host_folder + "ORDER_LETTERS/Brief 7.RVF", "x");
  f.AddOrder({.id_order = 1, .extb = LetterExtb("linkfile://Brief 7")});
  // A folder where the letter's copy must go makes the copy fail whatever the user's
  // rights (the transfer does not clear the work folder; ExportReset does).
  fs::create_directories(f.work_folder + "MRW/ORDER_LETTERS/Brief 7.RVF");
  EXPECT_FALSE(f.Transfer());
  ASSERT_EQ(f.ui.messages.size(), 1u);
  EXPECT_NE(f.ui.messages[0].find("Brief 7.RVF kann nicht erstellt werden"), std::string::npos);
  EXPECT_TRUE(f.state.LetterFiles.empty());
}

TEST(TransferTest, AnExportDatabaseThatCannotBeMadeClosesTheWindow) {
  ChainFixture f;
  f.addresses.Close();
  fs::remove(f.host_folder + "Adressen.ADT");
  EXPECT_FALSE(f.Transfer());
  ASSERT_FALSE(f.ui.messages.empty());
  EXPECT_EQ(f.ui.messages.back(), "Export-Datenbank Fehler.");
  EXPECT_TRUE(f.ui.closed);
}

TEST(TransferTest, ResetRemovesTheExportDatabaseAndEmptiesTheState) {
  ChainFixture f;
  f.AddOrder({.id_order = 1});
  ASSERT_TRUE(f.Transfer());
  ASSERT_FALSE(fs::is_empty(f.work_folder + "MRW"));
  ExportReset(f.state, f.export_conn, f.work_folder);
  EXPECT_FALSE(fs::exists(f.work_folder + "MRW"));
  EXPECT_FALSE(f.export_conn.IsOpen());
  EXPECT_TRUE(f.state.OrderIdMap.empty() && f.state.ExportedOrderIds.empty());
}

}  // namespace
}  // namespace mrw
