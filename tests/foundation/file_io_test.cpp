#include "foundation/file_io.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "common/temp_dir.h"
#include "foundation/errors.h"
#include "foundation/paths.h"

namespace mrw {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

// A policy that records its waits instead of sleeping.
struct RecordedRetry {
  std::vector<std::chrono::milliseconds> waits;
  RetryPolicy Policy(int attempts, std::chrono::milliseconds wait = 100ms) {
    return {attempts, wait, [this](std::chrono::milliseconds d) { waits.push_back(d); }};
  }
};

// Holds a file the way another program holding it exclusively does, until released.
class ExclusiveHolder {
 public:
  explicit ExclusiveHolder(const std::string& name) : fd_(open(name.c_str(), O_RDWR | O_CREAT, 0666)) {
    EXPECT_EQ(flock(fd_, LOCK_EX | LOCK_NB), 0);
  }
  ~ExclusiveHolder() {
    if (thread_.joinable()) thread_.join();
    Release();
  }
  void Release() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }
  void ReleaseAfter(std::chrono::milliseconds delay) {
    thread_ = std::jthread([this, delay] {
      std::this_thread::sleep_for(delay);
      Release();
    });
  }

 private:
  int fd_;
  std::jthread thread_;
};

mode_t ModeOf(const std::string& path) {
  struct stat st;
  stat(path.c_str(), &st);
  return st.st_mode & 07777;
}

TEST(Strings, SaveWritesAnsiWithCrLfAndLoadReadsEveryLineEnd) {
  TempDir dir;
  std::string name = dir / "new/folder/list.txt";
  SaveStringsRetry({"Grüße", "", "Maß €"}, name);
  EXPECT_EQ(ReadFile(name), "Gr\xFC\xDF" "e\r\n\r\nMa\xDF \x80\r\n");

  std::vector<std::string> lines;
  LoadStringsRetry(lines, name);
  EXPECT_EQ(lines, (std::vector<std::string>{"Grüße", "", "Maß €"}));

  WriteFile(name, "a\rb\nc\r\n\r\nd");
  LoadStringsRetry(lines, name);
  EXPECT_EQ(lines, (std::vector<std::string>{"a", "b", "c", "", "d"}));

  lines = {"kept"};
  LoadStringsRetry(lines, dir / "missing.txt");
  EXPECT_EQ(lines, (std::vector<std::string>{"kept"}));

  SaveStringsRetry({}, name);
  EXPECT_EQ(ReadFile(name), "");
}

TEST(Streams, SaveAndLoadBytesAsTheyAre) {
  TempDir dir;
  std::string bytes("a\0b\r\n\xFF", 6);
  EXPECT_TRUE(SaveStreamRetry(bytes, dir / "s/bin"));
  std::string loaded = "old";
  LoadStreamRetry(loaded, dir / "s/bin");
  EXPECT_EQ(loaded, bytes);
  LoadStreamRetry(loaded, dir / "s/none");
  EXPECT_EQ(loaded, bytes);
}

TEST(BetterFileStream, ModesAndWriteProtection) {
  TempDir dir;
  std::string name = dir / "f.txt";
  WriteFile(name, "0123456789");
  {
    TBetterFileStream keep(name, false, 0);
    EXPECT_EQ(keep.Size(), 10);
    keep.Write("ab");
  }
  EXPECT_EQ(ReadFile(name), "ab23456789");

  chmod(name.c_str(), 0444);
  {
    TBetterFileStream fresh(name, true, 1);
    EXPECT_EQ(ModeOf(name), 0644u);  // writable while open
    fresh.Write("new");
  }
  EXPECT_EQ(ReadFile(name), "new");
  EXPECT_EQ(ModeOf(name), 0444u);  // and protected again

  try {
    TBetterFileStream bad(dir / "missing_folder/f.txt", true, 1);
    FAIL() << "opened a file in a missing folder";
  } catch (const FileCreateError& e) {
    EXPECT_EQ(std::string(e.what()), "Datei " + (dir / "missing_folder/f.txt") + " kann nicht erstellt werden");
  }
  EXPECT_THROW(TBetterFileStream(dir.path().string(), true, 0), FileCreateError);
}

TEST(FileStream, ReadsSeeksAndResizes) {
  TempDir dir;
  WriteFile(dir / "f", "hello world");
  FileStream f(dir / "f", FileStream::Mode::ReadWrite);
  char buffer[5];
  EXPECT_EQ(f.Read(buffer, 5), 5u);
  EXPECT_EQ(std::string(buffer, 5), "hello");
  EXPECT_EQ(f.Seek(-5, SEEK_END), 6);
  EXPECT_EQ(f.ReadAll(), "world");
  f.SetSize(5);
  EXPECT_EQ(f.Size(), 5);
  EXPECT_THROW(FileStream(dir / "none", FileStream::Mode::Read), FileCreateError);
}

TEST(Retry, GivesUpAfterTheLastAttemptWithItsError) {
  TempDir dir;
  WriteFile(dir / "file", "x");
  RecordedRetry recorder;
  // Below a regular file nothing can ever be written.
  EXPECT_THROW(SaveStringsRetry({"a"}, dir / "file/sub/x.txt", recorder.Policy(5)), Error);
  EXPECT_EQ(recorder.waits, std::vector<std::chrono::milliseconds>(4, 100ms));

  EXPECT_EQ(FileRetry().attempts, 100);
  EXPECT_EQ(FileRetry().wait, 100ms);
}

TEST(Retry, WaitsOutAFileHeldByAnotherProgram) {
  TempDir dir;
  std::string name = dir / "held.txt";
  WriteFile(name, "old");
  ExclusiveHolder holder(name);
  EXPECT_TRUE(FileExistsEx(name));
  holder.ReleaseAfter(300ms);
  SaveStringsRetry({"new"}, name);
  EXPECT_EQ(ReadFile(name), "new\r\n");

  // An open that does not retry fails while the file is held.
  ExclusiveHolder again(name);
  EXPECT_THROW(FileStream(name, FileStream::Mode::Read), FileCreateError);
  EXPECT_EQ(ReadFile(name), "new\r\n");  // not emptied by the failed attempt
  EXPECT_THROW(FileStream(name, FileStream::Mode::Create), FileCreateError);
  EXPECT_EQ(ReadFile(name), "new\r\n");
}

TEST(Retry, OpenWaitsForAFileThatAppears) {
  TempDir dir;
  std::string name = dir / "later.txt";
  std::jthread writer([&] {
    std::this_thread::sleep_for(300ms);
    WriteFile(name, "arrived");
  });
  auto stream = OpenFileRetry(name, FileStream::Mode::Read);
  EXPECT_EQ(stream->ReadAll(), "arrived");

  auto created = OpenFileRetry(dir / "made/for/me.txt", FileStream::Mode::Create);
  created->Write("x");
  EXPECT_TRUE(fs::exists(dir / "made/for/me.txt"));
}

TEST(SaveResource, TriesAlternativeNamesAfterFailures) {
  TempDir dir;
  // A folder under the first two names makes those attempts fail.
  fs::create_directories(dir / "cur/x.ani");
  fs::create_directories(dir / "cur/[1]x.ani");
  RecordedRetry recorder;
  std::string actual;
  SaveResourceRetry("RIFF", dir / "cur/x.ani", actual, recorder.Policy(10));
  EXPECT_EQ(actual, dir / "cur/[2]x.ani");
  EXPECT_EQ(ReadFile(actual), "RIFF");
  EXPECT_EQ(recorder.waits.size(), 2u);
}

TEST(Copy, CopiesInBlocksAndCreatesTheTargetFolder) {
  TempDir dir;
  std::string content;
  for (int i = 0; i < 61440 * 2 + 17; ++i) content += static_cast<char>(i * 7 % 251);
  WriteFile(dir / "src.bin", content);
  WriteFile(dir / "out/old.bin", std::string(200000, 'z'));

  EXPECT_TRUE(CopyFileSafe(dir / "src.bin", dir / "out/deep/copy.bin"));
  EXPECT_EQ(ReadFile(dir / "out/deep/copy.bin"), content);
  EXPECT_TRUE(CopyFileRetry(dir / "src.bin", dir / "out/old.bin"));  // a longer target is cut
  EXPECT_EQ(ReadFile(dir / "out/old.bin"), content);
  WriteFile(dir / "empty", "");
  EXPECT_TRUE(CopyFileSafe(dir / "empty", dir / "out/empty"));
  EXPECT_EQ(ReadFile(dir / "out/empty"), "");
}

TEST(Copy, OntoItselfKeepsTheContent) {
  TempDir dir;
  WriteFile(dir / "same.txt", "precious");
  fs::create_hard_link(dir / "same.txt", dir / "alias.txt");
  EXPECT_TRUE(CopyFileSafe(dir / "same.txt", dir / "same.txt"));
  EXPECT_TRUE(CopyFileRetry(dir / "same.txt", dir / "alias.txt"));
  EXPECT_EQ(ReadFile(dir / "same.txt"), "precious");
}

TEST(Copy, FailuresOfSourceAndTarget) {
  TempDir dir;
  WriteFile(dir / "src", "x");
  EXPECT_THROW(CopyFileSafe(dir / "missing", dir / "t"), FileCreateError);
  RecordedRetry opens;
  EXPECT_THROW(CopyFileRetry(dir / "missing", dir / "t", opens.Policy(3)), FileCreateError);
  EXPECT_EQ(opens.waits.size(), 2u);
  EXPECT_THROW(CopyFileSafe(dir / "src", "no_folder_part"), InOutError);

  // A target that cannot be written: ten attempts, waits growing by 100 ms, then false.
  fs::create_directories(dir / "target_is_folder");
  RecordedRetry copies;
  EXPECT_FALSE(CopyFileSafe(dir / "src", dir / "target_is_folder", copies.Policy(10)));
  std::vector<std::chrono::milliseconds> expected;
  for (int n = 1; n < 10; ++n) expected.push_back(n * 100ms);
  EXPECT_EQ(copies.waits, expected);
}

}  // namespace
}  // namespace mrw
