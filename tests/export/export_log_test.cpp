#include "export/export_log.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <stdexcept>

#include "export/chain_fixture.h"
#include "export/locale_time.h"
#include "foundation/codepage.h"

namespace mrw {
namespace {

using test::ChainFixture;

const DateTime kWhen = EncodeDate(2024, 12, 9) + (14 * 60 + 5) / 1440.0 + 9 / 86400.0;

std::function<DateTime()> FixedNow() {
  return [] { return kWhen; };
}

TEST(ExportLogTest, LinesAndMarksOfTheTransferredOrdersInTransferOrder) {
  ChainFixture f;
  f.AddOrder({.id_order = 100, .print_name = "Rechnung", .adress = "Firma\r\nStraße 1\r\n12345 Ort"});
  f.AddOrder({.id_order = 101, .print_name = " Angebot", .adress = "Anna\r\n", .gzs = "alt\r\n"});
  f.state.ExportedOrderIds = {2, 1};

  LogExport(f.host, f.orders, f.state, "Gespeichert X.Qtf in /aus/", FixedNow());

  const std::string stamp = ExportTimeStamp(kWhen);
  EXPECT_EQ(test::ReadFile(f.host_folder + "MRW/exported.txt"),
            Utf8ToAnsi(stamp + " Gespeichert X.Qtf in /aus/ Angebot 101 Anna\r\n" + stamp +
                       " Gespeichert X.Qtf in /aus/ Rechnung 100 Firma Straße 1 12345 Ort\r\n"));
  const std::string mark = DateTimeText(kWhen) + " exportiert\r\n";
  ASSERT_TRUE(f.orders.Locate("ID", 1));
  EXPECT_EQ(f.orders.FieldByName("GZS").AsString(), mark);
  ASSERT_TRUE(f.orders.Locate("ID", 2));
  EXPECT_EQ(f.orders.FieldByName("GZS").AsString(), mark + "alt\r\n");
}

TEST(ExportLogTest, OrdersGoneOrHiddenAreNeitherLoggedNorMarked) {
  ChainFixture f;
  f.AddOrder({.id_order = 1});
  f.AddOrder({.id_order = 2, .pot = 5});
  f.AddOrder({.id_order = 3});
  f.orders.SetFilter("POT<>5");
  f.orders.SetFiltered(true);
  f.state.ExportedOrderIds = {1, 2, 3, 77};

  LogExport(f.host, f.orders, f.state, "Gesendet nach a@b.de", FixedNow());

  std::string log = test::ReadFile(f.host_folder + "MRW/exported.txt");
  EXPECT_NE(log.find("Rechnung 1 "), std::string::npos);
  EXPECT_EQ(log.find("Rechnung 2 "), std::string::npos);
  EXPECT_NE(log.find("Rechnung 3 "), std::string::npos);
  f.orders.SetFiltered(false);
  ASSERT_TRUE(f.orders.Locate("ID", 2));
  EXPECT_EQ(f.orders.FieldByName("GZS").AsString(), "");
}

TEST(ExportLogTest, NothingToLogStillCreatesTheFileAndLeavesItUnchanged) {
  ChainFixture f;
  LogExport(f.host, f.orders, f.state, "Gespeichert", FixedNow());
  EXPECT_EQ(test::ReadFile(f.host_folder + "MRW/exported.txt"), "");
  test::WriteFile(f.host_folder + "MRW/exported.txt", "alt\r\n");
  LogExport(f.host, f.orders, f.state, "Gespeichert", FixedNow());
  EXPECT_EQ(test::ReadFile(f.host_folder + "MRW/exported.txt"), "alt\r\n");
}

TEST(ExportLogTest, AFailureAfterSomeMarksStillLogsTheMarkedOrders) {
  ChainFixture f;
  f.AddOrder({.id_order = 1});
  f.AddOrder({.id_order = 2});
  f.state.ExportedOrderIds = {1, 2};
  int calls = 0;
  auto failing_second = [&]() -> DateTime {
    if (++calls == 2) throw Error("Datensatz ist gesperrt");
    return kWhen;
  };

  EXPECT_THROW(LogExport(f.host, f.orders, f.state, "Gespeichert", failing_second), Error);

  std::string log = test::ReadFile(f.host_folder + "MRW/exported.txt");
  EXPECT_NE(log.find("Rechnung 1 "), std::string::npos);
  EXPECT_EQ(log.find("Rechnung 2 "), std::string::npos);
  ASSERT_TRUE(f.orders.Locate("ID", 2));
  EXPECT_EQ(f.orders.FieldByName("GZS").AsString(), "");
}

TEST(ExportLogTest, DescriptionJoinsLineBreaksAndTrims) {
  struct Case {
    const char* print_name;
    const char* id_order;
    const char* adress;
    const char* expected;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"Rechnung", "5", "A\r\nB\r\nC", "Rechnung 5 A B C"},
           {"", "5", "", "5"},
           {"\tLieferschein", "5", "A\nB\rC\r\n\r\n", "Lieferschein 5 A B C"},
       }) {
    EXPECT_EQ(OrderDescription(c.print_name, c.id_order, c.adress), c.expected) << c.adress;
  }
}

// Two processes appending at once: every block arrives whole, one after the other.
TEST(ExportLogTest, ConcurrentAppendsKeepEachBlockTogether) {
  test::TempDir dir;
  const std::string path = dir.str() + "host/MRW/exported.txt";
  constexpr int kBlocks = 20;
  constexpr int kLinesPerBlock = 2000;
  auto block = [](char writer, int n) {
    std::string text;
    for (int i = 0; i < kLinesPerBlock; ++i) {
      text += std::string(1, writer) + std::to_string(n) + " Zeile " + std::to_string(i) + "\r\n";
    }
    return text;
  };

  pid_t children[2];
  for (int w = 0; w < 2; ++w) {
    children[w] = fork();
    ASSERT_GE(children[w], 0);
    if (children[w] == 0) {
      try {
        for (int n = 0; n < kBlocks; ++n) AppendToExportLog(path, block(static_cast<char>('A' + w), n));
      } catch (...) {
        _exit(1);
      }
      _exit(0);
    }
  }
  for (pid_t child : children) {
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }

  std::string log = test::ReadFile(path);
  std::map<char, int> next_block;
  size_t pos = 0;
  while (pos < log.size()) {
    char writer = log[pos];
    int n = next_block[writer]++;
    std::string expected = block(writer, n);
    ASSERT_EQ(log.compare(pos, expected.size(), expected), 0) << "block " << writer << n;
    pos += expected.size();
  }
  EXPECT_EQ(next_block['A'], kBlocks);
  EXPECT_EQ(next_block['B'], kBlocks);
}

// Two workstations logging the same orders at once: both blocks arrive whole, one after
// the other, and every order carries both marks.
TEST(ExportLogTest, TwoProcessesLoggingTheSameHostDatabase) {
  ChainFixture f;
  constexpr int kOrders = 40;
  ExportState state;
  for (int i = 1; i <= kOrders; ++i) state.ExportedOrderIds.push_back(f.AddOrder({.id_order = i}));
  // No open database handle may cross a fork.
  f.orders.Close();
  f.addresses.Close();
  f.host.Close();

  pid_t children[2];
  for (int w = 0; w < 2; ++w) {
    children[w] = fork();
    ASSERT_GE(children[w], 0);
    if (children[w] == 0) {
      int rc = 0;
      try {
        db::Connection host;
        host.SetPath(f.host_folder);
        host.Open();
        db::Table orders(host, "Auftraege.ADT");
        orders.Open();
        LogExport(host, orders, state, w == 0 ? "Erster" : "Zweiter", FixedNow());
      } catch (...) {
        rc = 1;
      }
      _exit(rc);
    }
  }
  for (pid_t child : children) {
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }

  std::vector<std::string> lines;
  std::string log = test::ReadFile(f.host_folder + "MRW/exported.txt");
  for (size_t pos = 0, end; (end = log.find("\r\n", pos)) != std::string::npos; pos = end + 2) {
    lines.push_back(log.substr(pos, end - pos));
  }
  ASSERT_EQ(lines.size(), 2u * kOrders);
  const std::string stamp = ExportTimeStamp(kWhen);
  const std::string first = lines[0].substr(stamp.size() + 1, 6);
  for (int i = 0; i < 2 * kOrders; ++i) {
    bool in_first_block = i < kOrders;
    EXPECT_EQ(lines[i].find(stamp + (in_first_block == (first == "Erster") ? " Erster " : " Zweiter ")), 0u)
        << lines[i];
  }

  f.host.Open();
  f.orders.Open();
  const std::string mark = DateTimeText(kWhen) + " exportiert\r\n";
  for (f.orders.First(); !f.orders.Eof(); f.orders.Next()) {
    EXPECT_EQ(f.orders.FieldByName("GZS").AsString(), mark + mark);
  }
}

}  // namespace
}  // namespace mrw
