#include "db/field.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "foundation/codepage.h"
#include "foundation/errors.h"

namespace mrw::db {

namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(AnsiLowerChar(static_cast<unsigned char>(c)));
  return out;
}

std::string Quote(std::string_view s) { return "'" + std::string(s) + "'"; }

bool ParseInt(std::string_view text, int64_t& out) {
  text = Trim(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return false;
  auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  return ec == std::errc() && p == text.data() + text.size();
}

bool ParseDouble(std::string_view text, double& out) {
  std::string t(Trim(text));
  if (!t.empty() && t.front() == '+') t.erase(0, 1);
  for (char& c : t)
    if (c == ',') c = '.';
  if (t.empty()) return false;
  auto [p, ec] = std::from_chars(t.data(), t.data() + t.size(), out);
  return ec == std::errc() && p == t.data() + t.size() && std::isfinite(out);
}

// 1 / 0 / -1 for true / false / not a truth value.
int ParseBool(std::string_view text) {
  std::string t = Lower(Trim(text));
  if (t == "t" || t == "true" || t == "y" || t == "yes" || t == "j" || t == "ja" || t == "1") return 1;
  if (t == "f" || t == "false" || t == "n" || t == "no" || t == "nein" || t == "0") return 0;
  return -1;
}

std::string FormatDouble(double v) {
  char buf[400];
  double a = std::fabs(v);
  std::to_chars_result r;
  if (a == 0 || (a >= 1e-5 && a < 1e16))
    r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
  else
    r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

Value CheckedInteger(const FieldDef& def, int64_t v) {
  int64_t lo = std::numeric_limits<int32_t>::min(), hi = std::numeric_limits<int32_t>::max();
  if (def.type == FieldType::ShortInt) {
    lo = std::numeric_limits<int16_t>::min();
    hi = std::numeric_limits<int16_t>::max();
  }
  if (v < lo || v > hi)
    throw Error("Wert " + std::to_string(v) + " liegt außerhalb des gültigen Bereichs für Feld " +
                def.name);
  return v;
}

[[noreturn]] void CannotTake(const FieldDef& def, std::string_view what) {
  throw Error("Feld " + def.name + " (" + std::string(FieldTypeName(def.type)) +
              ") kann den Wert " + std::string(what) + " nicht aufnehmen");
}

}  // namespace

std::string_view FieldTypeName(FieldType type) {
  switch (type) {
    case FieldType::AutoInc: return "autoinc";
    case FieldType::Integer: return "integer";
    case FieldType::ShortInt: return "shortint";
    case FieldType::Text: return "text";
    case FieldType::Memo: return "memo";
    case FieldType::Binary: return "binary";
    case FieldType::Date: return "date";
    case FieldType::Double: return "double";
    case FieldType::Logical: return "logical";
  }
  return "?";
}

FieldType ParseFieldType(std::string_view name) {
  std::string n = Lower(Trim(name));
  if (n == "autoinc" || n == "autoincrement") return FieldType::AutoInc;
  if (n == "integer" || n == "int") return FieldType::Integer;
  if (n == "shortint" || n == "short" || n == "shortinteger") return FieldType::ShortInt;
  if (n == "text" || n == "char" || n == "character" || n == "string") return FieldType::Text;
  if (n == "memo") return FieldType::Memo;
  if (n == "binary" || n == "blob" || n == "raw") return FieldType::Binary;
  if (n == "date") return FieldType::Date;
  if (n == "double" || n == "float") return FieldType::Double;
  if (n == "logical" || n == "bool" || n == "boolean") return FieldType::Logical;
  throw Error("Unbekannter Feldtyp " + Quote(name));
}

bool IsNumericType(FieldType t) {
  return t == FieldType::AutoInc || t == FieldType::Integer || t == FieldType::ShortInt ||
         t == FieldType::Double || t == FieldType::Logical;
}

std::string NormalizeText(std::string_view utf8, int max_chars) {
  std::string ansi = Utf8ToAnsi(utf8);
  if (max_chars > 0) {
    if (ansi.size() > static_cast<size_t>(max_chars)) ansi.resize(static_cast<size_t>(max_chars));
    while (!ansi.empty() && ansi.back() == ' ') ansi.pop_back();
  }
  return AnsiToUtf8(ansi);
}

// --- reading ----------------------------------------------------------------------------

std::string ValueAsString(FieldType type, const Value& v) {
  if (IsNull(v)) return "";
  if (auto s = std::get_if<std::string>(&v)) return *s;
  if (auto d = std::get_if<double>(&v)) return FormatDouble(*d);
  int64_t i = std::get<int64_t>(v);
  switch (type) {
    case FieldType::Date: return DateText(static_cast<DateTime>(i));
    case FieldType::Logical: return i ? "True" : "False";
    default: return std::to_string(i);
  }
}

int64_t ValueAsInteger(FieldType type, const Value& v, std::string_view field_name) {
  if (IsNull(v)) return 0;
  if (auto i = std::get_if<int64_t>(&v)) return *i;
  if (auto d = std::get_if<double>(&v)) {
    if (!(std::fabs(*d) < 9.2e18)) throw Error("Wert von Feld " + std::string(field_name) + " ist zu groß");
    return static_cast<int64_t>(*d);
  }
  const std::string& s = std::get<std::string>(v);
  int64_t out = 0;
  if (type == FieldType::Binary || !ParseInt(s, out))
    throw Error(Quote(s) + " ist kein gültiger Integerwert (Feld " + std::string(field_name) + ")");
  return out;
}

double ValueAsFloat(FieldType type, const Value& v, std::string_view field_name) {
  if (IsNull(v)) return 0;
  if (auto i = std::get_if<int64_t>(&v)) return static_cast<double>(*i);
  if (auto d = std::get_if<double>(&v)) return *d;
  const std::string& s = std::get<std::string>(v);
  double out = 0;
  if (type == FieldType::Binary || !ParseDouble(s, out))
    throw Error(Quote(s) + " ist kein gültiger Gleitkommawert (Feld " + std::string(field_name) + ")");
  return out;
}

DateTime ValueAsDate(FieldType type, const Value& v, std::string_view field_name) {
  if (IsNull(v)) return 0;
  if (auto i = std::get_if<int64_t>(&v)) return static_cast<DateTime>(*i);
  if (auto d = std::get_if<double>(&v)) return *d;
  const std::string& s = std::get<std::string>(v);
  if (Trim(s).empty()) return 0;
  auto d = type == FieldType::Binary ? std::nullopt : ParseDateText(s);
  if (!d) throw Error(Quote(s) + " ist kein gültiges Datum (Feld " + std::string(field_name) + ")");
  return *d;
}

bool ValueAsBoolean(FieldType, const Value& v) {
  if (IsNull(v)) return false;
  if (auto i = std::get_if<int64_t>(&v)) return *i != 0;
  if (auto d = std::get_if<double>(&v)) return *d != 0;
  return ParseBool(std::get<std::string>(v)) == 1;
}

// --- writing ----------------------------------------------------------------------------

Value ValueFromString(const FieldDef& def, std::string_view text) {
  switch (def.type) {
    case FieldType::Text: return NormalizeText(text, def.length);
    case FieldType::Memo: return NormalizeText(text, 0);
    case FieldType::Binary: return std::string(text);
    default: break;
  }
  if (Trim(text).empty()) return std::monostate{};
  switch (def.type) {
    case FieldType::AutoInc:
    case FieldType::Integer:
    case FieldType::ShortInt: {
      int64_t i = 0;
      if (!ParseInt(text, i)) throw Error(Quote(text) + " ist kein gültiger Integerwert");
      return CheckedInteger(def, i);
    }
    case FieldType::Double: {
      double d = 0;
      if (!ParseDouble(text, d)) throw Error(Quote(text) + " ist kein gültiger Gleitkommawert");
      return d;
    }
    case FieldType::Date: {
      auto d = ParseDateText(text);
      if (!d) throw Error(Quote(text) + " ist kein gültiges Datum");
      return static_cast<int64_t>(std::floor(*d));
    }
    case FieldType::Logical: {
      int b = ParseBool(text);
      if (b < 0) throw Error(Quote(text) + " ist kein gültiger Wahrheitswert");
      return static_cast<int64_t>(b);
    }
    default: break;
  }
  CannotTake(def, Quote(text));
}

Value ValueFromInteger(const FieldDef& def, int64_t v) {
  switch (def.type) {
    case FieldType::AutoInc:
    case FieldType::Integer:
    case FieldType::ShortInt: return CheckedInteger(def, v);
    case FieldType::Double: return static_cast<double>(v);
    case FieldType::Logical: return static_cast<int64_t>(v != 0);
    case FieldType::Date: return v;
    case FieldType::Text:
    case FieldType::Memo:
    case FieldType::Binary: return ValueFromString(def, std::to_string(v));
  }
  CannotTake(def, std::to_string(v));
}

Value ValueFromFloat(const FieldDef& def, double v) {
  if (!std::isfinite(v)) CannotTake(def, "NaN/Inf");
  switch (def.type) {
    case FieldType::Double: return v;
    case FieldType::Date: return static_cast<int64_t>(std::floor(v));
    case FieldType::Text:
    case FieldType::Memo:
    case FieldType::Binary: return ValueFromString(def, FormatDouble(v));
    case FieldType::Logical: return static_cast<int64_t>(v != 0);
    default:
      if (std::fabs(v) >= 9.2e18) CannotTake(def, FormatDouble(v));
      return CheckedInteger(def, static_cast<int64_t>(std::trunc(v)));
  }
}

Value ValueFromDate(const FieldDef& def, DateTime d) {
  if (!std::isfinite(d)) CannotTake(def, "NaN/Inf");
  switch (def.type) {
    case FieldType::Date: return static_cast<int64_t>(std::floor(d));
    case FieldType::Double: return d;
    case FieldType::Text:
    case FieldType::Memo: return ValueFromString(def, DateText(d));
    default: CannotTake(def, DateText(d));
  }
}

Value ValueFromBoolean(const FieldDef& def, bool b) {
  switch (def.type) {
    case FieldType::Logical: return static_cast<int64_t>(b);
    case FieldType::Text:
    case FieldType::Memo: return ValueFromString(def, b ? "True" : "False");
    default: return ValueFromInteger(def, b ? 1 : 0);
  }
}

Value ValueFromBytes(const FieldDef& def, std::string_view bytes) {
  if (def.type == FieldType::Binary) return std::string(bytes);
  return ValueFromString(def, bytes);
}

Value ConvertValue(FieldType from, const Value& v, const FieldDef& def) {
  if (IsNull(v)) return std::monostate{};
  if (auto s = std::get_if<std::string>(&v)) return ValueFromBytes(def, *s);
  if (auto d = std::get_if<double>(&v)) return ValueFromFloat(def, *d);
  int64_t i = std::get<int64_t>(v);
  if (from == FieldType::Date) {
    if (def.type == FieldType::Date || def.type == FieldType::Double) return ValueFromDate(def, static_cast<DateTime>(i));
    if (def.type == FieldType::Text || def.type == FieldType::Memo) return ValueFromString(def, DateText(static_cast<DateTime>(i)));
  }
  if (from == FieldType::Logical) return ValueFromBoolean(def, i != 0);
  return ValueFromInteger(def, i);
}

}  // namespace mrw::db
