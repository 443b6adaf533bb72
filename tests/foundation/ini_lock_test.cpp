// INI files held by another program, files that cannot be written, and what the
// destructor does with a failure.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <thread>

#include "common/temp_dir.h"
#include "foundation/errors.h"
#include "foundation/fast_ini_file.h"

namespace mrw {
namespace {

using namespace std::chrono_literals;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

// Another program holding the file: an open file description of its own with an flock on
// it (a second description conflicts even inside one process, as between processes).
class Holder {
 public:
  Holder(const std::string& name, int how) : fd_(::open(name.c_str(), O_RDONLY | O_CLOEXEC)) {
    if (fd_ < 0 || ::flock(fd_, how | LOCK_NB) != 0) throw std::runtime_error("cannot hold " + name);
  }
  ~Holder() { Release(); }
  void Release() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

const IniRetry kShort{10ms, 150ms};

TEST(IniLock, AHeldFileIsWaitedFor) {
  TempDir dir;
  WriteFile(dir / "a.ini", "[S]\r\nk=v\r\n");
  Holder holder(dir / "a.ini", LOCK_EX);
  std::thread release([&] {
    std::this_thread::sleep_for(100ms);
    holder.Release();
  });
  TFastIniFile ini(dir / "a.ini");  // the default budget of ten seconds
  EXPECT_EQ(ini.ReadString("S", "k", ""), "v");
  release.join();
}

TEST(IniLock, AFileThatStaysHeldFailsWithTheGermanText) {
  TempDir dir;
  const std::string name = dir / "a.ini";
  WriteFile(name, "[S]\r\nk=v\r\n");
  {
    Holder writer(name, LOCK_EX);
    TFastIniFile ini(name, kShort);
    try {
      ini.ReadString("S", "k", "");
      FAIL() << "no error";
    } catch (const FileCreateError& e) {
      EXPECT_EQ(std::string(e.what()), "Datei " + name + " kann nicht geöffnet werden");
    }
  }
  // A reader holds it while we write: the write fails and the file is left whole.
  TFastIniFile ini(name, kShort);
  ini.WriteString("S", "k", "new");
  {
    Holder reader(name, LOCK_SH);
    try {
      ini.UpdateFile();
      FAIL() << "no error";
    } catch (const FileCreateError& e) {
      EXPECT_EQ(std::string(e.what()), "Datei " + name + " kann nicht erstellt werden");
    }
    EXPECT_EQ(ReadFile(name), "[S]\r\nk=v\r\n");
    EXPECT_TRUE(ini.Modified());
  }
  ini.UpdateFile();  // once released, the pending change goes out
  EXPECT_EQ(ReadFile(name), "[S]\r\nk=new\r\n");
}

TEST(IniLock, WriteFailures) {
  TempDir dir;
  WriteFile(dir / "file", "x");
  {
    // An explicit UpdateFile reports the failure; the destructor swallows it.
    TFastIniFile ini(dir / "file/a.ini", kShort);
    ini.WriteString("S", "k", "v");
    EXPECT_THROW(ini.UpdateFile(), FileCreateError);
  }
  {
    TFastIniFile ini("");
    EXPECT_EQ(ini.ReadString("S", "k", "d"), "d");
    ini.WriteString("S", "k", "v");
    try {
      ini.UpdateFile();
      FAIL() << "no error";
    } catch (const InOutError& e) {
      EXPECT_EQ(std::string(e.what()), "Verzeichnis kann nicht erstellt werden");
      EXPECT_EQ(e.code(), 3);
    }
  }
  // A file without write permission counts as held: after the budget it fails.
  WriteFile(dir / "ro.ini", "[S]\r\n");
  std::filesystem::permissions(dir / "ro.ini", std::filesystem::perms::owner_read);
  if (::access((dir / "ro.ini").c_str(), W_OK) != 0) {  // root may write anyway
    TFastIniFile ini(dir / "ro.ini", kShort);
    ini.WriteString("S", "k", "v");
    EXPECT_THROW(ini.UpdateFile(), FileCreateError);
  }
}

TEST(IniLock, AFolderOrFifoUnderTheNameReadsAsNoFile) {
  TempDir dir;
  std::filesystem::create_directory(dir / "folder.ini");
  TFastIniFile folder(dir / "folder.ini", kShort);
  EXPECT_EQ(folder.ReadString("S", "k", "d"), "d");
  ASSERT_EQ(::mkfifo((dir / "fifo.ini").c_str(), 0600), 0);
  TFastIniFile fifo(dir / "fifo.ini", kShort);
  EXPECT_THROW(fifo.ReadString("S", "k", "d"), FileCreateError);  // must not block
}

}  // namespace
}  // namespace mrw
