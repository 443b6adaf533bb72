// Tables: field values, numbering, index order, navigation, editing, structure changes
// and the errors a damaged or missing table gives.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "db/field.h"
#include "db_fixture.h"
#include "foundation/errors.h"

namespace mrw::db::test {
namespace {

using ::testing::HasSubstr;

class TableTest : public DbTest {};

TEST_F(TableTest, ValuesOfEveryTypeRoundTripAndNullIsNotEmpty) {
  Make("T.ADT", {"ID:autoinc", "N:integer", "S:shortint", "TX:text:5", "M:memo", "B:binary", "D:date", "F:double",
                 "L:logical"});
  Table t(conn, "T.ADT");
  t.Open();
  t.Insert();
  t.FieldByName("n").SetInteger(-2147483648LL);
  t.FieldByName("S").SetString("-32768");
  t.FieldByName("TX").SetString("ab € ✓xyz");  // 5 ANSI characters: "ab € " -> blank dropped
  t.FieldByName("M").SetString("zeile 1\r\nzeile 2  ");
  t.FieldByName("B").SetBytes(std::string("\0\x01\xff", 3));
  t.FieldByName("D").SetString("29.02.2024");
  t.FieldByName("F").SetFloat(0.1);
  t.FieldByName("L").SetBoolean(true);
  t.Post();
  t.Insert();
  t.FieldByName("TX").SetString("");
  t.FieldByName("M").SetString("");
  t.FieldByName("B").SetBytes("");
  t.Post();

  t.Close();
  t.Open();
  EXPECT_EQ(t.FieldByName("ID").AsInteger(), 1);
  EXPECT_EQ(t.FieldByName("N").AsInteger(), -2147483648LL);
  EXPECT_EQ(t.FieldByName("S").AsInteger(), -32768);
  EXPECT_EQ(t.FieldByName("TX").AsString(), "ab €");
  EXPECT_EQ(t.FieldByName("M").AsString(), "zeile 1\r\nzeile 2  ");
  EXPECT_EQ(t.FieldByName("B").AsBytes(), std::string("\0\x01\xff", 3));
  EXPECT_EQ(t.FieldByName("D").AsString(), "29.02.2024");
  EXPECT_EQ(t.FieldByName("F").AsString(), "0.1");
  EXPECT_TRUE(t.FieldByName("L").AsBoolean());
  t.Next();
  EXPECT_EQ(t.FieldByName("ID").AsInteger(), 2);
  for (const char* f : {"N", "S", "D", "F", "L"}) EXPECT_TRUE(t.FieldByName(f).IsNull()) << f;
  for (const char* f : {"TX", "M", "B"}) {
    EXPECT_FALSE(t.FieldByName(f).IsNull()) << f;
    EXPECT_EQ(t.FieldByName(f).AsString(), "") << f;
  }
  EXPECT_EQ(t.FieldByName("D").AsString(), "");
}

TEST_F(TableTest, WritesAFieldCannotTakeFailAndLeaveTheValue) {
  Make("T.ADT", {"ID:autoinc", "S:shortint", "D:date", "N:integer"});
  Table t(conn, "T");
  t.Open();
  EXPECT_THROW(t.FieldByName("S").SetInteger(1), Error);  // not in edit mode
  t.Insert();
  t.FieldByName("S").SetInteger(7);
  EXPECT_THROW(t.FieldByName("ID").SetInteger(5), Error);
  EXPECT_THROW(t.FieldByName("S").SetInteger(40000), Error);
  EXPECT_THROW(t.FieldByName("D").SetString("31.02.2024"), Error);
  EXPECT_THROW(t.FieldByName("N").SetString("12a"), Error);
  EXPECT_THROW(t.FieldByName("Nope"), Error);
  EXPECT_EQ(t.FieldByName("S").AsInteger(), 7);
}

TEST_F(TableTest, AutoincNumbersNewRowsAndACopiedStructureStartsAtOne) {
  Make("T.ADT", {"ID:autoinc", "X:integer"});
  Table t(conn, "T.ADT");
  t.Open();
  for (int i = 0; i < 3; ++i) {
    t.Insert();
    t.FieldByName("X").SetInteger(i);
    t.Post();
    EXPECT_EQ(t.FieldByName("ID").AsInteger(), i + 1);  // the posted row stays current
  }
  t.Last();
  t.Delete();  // numbers are not handed out twice
  t.Insert();
  t.Post();
  EXPECT_EQ(t.FieldByName("ID").AsInteger(), 4);

  t.CreateTable(dir / "Copy.adt");
  Table c(conn, "Copy.adt");
  c.Open();
  EXPECT_TRUE(c.IsEmpty());
  EXPECT_TRUE(c.IndexTags().empty());
  ASSERT_EQ(c.Fields().size(), 2u);
  EXPECT_EQ(c.Fields()[0].type, FieldType::AutoInc);
  c.Insert();
  c.Post();
  EXPECT_EQ(c.FieldByName("ID").AsInteger(), 1);
  EXPECT_TRUE(std::filesystem::exists(dir / "Copy.adm"));
  EXPECT_TRUE(std::filesystem::exists(dir / "Copy.adi"));
}

class IndexTest : public DbTest {
 protected:
  void SetUp() override {
    DbTest::SetUp();
    Make("O.ADT", {"ID:autoinc", "K:integer", "D:date", "G:text:10"});
    t = std::make_unique<Table>(conn, "O.ADT");
    t->Open();
    // ID: 1..6, K with ties, D with a null.
    const int keys[] = {2, 1, 2, 3, 1, 2};
    const char* dates[] = {"01.03.2024", "05.03.2024", "", "03.03.2024", "05.03.2024", "02.03.2024"};
    for (int i = 0; i < 6; ++i) {
      t->Insert();
      t->FieldByName("K").SetInteger(keys[i]);
      t->FieldByName("D").SetString(dates[i]);
      t->FieldByName("G").SetString(i % 2 ? "b" : "a");
      t->Post();
    }
    t->AddIndex("KEY", "k", false);
    t->AddIndex("KEYD", "K", true);
    t->AddIndex("DATE", "D", true);
  }
  std::unique_ptr<Table> t;
};

TEST_F(IndexTest, TagsOrderAscendingOrDescendingWithTiesInPhysicalOrder) {
  EXPECT_EQ(Column(*t, "ID"), (std::vector<std::string>{"1", "2", "3", "4", "5", "6"}));
  t->SetIndex("key");
  EXPECT_EQ(Column(*t, "ID"), (std::vector<std::string>{"2", "5", "1", "3", "6", "4"}));
  t->SetIndex("KEYD");
  EXPECT_EQ(Column(*t, "ID"), (std::vector<std::string>{"4", "1", "3", "6", "2", "5"}));
  t->SetIndex("DATE");
  EXPECT_EQ(Column(*t, "ID"), (std::vector<std::string>{"2", "5", "4", "6", "1", "3"}));
  t->SetIndex("");
  EXPECT_EQ(Column(*t, "ID").front(), "1");
  EXPECT_THROW(t->SetIndex("NOPE"), Error);
  EXPECT_THROW(t->AddIndex("key", "K", false), Error);    // tag names are unique
  EXPECT_THROW(t->AddIndex("X", "K+1", false), Error);    // one field only
  auto tags = t->IndexTags();
  ASSERT_EQ(tags.size(), 3u);
  EXPECT_EQ(tags[1].name, "KEYD");
  EXPECT_EQ(tags[1].expression, "K");
  EXPECT_TRUE(tags[1].descending);
}

TEST_F(IndexTest, SeekAndLocateFindTheFirstRowOfTheView) {
  EXPECT_THROW(t->Seek("2"), Error);  // no index
  t->SetIndex("KEYD");
  ASSERT_TRUE(t->Seek("2"));
  EXPECT_EQ(t->FieldByName("ID").AsInteger(), 1);
  EXPECT_FALSE(t->Seek("9"));
  EXPECT_FALSE(t->Seek("zwei"));  // does not convert: nothing found, no error
  t->SetIndex("DATE");
  ASSERT_TRUE(t->Seek("5.3.2024"));
  EXPECT_EQ(t->FieldByName("ID").AsInteger(), 2);

  ASSERT_TRUE(t->Locate("k", 1));
  EXPECT_EQ(t->FieldByName("ID").AsInteger(), 2);
  t->SetFilter("G=\"b\"");
  t->SetFiltered(true);
  ASSERT_TRUE(t->Locate("K", 2));  // row 1 and 3 are filtered out
  EXPECT_EQ(t->FieldByName("ID").AsInteger(), 6);
  EXPECT_FALSE(t->Locate("K", 5));
}

TEST_F(IndexTest, FilterAndCallbackMakeTheViewAndABadFilterKeepsThePreviousOne) {
  int asked = 0;
  t->SetRowFilter([&](const RowView& r) {
    ++asked;
    return r.AsInteger("k") != 3;
  });
  t->SetIndex("KEY");
  t->SetFilter("D>\"01.03.2024\" AND NOT G='b'");
  EXPECT_EQ(Column(*t, "ID").size(), 6u);  // filtering is off
  EXPECT_EQ(asked, 0);
  t->SetFiltered(true);
  EXPECT_EQ(Column(*t, "ID"), (std::vector<std::string>{"5"}));  // 3: null date; 1: 01.03.
  t->SetFilter("D>\"01.03.2024\" OR K=1");
  EXPECT_EQ(Column(*t, "ID"), (std::vector<std::string>{"2", "5", "6"}));  // 4 rejected by the callback
  EXPECT_EQ(t->RecordCount(), 3);
  EXPECT_GT(asked, 0);

  for (const char* bad : {"K=", "(K=1", "K=1)", "X=1", "D>\"31.02.2024\"", "K=\"1\"", "G=1", "K=1 AND"}) {
    EXPECT_THROW(t->SetFilter(bad), Error) << bad;
    EXPECT_EQ(t->Filter(), "D>\"01.03.2024\" OR K=1");
    EXPECT_EQ(t->RecordCount(), 3) << bad;
  }
  // A callback that reads a field only for some rows still sees its true value.
  t->SetRowFilter([](const RowView& r) { return r.AsInteger("K") != 2 || r.AsString("G") == "b"; });
  t->SetFilter("");
  t->Refresh();
  EXPECT_EQ(Column(*t, "ID"), (std::vector<std::string>{"2", "5", "6", "4"}));
  t->SetFilter("K=1000");
  EXPECT_TRUE(t->IsEmpty());
  EXPECT_TRUE(t->Bof());
  EXPECT_TRUE(t->Eof());
}

TEST_F(IndexTest, BookmarksReturnToTheRowAndFailForRowsOutsideTheView) {
  t->SetIndex("KEY");
  t->First();
  t->Next();
  Bookmark b = t->GetBookmark();  // ID 5
  t->Last();
  t->GotoBookmark(b);
  EXPECT_EQ(t->FieldByName("ID").AsInteger(), 5);
  t->SetFilter("K=2");
  t->SetFiltered(true);
  EXPECT_THROW(t->GotoBookmark(b), Error);
}

TEST_F(IndexTest, EditPostCancelAndDeleteKeepTheCursorWhereCallersExpectIt) {
  t->SetIndex("KEY");
  t->First();  // ID 2 (K=1)
  t->Edit();
  t->FieldByName("G").SetString("changed");
  t->Cancel();
  EXPECT_EQ(t->FieldByName("G").AsString(), "b");
  t->Edit();
  t->FieldByName("K").SetInteger(9);
  t->Post();
  EXPECT_EQ(t->FieldByName("ID").AsInteger(), 2);  // stays on the row it moved
  t->First();
  EXPECT_EQ(t->FieldByName("ID").AsInteger(), 5);
  t->Delete();  // moves to the next row
  EXPECT_EQ(t->FieldByName("ID").AsInteger(), 1);
  EXPECT_EQ(t->RecordCount(), 5);
  t->Last();
  EXPECT_EQ(t->FieldByName("ID").AsInteger(), 2);
  t->Delete();  // the last row: the cursor is at the end
  EXPECT_TRUE(t->Eof());
  for (t->First(); !t->IsEmpty();) t->Delete();
  EXPECT_TRUE(t->Eof());
  EXPECT_EQ(t->RecordCount(), 0);
}

TEST_F(IndexTest, EditPostNextVisitsEveryRowOfTheViewOnce) {
  // Each visited row flips G between "a" and "c"; under the filter a flipped row may leave
  // the view, and Next must still go on to the row that followed it.
  struct Case {
    const char* index;
    const char* filter;  // "" = unfiltered
    std::vector<std::string> visited, view_after;
  };
  const Case cases[] = {
      {"", "", {"1", "2", "3", "4", "5", "6"}, {"1", "2", "3", "4", "5", "6"}},
      {"KEY", "G='a' OR K=3", {"5", "1", "3", "4"}, {"4"}},
      {"KEYD", "G='a' OR K=3", {"4", "1", "3", "5"}, {"4"}},
      {"", "G='a'", {"1", "3", "5"}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.index) + " / " + c.filter);
    t->SetFiltered(false);
    t->SetIndex("");
    for (t->First(); !t->Eof(); t->Next()) {  // G back to "a" for odd IDs, "b" for even
      t->Edit();
      t->FieldByName("G").SetString(t->FieldByName("ID").AsInteger() % 2 ? "a" : "b");
      t->Post();
    }
    t->SetIndex(c.index);
    if (*c.filter) {
      t->SetFilter(c.filter);
      t->SetFiltered(true);
    }
    std::vector<std::string> visited;
    for (t->First(); !t->Eof(); t->Next()) {
      visited.push_back(t->FieldByName("ID").AsString());
      t->Edit();
      t->FieldByName("G").SetString(t->FieldByName("G").AsString() == "a" ? "c" : "a");
      t->Post();
      if (visited.size() > 10) break;
    }
    EXPECT_EQ(visited, c.visited);
    EXPECT_EQ(Column(*t, "ID"), c.view_after);
  }
}

TEST_F(IndexTest, APostThatSucceededIsNotReportedAsFailedByTheViewCallback) {
  bool fail_on_boom = false;
  t->SetRowFilter([&](const RowView& r) {
    if (fail_on_boom && r.AsString("G") == "boom") throw Error("Prüfung fehlgeschlagen");
    return true;
  });
  t->SetFiltered(true);
  t->First();
  t->Edit();
  t->FieldByName("G").SetString("boom");
  fail_on_boom = true;
  EXPECT_NO_THROW(t->Post());
  EXPECT_THROW(t->Next(), Error);  // the next look at the view reports it
  fail_on_boom = false;
  t->Refresh();
  EXPECT_EQ(t->FieldByName("G").AsString(), "boom");
}

TEST_F(IndexTest, DeletingInACheckedViewMovesToTheNextVisibleRow) {
  // Rows checked one by one (unindexed G, callback): deleting must keep the view's
  // bookkeeping of what was already checked.
  t->SetIndex("KEY");  // 2,5,1,3,6,4
  t->SetRowFilter([](const RowView& r) { return r.AsInteger("ID") != 3; });
  t->SetFilter("G='a' OR K=3");
  t->SetFiltered(true);
  EXPECT_EQ(Column(*t, "ID"), (std::vector<std::string>{"5", "1", "4"}));
  t->First();
  t->Delete();
  EXPECT_EQ(t->FieldByName("ID").AsInteger(), 1);
  t->Delete();
  EXPECT_EQ(t->FieldByName("ID").AsInteger(), 4);
  EXPECT_EQ(t->RecordCount(), 1);
  t->SetFiltered(false);
  EXPECT_EQ(Column(*t, "ID"), (std::vector<std::string>{"2", "3", "6", "4"}));
}

TEST_F(IndexTest, DisabledControlsHoldBackChangeNotices) {
  int notices = 0;
  t->SetChangeListener([&] { ++notices; });
  t->First();
  EXPECT_EQ(notices, 1);
  t->DisableControls();
  t->DisableControls();
  for (t->First(); !t->Eof(); t->Next()) {
  }
  t->EnableControls();
  EXPECT_EQ(notices, 1);
  EXPECT_TRUE(t->ControlsDisabled());
  t->EnableControls();
  EXPECT_EQ(notices, 2);  // one notice for everything that happened meanwhile
}

TEST_F(TableTest, RestructureRetypesAFieldAndKeepsRowsAndTags) {
  Make("A.ADT", {"ID:autoinc", "Name:text:10", "M:memo"});
  {
    Table t(conn, "A.ADT");
    t.Open();
    for (const char* n : {"x", "y"}) {
      t.Insert();
      t.FieldByName("Name").SetString(n);
      t.FieldByName("M").SetString(std::string("memo ") + n);
      t.Post();
    }
    t.AddIndex("ID", "ID", false);
  }
  Table t(conn, "A.ADT");
  t.Restructure("ID,ID,integer,0");
  EXPECT_THROW(t.Restructure("Nope,X,integer,0"), Error);
  EXPECT_THROW(t.Restructure("Name,Name,integer,0"), Error);  // "x" is no number: nothing changes
  t.Open(true);
  EXPECT_EQ(t.Fields()[0].type, FieldType::Integer);
  EXPECT_EQ(t.Fields()[1].type, FieldType::Text);
  t.SetIndex("ID");
  EXPECT_EQ(Column(t, "Name"), (std::vector<std::string>{"x", "y"}));
  EXPECT_EQ(Column(t, "M"), (std::vector<std::string>{"memo x", "memo y"}));
  t.Insert();
  t.FieldByName("ID").SetInteger(4711);
  t.Post();
  ASSERT_TRUE(t.Seek("4711"));
  EXPECT_THROW(t.Restructure("ID,ID,autoinc,0"), Error);  // only while closed
}

TEST_F(TableTest, NamesAreFoundInAnyLetterCase) {
  Make("Auftraege.ADT", {"ID:autoinc"});
  Table t(conn, "auftraege.adt");
  t.Open();
  EXPECT_EQ(std::filesystem::path(t.FilePath()).filename(), "Auftraege.ADT");
  // Creating again under another case replaces the table instead of adding a twin.
  t.Close();
  Table::Create(dir / "AUFTRAEGE.ADT", {{"ID", FieldType::Integer, 0}});
  int n = 0;
  for (auto& e : std::filesystem::directory_iterator(dir.path())) n += e.path().extension() != "" ? 1 : 0;
  EXPECT_EQ(n, 3);
}

TEST_F(TableTest, MissingDamagedAndMismatchedFilesGiveClearErrors) {
  auto open_error = [&](const std::string& name) -> std::string {
    Table t(conn, name);
    try {
      t.Open();
    } catch (const Error& e) {
      return e.what();
    }
    return "";
  };
  EXPECT_THAT(open_error("Missing.ADT"), HasSubstr("nicht gefunden"));

  mrw::test::WriteFile(dir / "Junk.ADT", std::string(2000, 'x'));
  mrw::test::WriteFile(dir / "Junk.ADM", "");
  mrw::test::WriteFile(dir / "Junk.ADI", "");
  EXPECT_THAT(open_error("Junk.ADT"), HasSubstr("beschädigt"));

  Make("A.ADT", {"ID:autoinc"});
  Make("B.ADT", {"ID:autoinc"});
  std::filesystem::copy_file(dir / "B.ADM", dir / "A.ADM", std::filesystem::copy_options::overwrite_existing);
  EXPECT_THAT(open_error("A.ADT"), HasSubstr("gehören nicht zusammen"));
  std::filesystem::remove(dir / "B.ADI");
  EXPECT_THAT(open_error("B.ADT"), HasSubstr("B.ADI fehlt"));

  Connection none;
  none.SetPath(dir / "no-such-folder");
  EXPECT_THROW(none.Open(), Error);
  EXPECT_FALSE(none.IsOpen());
  Table t(none, "A.ADT");
  EXPECT_THROW(t.Open(), Error);
}

TEST_F(TableTest, ExclusiveOpenExcludesEveryOtherOpen) {
  Make("X.ADT", {"ID:autoinc"});
  Table a(conn, "X.ADT"), b(conn, "X.ADT");
  a.Open();
  EXPECT_THROW(b.Open(true), Error);
  b.Open();
  a.Close();
  EXPECT_THROW(a.Open(true), Error);
  b.Close();
  a.Open(true);
  EXPECT_THROW(b.Open(), Error);
  conn.Close();  // closes its tables
  EXPECT_FALSE(a.IsOpen());
}

}  // namespace
}  // namespace mrw::db::test
