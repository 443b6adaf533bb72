// Filter expressions: what parses, what is rejected, and that the SQL the table runs
// selects exactly the rows the evaluator accepts (nulls included).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <random>
#include <set>

#include "db/expression.h"
#include "db_fixture.h"
#include "foundation/errors.h"

namespace mrw::db::test {
namespace {

const std::vector<FieldDef> kFields = {{"POT", FieldType::ShortInt, 0}, {"ID_ORDER", FieldType::Integer, 0},
                                       {"Date", FieldType::Date, 0},    {"Name", FieldType::Text, 10},
                                       {"Sum", FieldType::Double, 0},   {"Memo", FieldType::Memo, 0},
                                       {"1caption", FieldType::Text, 5}};

Value Get(const std::vector<Value>& row, size_t i) { return row[i]; }

bool Accepts(std::string_view expr, const std::vector<Value>& row) {
  return FilterExpression::Parse(expr, kFields).Matches([&](size_t i) { return Get(row, i); });
}

TEST(ExpressionTest, TheExpressionsTheProgramBuildsAndABitMore) {
  DateTime d = *ParseDateText("05.03.2024");
  std::vector<Value> row = {int64_t{2}, int64_t{4711}, static_cast<int64_t>(d), std::string("Müller"), 1.5,
                            std::string("m"), std::string("x y")};
  EXPECT_TRUE(Accepts(" (POT<>1 ) AND  (POT<>5) AND DATE>\"04.03.2024\" and DATE<\"06.03.2024\"", row));
  EXPECT_FALSE(Accepts(" (POT<>1 ) AND  (POT<>5) AND DATE>\"05.03.2024\" and DATE<\"06.03.2024\"", row));
  EXPECT_TRUE(Accepts(" (POT<>1 ) AND  (POT<>5) AND ID_ORDER=4711", row));
  EXPECT_FALSE(Accepts("POT=1000", row));
  EXPECT_TRUE(Accepts("not (pot = 1 or Pot=5) And name='Müller'", row));
  EXPECT_TRUE(Accepts("4711 = id_order AND 1.25 < sum AND sum <= 1.5 AND -3 < POT", row));
  EXPECT_TRUE(Accepts("1caption = 'x y ' AND Name >= \"M\" AND Name < \"N\"", row));
  EXPECT_TRUE(Accepts("   ", row));

  std::vector<Value> nulls(kFields.size());  // a comparison with null is false, both ways
  EXPECT_FALSE(Accepts("POT=1", nulls));
  EXPECT_FALSE(Accepts("POT<>1", nulls));
  EXPECT_TRUE(Accepts("NOT POT=1", nulls));
  EXPECT_FALSE(Accepts("Name=''", nulls));
}

TEST(ExpressionTest, MalformedExpressionsNameTheProblem) {
  struct Case {
    const char* expr;
    const char* says;
  };
  const Case cases[] = {
      {"ID_ORDER=", "Wert erwartet"},
      {" (POT<>1 ) AND  (POT<>5) AND ID_ORDER=", "Position 39"},
      {"(POT=1", "'(' ohne passende ')'"},
      {"POT=1)", "')' ohne passende '('"},
      {"POTT=1", "unbekanntes Feld POTT"},
      {"DATE>\"31.02.2024\"", "kein gültiges Datum"},
      {"DATE>\"2024-03-01\"", "kein gültiges Datum"},
      {"DATE>5", "braucht einen Text"},
      {"POT=\"1\"", "braucht eine Zahl"},
      {"Memo='x'", "kann nicht verglichen werden"},
      {"Name='abc", "Anführungszeichen"},
      {"POT=1 AND", "Feld oder Wert erwartet"},
      {"POT 1", "Vergleichsoperator erwartet"},
      {"POT=ID_ORDER", "zweier Felder"},
      {"POT=1 POT=2", "unerwartet"},
      {"POT=1.2.3", "ungültige Zahl"},
      {"POT=#", "unerwartetes Zeichen"},
  };
  for (const auto& c : cases) {
    try {
      FilterExpression::Parse(c.expr, kFields);
      ADD_FAILURE() << c.expr << " was accepted";
    } catch (const Error& e) {
      EXPECT_THAT(e.what(), ::testing::HasSubstr(c.says)) << c.expr;
    }
  }
}

// Random expressions over random rows: the table's view (SQL) equals the evaluator's.
class SqlAgreesTest : public DbTest {};

TEST_F(SqlAgreesTest, ViewEqualsEvaluatorOnRandomRowsAndExpressions) {
  Make("R.ADT", {"ID:autoinc", "N:integer", "F:double", "D:date", "T:text:3", "L:logical"});
  Table t(conn, "R.ADT");
  t.Open();
  std::mt19937 rng(42);
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  const char* texts[] = {"", "a", "ab", "B", "ä"};
  t.StartTransaction();
  for (int i = 0; i < 300; ++i) {
    t.Insert();
    if (pick(5)) t.FieldByName("N").SetInteger(pick(7) - 3);
    if (pick(5)) t.FieldByName("F").SetFloat((pick(9) - 4) / 2.0);
    if (pick(5)) t.FieldByName("D").SetDate(45350 + pick(5));
    if (pick(5)) t.FieldByName("T").SetString(texts[pick(5)]);
    if (pick(5)) t.FieldByName("L").SetBoolean(pick(2));
    t.Post();
  }
  t.Commit();
  // Terms on indexed fields go to SQLite, the others are checked row by row: index some.
  t.AddIndex("N", "N", false);
  t.AddIndex("D", "D", true);
  t.AddIndex("T", "T", false);

  // All rows with their values, read without a filter.
  std::vector<std::vector<Value>> rows;
  for (t.First(); !t.Eof(); t.Next()) {
    std::vector<Value> r;
    for (size_t i = 0; i < t.Fields().size(); ++i) r.push_back(t.FieldAt(i).AsValue());
    rows.push_back(r);
  }
  ASSERT_EQ(rows.size(), 300u);

  const char* ops[] = {"=", "<>", "<", ">", "<=", ">="};
  std::function<std::string(int)> gen = [&](int depth) -> std::string {
    int k = depth > 0 ? pick(5) : 4;
    if (k == 0) return "(" + gen(depth - 1) + " AND " + gen(depth - 1) + ")";
    if (k == 1) return "(" + gen(depth - 1) + " or " + gen(depth - 1) + ")";
    if (k == 2) return "NOT " + gen(depth - 1);
    std::string op = ops[pick(6)];
    switch (pick(5)) {
      case 0: return "N" + op + std::to_string(pick(7) - 3);
      case 1: return "f" + op + std::to_string((pick(9) - 4) / 2.0);
      case 2: return "D" + op + "\"" + DateText(45350 + pick(5)) + "\"";
      case 3: return "T" + op + "'" + texts[pick(5)] + "'";
      default: return "L" + op + std::to_string(pick(2));
    }
  };
  t.SetFiltered(true);
  const char* orders[] = {"", "N", "D", "T"};
  for (int n = 0; n < 300; ++n) {
    std::string expr = gen(3);
    if (pick(3) == 0) expr = gen(1) + " AND " + gen(1) + " and " + gen(2);  // several top-level terms
    t.SetIndex(orders[pick(4)]);
    t.SetFilter(expr);
    std::set<int64_t> view;
    for (t.First(); !t.Eof(); t.Next()) view.insert(t.FieldByName("ID").AsInteger());
    auto parsed = FilterExpression::Parse(expr, t.Fields());
    std::set<int64_t> expected;
    for (const auto& r : rows)
      if (parsed.Matches([&](size_t i) { return r[i]; })) expected.insert(std::get<int64_t>(r[0]));
    ASSERT_EQ(view, expected) << expr;
  }
}

}  // namespace
}  // namespace mrw::db::test
