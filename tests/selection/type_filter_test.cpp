#include "selection/type_filter.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "common/temp_dir.h"

namespace mrw::selection {
namespace {

using mrw::test::TempDir;

TEST(TypeFilter, RowsAreTheTypeCodesWithoutInvoicesCreditNotesAndMulti) {
  const int codes[] = {2, 3, 4, 6, 7, 8, 9, 10, 11, 12};
  for (int row = 1; row <= kTypeRows; ++row) {
    EXPECT_EQ(TypeCodeOfRow(row), codes[row - 1]);
    EXPECT_EQ(RowOfTypeCode(codes[row - 1]), row);
  }
  for (int code : {0, 1, 5, 13, 14}) EXPECT_EQ(RowOfTypeCode(code), 0) << code;
  EXPECT_EQ(DocumentTypeName(7), "AUFTRAGSBESTÄTIGUNG");
  EXPECT_EQ(DocumentTypeName(13), "MULTI");
}

TEST(TypeFilter, AcceptsByLowBitsOfTypeAndStatus) {
  TypeFilter f;
  f.Set(TypeColumn::Finished, 1, true);    // ANGEBOT, status 2
  f.Set(TypeColumn::Unfinished, 5, true);  // AUFTRAGSBESTÄTIGUNG, status 0
  struct Case {
    long long pot, status;
    bool accepted;
  } cases[] = {
      {2, 2, true},    {2, 0, false},   {130, 2, true},  // 130 & 127 = 2
      {129, 2, false}, {133, 2, false}, {13, 2, false},  // 1, 5 and MULTI have no row
      {7, 0, true},    {7, 2, false},   {7, 256, true},  // status: low 8 bits
      {2, 1, false},   {7, 1, false},   {0, 2, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(f.Accepts(c.pot, c.status, false), c.accepted) << c.pot << "/" << c.status;
  }
  EXPECT_TRUE(f.Accepts(13, 1, true));  // the automatic mode accepts every row
}

TEST(TypeFilter, LoadTakesStoredBoxesOrTheUnstoredDefault) {
  TempDir dir;
  const std::string ini = dir / "setup/MARROWBY.INI";
  TypeFilter f;
  f.Load(ini);  // no file: only finished quotations, nothing written
  EXPECT_TRUE(f.Checked(TypeColumn::Finished, 1));
  EXPECT_FALSE(f.Checked(TypeColumn::Unfinished, 1));
  EXPECT_FALSE(std::filesystem::exists(ini));

  mrw::test::WriteFile(ini, "[OP1]\r\n5=1\r\n");
  f.Load(ini);
  for (int row = 1; row <= kTypeRows; ++row) {
    EXPECT_EQ(f.Checked(TypeColumn::Finished, row), false) << row;
    EXPECT_EQ(f.Checked(TypeColumn::Unfinished, row), row == 5) << row;
  }
}

TEST(TypeFilter, ClickIsStoredBoxByBoxAndAnUnwritableFileIsIgnored) {
  TempDir dir;
  const std::string ini = dir / "MARROWBY.INI";
  TypeFilter f;
  f.Click(TypeColumn::Unfinished, 3, true, ini);
  f.Click(TypeColumn::Finished, 10, true, ini);
  f.Click(TypeColumn::Finished, 10, false, ini);
  TypeFilter g;
  g.Load(ini);
  EXPECT_TRUE(g.Checked(TypeColumn::Unfinished, 3));
  EXPECT_FALSE(g.Checked(TypeColumn::Finished, 10));
  EXPECT_FALSE(g.Checked(TypeColumn::Finished, 1));  // a stored box: no default

  mrw::test::WriteFile(dir / "file", "x");
  EXPECT_NO_THROW(f.Click(TypeColumn::Finished, 2, true, dir / "file/MARROWBY.INI"));
  EXPECT_TRUE(f.Checked(TypeColumn::Finished, 2));
}

}  // namespace
}  // namespace mrw::selection
