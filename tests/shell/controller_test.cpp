// The controller's start and selection handlers on a demo host database.
#include <gtest/gtest.h>

#include <filesystem>

#include "foundation/user_mode.h"
#include "shell/controller_fixture.h"

namespace mrw::shell::test {
namespace {

namespace fs = std::filesystem;

TEST_F(ControllerTest, StartOpensDatabaseAndShowsToday) {
  Controller& c = Start();
  EXPECT_FALSE(view_.closed);
  EXPECT_TRUE(view_.messages.empty());
  EXPECT_EQ(view_.caption, "Auftrag-Export,  Datenbank: " + db_);
  EXPECT_EQ(view_.status[0], " Heute: 03.04.2024");
  EXPECT_EQ(view_.range_down, RangeButton::Today);
  EXPECT_FALSE(view_.Enabled(Control::Next));
  EXPECT_FALSE(view_.Enabled(Control::Cancel));
  EXPECT_EQ(c.BaseFilter(), " (POT<>1 ) AND  (POT<>5) AND ");
  EXPECT_EQ(c.auto_mode_state(), amNone);

  // Without stored boxes only finished quotations show, and that default is not stored.
  EXPECT_TRUE(c.type_filter().Checked(selection::TypeColumn::Finished, 1));
  EXPECT_FALSE(fs::exists(db_ + "marrowby_setup/MARROWBY.INI"));
  EXPECT_EQ(ShownIdSet(), Expected(D(2024, 4, 3), D(2024, 4, 3)));
  // The only-save mode is stored as it is switched at start.
  EXPECT_TRUE(fs::exists(db_ + "marrowby_setup/UserMode.INI"));
  EXPECT_FALSE(c.OnlySave());
  EXPECT_TRUE(view_.Visible(Control::Send));

  // Settings rows of the demo database: read into the values the package takes.
  EXPECT_FALSE(c.host().settings().DatabaseGUID.empty());
}

TEST_F(ControllerTest, StartWithoutArgumentsOrDatabaseCloses) {
  struct Case {
    std::vector<std::string> args;
    bool message;
  };
  const Case cases[] = {
      {{"", "", ""}, false},
      {{db_, "1", ""}, false},
      {{dir_.str() + "missing/", "1", "12340"}, true},
      {{"install", "1", "12340"}, true},  // not the registration mode: a folder
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[0]);
    view_ = ScriptedView{};
    Start(c.args);
    EXPECT_TRUE(view_.closed);
    if (c.message) {
      EXPECT_EQ(view_.messages, std::vector<std::string>{kConnectFailedMessage});
    } else {
      EXPECT_TRUE(view_.messages.empty());
    }
  }
}

struct RangeCase {
  const char* name;
  DateTime today;
  char button;  // 'd', 'w', 'm'
  DateTime first, last;
  const char* status;
};

TEST_F(ControllerTest, RangeButtonsShowExactlyTheirDays) {
  const RangeCase cases[] = {
      {"Woche, Wednesday", D(2024, 4, 3), 'w', D(2024, 3, 31), D(2024, 4, 6),
       " Woche vom 31.03.2024 bis 06.04.2024"},
      {"Woche, Sunday", D(2024, 4, 7), 'w', D(2024, 4, 7), D(2024, 4, 13),
       " Woche vom 07.04.2024 bis 13.04.2024"},
      {"Woche, Saturday", D(2024, 4, 6), 'w', D(2024, 3, 31), D(2024, 4, 6),
       " Woche vom 31.03.2024 bis 06.04.2024"},
      {"30Tage", D(2024, 3, 15), 'm', D(2024, 2, 14), D(2024, 3, 15),
       " Monat vom 01.03.2024 bis 31.03.2024"},
      {"Heute", D(2024, 4, 2), 'd', D(2024, 4, 2), D(2024, 4, 2), " Heute: 02.04.2024"},
  };
  Start();
  TickAllBoxes();
  for (const auto& rc : cases) {
    SCOPED_TRACE(rc.name);
    clock_.Set(rc.today + kAfternoon);
    if (rc.button == 'w') controller_->fwClick();
    if (rc.button == 'm') controller_->fmClick();
    if (rc.button == 'd') controller_->fdClick();
    std::set<int64_t> expected = Expected(rc.first, rc.last);
    EXPECT_EQ(ShownIdSet(), expected);
    EXPECT_EQ(view_.status[0], rc.status);
    EXPECT_EQ(view_.Enabled(Control::Save), !expected.empty());
    EXPECT_EQ(view_.status[1], expected.empty() ? "Für den gewählten Bereich keine Aufträge." : "");
    if (rc.button != 'd') {
      EXPECT_EQ(DateOf(view_.edit_begin), rc.first);
      EXPECT_EQ(DateOf(view_.edit_end), rc.last);
    }
  }
}

TEST_F(ControllerTest, DateEditsChooseInclusiveRangeAndRefuseEndBeforeBegin) {
  Start();
  TickAllBoxes();
  controller_->dcdatebeginChange(D(2024, 3, 20));
  controller_->dcdateendChange(D(2024, 3, 20));
  EXPECT_EQ(ShownIdSet(), Expected(D(2024, 3, 20), D(2024, 3, 20)));
  EXPECT_EQ(view_.status[0], " Bereich vom 20.03.2024 bis 20.03.2024");
  EXPECT_EQ(view_.range_down, RangeButton::None);

  controller_->dcdateendChange(D(2024, 3, 27));
  auto before = ShownIds();
  ASSERT_FALSE(before.empty());
  controller_->orders().First();
  ASSERT_TRUE(controller_->MarkCurrentRow());
  controller_->dcdateendChange(D(2024, 3, 19));  // one day before the begin
  EXPECT_EQ(view_.messages, std::vector<std::string>{"<B>Startdatum ist kleiner als Enddatum."});
  EXPECT_EQ(ShownIds(), before);
  EXPECT_EQ(view_.status[0], " Bereich vom 20.03.2024 bis 27.03.2024");
  EXPECT_EQ(controller_->marks().Count(), 1u);
}

TEST_F(ControllerTest, EmptyRangeDisablesExportAndNextRangeRestoresIt) {
  Start();
  controller_->dcdateendChange(D(2030, 1, 2));
  controller_->dcdatebeginChange(D(2030, 1, 1));
  EXPECT_TRUE(ShownIds().empty());
  EXPECT_FALSE(view_.Enabled(Control::Save));
  EXPECT_FALSE(view_.Enabled(Control::Send));
  EXPECT_EQ(view_.status[1], "Für den gewählten Bereich keine Aufträge.");

  TickAllBoxes();
  controller_->fmClick();
  ASSERT_FALSE(ShownIds().empty());
  EXPECT_TRUE(view_.Enabled(Control::Save));
  EXPECT_TRUE(view_.Enabled(Control::Send));
  EXPECT_EQ(view_.status[1], "");
}

TEST_F(ControllerTest, RangeChangeForgetsMarksTypeClickKeepsThem) {
  Start();
  TickAllBoxes();
  controller_->fmClick();
  auto ids = ShownIds();
  ASSERT_GE(ids.size(), 3u);
  db::Table& t = controller_->orders();
  t.First();
  controller_->MarkCurrentRow();
  t.Next();
  controller_->MarkCurrentRow();
  EXPECT_FALSE(controller_->MarkCurrentRow());  // a row is marked once
  controller_->editgridCheckBoxClick(2, 10, false);
  EXPECT_EQ(controller_->marks().Count(), 2u);
  controller_->fmClick();  // same rows still shown, marks gone all the same
  EXPECT_EQ(controller_->marks().Count(), 0u);
}

TEST_F(ControllerTest, TypeBoxesAreStoredAndClearingAllEmptiesTheView) {
  Start();
  controller_->fmClick();
  std::string status0 = view_.status[0];
  controller_->editgridCheckBoxClick(2, 5, true);  // unfinished order confirmations
  EXPECT_EQ(ShownIdSet(), Expected(D(2024, 3, 4), D(2024, 4, 3)));
  controller_->editgridCheckBoxClick(1, 1, false);
  controller_->editgridCheckBoxClick(2, 5, false);
  EXPECT_TRUE(ShownIds().empty());
  EXPECT_FALSE(view_.Enabled(Control::Save));
  EXPECT_EQ(view_.status[0], status0);  // status texts stay as they are

  // Next start: nothing stored ticked, so the default is back.
  controller_.reset();
  Start();
  EXPECT_TRUE(controller_->type_filter().Checked(selection::TypeColumn::Finished, 1));

  // A stored single box is taken as it is, without the default.
  controller_->editgridCheckBoxClick(2, 5, true);
  controller_->editgridCheckBoxClick(1, 1, false);
  controller_.reset();
  Start();
  EXPECT_FALSE(controller_->type_filter().Checked(selection::TypeColumn::Finished, 1));
  EXPECT_TRUE(controller_->type_filter().Checked(selection::TypeColumn::Unfinished, 5));
}

TEST_F(ControllerTest, TitleClicksSortByTheirTags) {
  Start();
  TickAllBoxes();
  controller_->fmClick();
  controller_->DBGrid_ORDERSMRWXTitleClick("KNR");
  EXPECT_EQ(controller_->orders().Index(), "");
  controller_->DBGrid_ORDERSMRWXTitleClick("Date");
  EXPECT_EQ(controller_->orders().Index(), "DATE");
  std::vector<DateTime> dates;
  db::Table& t = controller_->orders();
  for (t.First(); !t.Eof(); t.Next()) dates.push_back(t.FieldByName("Date").AsDate());
  EXPECT_TRUE(std::is_sorted(dates.rbegin(), dates.rend()));  // the tag is descending
  controller_->DBGrid_ORDERSMRWXTitleClick("ID_ORDER");
  EXPECT_EQ(controller_->orders().Index(), "ID_ORDER");
  EXPECT_EQ(ShownIdSet(), Expected(D(2024, 3, 4), D(2024, 4, 3)));
}

TEST_F(ControllerTest, HeaderLinkTogglesOnlySaveAndItsControls) {
  Start();
  std::string settings = db_ + "marrowby_setup/";
  controller_->HTMLabel1AnchorClick("A");
  EXPECT_TRUE(controller_->OnlySave());
  EXPECT_TRUE(UserModeReadBool("MRW.OnlySave", false, settings));
  for (Control c : {Control::AccountLabel, Control::AccountBox, Control::Send, Control::FolderButton}) {
    EXPECT_FALSE(view_.Visible(c));
  }
  EXPECT_TRUE(view_.Visible(Control::Save));

  // A new start takes the stored mode.
  controller_.reset();
  Start();
  EXPECT_TRUE(controller_->OnlySave());
  controller_->HTMLabel1AnchorClick("A");
  EXPECT_FALSE(UserModeReadBool("MRW.OnlySave", true, settings));
  EXPECT_TRUE(view_.Visible(Control::Send));
}

}  // namespace
}  // namespace mrw::shell::test
