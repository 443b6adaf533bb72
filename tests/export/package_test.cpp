#include "export/package.h"

#include <gtest/gtest.h>
#include <locale.h>

#include <cstdlib>
#include <filesystem>

#include "archive/collector.h"
#include "archive/reader.h"
#include "export/chain_fixture.h"
#include "export/locale_time.h"
#include "foundation/codepage.h"

namespace mrw {
namespace {

namespace fs = std::filesystem;
using test::ChainFixture;
using test::LetterExtb;

const DateTime kWhen = EncodeDate(2024, 12, 9) + (14 * 60 + 5) / 1440.0;
const std::string kGuid = "0F8FAD5B-D9CB-469F-A165-70867728950E";

bool HasGermanLocale() {
  locale_t loc = newlocale(LC_TIME_MASK, "de_DE.UTF-8", nullptr);
  if (loc) freelocale(loc);
  return loc != nullptr;
}

TEST(PackageNameTest, BuiltFromTimeComputerUserAndGuidAndCleaned) {
  setenv("LC_ALL", "C", 1);
  struct Case {
    std::string computer, user, expected;
  };
  for (const Case& c : std::vector<Case>{
           {"WS07", "anna", "9.Dec.2024[14.05]WS07-anna[" + kGuid + "].Qtf"},
           {"WS:07", "an/na", "9.Dec.2024[14.05]WS07-anna[" + kGuid + "].Qtf"},
           {"", "", "9.Dec.2024[14.05]-[" + kGuid + "].Qtf"},
           {"PC 1", "Jörg Müller", "9.Dec.2024[14.05]PC 1-Jörg Müller[" + kGuid + "].Qtf"},
       }) {
    EXPECT_EQ(MakePackageFileName(kWhen, c.computer, c.user, kGuid), c.expected);
  }
  EXPECT_NE(MakePackageFileName(kWhen), MakePackageFileName(kWhen));
  unsetenv("LC_ALL");
  // A locale that is not installed gives the C names.
  EXPECT_EQ(ShortMonthName(12, "xx_YY.nirgends"), "Dec");
}

TEST(PackageNameTest, MonthNameFollowsTheUsersLocale) {
  if (!HasGermanLocale()) GTEST_SKIP() << "the locale de_DE.UTF-8 is not installed";
  setenv("LC_ALL", "de_DE.UTF-8", 1);
  EXPECT_EQ(ExportTimeStamp(kWhen), "9.Dez.2024[14.05]");
  EXPECT_EQ(ShortMonthName(3), "Mär");
  EXPECT_EQ(LongTimeText(kWhen + 9 / 86400.0), "14:05:09");
  unsetenv("LC_ALL");
}

TEST(PackageNameTest, DateTimeTextLeavesOutMidnight) {
  EXPECT_EQ(DateTimeText(EncodeDate(2024, 4, 3), "C"), "03.04.2024");
  EXPECT_EQ(DateTimeText(EncodeDate(2024, 4, 3) + 0.5, "C"), "03.04.2024 12:00:00");
}

TEST(PackageTextTest, InfoRtfAndLocalUsr) {
  EXPECT_EQ(InfoRtfLines(std::nullopt),
            (std::vector<std::string>{"Der Sender hat keine weiteren Infos hinterlegt."}));
  EXPECT_EQ(InfoRtfLines(""), (std::vector<std::string>{"Der Sender hat weitere Infos hinterlegt:"}));
  EXPECT_EQ(InfoRtfLines("Hallo\nzweite\r\n\r\nletzte\n"),
            (std::vector<std::string>{"Der Sender hat weitere Infos hinterlegt:", "Hallo", "zweite",
                                      "", "letzte"}));
  EXPECT_EQ(LocalUsrLines({}),
            (std::vector<std::string>{"{49DE51CE-4B66-4F67-AC13-360564A3F24A}",
                                      "Quillmar Auftrag Export", "[LOCAL]", "FirstOrderID2=",
                                      "FirstOrderID=0", "GUID="}));
}

class BuildPackageTest : public ::testing::Test {
 protected:
  // Two orders: the first (host ID 1) with two attachments and both letters, the second
  // with neither; transferred in the order 2, 1 so the new IDs differ from the old ones.
  void SetUp() override {
    int32_t a = f.AddOrder({.id_order = 10, .extb = LetterExtb("linkfile://Brief 7", "linkfile://Ende 7")});
    int32_t b = f.AddOrder({.id_order = 11});
    test::WriteFile(f.host_folder + "ORDER_LETTERS/Brief 7.RVF", "erster");
    test::WriteFile(f.host_folder + "ORDER_LETTERS_LAST/Ende 7.RVF", "letzter");
    test::WriteFile(f.host_folder + "L2ROOT_ORDER/1/Plan.pdf", std::string(40000, 'p'));
    test::WriteFile(f.host_folder + "L2ROOT_ORDER/1/angebot.txt", "Text");
    test::WriteFile(f.host_folder + "L2ROOT_ORDER/1/.versteckt", "nein");
    fs::create_directories(f.host_folder + "L2ROOT_ORDER/1/Unterordner");
    test::WriteFile(f.host_folder + "L2ROOT_ORDER/1/Unterordner/tief.txt", "nein");
    ASSERT_TRUE(f.Transfer({f.BookmarkOf(b), f.BookmarkOf(a)}));
    job.work_folder = f.work_folder;
    job.host_folder = f.host_folder;
    job.source = {"A-17", 5000, "{DB-GUID}"};
    job.out_dir = f.dir.str() + "aus/";
    job.file_name = "paket.Qtf";
    job.copy_retry = RetryPolicy{2, std::chrono::milliseconds(1)};
  }

  std::vector<std::string> EntryNames(const std::vector<archive::EntryContent>& entries) {
    std::vector<std::string> names;
    for (const auto& e : entries) names.push_back(e.info.name);
    return names;
  }

  std::string Data(const std::vector<archive::EntryContent>& entries, const std::string& path) {
    for (const auto& e : entries) {
      if (e.info.name == archive::EntryNameOf(path)) return e.data;
    }
    return "<fehlt>";
  }

  ChainFixture f;
  PackageJob job;
};

TEST_F(BuildPackageTest, PackageHoldsTheFixedFilesThenAttachmentsThenLetters) {
  f.ui.answer = true;
  f.ui.editor_text = "Bitte prüfen.\nDanke";

  ASSERT_TRUE(BuildPackage(job, f.state, f.ui));

  const std::string path = job.out_dir + "paket.Qtf";
  EXPECT_EQ(f.state.LastPackagePath, path);
  const std::string mrw = f.work_folder + "MRW/";
  std::vector<std::string> expected = {"FILE:LIST"};
  for (const char* name : {"info.rtf", "local.usr", "Adressen.adi", "Adressen.adt", "Adressen.adm",
                           "Auftraege.adi", "Auftraege.adt", "Auftraege.adm",
                           "L2ROOT_ORDER/2/angebot.txt", "L2ROOT_ORDER/2/Plan.pdf",
                           "ORDER_LETTERS/Brief 7.RVF", "ORDER_LETTERS_LAST/Ende 7.RVF"}) {
    expected.push_back(archive::EntryNameOf(mrw + name));
  }
  auto entries = archive::ReadArchiveContents(path, {.require_package = true});
  EXPECT_EQ(EntryNames(entries), expected);
  EXPECT_EQ(Data(entries, mrw + "info.rtf"),
            Utf8ToAnsi("Der Sender hat weitere Infos hinterlegt:\r\nBitte prüfen.\r\nDanke\r\n"));
  EXPECT_EQ(Data(entries, mrw + "local.usr"),
            "{49DE51CE-4B66-4F67-AC13-360564A3F24A}\r\nQuillmar Auftrag Export\r\n[LOCAL]\r\n"
            "FirstOrderID2=A-17\r\nFirstOrderID=5000\r\nGUID={DB-GUID}\r\n");
  EXPECT_EQ(Data(entries, mrw + "L2ROOT_ORDER/2/Plan.pdf"), std::string(40000, 'p'));
  EXPECT_EQ(Data(entries, mrw + "ORDER_LETTERS_LAST/Ende 7.RVF"), "letzter");

  std::string bytes = test::ReadFile(path);
  EXPECT_EQ(bytes.substr(bytes.size() - 4), std::string(4, '\0'));
  EXPECT_FALSE(f.ui.progress_visible);
  EXPECT_TRUE(f.ui.messages.empty());
}

TEST_F(BuildPackageTest, SenderMessageAnswers) {
  struct Case {
    bool answer;
    std::optional<std::string> editor;
    std::string info;
  };
  for (const Case& c : std::vector<Case>{
           {false, "nie gefragt", "Der Sender hat keine weiteren Infos hinterlegt.\r\n"},
           {true, std::nullopt, "Der Sender hat keine weiteren Infos hinterlegt.\r\n"},
           {true, "", "Der Sender hat weitere Infos hinterlegt:\r\n"},
       }) {
    f.ui.answer = c.answer;
    f.ui.editor_text = c.editor;
    f.ui.editor_runs = 0;
    job.out_dir = "";  // as Send builds it: in the export folder
    ASSERT_TRUE(BuildPackage(job, f.state, f.ui));
    EXPECT_EQ(f.state.LastPackagePath, f.work_folder + "MRW/paket.Qtf");
    auto entries = archive::ReadArchiveContents(f.state.LastPackagePath, {.require_package = true});
    EXPECT_EQ(Data(entries, f.work_folder + "MRW/info.rtf"), c.info);
    EXPECT_EQ(f.ui.editor_runs, c.answer ? 1 : 0);
  }
  ASSERT_EQ(f.ui.questions.size(), 3u);
  EXPECT_EQ(f.ui.questions[0], "<B>Möchten Sie weitere Informationen für diesen Export hinterlegen?");
}

TEST_F(BuildPackageTest, FailuresLeaveNoPackageAndTellTheUser) {
  // An attachment whose copy cannot be written, then an output folder that is a file.
  fs::create_directories(f.work_folder + "MRW/L2ROOT_ORDER/2/Plan.pdf");
  EXPECT_FALSE(BuildPackage(job, f.state, f.ui));
  EXPECT_FALSE(fs::exists(job.out_dir + "paket.Qtf"));
  ASSERT_EQ(f.ui.messages.size(), 1u);
  EXPECT_EQ(f.ui.messages[0].rfind("Folgender Fehler ist aufgetreten:\r\n", 0), 0u);
  EXPECT_NE(f.ui.messages[0].find("Plan.pdf kann nicht erstellt werden"), std::string::npos);

  fs::remove_all(f.work_folder + "MRW/L2ROOT_ORDER");
  test::WriteFile(f.dir.str() + "keinordner", "");
  job.out_dir = f.dir.str() + "keinordner/";
  EXPECT_FALSE(BuildPackage(job, f.state, f.ui));
  EXPECT_EQ(f.ui.messages.size(), 2u);
}

TEST_F(BuildPackageTest, AnExistingFileOfTheSameNameIsReplaced) {
  test::WriteFile(job.out_dir + "paket.Qtf", "alt");
  ASSERT_TRUE(BuildPackage(job, f.state, f.ui));
  EXPECT_NO_THROW(archive::ReadArchive(job.out_dir + "paket.Qtf", {.require_package = true}));
}

}  // namespace
}  // namespace mrw
