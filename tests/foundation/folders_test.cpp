#include "foundation/folders.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "common/temp_dir.h"
#include "foundation/errors.h"
#include "foundation/paths.h"
#include "foundation/runtime_dir.h"
#include "foundation/scoped_env.h"
#include <functional>

namespace mrw {
namespace {

namespace fs = std::filesystem;
using test::ScopedEnv;
using test::TempDir;
using test::WriteFile;

constexpr uid_t kNobody = 65534;

mode_t ModeOf(const std::string& path) {
  struct stat st;
  EXPECT_EQ(lstat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

TEST(ForceFolders, CreatesChainsAndReportsFailureByResult) {
  TempDir dir;
  EXPECT_TRUE(ForceFolders(dir / "a/b/c/"));
  EXPECT_TRUE(IsFolder(dir / "a/b/c"));
  EXPECT_TRUE(ForceFolders(dir / "a/b/c"));  // already there
  EXPECT_TRUE(ForceFolders("/"));

  // A parent that cannot be a folder (root ignores permission bits, a file does not).
  WriteFile(dir / "file", "x");
  EXPECT_FALSE(ForceFolders(dir / "file/sub/deeper/"));
  EXPECT_FALSE(ForceFolders(dir / "file"));

  try {
    ForceFolders("");
    FAIL() << "no error for an empty name";
  } catch (const InOutError& e) {
    EXPECT_STREQ(e.what(), "Verzeichnis kann nicht erstellt werden");
    EXPECT_EQ(e.code(), 3);
  }
}

TEST(ForceFolders, RelativeNamesGrowFromTheCurrentFolder) {
  TempDir dir;
  auto old = fs::current_path();
  fs::current_path(dir.path());
  bool made = ForceFolders("x/y");
  fs::current_path(old);
  EXPECT_TRUE(made);
  EXPECT_TRUE(IsFolder(dir / "x/y"));
}

TEST(EnsureFileFolder, MakesTheFolderOfAFile) {
  TempDir dir;
  EnsureFileFolder(dir / "p/q/file.txt");
  EXPECT_TRUE(IsFolder(dir / "p/q"));
  EXPECT_FALSE(fs::exists(dir / "p/q/file.txt"));
  EXPECT_THROW(EnsureFileFolder("file.txt"), InOutError);
}

class TempFolderTest : public ::testing::Test {
 protected:
  TempDir dir;
  ScopedEnv tmpdir{"TMPDIR", dir.path().string()};
};

TEST_F(TempFolderTest, PurposeFoldersLieInAPrivateFolder) {
  EXPECT_EQ(GetSystemTempPath(), dir.str());
  EXPECT_EQ(GetTempFolder("mrw_root"), dir.str() + "QMTempDir/mrw_root/");
  EXPECT_TRUE(IsFolder(dir / "QMTempDir/mrw_root"));
  EXPECT_EQ(ModeOf(dir / "QMTempDir"), 0700u);
  EXPECT_EQ(GetTempFolder(""), dir.str() + "QMTempDir/");

  std::string unique = GetUniqueTempName();
  std::string number = unique.substr(GetTempFolder("").size());
  EXPECT_EQ(unique.substr(0, dir.str().size() + 10), dir.str() + "QMTempDir/");
  EXPECT_FALSE(number.empty());
  EXPECT_TRUE(std::all_of(number.begin(), number.end(), ::isdigit)) << unique;
  EXPECT_FALSE(fs::exists(unique));
  EXPECT_NE(unique, GetUniqueTempName());
}

TEST_F(TempFolderTest, CreatesAMissingSystemTempPath) {
  ScopedEnv deeper{"TMPDIR", dir / "not/yet"};
  EXPECT_EQ(GetTempFolder("x"), dir.str() + "not/yet/QMTempDir/x/");
  EXPECT_TRUE(IsFolder(dir / "not/yet/QMTempDir/x"));
}

// Someone else's QMTempDir (planted link, foreign owner, open to others) is never used,
// and left as it is.
TEST_F(TempFolderTest, RefusesAFolderThatIsNotPrivate) {
  struct Case {
    const char* what;
    std::function<void(const std::string&)> plant;
    const char* reason;
    mode_t mode_after;
  } cases[] = {
      {"link to a folder",
       [&](const std::string& path) {
         fs::create_directory(dir / "elsewhere");
         chmod((dir / "elsewhere").c_str(), 0700);
         fs::create_symlink(dir / "elsewhere", path);
       },
       "symbolischer Link", 0777},
      {"foreign owner",
       [](const std::string& path) {
         fs::create_directory(path);
         chmod(path.c_str(), 0700);
         ASSERT_EQ(chown(path.c_str(), kNobody, kNobody), 0);
       },
       "gehört einem anderen Benutzer", 0700},
      {"open to others",
       [](const std::string& path) {
         fs::create_directory(path);
         chmod(path.c_str(), 0777);
       },
       "hat die Rechte 0777", 0777},
      {"a file",
       [](const std::string& path) { WriteFile(path, "x"); }, "ist kein Verzeichnis", 0},
  };
  for (const auto& c : cases) {
    std::string path = dir / "QMTempDir";
    fs::remove_all(path);
    fs::remove_all(dir / "elsewhere");
    c.plant(path);
    try {
      GetTempFolder("mrw_root");
      ADD_FAILURE() << c.what << ": accepted";
    } catch (const Error& e) {
      EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << c.what << ": " << e.what();
      EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
    }
    EXPECT_FALSE(fs::exists(dir / "elsewhere/mrw_root")) << c.what;
    if (c.mode_after) {
      EXPECT_EQ(ModeOf(path), c.mode_after) << c.what;
    }
  }
}

TEST(RuntimeFolder, IsTheUsersPrivateFolder) {
  TempDir dir;
  {
    ScopedEnv xdg{"XDG_RUNTIME_DIR", dir / "run"};
    EXPECT_EQ(GetRuntimeFolder(), dir.str() + "run/");
    EXPECT_EQ(ModeOf(dir / "run"), 0700u);
    chmod((dir / "run").c_str(), 0755);
    EXPECT_THROW(GetRuntimeFolder(), Error);
  }
  ScopedEnv unset{"XDG_RUNTIME_DIR", std::nullopt};
  std::string fallback = "/tmp/qm-runtime-" + std::to_string(geteuid()) + "/";
  EXPECT_EQ(GetRuntimeFolder(), fallback);
  EXPECT_EQ(ModeOf(fallback), 0700u);
  // Without TMPDIR the temp path is that private folder too, never the shared /tmp.
  ScopedEnv no_tmpdir{"TMPDIR", std::nullopt};
  EXPECT_EQ(GetSystemTempPath(), fallback);
}

TEST(ShellFolders, FollowTheUserDirsFileAndTheEnvironment) {
  TempDir dir;
  ScopedEnv home{"HOME", dir.path().string()};
  ScopedEnv config{"XDG_CONFIG_HOME", dir / "config"};
  ScopedEnv desktop_env{"XDG_DESKTOP_DIR", std::nullopt};
  ScopedEnv documents_env{"XDG_DOCUMENTS_DIR", std::nullopt};
  ScopedEnv common{"QM_COMMON_DOCUMENTS", std::nullopt};

  // No user-dirs file: the fallbacks below the home folder.
  EXPECT_EQ(GetShellFolder(ShellFolder::Desktop), dir.str() + "Desktop/");
  EXPECT_EQ(GetSpecialFolder(ShellFolder::Documents), dir.path().string());

  WriteFile(dir / "config/user-dirs.dirs",
            "# written by xdg-user-dirs-update\n"
            "XDG_DESKTOP_DIR=\"$HOME/Schreib tisch\"\n"
            "XDG_DOCUMENTS_DIR=\"/srv/docs/\"\n");
  EXPECT_EQ(GetShellFolder(ShellFolder::Desktop), dir.str() + "Schreib tisch/");
  EXPECT_EQ(GetSpecialFolder(ShellFolder::Desktop), dir / "Schreib tisch");
  EXPECT_EQ(GetSpecialFolder(ShellFolder::CommonDocuments), "/srv/docs");

  ScopedEnv common_set{"QM_COMMON_DOCUMENTS", dir / "common"};
  EXPECT_EQ(GetClientRoot(), dir.str() + "common/QM-ClientRoot/default/");
  EXPECT_TRUE(IsFolder(dir / "common/QM-ClientRoot/default"));
}

// A small tree with what must stay: hidden entries, and what links point to.
class DeleteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(dir / "root.txt", "x");
    WriteFile(dir / "root.rvf", "x");
    WriteFile(dir / ".root_hidden", "x");
    WriteFile(dir / "plain/a.txt", "x");
    WriteFile(dir / "plain/sub/b.txt", "x");
    WriteFile(dir / "keeps/c.txt", "x");
    WriteFile(dir / "keeps/deep/.hidden", "x");
    WriteFile(dir / "keeps/deep/d.txt", "x");
    WriteFile(dir / ".hiddenfolder/e.txt", "x");
    WriteFile(outside / "target/precious.txt", "x");
    WriteFile(outside / "precious_file.txt", "x");
    fs::create_symlink(outside / "target", dir / "plain/link_to_folder");
    fs::create_symlink(outside / "precious_file.txt", dir / "plain/link_to_file");
    fs::create_symlink(outside / "nowhere", dir / "plain/dangling");
    chmod((dir / "plain/a.txt").c_str(), 0444);
  }

  std::vector<std::string> Remaining() {
    std::vector<std::string> names;
    for (auto it = fs::recursive_directory_iterator(dir.path()); it != fs::recursive_directory_iterator(); ++it)
      names.push_back(fs::relative(it->path(), dir.path()).string());
    std::sort(names.begin(), names.end());
    return names;
  }

  void ExpectOutsideUntouched() {
    EXPECT_TRUE(fs::exists(outside / "target/precious.txt"));
    EXPECT_TRUE(fs::exists(outside / "precious_file.txt"));
  }

  TempDir dir;
  TempDir outside;
};

TEST_F(DeleteTest, TreeKeepsHiddenEntriesAndTheirFolders) {
  DeleteTree(dir.str(), true);
  EXPECT_EQ(Remaining(), (std::vector<std::string>{".hiddenfolder", ".hiddenfolder/e.txt",
                                                    ".root_hidden", "keeps", "keeps/deep",
                                                    "keeps/deep/.hidden"}));
  ExpectOutsideUntouched();
}

TEST_F(DeleteTest, TreeWithoutTheFolderItselfKeepsItsOwnFiles) {
  DeleteTree(dir.path().string(), false);
  EXPECT_EQ(Remaining(), (std::vector<std::string>{".hiddenfolder", ".hiddenfolder/e.txt",
                                                    ".root_hidden", "keeps", "keeps/deep",
                                                    "keeps/deep/.hidden", "root.rvf",
                                                    "root.txt"}));
  ExpectOutsideUntouched();
}

TEST_F(DeleteTest, FilesByMaskLeaveFoldersAndHiddenFiles) {
  DeleteFiles(dir.path().string(), "*.RVF");
  EXPECT_FALSE(fs::exists(dir / "root.rvf"));
  EXPECT_TRUE(fs::exists(dir / "root.txt"));

  DeleteFolder(dir / "plain");  // has a subfolder, so the folder stays
  EXPECT_FALSE(fs::exists(dir / "plain/a.txt"));  // write protection does not matter
  EXPECT_FALSE(fs::is_symlink(dir / "plain/link_to_file"));
  EXPECT_FALSE(fs::is_symlink(dir / "plain/dangling"));
  EXPECT_TRUE(fs::is_symlink(dir / "plain/link_to_folder"));
  EXPECT_TRUE(fs::exists(dir / "plain/sub/b.txt"));
  ExpectOutsideUntouched();

  DeleteFolder(dir / "plain/sub");
  EXPECT_FALSE(fs::exists(dir / "plain/sub"));

  // An empty folder name never means the current folder.
  auto old = fs::current_path();
  fs::current_path(dir.path());
  DeleteFiles("", "*.*");
  DeleteTree("", true);
  fs::current_path(old);
  EXPECT_TRUE(fs::exists(dir / "root.txt"));
}

TEST(DeleteFile, ForcedAndIfExists) {
  TempDir dir;
  WriteFile(dir / "ro.txt", "x");
  chmod((dir / "ro.txt").c_str(), 0444);
  fs::create_directory(dir / "folder");
  fs::create_symlink(dir / "missing", dir / "dangling");

  EXPECT_TRUE(DeleteFileForced(dir / "ro.txt"));
  EXPECT_FALSE(fs::exists(dir / "ro.txt"));
  EXPECT_TRUE(DeleteFileForced(dir / "never_was"));
  EXPECT_FALSE(DeleteFileForced(dir / "folder"));
  EXPECT_TRUE(IsFolder(dir / "folder"));
  EXPECT_TRUE(DeleteFileForced(dir / "dangling"));
  EXPECT_FALSE(fs::is_symlink(dir / "dangling"));

  WriteFile(dir / "f", "x");
  EXPECT_TRUE(DeleteFileIfExists(dir / "f"));
  EXPECT_FALSE(fs::exists(dir / "f"));
  EXPECT_TRUE(DeleteFileIfExists(dir / "f"));
  EXPECT_TRUE(DeleteFileIfExists(dir / "folder"));  // no file of that name: nothing to do
  EXPECT_TRUE(IsFolder(dir / "folder"));
}

TEST(FileMask, MatchesLikeTheHostsFileNames) {
  struct Case { const char* name; const char* mask; bool match; } cases[] = {
      {"a.rvf", "*.rvf", true},   {"A.RVF", "*.rvf", true},     {"a.rvfx", "*.rvf", false},
      {"noext", "*.*", true},     {"noext", "*", true},         {"x.tar.gz", "*.gz", true},
      {"17.RVF", "17.*", true},   {"17", "17.*", true},         {"170.rvf", "17.*", false},
      {"ab.qtf", "a?.qtf", true}, {"äb.qtf", "?b.QTF", true},   {"Äb.qtf", "äB.qtf", true},
      {"abc", "a*c*", true},      {"abd", "a*c", false},        {"", "*", true},
  };
  for (const auto& c : cases) EXPECT_EQ(MatchesFileMask(c.name, c.mask), c.match) << c.name << " " << c.mask;
}

TEST(FindFiles, ListsVisibleRegularFilesSorted) {
  TempDir dir;
  TempDir outside;
  for (const char* name : {"b.txt", "A.txt", "c.TXT", ".hidden.txt", "other.rvf"}) WriteFile(dir / name, "x");
  fs::create_directory(dir / "folder.txt");
  WriteFile(outside / "real.txt", "x");
  fs::create_symlink(outside / "real.txt", dir / "link.txt");
  fs::create_symlink(outside / "gone.txt", dir / "dangling.txt");
  ASSERT_EQ(mkfifo((dir / "fifo.txt").c_str(), 0600), 0);

  std::vector<std::string> list{"stale"};
  FindFiles(dir.str() + "*.txt", list, false, "");
  EXPECT_EQ(list, (std::vector<std::string>{"A.txt", "b.txt", "c.TXT", "link.txt"}));
  FindFiles(dir.str() + "*.*", list, true, "p/");
  EXPECT_EQ(list, (std::vector<std::string>{"p/A.TXT", "p/B.TXT", "p/C.TXT", "p/LINK.TXT", "p/OTHER.RVF"}));
  FindFiles(dir / "missing/*.*", list, false, "");
  EXPECT_TRUE(list.empty());
}

}  // namespace
}  // namespace mrw
