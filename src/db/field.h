// Field definitions, stored values and the conversions between them.
//
// A table's fields have a name, a type and (for text) a length in characters. Values are
// kept in a small tagged union: null, integer (autoinc, integer, short integer, logical
// 0/1, date as day number since 30.12.1899), floating point (double) or bytes (text and
// memo as UTF-8, binary raw). Null is distinct from an empty text or an empty blob.
//
// Texts are UTF-8 here; the tables are ANSI tables, so what is stored is what survives
// Windows-1252 (other characters become '?'), and a text(n) keeps at most n characters
// of that code page with trailing blanks dropped.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "foundation/dates.h"

namespace mrw::db {

enum class FieldType {
  AutoInc,   // 32-bit integer numbered by the table (1, 2, 3 ... in a new table)
  Integer,   // 32-bit signed
  ShortInt,  // 16-bit signed
  Text,      // text of at most `length` characters
  Memo,      // text of any length (kept in the .ADM file)
  Binary,    // bytes of any length (kept in the .ADM file)
  Date,      // calendar date without time
  Double,    // 64-bit floating point
  Logical,   // true / false
};

// Type names as they appear in change lists, `mrw schema` and field lists:
// "autoinc", "integer", "shortint", "text", "memo", "binary", "date", "double", "logical".
// ParseFieldType also accepts a few common synonyms ("autoincrement", "short", "char",
// "character", "blob", "raw", "bool", "boolean", "float"), case-insensitively; throws
// mrw::Error for an unknown name.
std::string_view FieldTypeName(FieldType type);
FieldType ParseFieldType(std::string_view name);

// True for the types whose contents live in the .ADM file.
inline bool IsBlobType(FieldType t) { return t == FieldType::Memo || t == FieldType::Binary; }
// True for autoinc, integer, short integer, double and logical.
bool IsNumericType(FieldType t);

struct FieldDef {
  std::string name;
  FieldType type = FieldType::Integer;
  int length = 0;  // characters for Text (1..65530); 0 for every other type
};

// A stored value. Which alternative a field holds follows from its type (see above).
using Value = std::variant<std::monostate, int64_t, double, std::string>;

inline bool IsNull(const Value& v) { return std::holds_alternative<std::monostate>(v); }

// Conversions of a stored value of a field of type `type` (throwing mrw::Error with a
// German text where a conversion is impossible, e.g. a text that is no number).
//   ValueAsString: texts/memos as stored, binary as its bytes, integers in decimal,
//     doubles with "." and without exponent for ordinary magnitudes (shortest form that
//     reads back the same), dates "DD.MM.YYYY", logical "True"/"False", null "".
//   ValueAsInteger: null 0; double truncated; text parsed (surrounding blanks allowed).
//   ValueAsFloat:   null 0; text parsed.
//   ValueAsDate:    null 0.0; the day number; text parsed as "DD.MM.YYYY".
//   ValueAsBoolean: null false; numbers != 0; text "T"/"True"/"Y"/"1" (any case).
std::string ValueAsString(FieldType type, const Value& v);
int64_t ValueAsInteger(FieldType type, const Value& v, std::string_view field_name);
double ValueAsFloat(FieldType type, const Value& v, std::string_view field_name);
DateTime ValueAsDate(FieldType type, const Value& v, std::string_view field_name);
bool ValueAsBoolean(FieldType type, const Value& v);

// Values to store in a field of definition `def` (range checks, text cut, ANSI
// normalisation). An empty text given to a date or number field stores null. Throw
// mrw::Error for values the field cannot take.
Value ValueFromString(const FieldDef& def, std::string_view text);
Value ValueFromInteger(const FieldDef& def, int64_t v);
Value ValueFromFloat(const FieldDef& def, double v);
Value ValueFromDate(const FieldDef& def, DateTime d);
Value ValueFromBoolean(const FieldDef& def, bool b);
Value ValueFromBytes(const FieldDef& def, std::string_view bytes);  // binary/memo/text
// Copies a value held by a field of type `from` into field `def` (the transfer's
// "assign the host field's value"); null stays null.
Value ConvertValue(FieldType from, const Value& v, const FieldDef& def);

// Text normalisation of text(n) and memo contents (see top of file).
std::string NormalizeText(std::string_view utf8, int max_chars);

}  // namespace mrw::db
