#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "common/temp_dir.h"
#include "foundation/process.h"
#include "foundation/ui_hooks.h"

namespace mrw {
namespace {

using namespace std::chrono_literals;
using test::ReadFile;
using test::TempDir;

// Installs recording hooks for one test and removes them afterwards.
class HookRecorder {
 public:
  HookRecorder() {
    InstallUiHooks({[this](bool busy) { cursor.push_back(busy); }, [this] { ++events; }, {}});
  }
  ~HookRecorder() { InstallUiHooks({}); }
  std::vector<bool> cursor;
  int events = 0;
};

TEST(SplitCommandLine, QuotesGroupWords) {
  struct Case { const char* line; std::vector<std::string> words; } cases[] = {
      {"prog a  b\tc", {"prog", "a", "b", "c"}},
      {"\"/opt/my prog/run\" \"two words\" x", {"/opt/my prog/run", "two words", "x"}},
      {"say \\\"hi\\\" a\\b", {"say", "\"hi\"", "a\\b"}},
      {"a \"\" b", {"a", "", "b"}},
      {"pre\"fix mid\"post", {"prefix midpost"}},
      {"   ", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(SplitCommandLine(c.line), c.words) << c.line;
}

TEST(RunProgram, WaitsAndLetsEventsRun) {
  TempDir dir;
  HookRecorder hooks;
  std::string out = dir / "out.txt";
  int pid = RunProgram("/bin/sh", "-c \"sleep 0.3; echo done > '" + out + "'\"", true);
  EXPECT_GT(pid, 0);
  EXPECT_EQ(ReadFile(out), "done\n");  // finished before RunProgram returned
  EXPECT_GE(hooks.events, 1);
}

TEST(RunProgram, StartsWithoutWaitingAndReportsFailure) {
  TempDir dir;
  std::string out = dir / "out.txt";
  // Looked up in PATH.
  EXPECT_GT(RunProgram("sh", "-c \"echo started > '" + out + "'\"", false), 0);
  for (int i = 0; i < 100 && ReadFile(out).empty(); ++i) std::this_thread::sleep_for(50ms);
  EXPECT_EQ(ReadFile(out), "started\n");

  EXPECT_EQ(RunProgram(dir / "no_such_program", "", true), 0);
  EXPECT_EQ(RunProgram("", "", false), 0);
}

TEST(BusyCursor, NestsAndDoesNothingWithoutAGui) {
  BusyCursorOn();  // no hooks yet: nothing happens, nothing breaks
  BusyCursorOff();
  ProcessPendingEvents();

  HookRecorder hooks;
  {
    BusyCursor outer;
    BusyCursor inner;
  }
  BusyCursorOff();  // unmatched
  BusyCursorOn();
  BusyCursorOff();
  EXPECT_EQ(hooks.cursor, (std::vector<bool>{true, false, true, false}));
}

}  // namespace
}  // namespace mrw
