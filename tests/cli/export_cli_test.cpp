// mrw export as a user calls it, on a demo host database made with mrw demo-db.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "common/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using mrw::test::TempDir;

struct Result {
  int code;
  std::string out, err;
};

std::string Quote(const std::string& s) { return "'" + s + "'"; }

Result RunMrw(const TempDir& scratch, const std::string& args, const std::string& tag = "") {
  std::string out = scratch / ("stdout" + tag), err = scratch / ("stderr" + tag);
  std::string cmd = "TMPDIR=" + Quote(scratch.str()) + " " + Quote(MRW_BIN) + " " + args + " >" +
                    Quote(out) + " 2>" + Quote(err);
  int status = std::system(cmd.c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, mrw::test::ReadFile(out), mrw::test::ReadFile(err)};
}

std::vector<std::string> Lines(const std::string& text, const std::string& sep = "\n") {
  std::vector<std::string> out;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find(sep, pos);
    if (end == std::string::npos) end = text.size();
    out.push_back(text.substr(pos, end - pos));
    pos = end + sep.size();
  }
  return out;
}

std::vector<std::string> Cells(const std::string& line) { return Lines(line + "\t", "\t"); }

class ExportCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    Result r = RunMrw(scratch_, "demo-db " + Quote(db_) + " --orders 300 --seed 5 --today 03.04.2024");
    ASSERT_EQ(r.code, 0) << r.err;
  }
  TempDir scratch_;
  std::string db_ = scratch_ / "host db";
  const std::string week_ = " --today 03.04.2024 --range woche";
};

TEST_F(ExportCommand, ListShowsStatusAndTheRowsOfTheRange) {
  Result r = RunMrw(scratch_, "export " + Quote(db_) + week_ + " --list");
  ASSERT_EQ(r.code, 0) << r.err;
  auto lines = Lines(r.out);
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0], " Woche vom 31.03.2024 bis 06.04.2024");
  EXPECT_EQ(lines[2], "ID\tID_ORDER\tTyp\tDate\tKNR\tAdressName");
  EXPECT_EQ(lines[1].empty(), lines.size() > 3);  // the warning exactly when nothing shows
  const std::set<std::string> week = {"31.03.2024", "01.04.2024", "02.04.2024", "03.04.2024",
                                      "04.04.2024", "05.04.2024", "06.04.2024"};
  for (size_t i = 3; i < lines.size(); ++i) {
    auto cells = Cells(lines[i]);
    ASSERT_EQ(cells.size(), 6u) << lines[i];
    EXPECT_TRUE(week.count(cells[3])) << lines[i];
  }

  Result range = RunMrw(scratch_, "export " + Quote(db_) + " --today 03.04.2024 --range 31.03.2024-06.04.2024 --list");
  ASSERT_EQ(range.code, 0) << range.err;
  auto range_lines = Lines(range.out);
  EXPECT_EQ(range_lines[0], " Bereich vom 31.03.2024 bis 06.04.2024");
  EXPECT_EQ(std::vector<std::string>(range_lines.begin() + 1, range_lines.end()),
            std::vector<std::string>(lines.begin() + 1, lines.end()));
}

TEST_F(ExportCommand, ExportsMarkedOrdersInTheGivenOrder) {
  Result list = RunMrw(scratch_, "export " + Quote(db_) + " --today 03.04.2024 --range 30tage --list");
  ASSERT_EQ(list.code, 0) << list.err;
  auto lines = Lines(list.out);
  ASSERT_GE(lines.size(), 5u) << list.out;
  std::string first = Cells(lines[3])[1], second = Cells(lines[4])[1];
  ASSERT_NE(first, second);

  const std::string out = scratch_ / "out";
  Result r = RunMrw(scratch_, "export " + Quote(db_) + " --today 03.04.2024 --range 30tage --orders " + second +
                               "," + first + " --message 'Grüße' --out " + Quote(out));
  ASSERT_EQ(r.code, 0) << r.err;
  auto path = Lines(r.out);
  ASSERT_EQ(path.size(), 1u);
  EXPECT_EQ(fs::path(path[0]).parent_path(), fs::path(out));
  EXPECT_TRUE(fs::is_regular_file(path[0]));
  EXPECT_EQ(path[0].substr(path[0].size() - 4), ".Qtf");
  // The wizard's message, as plain text.
  EXPECT_NE(r.err.find("Die erzeugten Datei finden Sie hier:\nKlicken Sie hier, um den entsprechenden Ordner"),
            std::string::npos)
      << r.err;

  auto log = Lines(mrw::test::ReadFile(db_ + "/MRW/exported.txt"), "\r\n");
  ASSERT_EQ(log.size(), 2u);
  EXPECT_NE(log[0].find(" " + second + " "), std::string::npos) << log[0];
  EXPECT_NE(log[1].find(" " + first + " "), std::string::npos) << log[1];
  EXPECT_NE(log[0].find("Gespeichert " + fs::path(path[0]).filename().string() + " in " + out + "/ "),
            std::string::npos);
}

TEST_F(ExportCommand, FailuresExitOneAndLeaveNoPackage) {
  const std::string out = scratch_ / "out";
  Result missing = RunMrw(scratch_, "export " + Quote(scratch_ / "nowhere") + " --out " + Quote(out));
  EXPECT_EQ(missing.code, 1);
  EXPECT_NE(missing.err.find("Verbindung zur Datenbank konnte nicht aufgebaut werden."), std::string::npos);

  Result not_shown = RunMrw(scratch_, "export " + Quote(db_) + week_ + " --orders 999999999 --out " + Quote(out));
  EXPECT_EQ(not_shown.code, 1);
  EXPECT_NE(not_shown.err.find("999999999"), std::string::npos) << not_shown.err;

  Result empty = RunMrw(scratch_, "export " + Quote(db_) + " --today 03.04.2024 --range 01.01.2030-02.01.2030 --out " +
                                   Quote(out));
  EXPECT_EQ(empty.code, 1);
  EXPECT_NE(empty.err.find("Für den gewählten Bereich keine Aufträge."), std::string::npos) << empty.err;
  EXPECT_FALSE(fs::exists(out) && !fs::is_empty(out));
}

TEST_F(ExportCommand, WrongArgumentsAreUsageErrors) {
  for (const std::string& args :
       {std::string(), Quote(db_) + " more", Quote(db_) + " --range morgen", Quote(db_) + " --today 31.02.2024",
        Quote(db_) + " --range 06.04.2024-31.03.2024", Quote(db_) + " --orders 1,,2", Quote(db_) + " --orders x",
        Quote(db_) + " --send", Quote(db_) + " --account office",
        Quote(db_) + " --send a@b.de --out " + Quote(scratch_ / "out")}) {
    Result r = RunMrw(scratch_, "export " + args);
    EXPECT_EQ(r.code, 2) << args;
    EXPECT_NE(r.err.find("usage: mrw export"), std::string::npos) << args;
  }
}

TEST_F(ExportCommand, TwoProcessesAtOnceBothLogTheirBlocks) {
  Result list = RunMrw(scratch_, "export " + Quote(db_) + " --today 03.04.2024 --range 30tage --list");
  auto lines = Lines(list.out);
  ASSERT_GE(lines.size(), 7u) << list.out;
  std::string a = Cells(lines[3])[1] + "," + Cells(lines[4])[1];
  std::string b = Cells(lines[5])[1] + "," + Cells(lines[6])[1];
  const std::string common = "export " + Quote(db_) + " --today 03.04.2024 --range 30tage --out " + Quote(scratch_ / "out");
  std::string cmd = "(TMPDIR=" + Quote(scratch_.str()) + " " + Quote(MRW_BIN) + " " + common + " --orders " + a +
                    " >" + Quote(scratch_ / "a.out") + " 2>" + Quote(scratch_ / "a.err") + " & TMPDIR=" + Quote(scratch_.str()) + " " +
                    Quote(MRW_BIN) + " " + common + " --orders " + b + " >" + Quote(scratch_ / "b.out") +
                    " 2>" + Quote(scratch_ / "b.err") + " & wait)";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  std::string pa = mrw::test::ReadFile(scratch_ / "a.out"), pb = mrw::test::ReadFile(scratch_ / "b.out");
  pa = pa.substr(0, pa.find('\n'));
  pb = pb.substr(0, pb.find('\n'));
  ASSERT_TRUE(fs::is_regular_file(pa)) << mrw::test::ReadFile(scratch_ / "a.err");
  ASSERT_TRUE(fs::is_regular_file(pb)) << mrw::test::ReadFile(scratch_ / "b.err");

  auto log = Lines(mrw::test::ReadFile(db_ + "/MRW/exported.txt"), "\r\n");
  ASSERT_EQ(log.size(), 4u);
  auto package_of = [](const std::string& line) {
    return line.find(".Qtf") == std::string::npos ? std::string() : line.substr(0, line.find(".Qtf"));
  };
  // Each block is one package's two lines, whichever came first.
  EXPECT_EQ(package_of(log[0]), package_of(log[1]));
  EXPECT_EQ(package_of(log[2]), package_of(log[3]));
  EXPECT_NE(package_of(log[0]), package_of(log[2]));
}

}  // namespace
