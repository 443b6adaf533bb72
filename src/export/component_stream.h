// The extended order information kept in the binary field EXTB of host orders, and the
// binary component stream it is stored in.
//
// EXTB holds one zlib stream (RFC 1950). Inflated, it is a component stream: "TPF0", a root
// component (class TAdressExInfoDatasWrapper) whose collection property AdressExInfoDatas
// holds items with the properties DataType (integer) and SimpleData (string). Reading
// walks the items in order and stores each SimpleData under its DataType; a later item of
// a type overrides an earlier one. Type 27 is the first letter, 270 the last letter.
//
// The reader understands the whole value vocabulary of the stream format, so properties
// and items it has no use for are skipped, at any nesting depth. Anything malformed
// (no zlib stream, wrong signature, truncated data, an unknown value type, absurd lengths)
// throws ComponentStreamError; the caller is expected to ignore it and treat the order as
// having no extended information.
//
// Text: short and long strings are Windows-1252 bytes, wide strings UTF-16LE, UTF-8
// strings as they are; everything handed out or taken in here is UTF-8.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/errors.h"

namespace mrw {

class ComponentStreamError : public Error {
 public:
  using Error::Error;
};

// What the export takes from the extended order information.
struct TAdressExInfo {
  static constexpr int32_t kFirstDocType = 27;
  static constexpr int32_t kEndDocType = 270;

  std::string FirstDoc;  // reference to the order's first letter document
  std::string EndDoc;    // reference to the order's last letter document
  // SimpleData of every other DataType met, by type (the last item of a type wins).
  std::map<int32_t, std::string> Others;

  void Clear();
  void Assign(int32_t data_type, std::string simple_data);
};

// Parses an inflated component stream and assigns its items to `info` (not cleared
// first). Throws ComponentStreamError; `info` is then unchanged.
void ReadAdressExInfoStream(std::string_view stream, TAdressExInfo& info);

// The EXTB content as the transfer reads it: clears `info`; when `extb` has at least one
// byte it is inflated and read. Throws ComponentStreamError for damaged content, leaving
// `info` cleared.
void LoadExtendedOrderInfo(std::string_view extb, TAdressExInfo& info);

// Inflates one complete zlib stream (bytes after its end are ignored). Output larger than
// `max_size` is refused, so a damaged or hostile field cannot exhaust memory.
std::string InflateZlib(std::string_view data, size_t max_size = 64u << 20);
// One complete zlib stream of `data` (window bits 15, memory level 8).
std::string DeflateZlib(std::string_view data, int level = 6);

// Writing streams (demo databases, tests).

// Value type bytes of the stream format.
enum class ValueType : uint8_t {
  Null = 0, List = 1, Int8 = 2, Int16 = 3, Int32 = 4, Extended = 5, String = 6, Ident = 7,
  False = 8, True = 9, Binary = 10, Set = 11, LString = 12, Nil = 13, Collection = 14,
  Single = 15, Currency = 16, Date = 17, WString = 18, Int64 = 19, Utf8String = 20,
};

// How a string value is written.
enum class StringKind { Short, Long, Wide, Utf8 };

// Appends the pieces of a component stream; the caller puts them in a valid order.
// Texts are UTF-8 and converted as the chosen kind requires.
class ComponentStreamWriter {
 public:
  ComponentStreamWriter();  // starts with the signature "TPF0"

  // Flag byte (F0..FF, only when given), the child position (an integer, only when given;
  // belongs with flag bit 02), class name, component name.
  void BeginComponent(std::string_view class_name, std::string_view name,
                      std::optional<uint8_t> flags = std::nullopt,
                      std::optional<int64_t> child_pos = std::nullopt);
  void PropertyName(std::string_view name);

  void Integer(int64_t value);  // the smallest of Int8, Int16, Int32, Int64
  void Text(std::string_view utf8, StringKind kind);
  void Ident(std::string_view name);
  void Boolean(bool value);
  void Nil();
  void BinaryValue(std::string_view bytes);
  void SetValue(const std::vector<std::string>& members);
  // A value with fixed-size data: Extended (10 bytes), Single (4), Currency (8), Date (8).
  void FixedValue(ValueType type, std::string_view data);
  void BeginList();        // values up to End()
  void BeginCollection();  // items up to End()
  void BeginItem(std::optional<int64_t> order_index = std::nullopt);  // properties up to End()
  void End();              // the zero byte that closes a list, collection, item or component

  const std::string& bytes() const { return out_; }

 private:
  void ShortString(std::string_view bytes);
  void Byte(uint8_t b) { out_.push_back(static_cast<char>(b)); }
  void Le(uint64_t value, int size);

  std::string out_;
};

// One collection item of the extended order information.
struct AdressExInfoItem {
  std::optional<int64_t> data_type;        // absent: the property is not written
  std::optional<std::string> simple_data;  // absent: the property is not written
  StringKind kind = StringKind::Short;
};

// The inflated component stream of a TAdressExInfoDatasWrapper with these items.
std::string WriteAdressExInfoStream(const std::vector<AdressExInfoItem>& items);
// The same, deflated as EXTB holds it.
std::string EncodeExtendedOrderInfo(const std::vector<AdressExInfoItem>& items);

}  // namespace mrw
