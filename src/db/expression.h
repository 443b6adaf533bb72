// Filter expressions of the table engine.
//
// Grammar (keywords and field names in any letter case, blanks anywhere between tokens):
//   expr       := or
//   or         := and { "OR" and }
//   and        := not { "AND" not }
//   not        := "NOT" not | "(" expr ")" | comparison
//   comparison := operand op operand      (one side a field, the other a literal)
//   op         := "=" | "<>" | "<" | ">" | "<=" | ">="
//   literal    := number | "text" | 'text'
// A number is compared with numeric fields (autoinc, integer, short integer, double,
// logical as 0/1); a quoted text with text fields, or, as "DD.MM.YYYY", with date
// fields. Texts compare exactly (case-sensitive, byte order of UTF-8; trailing blanks of
// the literal do not count, as stored texts have none).
//
// Null: a comparison with a null field is false (so "NOT DATE>..." holds for rows with
// no date). The evaluator is the reference; the SQL translation gives the same rows.
//
// Anything else (an operand missing as in "ID_ORDER=", unbalanced parentheses, an unknown
// field, a date literal that is no date, a memo or binary field, a type mismatch) throws
// mrw::Error with a German text naming the problem and its position.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "db/field.h"

namespace mrw::db {

struct ExprNode;

class FilterExpression {
 public:
  FilterExpression();
  ~FilterExpression();
  FilterExpression(FilterExpression&&) noexcept;
  FilterExpression& operator=(FilterExpression&&) noexcept;

  // An empty or all-blank text gives the expression that accepts every row.
  static FilterExpression Parse(std::string_view text, const std::vector<FieldDef>& fields);

  bool AcceptsAll() const { return root_ == nullptr; }
  // Indices of the fields the expression reads.
  std::vector<size_t> FieldsUsed() const;

  // Evaluates on one row; `get(i)` gives the stored value of field i.
  bool Matches(const std::function<Value(size_t)>& get) const;

  // Splits the top-level AND terms in two: those whose fields all pass `to_sql` (the
  // first result) and the others (the second). Both together accept what this does.
  std::pair<FilterExpression, FilterExpression> Split(const std::function<bool(size_t)>& to_sql) const;

  // SQL condition for SQLite with "?" parameters; `column(i)` names field i's column.
  struct Sql {
    std::string where;  // "1" when every row is accepted
    std::vector<Value> params;
  };
  Sql ToSql(const std::function<std::string(size_t)>& column) const;

 private:
  std::unique_ptr<ExprNode> root_;
};

}  // namespace mrw::db
