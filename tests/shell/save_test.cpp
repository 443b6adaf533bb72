// Save's own rules, with the export steps replaced: the package's temporary name, the
// clean-up after every outcome, the output folder and the send-folder clean-up.
#include "delivery/save.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <stdexcept>

#include "common/temp_dir.h"
#include "delivery/output_folder.h"
#include "foundation/dates.h"
#include "foundation/user_mode.h"

namespace mrw::delivery {
namespace {

namespace fs = std::filesystem;
using mrw::test::TempDir;

class RecordingUi : public SaveUi {
 public:
  std::vector<std::string> messages;
  int sounds = 0;
  std::vector<std::chrono::milliseconds> pauses;
  void ProcessPendingEvents() override {}
  void ShowMessage(const std::string& html) override { messages.push_back(html); }
  void PlayNotificationSound() override { ++sounds; }
  void ProcessEventsFor(std::chrono::milliseconds d) override { pauses.push_back(d); }
};

std::vector<std::string> Names(const fs::path& folder) {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(folder)) out.push_back(e.path().filename().string());
  std::sort(out.begin(), out.end());
  return out;
}

struct Fixture {
  TempDir dir;
  std::string out = dir.str() + "out/";
  std::vector<std::string> log;
  std::vector<std::string> built_paths;
  SaveSteps steps;
  SaveSettings settings;
  RecordingUi ui;

  Fixture() {
    fs::create_directories(out);
    steps.export_reset = [] {};
    steps.transfer_orders = [] { return true; };
    steps.make_package_file_name = [] { return std::string("3.Apr.2024[14.05]ws-anna[G].Qtf"); };
    steps.build_package = [this](const std::string& out_dir, const std::string& name) {
      built_paths.push_back(out_dir + name);
      mrw::test::WriteFile(out_dir + name, "package");
      return true;
    };
    steps.log_export = [this](const std::string& action) { log.push_back(action); };
    settings.program_folder = dir.str() + "program/";
    settings.out_dir_override = out;
  }
};

TEST(Save, PackageIsWrittenUnderHiddenNameAndRenamedWhenComplete) {
  Fixture f;
  SaveResult r = RunSave(f.steps, f.ui, f.settings);
  ASSERT_TRUE(r.saved);
  ASSERT_EQ(f.built_paths.size(), 1u);
  EXPECT_EQ(fs::path(f.built_paths[0]).filename().string().front(), '.');
  EXPECT_EQ(Names(f.out), std::vector<std::string>{"3.Apr.2024[14.05]ws-anna[G].Qtf"});
  EXPECT_EQ(r.package_path, f.out + "3.Apr.2024[14.05]ws-anna[G].Qtf");
  EXPECT_EQ(f.log, std::vector<std::string>{"Gespeichert 3.Apr.2024[14.05]ws-anna[G].Qtf in " + f.out});
  ASSERT_EQ(f.ui.messages.size(), 1u);
  EXPECT_EQ(f.ui.messages[0],
            "<B>Die erzeugten Datei finden Sie hier:</B><BR><A href=\"SHOpenFolderAndSelectItems://" +
                r.package_path + "\">Klicken Sie hier</A>, um den entsprechenden <B>Ordner</B> zu öffnen.");
  EXPECT_EQ(f.ui.sounds, 0);
}

TEST(Save, FailedOrAbortedPackageLeavesNothingBehind) {
  struct Case {
    const char* what;
    bool throws;
  };
  for (Case c : {Case{"writer reports failure", false}, Case{"writer throws", true}}) {
    SCOPED_TRACE(c.what);
    Fixture f;
    f.steps.build_package = [&](const std::string& out_dir, const std::string& name) {
      mrw::test::WriteFile(out_dir + name, "half a pack");
      if (c.throws) throw std::runtime_error("disk gone");
      return false;
    };
    if (c.throws) {
      EXPECT_THROW(RunSave(f.steps, f.ui, f.settings), std::runtime_error);
    } else {
      EXPECT_FALSE(RunSave(f.steps, f.ui, f.settings).saved);
    }
    EXPECT_TRUE(Names(f.out).empty());
    EXPECT_TRUE(f.log.empty());
  }
}

TEST(Save, FailedTransferBuildsNoPackageAndOnlySaveStillSignals) {
  Fixture f;
  f.settings.only_save = true;
  f.steps.transfer_orders = [] { return false; };
  EXPECT_FALSE(RunSave(f.steps, f.ui, f.settings).saved);
  EXPECT_TRUE(f.built_paths.empty());
  EXPECT_TRUE(f.ui.messages.empty());
  EXPECT_EQ(f.ui.sounds, 1);
  EXPECT_EQ(f.ui.pauses, std::vector<std::chrono::milliseconds>{std::chrono::milliseconds(2000)});
}

TEST(Save, OnlySaveEndsWithSoundInsteadOfMessage) {
  Fixture f;
  f.settings.only_save = true;
  EXPECT_TRUE(RunSave(f.steps, f.ui, f.settings).saved);
  EXPECT_TRUE(f.ui.messages.empty());
  EXPECT_EQ(f.ui.sounds, 1);
}

TEST(Save, LogErrorPropagatesAfterCleanUpWithPackageInPlace) {
  Fixture f;
  f.settings.only_save = true;
  f.steps.log_export = [](const std::string&) { throw std::runtime_error("row locked"); };
  EXPECT_THROW(RunSave(f.steps, f.ui, f.settings), std::runtime_error);
  EXPECT_EQ(Names(f.out), std::vector<std::string>{"3.Apr.2024[14.05]ws-anna[G].Qtf"});
  EXPECT_EQ(f.ui.sounds, 1);
}

// The desktop and program folders live in the test's folder.
class OutputFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* v : {"HOME", "XDG_CONFIG_HOME", "XDG_DESKTOP_DIR"}) {
      const char* old = getenv(v);
      saved_.emplace_back(v, old ? std::optional<std::string>(old) : std::nullopt);
    }
    setenv("HOME", dir_.path().c_str(), 1);
    setenv("XDG_CONFIG_HOME", (dir_.str() + "config").c_str(), 1);
    unsetenv("XDG_DESKTOP_DIR");
  }
  void TearDown() override {
    for (auto& [name, value] : saved_) {
      if (value) setenv(name.c_str(), value->c_str(), 1);
      else unsetenv(name.c_str());
    }
  }
  std::string program() const { return dir_.str() + "program/"; }
  std::string desktop_out() const { return dir_.str() + "Desktop/MRW_DATA/"; }
  TempDir dir_;
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST_F(OutputFolderTest, FirstRunUsesDesktopFolderWithoutStoringIt) {
  EXPECT_EQ(ResolveOutDir(program()), desktop_out());
  EXPECT_TRUE(fs::is_directory(desktop_out()));
  EXPECT_FALSE(fs::exists(program() + "UserMode.INI"));
}

TEST_F(OutputFolderTest, ChosenFolderIsStoredQuotedAndUsedNext) {
  std::vector<std::string> offered;
  auto choose = [&](const std::string& initial, const std::string& title) {
    offered.push_back(initial);
    EXPECT_EQ(title, "Wählen Sie das Verzeichnis für die Ausgabedatei:");
    return dir_.str() + "Export";
  };
  EXPECT_EQ(ChooseOutDir(program(), choose), dir_.str() + "Export/");
  EXPECT_EQ(offered, std::vector<std::string>{desktop_out()});
  EXPECT_NE(mrw::test::ReadFile(program() + "UserMode.INI")
                .find("TF_Marrowby.OutDir=\"" + dir_.str() + "Export/\""),
            std::string::npos);
  // The stored folder is used even though it does not exist (the package step makes it).
  EXPECT_EQ(ResolveOutDir(program()), dir_.str() + "Export/");

  // Cancelling keeps the stored folder; a stored folder that is gone offers the default.
  auto cancel = [&](const std::string& initial, const std::string&) {
    offered.push_back(initial);
    return std::string();
  };
  EXPECT_EQ(ChooseOutDir(program(), cancel), desktop_out());
  EXPECT_EQ(ResolveOutDir(program()), dir_.str() + "Export/");
}

TEST_F(OutputFolderTest, OnlySaveIsStoredPerSettingsFolder) {
  std::string settings = dir_.str() + "db/marrowby_setup/";
  EXPECT_FALSE(ReadOnlySave(settings));
  StoreOnlySave(settings, true);
  EXPECT_TRUE(ReadOnlySave(settings));
  EXPECT_FALSE(ReadOnlySave(dir_.str() + "other/marrowby_setup/"));
}

TEST(SendFolder, CopiesOlderThanTwoWholeDaysAreDeleted) {
  TempDir dir;
  mrw::test::WriteFile(dir / "a.qtf", "x");
  mrw::test::WriteFile(dir / "B.QTF", "x");
  mrw::test::WriteFile(dir / "keep.txt", "x");
  DateTime now = NowLocal();
  CleanSendFolder(dir.str(), now + 47.0 / 24);
  EXPECT_EQ(Names(dir.path()), (std::vector<std::string>{"B.QTF", "a.qtf", "keep.txt"}));
  CleanSendFolder(dir.str(), now + 49.0 / 24);
  EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"keep.txt"});
}

TEST(SendFolder, WholeDaysDropTheRemainder) {
  EXPECT_EQ(WholeDaysBetween(10.0, 11.999), 1);
  EXPECT_EQ(WholeDaysBetween(12.0, 10.0), 2);
}

}  // namespace
}  // namespace mrw::delivery
