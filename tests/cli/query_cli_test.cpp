// mrw query and mrw schema as a user calls them.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "common/temp_dir.h"
#include "db/table.h"
#include "foundation/dates.h"

namespace {

struct Result {
  int code;
  std::string out, err;
};

std::string Q(const std::string& s) { return "'" + s + "'"; }

Result RunMrw(const mrw::test::TempDir& scratch, const std::string& args) {
  std::string out = scratch / "stdout.txt", err = scratch / "stderr.txt";
  std::string cmd = Q(MRW_BIN) + " " + args + " >" + Q(out) + " 2>" + Q(err);
  int status = std::system(cmd.c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, mrw::test::ReadFile(out), mrw::test::ReadFile(err)};
}

std::vector<std::string> Split(const std::string& s, char sep) {
  std::vector<std::string> out;
  std::string cur;
  for (char c : s) {
    if (c == sep) {
      out.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  out.push_back(cur);
  return out;
}

std::vector<std::string> Lines(const std::string& s) {
  auto lines = Split(s, '\n');
  if (!lines.empty() && lines.back().empty()) lines.pop_back();
  return lines;
}

TEST(QueryCommand, PrintsEveryTypeInItsTextFormAndTheSchema) {
  using namespace mrw::db;
  mrw::test::TempDir dir;
  Table::Create(dir / "T.ADT", {{"ID", FieldType::AutoInc, 0}, {"Name", FieldType::Text, 8}, {"M", FieldType::Memo, 0},
                                {"B", FieldType::Binary, 0}, {"D", FieldType::Date, 0}, {"F", FieldType::Double, 0},
                                {"L", FieldType::Logical, 0}, {"S", FieldType::ShortInt, 0}});
  {
    Connection c;
    c.SetPath(dir.str());
    c.Open();
    Table t(c, "T.ADT");
    t.Open();
    t.Insert();
    t.FieldByName("Name").SetString("Jörg ");
    t.FieldByName("M").SetString("a\\b\tc\r\nd");
    t.FieldByName("B").SetBytes(std::string("\0\n\t", 3));
    t.FieldByName("D").SetString("07.04.2024");
    t.FieldByName("F").SetFloat(1234567.25);
    t.FieldByName("L").SetBoolean(false);
    t.FieldByName("S").SetInteger(-3);
    t.Post();
    t.Insert();
    t.FieldByName("M").SetString("");
    t.FieldByName("F").SetFloat(0.1);
    t.FieldByName("L").SetBoolean(true);
    t.Post();
    t.AddIndex("DATE", "d", true);
  }
  Result r = RunMrw(dir, "query " + Q(dir.str()) + " t");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out,
            "ID\tName\tM\tB\tD\tF\tL\tS\n"
            "1\tJörg\ta\\\\b\\tc\\r\\nd\t3\t07.04.2024\t1234567.25\tF\t-3\n"
            "2\t\t\t\t\t0.1\tT\t\n");

  r = RunMrw(dir, "query " + Q(dir.str()) + " T.ADT --fields l,id --index date");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "L\tID\nF\t1\nT\t2\n");

  r = RunMrw(dir, "schema " + Q(dir.str()) + " T");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out,
            "field\tID\tautoinc\t0\nfield\tName\ttext\t8\nfield\tM\tmemo\t0\nfield\tB\tbinary\t0\n"
            "field\tD\tdate\t0\nfield\tF\tdouble\t0\nfield\tL\tlogical\t0\nfield\tS\tshortint\t0\n"
            "index\tDATE\tD\tdescending\n");
}

TEST(QueryCommand, BadFiltersMissingAndDamagedTablesAreErrors) {
  mrw::test::TempDir dir;
  mrw::db::Table::Create(dir / "T.ADT", {{"ID", mrw::db::FieldType::AutoInc, 0}});
  mrw::test::WriteFile(dir / "Bad.ADT", std::string(4096, '\x01'));
  mrw::test::WriteFile(dir / "Bad.ADM", "");
  mrw::test::WriteFile(dir / "Bad.ADI", "");
  struct Case {
    std::string args;
    int code;
    std::string says;
  };
  const std::string d = Q(dir.str());
  const Case cases[] = {
      {"query " + d + " T --filter 'ID='", 1, "Fehler im Filterausdruck"},
      {"query " + d + " T --filter '(ID=1'", 1, "Fehler im Filterausdruck"},
      {"query " + d + " T --index NOPE", 1, "Indextag NOPE"},
      {"query " + d + " T --fields ID,Nope", 1, "Feld Nope"},
      {"query " + d + " Missing", 1, "nicht gefunden"},
      {"query " + d + " Bad", 1, "beschädigt"},
      {"query " + Q(dir / "nowhere") + " T", 1, "Verzeichnis nicht gefunden"},
      {"schema " + d + " Bad", 1, "beschädigt"},
      {"query " + d, 2, "usage: mrw query"},
      {"schema " + d + " T extra", 2, "usage: mrw schema"},
  };
  for (const auto& c : cases) {
    Result r = RunMrw(dir, c.args);
    EXPECT_EQ(r.code, c.code) << c.args;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << c.args << "\n" << r.err;
    if (c.code == 1) {
      EXPECT_EQ(r.out, "") << c.args;
    }
  }
}

// The filters the wizard builds, run by mrw query on a demo database, against an
// evaluation of the same conditions written out here over the unfiltered dump.
TEST(QueryCommand, FilteredViewsOfADemoDatabaseAgreeWithTheUnfilteredDump) {
  mrw::test::TempDir dir;
  const std::string db = dir / "db";
  Result r = RunMrw(dir, "demo-db " + Q(db) + " --orders 400 --seed 11 --today 15.03.2024");
  ASSERT_EQ(r.code, 0) << r.err;

  r = RunMrw(dir, "query " + Q(db) + " Auftraege.ADT --fields ID,ID_ORDER,POT,Status,Date");
  ASSERT_EQ(r.code, 0) << r.err;
  auto dump = Lines(r.out);
  ASSERT_EQ(dump.front(), "ID\tID_ORDER\tPOT\tStatus\tDate");
  dump.erase(dump.begin());
  ASSERT_EQ(dump.size(), 400u);
  struct Row {
    std::string line;
    long id_order, pot, status;  // kNull for no value
    double date;                 // -1 for no date
  };
  constexpr long kNull = -999999;
  auto num = [&](const std::string& s) { return s.empty() ? kNull : std::stol(s); };
  std::vector<Row> rows;
  for (const auto& line : dump) {
    auto f = Split(line, '\t');
    ASSERT_EQ(f.size(), 5u) << line;
    auto date = mrw::ParseDateText(f[4]);
    rows.push_back({line, num(f[1]), num(f[2]), num(f[3]), date ? *date : -1});
  }

  const std::string base = " (POT<>1 ) AND  (POT<>5) AND ";
  auto d = [](const char* t) { return *mrw::ParseDateText(t); };
  struct Case {
    std::string filter;
    std::function<bool(const Row&)> keep;
  };
  const long some_order = rows[rows.size() / 2].id_order;
  // A comparison with a missing value is false.
  auto not_base = [&](const Row& w) { return w.pot != kNull && w.pot != 1 && w.pot != 5; };
  const Case cases[] = {
      {base + "DATE>\"14.03.2024\" and DATE<\"16.03.2024\"",
       [&](const Row& w) { return not_base(w) && w.date == d("15.03.2024"); }},
      {base + "DATE>\"13.02.2024\" and DATE<\"16.03.2024\"",
       [&](const Row& w) { return not_base(w) && w.date > d("13.02.2024") && w.date < d("16.03.2024"); }},
      {base + "ID_ORDER=" + std::to_string(some_order),
       [&](const Row& w) { return not_base(w) && w.id_order == some_order; }},
      {"POT=1000", [](const Row&) { return false; }},
      {"NOT (Status=2 OR pot>=130) AND date>=\"01.03.2024\"",
       [&](const Row& w) {
         return !((w.status != kNull && w.status == 2) || (w.pot != kNull && w.pot >= 130)) && w.date >= 0 &&
                w.date >= d("01.03.2024");
       }},
  };
  for (const auto& c : cases) {
    // Physical order (the dump's), then the descending DATE tag with ties in dump order.
    for (const char* index : {"", "DATE"}) {
      std::vector<const Row*> expected;
      for (const auto& w : rows)
        if (c.keep(w)) expected.push_back(&w);
      if (*index)
        std::stable_sort(expected.begin(), expected.end(), [](const Row* a, const Row* b) { return a->date > b->date; });
      std::string want = "ID\tID_ORDER\tPOT\tStatus\tDate\n";
      for (const Row* w : expected) want += w->line + "\n";
      std::string args = "query " + Q(db) + " auftraege --fields id,id_order,pot,status,date --filter " + Q(c.filter);
      if (*index) args += std::string(" --index ") + index;
      r = RunMrw(dir, args);
      ASSERT_EQ(r.code, 0) << c.filter << "\n" << r.err;
      EXPECT_EQ(r.out, want) << c.filter << " index " << index;
    }
  }
  // The demo database spans the dates the wizard's ranges need.
  EXPECT_TRUE(std::any_of(rows.begin(), rows.end(), [&](const Row& w) { return w.date == d("15.03.2024"); }));
}

}  // namespace
