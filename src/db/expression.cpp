#include "db/expression.h"

#include <cctype>
#include <charconv>
#include <cmath>

#include "foundation/codepage.h"
#include "foundation/errors.h"

namespace mrw::db {

enum class CmpOp { Eq, Ne, Lt, Gt, Le, Ge };

struct ExprNode {
  enum class Kind { And, Or, Not, Cmp } kind = Kind::Cmp;
  std::unique_ptr<ExprNode> a, b;
  size_t field = 0;
  CmpOp op = CmpOp::Eq;
  Value literal;  // int64 / double for numbers and dates, string for texts
};

namespace {

enum class Tok { End, Ident, Number, String, LParen, RParen, Op };

struct Token {
  Tok kind = Tok::End;
  std::string text;  // identifier, number text, string contents, operator
  size_t pos = 0;    // 0-based offset in the expression
};

bool IsIdentStart(unsigned char c) { return std::isalpha(c) || c == '_' || c >= 0x80; }
bool IsIdentChar(unsigned char c) { return std::isalnum(c) || c == '_' || c >= 0x80; }

class Parser {
 public:
  Parser(std::string_view text, const std::vector<FieldDef>& fields) : text_(text), fields_(fields) {}

  std::unique_ptr<ExprNode> ParseAll() {
    Advance();
    auto node = ParseOr();
    if (tok_.kind == Tok::RParen) Fail(tok_.pos, "')' ohne passende '('");
    if (tok_.kind != Tok::End) Fail(tok_.pos, "unerwartet: " + Describe(tok_));
    return node;
  }

 private:
  [[noreturn]] void Fail(size_t pos, const std::string& detail) const {
    throw Error("Fehler im Filterausdruck \"" + std::string(text_) + "\" an Position " +
                std::to_string(pos + 1) + ": " + detail);
  }

  static std::string Describe(const Token& t) {
    switch (t.kind) {
      case Tok::End: return "Ende des Ausdrucks";
      case Tok::String: return "\"" + t.text + "\"";
      default: return "'" + t.text + "'";
    }
  }

  void Advance() {
    while (i_ < text_.size() && (text_[i_] == ' ' || text_[i_] == '\t' || text_[i_] == '\r' || text_[i_] == '\n')) ++i_;
    tok_ = Token{};
    tok_.pos = i_;
    if (i_ >= text_.size()) return;
    unsigned char c = static_cast<unsigned char>(text_[i_]);
    if (c == '(' || c == ')') {
      tok_.kind = c == '(' ? Tok::LParen : Tok::RParen;
      tok_.text = std::string(1, static_cast<char>(c));
      ++i_;
      return;
    }
    if (c == '"' || c == '\'') {
      size_t end = text_.find(static_cast<char>(c), i_ + 1);
      if (end == std::string_view::npos) Fail(i_, "Zeichenkette ohne schließendes Anführungszeichen");
      tok_.kind = Tok::String;
      tok_.text = std::string(text_.substr(i_ + 1, end - i_ - 1));
      i_ = end + 1;
      return;
    }
    if (c == '=' || c == '<' || c == '>') {
      tok_.kind = Tok::Op;
      size_t n = 1;
      if (i_ + 1 < text_.size()) {
        char d = text_[i_ + 1];
        if ((c == '<' && (d == '>' || d == '=')) || (c == '>' && d == '=')) n = 2;
      }
      tok_.text = std::string(text_.substr(i_, n));
      i_ += n;
      return;
    }
    if (std::isdigit(c) || c == '-' || c == '+' || c == '.') {
      size_t j = i_;
      if (c == '-' || c == '+') ++j;
      size_t digits_start = j;
      while (j < text_.size() && (std::isdigit(static_cast<unsigned char>(text_[j])) || text_[j] == '.')) ++j;
      // Field names may begin with a digit ("1caption").
      if (c != '-' && c != '+' && j < text_.size() && IsIdentChar(static_cast<unsigned char>(text_[j]))) {
        while (j < text_.size() && IsIdentChar(static_cast<unsigned char>(text_[j]))) ++j;
        tok_.kind = Tok::Ident;
        tok_.text = std::string(text_.substr(i_, j - i_));
        i_ = j;
        return;
      }
      if (j == digits_start) Fail(i_, "unerwartetes Zeichen '" + std::string(1, static_cast<char>(c)) + "'");
      tok_.kind = Tok::Number;
      tok_.text = std::string(text_.substr(i_, j - i_));
      i_ = j;
      return;
    }
    if (IsIdentStart(c)) {
      size_t j = i_;
      while (j < text_.size() && IsIdentChar(static_cast<unsigned char>(text_[j]))) ++j;
      tok_.kind = Tok::Ident;
      tok_.text = std::string(text_.substr(i_, j - i_));
      i_ = j;
      return;
    }
    Fail(i_, "unerwartetes Zeichen '" + std::string(1, static_cast<char>(c)) + "'");
  }

  bool IsKeyword(const char* kw) const {
    return tok_.kind == Tok::Ident && Utf8SameTextAnsi(tok_.text, kw);
  }

  std::unique_ptr<ExprNode> Join(ExprNode::Kind kind, std::unique_ptr<ExprNode> a, std::unique_ptr<ExprNode> b) {
    auto n = std::make_unique<ExprNode>();
    n->kind = kind;
    n->a = std::move(a);
    n->b = std::move(b);
    return n;
  }

  std::unique_ptr<ExprNode> ParseOr() {
    auto left = ParseAnd();
    while (IsKeyword("OR")) {
      Advance();
      left = Join(ExprNode::Kind::Or, std::move(left), ParseAnd());
    }
    return left;
  }

  std::unique_ptr<ExprNode> ParseAnd() {
    auto left = ParseNot();
    while (IsKeyword("AND")) {
      Advance();
      left = Join(ExprNode::Kind::And, std::move(left), ParseNot());
    }
    return left;
  }

  std::unique_ptr<ExprNode> ParseNot() {
    if (IsKeyword("NOT")) {
      Advance();
      return Join(ExprNode::Kind::Not, ParseNot(), nullptr);
    }
    if (tok_.kind == Tok::LParen) {
      size_t open = tok_.pos;
      Advance();
      auto inner = ParseOr();
      if (tok_.kind != Tok::RParen) {
        if (tok_.kind == Tok::End) Fail(open, "'(' ohne passende ')'");
        Fail(tok_.pos, "')' erwartet statt " + Describe(tok_));
      }
      Advance();
      return inner;
    }
    return ParseComparison();
  }

  bool IsOperand() const {
    return (tok_.kind == Tok::Ident && !IsKeyword("AND") && !IsKeyword("OR") && !IsKeyword("NOT")) ||
           tok_.kind == Tok::Number || tok_.kind == Tok::String;
  }

  std::unique_ptr<ExprNode> ParseComparison() {
    if (!IsOperand()) Fail(tok_.pos, "Feld oder Wert erwartet statt " + Describe(tok_));
    Token left = tok_;
    Advance();
    if (tok_.kind != Tok::Op) Fail(tok_.pos, "Vergleichsoperator erwartet statt " + Describe(tok_));
    Token op = tok_;
    Advance();
    if (!IsOperand()) Fail(tok_.pos, "Wert erwartet statt " + Describe(tok_));
    Token right = tok_;
    Advance();

    CmpOp cmp = op.text == "=" ? CmpOp::Eq : op.text == "<>" ? CmpOp::Ne : op.text == "<" ? CmpOp::Lt
              : op.text == ">" ? CmpOp::Gt : op.text == "<=" ? CmpOp::Le : CmpOp::Ge;
    if (left.kind != Tok::Ident) {
      if (right.kind != Tok::Ident) Fail(left.pos, "ein Vergleich braucht ein Feld");
      std::swap(left, right);
      cmp = cmp == CmpOp::Lt ? CmpOp::Gt : cmp == CmpOp::Gt ? CmpOp::Lt
          : cmp == CmpOp::Le ? CmpOp::Ge : cmp == CmpOp::Ge ? CmpOp::Le : cmp;
    }
    if (right.kind == Tok::Ident) Fail(right.pos, "Vergleiche zweier Felder werden nicht unterstützt");

    auto node = std::make_unique<ExprNode>();
    node->kind = ExprNode::Kind::Cmp;
    node->op = cmp;
    node->field = FindField(left);
    node->literal = Literal(fields_[node->field], right);
    return node;
  }

  size_t FindField(const Token& t) const {
    for (size_t i = 0; i < fields_.size(); ++i)
      if (Utf8SameTextAnsi(fields_[i].name, t.text)) return i;
    Fail(t.pos, "unbekanntes Feld " + t.text);
  }

  Value Literal(const FieldDef& f, const Token& t) const {
    std::string type(FieldTypeName(f.type));
    if (IsBlobType(f.type)) Fail(t.pos, "Feld " + f.name + " (" + type + ") kann nicht verglichen werden");
    if (IsNumericType(f.type)) {
      if (t.kind != Tok::Number) Fail(t.pos, "Feld " + f.name + " (" + type + ") braucht eine Zahl statt " + Describe(t));
      std::string s = t.text;
      if (!s.empty() && s.front() == '+') s.erase(0, 1);
      if (s.find('.') == std::string::npos) {
        int64_t v = 0;
        auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
        if (ec == std::errc() && p == s.data() + s.size()) return v;
      }
      double d = 0;
      auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), d);
      if (ec != std::errc() || p != s.data() + s.size() || !std::isfinite(d)) Fail(t.pos, "ungültige Zahl " + t.text);
      return d;
    }
    if (t.kind != Tok::String)
      Fail(t.pos, "Feld " + f.name + " (" + type + ") braucht einen Text in Anführungszeichen statt " + Describe(t));
    if (f.type == FieldType::Date) {
      auto d = ParseDateText(t.text);
      if (!d) Fail(t.pos, "\"" + t.text + "\" ist kein gültiges Datum (TT.MM.JJJJ)");
      return static_cast<int64_t>(std::floor(*d));
    }
    std::string s = t.text;
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
  }

  std::string_view text_;
  const std::vector<FieldDef>& fields_;
  size_t i_ = 0;
  Token tok_;
};

template <typename T>
bool Compare(const T& a, CmpOp op, const T& b) {
  switch (op) {
    case CmpOp::Eq: return a == b;
    case CmpOp::Ne: return a != b;
    case CmpOp::Lt: return a < b;
    case CmpOp::Gt: return a > b;
    case CmpOp::Le: return a <= b;
    case CmpOp::Ge: return a >= b;
  }
  return false;
}

bool Eval(const ExprNode& n, const std::function<Value(size_t)>& get) {
  switch (n.kind) {
    case ExprNode::Kind::And: return Eval(*n.a, get) && Eval(*n.b, get);
    case ExprNode::Kind::Or: return Eval(*n.a, get) || Eval(*n.b, get);
    case ExprNode::Kind::Not: return !Eval(*n.a, get);
    case ExprNode::Kind::Cmp: break;
  }
  Value v = get(n.field);
  if (IsNull(v)) return false;
  if (auto s = std::get_if<std::string>(&n.literal)) {
    auto vs = std::get_if<std::string>(&v);
    return vs && Compare<std::string>(*vs, n.op, *s);
  }
  auto vi = std::get_if<int64_t>(&v);
  auto li = std::get_if<int64_t>(&n.literal);
  if (vi && li) return Compare(*vi, n.op, *li);
  auto as_double = [](const Value& x) -> std::optional<double> {
    if (auto i = std::get_if<int64_t>(&x)) return static_cast<double>(*i);
    if (auto d = std::get_if<double>(&x)) return *d;
    return std::nullopt;
  };
  auto a = as_double(v), b = as_double(n.literal);
  return a && b && Compare(*a, n.op, *b);
}

void ToSqlRec(const ExprNode& n, const std::function<std::string(size_t)>& column, FilterExpression::Sql& out) {
  switch (n.kind) {
    case ExprNode::Kind::And:
    case ExprNode::Kind::Or:
      out.where += "(";
      ToSqlRec(*n.a, column, out);
      out.where += n.kind == ExprNode::Kind::And ? " AND " : " OR ";
      ToSqlRec(*n.b, column, out);
      out.where += ")";
      return;
    case ExprNode::Kind::Not:
      // A comparison with null is false here but NULL in SQL; IS NOT TRUE maps both alike.
      out.where += "((";
      ToSqlRec(*n.a, column, out);
      out.where += ") IS NOT TRUE)";
      return;
    case ExprNode::Kind::Cmp: break;
  }
  static const char* ops[] = {"=", "<>", "<", ">", "<=", ">="};
  out.where += "(" + column(n.field) + " " + ops[static_cast<int>(n.op)] + " ?)";
  out.params.push_back(n.literal);
}

void CollectFields(const ExprNode& n, std::vector<size_t>& out) {
  if (n.kind == ExprNode::Kind::Cmp) {
    for (size_t f : out)
      if (f == n.field) return;
    out.push_back(n.field);
    return;
  }
  CollectFields(*n.a, out);
  if (n.b) CollectFields(*n.b, out);
}

std::unique_ptr<ExprNode> Clone(const ExprNode& n) {
  auto c = std::make_unique<ExprNode>();
  c->kind = n.kind;
  c->field = n.field;
  c->op = n.op;
  c->literal = n.literal;
  if (n.a) c->a = Clone(*n.a);
  if (n.b) c->b = Clone(*n.b);
  return c;
}

void Conjuncts(const ExprNode& n, std::vector<const ExprNode*>& out) {
  if (n.kind == ExprNode::Kind::And) {
    Conjuncts(*n.a, out);
    Conjuncts(*n.b, out);
  } else {
    out.push_back(&n);
  }
}

void AndInto(std::unique_ptr<ExprNode>& root, std::unique_ptr<ExprNode> term) {
  if (!root) {
    root = std::move(term);
    return;
  }
  auto n = std::make_unique<ExprNode>();
  n->kind = ExprNode::Kind::And;
  n->a = std::move(root);
  n->b = std::move(term);
  root = std::move(n);
}

}  // namespace

FilterExpression::FilterExpression() = default;
FilterExpression::~FilterExpression() = default;
FilterExpression::FilterExpression(FilterExpression&&) noexcept = default;
FilterExpression& FilterExpression::operator=(FilterExpression&&) noexcept = default;

FilterExpression FilterExpression::Parse(std::string_view text, const std::vector<FieldDef>& fields) {
  FilterExpression e;
  bool blank = true;
  for (char c : text)
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n') blank = false;
  if (!blank) e.root_ = Parser(text, fields).ParseAll();
  return e;
}

std::vector<size_t> FilterExpression::FieldsUsed() const {
  std::vector<size_t> out;
  if (root_) CollectFields(*root_, out);
  return out;
}

bool FilterExpression::Matches(const std::function<Value(size_t)>& get) const {
  return !root_ || Eval(*root_, get);
}

std::pair<FilterExpression, FilterExpression> FilterExpression::Split(
    const std::function<bool(size_t)>& to_sql) const {
  std::pair<FilterExpression, FilterExpression> out;
  if (!root_) return out;
  std::vector<const ExprNode*> terms;
  Conjuncts(*root_, terms);
  for (const ExprNode* t : terms) {
    std::vector<size_t> used;
    CollectFields(*t, used);
    bool sql = true;
    for (size_t f : used) sql = sql && to_sql(f);
    AndInto(sql ? out.first.root_ : out.second.root_, Clone(*t));
  }
  return out;
}

FilterExpression::Sql FilterExpression::ToSql(const std::function<std::string(size_t)>& column) const {
  Sql out;
  if (!root_) {
    out.where = "1";
    return out;
  }
  ToSqlRec(*root_, column, out);
  return out;
}

}  // namespace mrw::db
