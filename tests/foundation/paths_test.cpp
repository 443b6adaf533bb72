#include "foundation/paths.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "common/temp_dir.h"

namespace mrw {
namespace {

using test::TempDir;
using test::WriteFile;

TEST(PathText, DelimitersAndParts) {
  struct Case { const char* in; const char* added; const char* removed; } cases[] = {
      {"", "", ""},
      {"C", "C/", "C"},
      {"/data", "/data/", "/data"},
      {"/data/", "/data/", "/data"},
      {"/", "/", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(AddPathDelimiter(c.in), c.added) << c.in;
    EXPECT_EQ(RemovePathDelimiter(c.in), c.removed) << c.in;
  }

  struct Parts { const char* name; const char* path; const char* dir; const char* file; const char* ext; } parts[] = {
      {"/a/b/c.txt", "/a/b/", "/a/b", "c.txt", ".txt"},
      {"c.tar.gz", "", "", "c.tar.gz", ".gz"},
      {"/a.d/file", "/a.d/", "/a.d", "file", ""},
      {"/x", "/", "/", "x", ""},
      {"/a/.hidden", "/a/", "/a", ".hidden", ".hidden"},
      {"/a/b/", "/a/b/", "/a/b", "", ""},
  };
  for (const auto& p : parts) {
    EXPECT_EQ(ExtractFilePath(p.name), p.path) << p.name;
    EXPECT_EQ(ExtractFileDir(p.name), p.dir) << p.name;
    EXPECT_EQ(ExtractFileName(p.name), p.file) << p.name;
    EXPECT_EQ(ExtractFileExt(p.name), p.ext) << p.name;
  }
  EXPECT_EQ(ChangeFileExt("/a/b.Qtf", ".tmp"), "/a/b.tmp");
  EXPECT_EQ(ChangeFileExt("/a.d/b", ".tmp"), "/a.d/b.tmp");
  EXPECT_EQ(ChangeFileExt("/a/b.x", ""), "/a/b");
}

// Files, folders and the three kinds of link, judged with and without following links.
TEST(Existence, FilesFoldersAndLinks) {
  TempDir dir;
  WriteFile(dir / "file", "x");
  std::filesystem::create_directory(dir / "folder");
  std::filesystem::create_symlink(dir / "file", dir / "to_file");
  std::filesystem::create_symlink(dir / "folder", dir / "to_folder");
  std::filesystem::create_symlink(dir / "nowhere", dir / "dangling");
  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
  std::filesystem::create_symlink(dir / "fifo", dir / "to_fifo");

  struct Case {
    const char* name;
    bool file, file_nofollow, folder, folder_nofollow, is_folder;
  } cases[] = {
      {"file", true, true, false, false, false},
      {"folder", false, false, true, true, true},
      {"folder/", false, false, true, true, true},
      {"to_file", true, true, false, false, false},
      {"to_folder", false, true, true, true, true},
      {"dangling", false, true, false, true, false},
      {"to_fifo", true, true, false, false, false},  // must not hang
      {"missing", false, false, false, false, false},
      {"file/below", false, false, false, false, false},
  };
  for (const auto& c : cases) {
    std::string name = dir / c.name;
    EXPECT_EQ(FileExistsEx(name), c.file) << c.name;
    EXPECT_EQ(FileExistsEx(name, false), c.file_nofollow) << c.name;
    EXPECT_EQ(FolderExistsEx(name), c.folder) << c.name;
    EXPECT_EQ(FolderExistsEx(name, false), c.folder_nofollow) << c.name;
    EXPECT_EQ(IsFolder(name), c.is_folder) << c.name;
  }
  EXPECT_FALSE(FileExistsEx(""));
  EXPECT_FALSE(FolderExistsEx(""));
}

// When a name cannot be examined (no search permission on its folder), the folder's
// listing decides. Needs a second user, so it runs only as root.
TEST(Existence, UnexaminableNamesAreLookedUpInTheListing) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  TempDir dir;
  WriteFile(dir / "listable/file", "x");
  std::filesystem::create_directory(dir / "listable/sub");
  chmod(dir.path().c_str(), 0755);
  chmod((dir / "listable").c_str(), 0744);  // others may list it but not look inside
  EXPECT_EXIT(
      {
        if (setgid(65534) != 0 || setuid(65534) != 0) _exit(64);
        int seen = 0;
        if (FileExistsEx(dir / "listable/file")) seen |= 1;
        if (FileExistsEx(dir / "listable/sub")) seen |= 2;
        if (FileExistsEx(dir / "listable/none")) seen |= 4;
        if (FolderExistsEx(dir / "listable/sub")) seen |= 8;
        if (FolderExistsEx(dir / "listable/none")) seen |= 16;  // cannot tell: counts as there
        _exit(seen);
      },
      ::testing::ExitedWithCode(1 | 8 | 16), "");
}

TEST(ResolveNameCase, FindsTheRealSpellingOfMissingParts) {
  TempDir dir;
  WriteFile(dir / "Data/Auftraege.ADT", "x");
  WriteFile(dir / "Data/ORDER_LETTERS/17.RVF", "x");
  WriteFile(dir / "Both/a.adt", "exact");
  WriteFile(dir / "Both/A.ADT", "other");

  EXPECT_EQ(ResolveNameCase(dir / "Data/Auftraege.adt"), dir / "Data/Auftraege.ADT");
  EXPECT_EQ(ResolveNameCase(dir / "data/order_letters/17.rvf"), dir / "Data/ORDER_LETTERS/17.RVF");
  EXPECT_EQ(ResolveNameCase(dir.str() + "data/order_letters/"), dir.str() + "Data/ORDER_LETTERS/");
  // An exact match wins over other spellings.
  EXPECT_EQ(ResolveNameCase(dir / "Both/a.adt"), dir / "Both/a.adt");
  EXPECT_EQ(ResolveNameCase(dir / "Both/A.ADT"), dir / "Both/A.ADT");
  // Nothing found: the input comes back, also for a name that is yet to be created.
  EXPECT_EQ(ResolveNameCase(dir / "data/nothing.adt"), dir / "data/nothing.adt");
  EXPECT_EQ(ResolveNameCase(""), "");
}

}  // namespace
}  // namespace mrw
