// mrw ini as a user calls it: it must read and write exactly as TFastIniFile does.
#include <fcntl.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <thread>

#include "common/temp_dir.h"
#include "foundation/fast_ini_file.h"

extern char** environ;

namespace mrw {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

struct Result {
  int code;
  std::string out, err;
};

// Runs mrw with exactly these arguments (no shell in between).
Result RunMrw(const TempDir& scratch, std::vector<std::string> args) {
  args.insert(args.begin(), MRW_BIN);
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const std::string out = scratch / "stdout.txt", err = scratch / "stderr.txt";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t pid;
  int rc = posix_spawn(&pid, MRW_BIN, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return {-1, "", "spawn failed"};
  int status = 0;
  waitpid(pid, &status, 0);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(out), ReadFile(err)};
}

const std::string kFixture =
    "; settings\n"
    "[OP]\n"
    "  1 = 1   ; first box\n"
    "2=0\n"
    "\n"
    "; mail\n"
    "[LMAIL]\n"
    "LAST=\"a;b\"@example.org\n"
    "[Gr\xf6\xdf" "e]\n"
    "k=\xe4\n";

TEST(IniCommand, WritesAndReadsExactlyAsTheClass) {
  TempDir scratch;
  const std::string by_cli = scratch / "cli.ini", by_class = scratch / "class.ini";
  WriteFile(by_cli, kFixture);
  WriteFile(by_class, kFixture);
  struct Step { const char* section; const char* key; const char* value; } steps[] = {
      {"op", "1", "0"},                      // keeps the comment's column
      {"OP", "3", "1"},                      // new key behind the last one
      {"OP", "3", "1"},                      // same value: no rewrite
      {"Neu", "Schlüssel", "Grüße ; €"},     // new section, umlauts to Windows-1252
      {"LMAIL", "LAST", ""},
      {"größe", "K", "ö"},
  };
  for (const auto& s : steps) {
    Result r = RunMrw(scratch, {"ini", "set", by_cli, s.section, s.key, s.value});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "");
    {
      TFastIniFile ini(by_class);
      ini.WriteString(s.section, s.key, s.value);
    }
    EXPECT_EQ(ReadFile(by_cli), ReadFile(by_class)) << s.section << "/" << s.key;
  }

  struct Get { std::vector<std::string> args; } gets[] = {
      {{"OP", "1"}}, {{"op", "3"}}, {{"Neu", "SCHLÜSSEL"}}, {{"LMAIL", "LAST", "x"}}, {{"Größe", "k"}},
      {{"OP", "missing", "fallback"}}, {{"OP", "missing"}}, {{"Missing", "k", "d e f"}},
  };
  TFastIniFile ini(by_class);
  for (const auto& g : gets) {
    std::vector<std::string> args = {"ini", "get", by_cli};
    args.insert(args.end(), g.args.begin(), g.args.end());
    Result r = RunMrw(scratch, args);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, ini.ReadString(g.args[0], g.args[1], g.args.size() > 2 ? g.args[2] : "") + "\n") << g.args[1];
  }
}

TEST(IniCommand, MissingFileAndFolder) {
  TempDir scratch;
  const std::string name = scratch / "new/folder/a.ini";
  Result r = RunMrw(scratch, {"ini", "get", name, "S", "k", "d"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, "d\n");
  EXPECT_FALSE(std::filesystem::exists(scratch / "new"));  // reading creates nothing
  r = RunMrw(scratch, {"ini", "set", name, "S", "k", "--"});
  EXPECT_EQ(r.code, 2);  // "--" alone ends the options; a value is still missing
  r = RunMrw(scratch, {"ini", "set", "--", name, "S", "k", "--v"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(ReadFile(name), "[S]\r\nk=--v\r\n");
}

TEST(IniCommand, UsageAndErrors) {
  TempDir scratch;
  const std::string f = scratch / "a.ini";
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"ini"}, {"ini", "get", f, "S"}, {"ini", "get", f, "S", "k", "d", "x"}, {"ini", "set", f, "S", "k"},
           {"ini", "frob", f}, {"ini", "get", "--bogus", f, "S", "k"}}) {
    Result r = RunMrw(scratch, args);
    EXPECT_EQ(r.code, 2) << args.size();
    EXPECT_NE(r.err.find("usage: mrw ini get"), std::string::npos) << r.err;
  }
  Result help = RunMrw(scratch, {"ini", "--help"});
  EXPECT_EQ(help.code, 0);
  EXPECT_NE(help.out.find("mrw ini set FILE SECTION KEY VALUE"), std::string::npos);

  WriteFile(scratch / "plain", "x");
  const std::string under_file = scratch / "plain/a.ini";
  Result r = RunMrw(scratch, {"ini", "set", under_file, "S", "k", "v"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.err, "mrw ini: Datei " + under_file + " kann nicht erstellt werden\n");
  r = RunMrw(scratch, {"ini", "set", f, "S", "k", "two\nlines"});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("Ungültiger Wert"), std::string::npos) << r.err;
  EXPECT_FALSE(std::filesystem::exists(f));
}

TEST(IniCommand, WaitsForAFileAnotherProcessHolds) {
  TempDir scratch;
  const std::string f = scratch / "a.ini";
  WriteFile(f, "[S]\r\nk=old\r\n");
  int fd = ::open(f.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(::flock(fd, LOCK_SH), 0);  // this test process reads it, so nobody may write
  std::thread release([fd] {
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    ::close(fd);
  });
  Result r = RunMrw(scratch, {"ini", "set", f, "S", "k", "new"});
  release.join();
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(ReadFile(f), "[S]\r\nk=new\r\n");
}

}  // namespace
}  // namespace mrw
