// The archive writer: bytes of the layout, chunking, names, collecting, events, volumes
// and failures.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "archive/backup_errors.h"
#include "archive/backup_file.h"
#include "archive/collector.h"
#include "archive/dos_time.h"
#include "archive/file_list.h"
#include "archive/reader.h"
#include "archive_fixtures.h"
#include "common/temp_dir.h"
#include "foundation/codepage.h"
#include "foundation/errors.h"

namespace mrw::archive {
namespace {

namespace fs = std::filesystem;
using mrw::test::ReadFile;
using mrw::test::TempDir;
using mrw::test::WriteFile;
using test::Int32Le;
using test::RandomBytes;
using test::Record;
using test::RunLog;
using test::TextBytes;

// Points the system's temporary folder (where the file list is saved) at a test folder.
class TempPathGuard {
 public:
  explicit TempPathGuard(const std::string& folder) {
    if (const char* old = std::getenv("TMPDIR")) old_ = old;
    setenv("TMPDIR", folder.c_str(), 1);
  }
  ~TempPathGuard() {
    if (old_.empty()) {
      unsetenv("TMPDIR");
    } else {
      setenv("TMPDIR", old_.c_str(), 1);
    }
  }

 private:
  std::string old_;
};

std::string Pack(TBackupFile& writer, const std::vector<std::string>& specs) {
  StringSink sink;
  EXPECT_TRUE(writer.BackupToStream(specs, &sink));
  return sink.data();
}

// The data segment of the only entry of an archive written without file list.
std::string OnlySegment(const std::string& archive, const std::string& entry_name) {
  std::size_t start = 12 + 4 + entry_name.size() + 4;
  return archive.substr(start, archive.size() - start - 4);
}

TEST(ArchiveWriter, EmptyListWithAndWithoutFileList) {
  for (bool file_list : {true, false}) {
    TempDir tmp;
    TempPathGuard guard(tmp.str());
    TBackupFile writer;
    writer.SaveFileID(file_list);
    RunLog log;
    Record(writer, log);
    std::string bytes = Pack(writer, {});
    std::string expected = Int32Le(0) + Int32Le(0) + Int32Le(0);
    if (file_list) {
      ASSERT_EQ(bytes.size(), 41u);
      std::int32_t date = GetInt32(bytes.data() + 25);
      EXPECT_NE(date, kNoDosTime);
      EXPECT_TRUE(IsValidDosDateTime(date));
      expected += Int32Le(9) + "FILE:LIST" + Int32Le(date) + "EC2" + std::string(1, '\0') + Int32Le(0);
    }
    expected += Int32Le(0);
    EXPECT_EQ(bytes, expected) << "file list " << file_list;
    EXPECT_EQ(log.percents, (std::vector<int>{0, 100}));
    EXPECT_TRUE(log.errors.empty());
    // The temporary file that held the list is gone.
    EXPECT_TRUE(fs::is_empty(tmp.path()));
  }
}

TEST(ArchiveWriter, ChunksAreFreshZlibStreamsOrStoredWhenTheyDoNotFit) {
  struct Case {
    const char* what;
    std::string content;
    std::vector<bool> stored;  // per chunk
  };
  const std::string random = RandomBytes(2 * kChunkSize, 7);
  const std::vector<Case> cases = {
      {"empty file", "", {}},
      {"exactly one chunk", TextBytes(16384), {false}},
      {"one byte more", TextBytes(16385), {false, false}},
      {"incompressible full chunk", random.substr(0, 16384), {true}},
      {"small incompressible last chunk stays compressed", random.substr(0, 16384 + 10), {true, false}},
  };
  for (const Case& c : cases) {
    TempDir tmp;
    std::string file = tmp / "f.bin";
    WriteFile(file, c.content);
    TBackupFile writer;
    writer.SaveFileID(false);
    std::string archive = Pack(writer, {file});
    std::string expected = std::string(kSegmentMarkView);
    for (std::size_t i = 0; i < c.stored.size(); ++i) {
      std::string part = c.content.substr(i * kChunkSize, kChunkSize);
      if (c.stored[i]) {
        expected += Int32Le(-static_cast<std::int32_t>(part.size())) + part;
      } else {
        std::string stream = test::FreshZlib(part, 1);
        expected += Int32Le(static_cast<std::int32_t>(stream.size())) + stream;
      }
    }
    expected += Int32Le(0);
    EXPECT_EQ(OnlySegment(archive, EntryNameOf(file)), expected) << c.what;
    if (c.what == cases.back().what) {
      // The last chunk's zlib stream is longer than its 10 bytes, and still compressed.
      EXPECT_GT(test::FreshZlib(c.content.substr(16384), 1).size(), 10u);
    }
  }
}

TEST(ArchiveWriter, SameBytesWithOneOrSeveralThreadsAtEveryLevel) {
  TempDir tmp;
  WriteFile(tmp / "a.txt", TextBytes(200000));
  WriteFile(tmp / "b.bin", RandomBytes(70000, 3));
  WriteFile(tmp / "c.txt", TextBytes(16385));
  WriteFile(tmp / "d.txt", "");
  for (auto level : {TCompressionLevel::clFastest, TCompressionLevel::clNone, TCompressionLevel::clDefault,
                     TCompressionLevel::clMax}) {
    std::string reference;
    for (unsigned threads : {1u, 2u, 4u}) {
      TBackupFile writer;
      writer.SaveFileID(false);  // the list's own date could differ between runs
      writer.CompressionLevel(level);
      writer.CompressionThreads(threads);
      std::string bytes = Pack(writer, {tmp / "*.*"});
      if (reference.empty()) {
        reference = bytes;
      } else {
        EXPECT_EQ(bytes, reference) << "level " << static_cast<int>(level) << ", threads " << threads;
      }
    }
  }
}

TEST(ArchiveWriter, FileListLinesAndHeaderDescribeThePackedFiles) {
  TempDir tmp;
  WriteFile(tmp / "one.txt", TextBytes(40000));
  WriteFile(tmp / "two.bin", RandomBytes(5, 1));
  std::string archive_path = tmp / "out.arc";
  TBackupFile writer;
  writer.BackupTitle("Titel äöü");
  ASSERT_TRUE(writer.Backup({tmp / "one.txt", tmp / "two.bin"}, archive_path));

  ArchiveInfo info = ReadArchive(archive_path);
  EXPECT_EQ(info.title, "Titel \xE4\xF6\xFC");
  EXPECT_FALSE(info.has_trailer);
  std::string expected_list;
  for (const char* name : {"one.txt", "two.bin"}) {
    std::string path = tmp / name;
    expected_list += FileListLineText(EntryNameOf(path), DosDateTimeOfFile(path),
                                      static_cast<std::int64_t>(fs::file_size(path)));
  }
  EXPECT_EQ(info.file_list, expected_list);
  EXPECT_EQ(info.total_size, static_cast<std::int32_t>(40000 + 5 + expected_list.size()));
  EXPECT_EQ(info.file_count, 2);
  ASSERT_EQ(info.entries.size(), 3u);
  EXPECT_EQ(info.entries[0].name, "FILE:LIST");
}

TEST(ArchiveWriter, EntryNamesLowerOnlyAsciiLettersAndReadTheRealFile) {
  TempDir tmp;
  std::string folder = tmp / "ÄÖÜ Daten";
  WriteFile(folder + "/Datei.TXT", "Inhalt");
  TBackupFile writer;
  writer.SaveFileID(false);
  std::string archive_path = tmp / "out.arc";
  ASSERT_TRUE(writer.Backup({folder + "/Datei.TXT"}, archive_path));
  auto entries = ReadArchiveContents(archive_path);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_TRUE(entries[0].info.name.ends_with("\\\xC4\xD6\xDC daten\\datei.txt")) << entries[0].info.name;
  EXPECT_EQ(entries[0].info.name.find('/'), std::string::npos);
  EXPECT_EQ(entries[0].data, "Inhalt");
}

std::vector<std::string> Collected(const std::vector<std::string>& specs, const std::string& root) {
  FileCollector collector("");
  for (const auto& spec : specs) collector.Add(spec);
  std::vector<std::string> out;
  for (const auto& f : collector.files()) out.push_back(f.path.substr(root.size()));
  return out;
}

TEST(ArchiveWriter, CollectingDeduplicatesIgnoringCaseAndSkipsMissingFiles) {
  TempDir tmp;
  WriteFile(tmp / "Data.txt", "d");
  WriteFile(tmp / "other.bin", "o");
  const std::string root = tmp.str();
  EXPECT_EQ(Collected({root + "Data.txt", root + "DATA.TXT", root + "./sub/../data.txt", root + "missing.txt",
                       root + "*.TXT", root + "Other.BIN", root + "nowhere/*.*"},
                      root),
            (std::vector<std::string>{"Data.txt", "other.bin"}));
}

TEST(ArchiveWriter, RecursiveSpecsCollectSubfoldersFirstDepthFirst) {
  TempDir tmp;
  const std::string root = tmp.str();
  for (const char* f : {"z.txt", ".hidden.txt", "b/b1.txt", "a/a1.txt", "a/x/x1.txt", "a/x/sub/s.txt",
                        ".h/h1.txt", "sdir/s1.txt", "sdir/deeper/d.txt", "a/skip.bin"}) {
    WriteFile(root + f, f);
  }
  // A link back up must not make the walk go round in circles.
  fs::create_directory_symlink(tmp.path(), tmp.path() / "a" / "loop");

  const std::vector<std::string> deep = {"a/x/sub/s.txt", "a/x/x1.txt", "a/a1.txt", "b/b1.txt",
                                         "sdir/deeper/d.txt", "sdir/s1.txt", ".hidden.txt", "z.txt"};
  EXPECT_EQ(Collected({root + "*.txt /s"}, root), deep);
  EXPECT_EQ(Collected({"  " + root + "*.TXT /S  "}, root), deep);
  // "/s" inside a path is a folder, not the switch.
  EXPECT_EQ(Collected({root + "sdir/*.txt"}, root), (std::vector<std::string>{"sdir/s1.txt"}));
}

TEST(ArchiveWriter, ArchiveDoesNotPackItself) {
  TempDir tmp;
  WriteFile(tmp / "a.txt", "a");
  std::string archive_path = tmp / "Out.ARC";
  TBackupFile writer;
  ASSERT_TRUE(writer.Backup({tmp / "*.*"}, archive_path));
  ASSERT_TRUE(writer.Backup({tmp / "*.*"}, archive_path));
  ArchiveInfo info = ReadArchive(archive_path);
  ASSERT_EQ(info.entries.size(), 2u);
  EXPECT_TRUE(info.entries[1].name.ends_with("\\a.txt"));
}

TEST(ArchiveWriter, NamesTheArchiveCannotCarryAreRefused) {
  for (const char* bad : {"line\nbreak.txt", "back\\slash.txt", "日本.txt"}) {
    TempDir tmp;
    WriteFile(tmp / bad, "x");
    TBackupFile writer;
    EXPECT_THROW(writer.Backup({tmp / "*.txt"}, tmp / "out.arc"), mrw::Error) << bad;
    StringSink sink;
    EXPECT_FALSE(writer.BackupToStream({tmp / "*.txt"}, &sink)) << bad;
  }
}

TEST(ArchiveWriter, ProgressRoundsHalvesToEvenAndNamesTheFile) {
  TempDir tmp;
  std::string file = tmp / "f.txt";
  WriteFile(file, TextBytes(8 * kChunkSize));
  TBackupFile writer;
  writer.SaveFileID(false);
  RunLog log;
  Record(writer, log);
  Pack(writer, {file});
  // 12.5, 37.5, 62.5 and 87.5 percent go to the even neighbour.
  EXPECT_EQ(log.percents, (std::vector<int>{0, 12, 25, 38, 50, 62, 75, 88, 100, 100}));
  EXPECT_EQ(log.names[1], file);
  EXPECT_EQ(log.names.back(), "");
}

TEST(ArchiveWriter, CancellingStopsAfterTheChunkAndLeavesTheSameBytesWithAnyThreads) {
  TempDir tmp;
  WriteFile(tmp / "a.txt", TextBytes(3 * kChunkSize));
  WriteFile(tmp / "b.txt", TextBytes(3 * kChunkSize));
  std::string reference;
  for (unsigned threads : {1u, 4u}) {
    TBackupFile writer;
    writer.CompressionThreads(threads);
    RunLog log;
    int chunks = 0;
    Record(writer, log, [&](const std::string& name, int, bool& cont) {
      if (!name.empty() && ++chunks == 3) cont = false;  // the list's chunk, then two of a.txt
    });
    StringSink sink;
    EXPECT_FALSE(writer.BackupToStream({tmp / "*.txt"}, &sink));
    EXPECT_TRUE(log.errors.empty());
    EXPECT_EQ(log.percents.back(), 100);
    EXPECT_EQ(log.percents.size(), 5u);  // 0, three chunks, 100
    // The segment is closed, no end mark follows.
    std::string bytes = sink.data();
    bytes.replace(25, 4, "date");  // the list's own date may differ between the runs
    std::string a_stream = test::FreshZlib(TextBytes(3 * kChunkSize).substr(kChunkSize, kChunkSize), 1);
    EXPECT_TRUE(bytes.ends_with(Int32Le(static_cast<std::int32_t>(a_stream.size())) + a_stream + Int32Le(0)));
    if (reference.empty()) {
      reference = bytes;
    } else {
      EXPECT_EQ(bytes, reference);
    }
  }
}

TEST(ArchiveWriter, NullStreamAndMaxSizeAfterStreaming) {
  TBackupFile writer;
  writer.MaxSize(100000);
  RunLog log;
  Record(writer, log);
  EXPECT_FALSE(writer.BackupToStream({}, nullptr));
  EXPECT_TRUE(log.percents.empty());
  EXPECT_TRUE(log.errors.empty());
  EXPECT_EQ(writer.MaxSize(), 100000);
  StringSink sink;
  EXPECT_TRUE(writer.BackupToStream({}, &sink));
  EXPECT_EQ(writer.MaxSize(), 0);
}

TEST(ArchiveWriter, VolumesSplitBeforeChunksAndContinueWithASegmentMark) {
  TempDir tmp;
  std::string content = RandomBytes(5 * kChunkSize, 9);  // stored chunks: 16388 bytes each
  WriteFile(tmp / "data.bin", content);
  std::string archive_path = tmp / "vol.arc";
  TBackupFile writer;
  writer.MaxSize(40000);
  std::vector<int> disks;
  writer.OnNeedDisk = [&](TBackupFile&, std::uint16_t disk, bool&) { disks.push_back(disk); };
  ASSERT_TRUE(writer.Backup({tmp / "data.bin"}, archive_path));
  EXPECT_EQ(disks, (std::vector<int>{2, 3}));
  for (const char* volume : {"vol.arc", "vol.002", "vol.003"}) {
    EXPECT_LE(fs::file_size(tmp / volume), 40000u) << volume;
  }
  EXPECT_TRUE(ReadFile(tmp / "vol.002").starts_with(std::string(kSegmentMarkView)));
  EXPECT_TRUE(ReadFile(tmp / "vol.arc").ends_with(Int32Le(0) + Int32Le(12) + "NEXT:DISK002"));

  auto entries = ReadArchiveContents(archive_path);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[1].data, content);
}

TEST(ArchiveWriter, RefusedVolumeAndTooSmallLimitStopTheRun) {
  struct Case {
    std::int32_t max_size;
    bool refuse;
    std::vector<int> errors;
  };
  for (const Case& c : {Case{40000, true, {}}, Case{16488, false, {kCannotWriteArchive}}}) {
    TempDir tmp;
    WriteFile(tmp / "data.bin", RandomBytes(3 * kChunkSize, 2));
    TBackupFile writer;
    writer.MaxSize(c.max_size);
    writer.SaveFileID(false);
    writer.OnNeedDisk = [&](TBackupFile&, std::uint16_t, bool& cont) { cont = !c.refuse; };
    RunLog log;
    Record(writer, log);
    EXPECT_FALSE(writer.Backup({tmp / "data.bin"}, tmp / "vol.arc"));
    EXPECT_EQ(log.errors, c.errors) << c.max_size;
    EXPECT_FALSE(fs::exists(tmp / "vol.002"));
  }
}

TEST(ArchiveWriter, FilesAndTotalsBeyondInt32AreRefused) {
  const std::int64_t big = 2147483648LL;  // one more than an Int32 holds
  for (std::vector<std::int64_t> sizes : {std::vector<std::int64_t>{big}, {big / 4 * 3, big / 4 * 3}}) {
    TempDir tmp;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
      std::string name = tmp / ("sparse" + std::to_string(i));
      WriteFile(name, "");
      fs::resize_file(name, static_cast<std::uintmax_t>(sizes[i]));  // sparse: no disk space used
    }
    TBackupFile writer;
    RunLog log;
    Record(writer, log);
    StringSink sink;
    EXPECT_FALSE(writer.BackupToStream({tmp / "sparse*"}, &sink));
    EXPECT_EQ(log.errors, (std::vector<int>{kFileTooLarge}));
    EXPECT_EQ(log.percents, (std::vector<int>{0, 100}));
    EXPECT_EQ(BackupErrorText(kFileTooLarge), "File too large for the archive");
  }
}

TEST(ArchiveWriter, FileThatShrinksWhilePackedEndsItsEntry) {
  TempDir tmp;
  std::string file = tmp / "shrinks.txt";
  WriteFile(file, TextBytes(5 * kChunkSize));
  TBackupFile writer;
  writer.SaveFileID(false);
  writer.CompressionThreads(1);
  RunLog log;
  Record(writer, log, [&](const std::string& name, int, bool&) {
    if (name == file && log.percents.size() == 2) fs::resize_file(file, 20000);
  });
  std::string archive_path = tmp / "out.arc";
  ASSERT_TRUE(writer.Backup({file}, archive_path));
  auto entries = ReadArchiveContents(archive_path);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].data, TextBytes(5 * kChunkSize).substr(0, 20000));
}

TEST(ArchiveWriter, FailuresAreReportedOnceAfterTheLastProgressEvent) {
  TempDir tmp;
  WriteFile(tmp / "a.txt", "a");
  std::string archive_path = tmp / "locked.arc";
  FileSink holder(archive_path);  // another writer holds the archive file

  TBackupFile writer;
  std::vector<std::string> events;
  writer.OnProgress = [&](TBackupFile&, const std::string&, std::uint8_t p, bool&) {
    events.push_back("progress " + std::to_string(p));
  };
  writer.OnError = [&](TBackupFile&, int code, const std::string& text) {
    events.push_back("error " + std::to_string(code) + " " + text);
  };
  EXPECT_FALSE(writer.Backup({tmp / "a.txt"}, archive_path));
  EXPECT_EQ(events, (std::vector<std::string>{"progress 0", "progress 100", "error 4 Cannot write to archive"}));

  // Without OnError the default reporter gets it; the GUI replaces that reporter.
  std::vector<std::string> reported;
  SetDefaultErrorReporter([&](int code, const std::string& text) {
    reported.push_back(std::to_string(code) + " " + text);
  });
  writer.OnError = nullptr;
  EXPECT_FALSE(writer.Backup({tmp / "a.txt"}, archive_path));
  SetDefaultErrorReporter(nullptr);
  EXPECT_EQ(reported, (std::vector<std::string>{"4 Cannot write to archive"}));
}

TEST(ArchiveWriter, SwitchingToIncrementalTurnsTheArchiveFlagOn) {
  TBackupFile writer;
  EXPECT_EQ(writer.Version(), "5.10");
  writer.Version("9.99");
  EXPECT_EQ(writer.Version(), "5.10");
  writer.BackupMode(TBackupMode::bmIncremental);
  EXPECT_TRUE(writer.SetArchiveFlag());
  writer.SetArchiveFlag(false);
  writer.BackupMode(TBackupMode::bmIncremental);  // unchanged value: no effect
  EXPECT_FALSE(writer.SetArchiveFlag());
  writer.BackupMode(TBackupMode::bmAll);
  EXPECT_FALSE(writer.SetArchiveFlag());
}

}  // namespace
}  // namespace mrw::archive
