// Two processes on one table: reading while the other writes, a bounded wait for a row
// being edited elsewhere, no lost update when both keep changing the same row, and
// bookmarks that stay true to their row while another connection changes the table.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include "db_fixture.h"
#include "foundation/errors.h"

namespace mrw::db::test {
namespace {

class ConcurrencyTest : public DbTest {
 protected:
  void SetUp() override {
    DbTest::SetUp();
    Make("C.ADT", {"ID:autoinc", "N:integer", "M:memo"});
    Table t(conn, "C.ADT");
    t.Open();
    t.Insert();
    t.FieldByName("N").SetInteger(0);
    t.FieldByName("M").SetString("");
    t.Post();
  }

  // Runs `body` in a child process; returns its pid. The child exits 0 when body returns
  // true, 1 otherwise (exceptions included).
  template <typename F>
  pid_t Child(F body) {
    pid_t pid = fork();
    if (pid == 0) {
      int rc = 1;
      try {
        Connection c;
        c.SetPath(dir.str());
        c.Open();
        rc = body(c) ? 0 : 1;
      } catch (...) {
      }
      _exit(rc);
    }
    return pid;
  }

  static int Wait(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
};

TEST_F(ConcurrencyTest, ARowBeingEditedElsewhereFailsAfterABoundedWaitWhileReadingGoesOn) {
  int ready[2], go[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(go), 0);
  pid_t pid = Child([&](Connection& c) {
    Table t(c, "C.ADT");
    t.Open();
    t.Edit();
    t.FieldByName("N").SetInteger(42);
    char b = 1;
    if (write(ready[1], &b, 1) != 1 || read(go[0], &b, 1) != 1) return false;
    t.Post();
    return true;
  });
  char b;
  ASSERT_EQ(read(ready[0], &b, 1), 1);

  Settings().lock_wait_ms = 300;
  Table t(conn, "C.ADT");
  t.Open();
  EXPECT_EQ(t.FieldByName("N").AsInteger(), 0);  // reading goes on
  auto start = std::chrono::steady_clock::now();
  try {
    t.Edit();
    ADD_FAILURE() << "edit of a locked row succeeded";
  } catch (const Error& e) {
    EXPECT_THAT(e.what(), ::testing::HasSubstr("anderen Benutzer"));
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_EQ(t.state(), Table::State::Browse);

  b = 1;
  ASSERT_EQ(write(go[1], &b, 1), 1);
  EXPECT_EQ(Wait(pid), 0);
  t.Refresh();
  EXPECT_EQ(t.FieldByName("N").AsInteger(), 42);
  t.Edit();  // free again
  t.Cancel();
  Settings().lock_wait_ms = 3000;
}

TEST_F(ConcurrencyTest, TwoProcessesIncrementingTheSameRowLoseNoUpdate) {
  constexpr int kRounds = 40;
  Settings().lock_wait_ms = 10000;
  auto work = [](Connection& c, const char* tag) {
    Table t(c, "C.ADT");
    t.Open();
    for (int i = 0; i < kRounds; ++i) {
      t.First();
      t.Edit();  // re-reads the row under the lock
      t.FieldByName("N").SetInteger(t.FieldByName("N").AsInteger() + 1);
      t.FieldByName("M").SetString(tag + t.FieldByName("M").AsString());
      t.Post();
    }
    return true;
  };
  pid_t pid = Child([&](Connection& c) { return work(c, "b"); });
  work(conn, "a");
  EXPECT_EQ(Wait(pid), 0);
  Table t(conn, "C.ADT");
  t.Open();
  EXPECT_EQ(t.FieldByName("N").AsInteger(), 2 * kRounds);
  EXPECT_EQ(t.FieldByName("M").AsString().size(), 2u * kRounds);
  Settings().lock_wait_ms = 3000;
}

// Another connection deletes and changes rows after this one has read its view. A
// bookmark must bring back its own row or fail: never the row that followed it, never a
// row that no longer matches the filter. With and without an index tag on the filtered
// field, as the two are checked on different paths.
TEST_F(ConcurrencyTest, BookmarksFollowChangesMadeElsewhereBeforeAnyRefresh) {
  for (bool indexed : {false, true}) {
    SCOPED_TRACE(indexed ? "indexed" : "not indexed");
    const std::string name = indexed ? "I.ADT" : "P.ADT";
    Make(name, {"ID:autoinc", "N:integer"});
    Table mine(conn, name);
    mine.Open();
    if (indexed) mine.AddIndex("N", "N", false);
    for (int n = 1; n <= 4; ++n) {
      mine.Insert();
      mine.FieldByName("N").SetInteger(n);
      mine.Post();
    }
    std::vector<Bookmark> mark;  // mark[i]: the row with N = i + 1
    for (mine.First(); !mine.Eof(); mine.Next()) mark.push_back(mine.GetBookmark());
    ASSERT_EQ(mark.size(), 4u);

    Connection other_conn;
    other_conn.SetPath(dir.str());
    other_conn.Open();
    Table other(other_conn, name);
    other.Open();
    auto set_n = [&](int64_t from, int64_t to) {
      ASSERT_TRUE(other.Locate("N", from));
      other.Edit();
      other.FieldByName("N").SetInteger(to);
      other.Post();
    };
    set_n(4, 50);  // out of the view this connection is about to read

    mine.SetFilter("N<10");
    mine.SetFiltered(true);
    mine.First();
    ASSERT_TRUE(other.Locate("N", 1));
    other.Delete();
    set_n(3, 30);  // leaves the view
    set_n(50, 4);  // comes back into it

    try {
      mine.GotoBookmark(mark[0]);
      ADD_FAILURE() << "bookmark of a deleted row landed on ID " << mine.FieldByName("ID").AsInteger();
    } catch (const Error& e) {
      EXPECT_THAT(e.what(), ::testing::HasSubstr("gelöscht"));
    }
    EXPECT_THROW(mine.GotoBookmark(mark[2]), Error);
    mine.GotoBookmark(mark[1]);
    EXPECT_EQ(mine.FieldByName("N").AsInteger(), 2);
    mine.GotoBookmark(mark[3]);
    EXPECT_EQ(mine.FieldByName("N").AsInteger(), 4);
    EXPECT_EQ(mine.GetBookmark(), mark[3]);
  }
}

}  // namespace
}  // namespace mrw::db::test
