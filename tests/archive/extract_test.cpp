// Extraction: files come back byte for byte below the target folder, and nothing is
// written for names or links that would lead out of it.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "archive/backup_file.h"
#include "archive/dos_time.h"
#include "archive/extract.h"
#include "archive/package.h"
#include "archive/reader.h"
#include "archive_fixtures.h"
#include "common/temp_dir.h"
#include "foundation/errors.h"

namespace mrw::archive {
namespace {

namespace fs = std::filesystem;
using mrw::test::ReadFile;
using mrw::test::TempDir;
using mrw::test::WriteFile;
using test::RandomBytes;
using test::RawArchive;
using test::TextBytes;

TEST(ArchiveExtract, RestoresFilesBelowTheCommonFolder) {
  TempDir tmp;
  const std::string src = tmp / "work/MRW";
  const std::vector<std::pair<std::string, std::string>> files = {
      {"Auftraege.adt", TextBytes(50000)},
      {"info.rtf", "Der Sender hat keine weiteren Infos hinterlegt.\r\n"},
      {"L2ROOT_ORDER/1/scan.pdf", RandomBytes(40000, 11)},
      {"leer.txt", ""},
  };
  for (const auto& [name, content] : files) WriteFile(src + "/" + name, content);
  fs::last_write_time(src + "/info.rtf", fs::file_time_type::clock::now() - std::chrono::hours(30));

  TBackupFile writer;
  SetPackageSettings(writer);
  std::string package = tmp / "p.qtf";
  ASSERT_TRUE(WritePackage(writer, {src + "/*.* /s"}, package));

  std::string out = tmp / "out";
  auto written = ExtractArchive(package, out);
  EXPECT_EQ(written.size(), files.size());
  for (const auto& [name, content] : files) {
    // Names travel with A-Z lowered.
    std::string lowered = name;
    for (char& c : lowered) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(ReadFile(out + "/" + lowered), content) << name;
  }
  EXPECT_EQ(DosDateTimeOfFile(out + "/info.rtf"), DosDateTimeOfFile(src + "/info.rtf"));
}

TEST(ArchiveExtract, RelativePathsAndNamesThatWouldLeaveTheFolder) {
  EXPECT_EQ(RelativeExtractPaths({"\\tmp\\w\\mrw\\a.adt", "\\tmp\\w\\mrw\\l2\\1\\b.pdf"}),
            (std::vector<std::string>{"a.adt", "l2/1/b.pdf"}));
  EXPECT_EQ(RelativeExtractPaths({"c:\\daten\\x.txt"}), (std::vector<std::string>{"x.txt"}));
  EXPECT_EQ(RelativeExtractPaths({"\\tmp\\\xE4.txt"}), (std::vector<std::string>{"\xC3\xA4.txt"}));
  for (const std::vector<std::string>& bad : {
           std::vector<std::string>{"c:\\a\\x.txt", "\\b\\y.txt"},  // no common root: "c:" remains
           {"\\a\\..\\..\\x", "\\a\\y"},
           {"\\a\\b", "\\a\\b\\c"},  // a file where another entry needs a folder
       }) {
    EXPECT_THROW(RelativeExtractPaths(bad), mrw::Error) << bad.front();
  }
}

TEST(ArchiveExtract, RefusesCraftedPackagesBeforeWritingAnything) {
  TempDir tmp;
  // Different roots pass every layout check, but their remainder starts at a drive.
  RawArchive mixed;
  mixed.Header("", 2, 2).Name("c:\\a\\x.txt").Mark().Stored("x").Int(0);
  mixed.Name("\\b\\y.txt").Mark().Stored("y").Int(0).Int(0);
  // A climbing name is already a layout fault.
  RawArchive climbing;
  climbing.Header("", 1, 1).Name("\\a\\..\\..\\etc\\x").Mark().Stored("x").Int(0).Int(0);
  for (const RawArchive* crafted : {&mixed, &climbing}) {
    std::string path = tmp / "crafted.arc";
    WriteFile(path, crafted->bytes);
    std::string out = tmp / "out";
    EXPECT_THROW(ExtractArchive(path, out), mrw::Error);
    EXPECT_TRUE(!fs::exists(out) || fs::is_empty(out));
  }
}

TEST(ArchiveExtract, DoesNotFollowLinksPlantedInTheTarget) {
  TempDir tmp;
  WriteFile(tmp / "src/sub/x.txt", "neu");
  WriteFile(tmp / "src/y.txt", "y");
  TBackupFile writer;
  std::string archive = tmp / "a.arc";
  ASSERT_TRUE(writer.Backup({tmp / "src/*.* /s"}, archive));

  WriteFile(tmp / "outside/x.txt", "alt");
  fs::create_directories(tmp / "out");
  fs::create_directory_symlink(tmp / "outside", tmp / "out/sub");
  EXPECT_THROW(ExtractArchive(archive, tmp / "out"), mrw::Error);
  EXPECT_EQ(ReadFile(tmp / "outside/x.txt"), "alt");
}

}  // namespace
}  // namespace mrw::archive
