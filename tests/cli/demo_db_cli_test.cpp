// mrw demo-db as a user calls it.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "common/temp_dir.h"

namespace {

namespace fs = std::filesystem;

struct Result {
  int code;
  std::string out, err;
};

Result RunMrw(const mrw::test::TempDir& scratch, const std::string& args) {
  std::string out = scratch / "stdout.txt", err = scratch / "stderr.txt";
  std::string cmd = std::string("'") + MRW_BIN + "' demo-db " + args + " >'" + out + "' 2>'" + err + "'";
  int status = std::system(cmd.c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, mrw::test::ReadFile(out), mrw::test::ReadFile(err)};
}

TEST(DemoDbCommand, CreatesTheDatabaseAndRefusesToOverwriteIt) {
  mrw::test::TempDir scratch;
  std::string db = scratch / "host db";
  Result r = RunMrw(scratch, "'" + db + "' --orders 12 --seed 3 --today 01.02.2026");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("12 orders"), std::string::npos) << r.out;
  for (const char* f : {"Auftraege.ADT", "Auftraege.ADM", "Auftraege.ADI", "Adressen.ADT", "setup.ADT",
                        "ORDER_LETTERS", "ORDER_LETTERS_LAST", "L2ROOT_ORDER/1"}) {
    EXPECT_TRUE(fs::exists(fs::path(db) / f)) << f;
  }

  r = RunMrw(scratch, "'" + db + "' --orders 12");
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("nicht überschrieben"), std::string::npos) << r.err;
}

TEST(DemoDbCommand, WrongArgumentsAreUsageErrors) {
  mrw::test::TempDir scratch;
  const std::string x = "'" + (scratch / "x") + "'";
  for (const std::string& args : {std::string(), x + " b", x + " --orders ten", x + " --orders -1",
                                 x + " --seed 1.5", x + " --today 31.02.2026", x + " --today 2026-02-01",
                                 x + " --colour blue"}) {
    Result r = RunMrw(scratch, args);
    EXPECT_EQ(r.code, 2) << args;
    EXPECT_NE(r.err.find("usage: mrw demo-db"), std::string::npos) << args;
  }
  EXPECT_FALSE(fs::exists(scratch / "x"));
}

}  // namespace
