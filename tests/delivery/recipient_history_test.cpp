#include <gtest/gtest.h>

#include "common/temp_dir.h"
#include "delivery/recipient_history.h"
#include "foundation/fast_ini_file.h"

namespace mrw::delivery {
namespace {

using test::ReadFile;
using test::WriteFile;

class RecipientHistoryTest : public ::testing::Test {
 protected:
  test::TempDir dir;
  std::string settings = dir.str() + "marrowby_setup/";

  std::string Last() { return TFastIniFile(settings + "MARROWBY.INI").ReadString("LMAIL", "LAST", "<none>"); }
  std::string History() { return ReadFile(settings + "LASTOPEXPORT.TXT"); }

  // Shows the dialog, types `typed` into the address box and closes it.
  RecipientDialogState ShowTypeClose(const std::string& typed) {
    RecipientDialogState state = OpenRecipientDialog(settings);
    state.address = typed;
    CloseRecipientDialog(state);
    return state;
  }
};

TEST_F(RecipientHistoryTest, FirstUseStartsEmptyAndRecordsTheTrimmedAddress) {
  RecipientDialogState state = OpenRecipientDialog(settings);
  EXPECT_TRUE(state.history.empty());
  EXPECT_EQ(state.selected, -1);
  EXPECT_EQ(state.address, "");

  ShowTypeClose(" kunde@example.de\t");
  EXPECT_EQ(History(), "kunde@example.de\r\n");
  // Stored untrimmed (reading an INI value trims it again).
  EXPECT_NE(ReadFile(settings + "MARROWBY.INI").find("LAST= kunde@example.de\t\r\n"), std::string::npos);
}

TEST_F(RecipientHistoryTest, KnownAddressesKeepTheirPlaceWhateverTheirLetterCase) {
  WriteFile(settings + "LASTOPEXPORT.TXT", "b@x.de\r\nA@x.de\r\nc@x.de\r\n");
  WriteFile(settings + "MARROWBY.INI", "[LMAIL]\r\nLAST=zuletzt@x.de\r\n");

  RecipientDialogState state = OpenRecipientDialog(settings);
  EXPECT_EQ(state.history, (std::vector<std::string>{"b@x.de", "A@x.de", "c@x.de"}));
  EXPECT_EQ(state.selected, 0);
  EXPECT_EQ(state.address, "zuletzt@x.de");  // the last close wins over the selected line
  ChooseHistoryLine(state, 2);
  EXPECT_EQ(state.address, "c@x.de");
  CloseRecipientDialog(state);
  EXPECT_EQ(History(), "b@x.de\r\nA@x.de\r\nc@x.de\r\n");

  ShowTypeClose("a@X.DE ");
  EXPECT_EQ(History(), "b@x.de\r\nA@x.de\r\nc@x.de\r\n");
  EXPECT_EQ(Last(), "a@X.DE");

  ShowTypeClose("neu@x.de");
  EXPECT_EQ(History(), "neu@x.de\r\nb@x.de\r\nA@x.de\r\nc@x.de\r\n");
}

TEST_F(RecipientHistoryTest, AnEmptyAddressIsAddedOnceAndRemovalChangesTheFileOnClose) {
  ShowTypeClose("");
  ShowTypeClose("");
  EXPECT_EQ(History(), "\r\n");
  ShowTypeClose("x@y.de");
  EXPECT_EQ(History(), "x@y.de\r\n\r\n");

  RecipientDialogState state = OpenRecipientDialog(settings);
  ASSERT_TRUE(RemoveSelectedHistoryLine(state));
  EXPECT_FALSE(RemoveSelectedHistoryLine(state));  // nothing selected any more
  EXPECT_EQ(History(), "x@y.de\r\n\r\n");
  state.address = "";
  CloseRecipientDialog(state);
  EXPECT_EQ(History(), "\r\n");
}

TEST(RecipientAddress, OnlyTheButtonWantsAnAtSign) {
  EXPECT_TRUE(AddressMayBeConfirmed("a@b"));
  EXPECT_TRUE(AddressMayBeConfirmed("@"));
  EXPECT_FALSE(AddressMayBeConfirmed("kunde.example.de"));
  EXPECT_FALSE(AddressMayBeConfirmed(""));
}

}  // namespace
}  // namespace mrw::delivery
