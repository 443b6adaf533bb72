// The reader: faults in hand-made archives are found at their offsets, and no single
// corrupted byte of a written package's structure goes unnoticed.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "archive/backup_file.h"
#include "archive/file_list.h"
#include "archive/package.h"
#include "archive/reader.h"
#include "archive_fixtures.h"
#include "common/temp_dir.h"

namespace mrw::archive {
namespace {

namespace fs = std::filesystem;
using mrw::test::ReadFile;
using mrw::test::TempDir;
using mrw::test::WriteFile;
using test::FreshZlib;
using test::RandomBytes;
using test::RawArchive;
using test::TextBytes;

struct FaultSeen {
  bool thrown = false;
  std::int64_t offset = -1;
  std::string what;
};

FaultSeen ReadFault(const std::string& path, const ReadOptions& options = {}) {
  try {
    ReadArchive(path, options);
  } catch (const ArchiveFault& fault) {
    return {true, fault.offset(), fault.description()};
  }
  return {};
}

TEST(ArchiveReader, FindsFaultsOfHandMadeArchivesAtTheirOffsets) {
  struct Case {
    const char* what;
    std::function<std::int64_t(RawArchive&)> build;  // returns the fault's offset
    std::string message;
  };
  const std::string zero(1, '\0');
  const std::vector<Case> cases = {
      {"dot-dot part", [](RawArchive& a) { a.Name("\\tmp\\..\\x.txt").Mark().Int(0).Int(0); return 12 + 4 + 5; },
       "\"..\""},
      {"upper-case letter", [](RawArchive& a) { a.Name("\\tmp\\X.txt").Mark().Int(0).Int(0); return 12 + 4 + 5; },
       "upper-case"},
      {"relative name", [](RawArchive& a) { a.Name("tmp\\x.txt").Mark().Int(0).Int(0); return 16; },
       "not a full path"},
      {"segment mark",
       [](RawArchive& a) {
         a.Name("\\x");
         std::int64_t at = static_cast<std::int64_t>(a.bytes.size());
         a.Int(0x00324345 + 1).Int(0).Int(0);
         return at;
       },
       "segment mark"},
      {"chunk too long",
       [](RawArchive& a) {
         a.Name("\\x").Mark();
         std::int64_t at = static_cast<std::int64_t>(a.bytes.size());
         a.Int(16385).bytes += std::string(16385, 'x');
         a.Int(0).Int(0);
         return at;
       },
       "out of range"},
      {"bytes behind the zlib stream",
       [](RawArchive& a) {
         a.Name("\\x").Mark();
         std::int64_t at = static_cast<std::int64_t>(a.bytes.size());
         a.Compressed(FreshZlib("abc", 1) + "x").Int(0).Int(0);
         return at;
       },
       "ends before the chunk's end"},
      {"more than a chunk inflated",
       [](RawArchive& a) {
         a.Name("\\x").Mark();
         std::int64_t at = static_cast<std::int64_t>(a.bytes.size());
         a.Compressed(FreshZlib(TextBytes(16385), 1)).Int(0).Int(0);
         return at;
       },
       "more than 16384"},
      {"empty zlib stream",
       [](RawArchive& a) {
         a.Name("\\x").Mark();
         std::int64_t at = static_cast<std::int64_t>(a.bytes.size());
         a.Compressed(FreshZlib("", 1)).Int(0).Int(0);
         return at;
       },
       "no bytes"},
      {"wrong Adler-32",
       [](RawArchive& a) {
         a.Name("\\x").Mark();
         std::int64_t at = static_cast<std::int64_t>(a.bytes.size());
         std::string stream = FreshZlib("Auftrag", 1);
         stream.back() ^= 1;
         a.Compressed(stream).Int(0).Int(0);
         return at;
       },
       "Adler-32"},
      {"chunk after a short chunk",
       [](RawArchive& a) {
         a.Name("\\x").Mark().Stored("ab");
         std::int64_t at = static_cast<std::int64_t>(a.bytes.size());
         a.Stored("cd").Int(0).Int(0);
         return at;
       },
       "after a chunk of less"},
      {"names equal but for case",
       [](RawArchive& a) {
         a.Name("\\a\\\xE4.txt").Mark().Int(0);
         std::int64_t at = static_cast<std::int64_t>(a.bytes.size());
         a.Name("\\a\\\xC4.txt").Mark().Int(0).Int(0);
         return at;
       },
       "occurs twice"},
      {"invalid date",
       [](RawArchive& a) {
         a.Int(2).bytes += "\\x";
         std::int64_t at = static_cast<std::int64_t>(a.bytes.size());
         a.Int(0x00010000).Mark().Int(0).Int(0);  // day 1 of month 0
         return at;
       },
       "invalid DOS date"},
      {"garbage behind the end mark",
       [](RawArchive& a) {
         a.Int(0);
         std::int64_t at = static_cast<std::int64_t>(a.bytes.size());
         a.bytes += "xy";
         return at;
       },
       "2 bytes after the end mark"},
      {"switch record in a single volume",
       [](RawArchive& a) {
         a.Name("\\x").Mark().Int(0);
         std::int64_t at = static_cast<std::int64_t>(a.bytes.size());
         a.Int(12).bytes += "NEXT:DISK002";
         return at;
       },
       "archive continues in another volume"},
      {"file list size differs",
       [](RawArchive& a) {
         std::string list = FileListLineText("\\x", -1, 5);
         a.bytes.clear();
         a.Header("", static_cast<std::int32_t>(list.size() + 5), 1).Name("FILE:LIST").Mark().Stored(list).Int(0);
         std::int64_t at = static_cast<std::int64_t>(a.bytes.size());
         a.Name("\\x").Mark().Stored("abc").Int(0).Int(0);
         return at;
       },
       "size 3 differs"},
      {"total size differs from the file list",
       [](RawArchive& a) {
         std::string list = FileListLineText("\\x", -1, 3);
         a.bytes.clear();
         a.Header("", static_cast<std::int32_t>(list.size() + 4), 1).Name("FILE:LIST").Mark().Stored(list).Int(0);
         a.Name("\\x").Mark().Stored("abc").Int(0).Int(0);
         return 4;
       },
       "total size"},
  };
  TempDir tmp;
  for (const Case& c : cases) {
    RawArchive archive;
    archive.Header("", 100000, 5);
    std::int64_t offset = c.build(archive);
    std::string path = tmp / "crafted.arc";
    WriteFile(path, archive.bytes);
    ReadOptions options;
    options.follow_volumes = false;
    FaultSeen fault = ReadFault(path, options);
    EXPECT_TRUE(fault.thrown) << c.what;
    EXPECT_EQ(fault.offset, offset) << c.what << ": " << fault.what;
    EXPECT_NE(fault.what.find(c.message), std::string::npos) << c.what << ": " << fault.what;
  }
}

// Where the bytes of a well-formed single-volume package lie that no check can judge:
// stored chunk contents (the format has no checksum for them), the file list's own date
// and the file count (it may exceed the entries, as files can vanish before packing).
std::vector<bool> UncheckableBytes(const std::string& p) {
  std::vector<bool> skip(p.size(), false);
  auto mark = [&](std::size_t from, std::size_t n) {
    for (std::size_t i = from; i < from + n; ++i) skip[i] = true;
  };
  std::size_t pos = 0;
  auto int32 = [&] {
    std::int32_t v = GetInt32(p.data() + pos);
    pos += 4;
    return v;
  };
  pos += static_cast<std::size_t>(int32());  // title
  pos += 4;                                  // total
  mark(pos, 4);
  pos += 4;
  bool first = true;
  for (std::int32_t name_length; (name_length = int32()) != 0; first = false) {
    pos += static_cast<std::size_t>(name_length);
    if (first) mark(pos, 4);
    pos += 4 + 4;  // date, segment mark
    for (std::int32_t n; (n = int32()) != 0;) {
      if (n < 0) mark(pos, static_cast<std::size_t>(-n));
      pos += static_cast<std::size_t>(n < 0 ? -n : n);
    }
  }
  return skip;
}

TEST(ArchiveReader, EveryCorruptedStructureByteOfAPackageIsFound) {
  TempDir tmp;
  WriteFile(tmp / "src/text.txt", TextBytes(20000));
  WriteFile(tmp / "src/empty.dat", "");
  WriteFile(tmp / "src/noise.bin", RandomBytes(kChunkSize + 10, 5));
  TBackupFile writer;
  SetPackageSettings(writer);
  std::string package = tmp / "good.qtf";
  ASSERT_TRUE(WritePackage(writer, {tmp / "src/*.*"}, package));
  ASSERT_FALSE(ReadFault(package).thrown);

  const std::string good = ReadFile(package);
  const std::vector<bool> skip = UncheckableBytes(good);
  std::string bad_path = tmp / "bad.qtf";
  int checked = 0;
  for (std::size_t i = 0; i < good.size(); ++i) {
    if (skip[i]) continue;
    std::string bad = good;
    bad[i] = static_cast<char>(bad[i] ^ 0xFF);
    WriteFile(bad_path, bad);
    EXPECT_TRUE(ReadFault(bad_path).thrown) << "byte " << i << " corrupted unnoticed";
    ++checked;
  }
  EXPECT_GT(checked, 400);  // the sweep did run over the structure
}

TEST(ArchiveReader, PackagesAreHeldToThePackageRules) {
  TempDir tmp;
  WriteFile(tmp / "a.txt", "a");
  std::string package = tmp / "p.qtf";
  TBackupFile writer;
  SetPackageSettings(writer);
  writer.BackupTitle("anders");
  ASSERT_TRUE(WritePackage(writer, {tmp / "a.txt"}, package));
  EXPECT_NE(ReadFault(package).what.find("package title"), std::string::npos);

  std::string archive = tmp / "a.arc";
  writer.BackupTitle(std::string(kPackageTitle));
  ASSERT_TRUE(writer.Backup({tmp / "a.txt"}, archive));
  EXPECT_FALSE(ReadFault(archive).thrown);
  ReadOptions strict;
  strict.require_package = true;
  EXPECT_NE(ReadFault(archive, strict).what.find("without trailer"), std::string::npos);
  ASSERT_TRUE(WritePackage(writer, {tmp / "a.txt"}, package));
  ArchiveInfo info = ReadArchive(package, strict);
  EXPECT_TRUE(info.has_trailer);
  EXPECT_EQ(ReadFile(package).substr(ReadFile(package).size() - 4), std::string(4, '\0'));
}

TEST(ArchiveReader, MissingVolumeIsAFault) {
  TempDir tmp;
  WriteFile(tmp / "data.bin", RandomBytes(3 * kChunkSize, 4));
  TBackupFile writer;
  writer.MaxSize(40000);
  ASSERT_TRUE(writer.Backup({tmp / "data.bin"}, tmp / "v.arc"));
  ASSERT_EQ(ReadArchive(tmp / "v.arc").volumes, 2u);
  fs::remove(tmp / "v.002");
  EXPECT_NE(ReadFault(tmp / "v.arc").what.find("next volume"), std::string::npos);
}

}  // namespace
}  // namespace mrw::archive
