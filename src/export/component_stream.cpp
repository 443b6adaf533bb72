#include "export/component_stream.h"

#include <zlib.h>

#include <cstring>
#include <limits>

#include "foundation/codepage.h"

namespace mrw {

namespace {

constexpr std::string_view kSignature = "TPF0";
constexpr std::string_view kRootClass = "TAdressExInfoDatasWrapper";
constexpr std::string_view kCollectionProperty = "AdressExInfoDatas";
constexpr std::string_view kDataTypeProperty = "DataType";
constexpr std::string_view kSimpleDataProperty = "SimpleData";
// Lists and collections nest; a damaged stream must not recurse without end.
constexpr int kMaxDepth = 64;
// The flag bit that says a child position (an integer value) follows the flag byte.
constexpr uint8_t kFlagChildPos = 0x02;

// Property names are identifiers of the class library, which compares them without case.
bool SameName(std::string_view a, std::string_view b) { return AnsiCompareText(a, b) == 0; }

struct ParsedItem {
  std::optional<int64_t> data_type;
  std::string simple_data;
};

class StreamReader {
 public:
  explicit StreamReader(std::string_view s) : s_(s) {}

  std::vector<ParsedItem> ReadRoot() {
    if (s_.substr(0, kSignature.size()) != kSignature) Fail("Signatur fehlt");
    pos_ = kSignature.size();
    ReadComponent(true, 0);
    return std::move(items_);
  }

 private:
  [[noreturn]] void Fail(const std::string& what) const {
    throw ComponentStreamError("Ungültiger Komponentenstrom (" + what + ", Position " +
                               std::to_string(pos_) + ")");
  }

  uint8_t Byte() {
    if (pos_ >= s_.size()) Fail("Ende der Daten");
    return static_cast<uint8_t>(s_[pos_++]);
  }
  uint8_t PeekByte() {
    if (pos_ >= s_.size()) Fail("Ende der Daten");
    return static_cast<uint8_t>(s_[pos_]);
  }
  std::string_view Take(uint64_t n) {
    if (n > s_.size() - pos_) Fail("Länge über das Ende der Daten");
    std::string_view out = s_.substr(pos_, static_cast<size_t>(n));
    pos_ += static_cast<size_t>(n);
    return out;
  }
  uint64_t Le(int size) {
    std::string_view b = Take(static_cast<uint64_t>(size));
    uint64_t v = 0;
    for (int i = size - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[i]);
    return v;
  }
  std::string_view ShortString() { return Take(Byte()); }

  static bool IsIntegerType(uint8_t t) {
    return t == static_cast<uint8_t>(ValueType::Int8) || t == static_cast<uint8_t>(ValueType::Int16) ||
           t == static_cast<uint8_t>(ValueType::Int32) || t == static_cast<uint8_t>(ValueType::Int64);
  }
  int64_t IntegerData(uint8_t t) {
    switch (static_cast<ValueType>(t)) {
      case ValueType::Int8: return static_cast<int8_t>(Le(1));
      case ValueType::Int16: return static_cast<int16_t>(Le(2));
      case ValueType::Int32: return static_cast<int32_t>(Le(4));
      case ValueType::Int64: return static_cast<int64_t>(Le(8));
      default: Fail("keine Ganzzahl");
    }
  }

  static bool IsStringType(uint8_t t) {
    return t == static_cast<uint8_t>(ValueType::String) || t == static_cast<uint8_t>(ValueType::LString) ||
           t == static_cast<uint8_t>(ValueType::WString) || t == static_cast<uint8_t>(ValueType::Utf8String);
  }
  std::string StringData(uint8_t t) {
    switch (static_cast<ValueType>(t)) {
      case ValueType::String: return AnsiToUtf8(ShortString());
      case ValueType::LString: return AnsiToUtf8(Take(Le(4)));
      case ValueType::WString: return Utf16LeToUtf8(Take(Le(4) * 2));
      case ValueType::Utf8String: return std::string(Take(Le(4)));
      default: Fail("keine Zeichenkette");
    }
  }

  // Skips the data of a value whose type byte has been read.
  void SkipValue(uint8_t t, int depth) {
    if (depth > kMaxDepth) Fail("zu tief geschachtelt");
    switch (static_cast<ValueType>(t)) {
      case ValueType::Null:
      case ValueType::False:
      case ValueType::True:
      case ValueType::Nil:
        return;
      case ValueType::List:
        for (uint8_t v = Byte(); v != 0; v = Byte()) SkipValue(v, depth + 1);
        return;
      case ValueType::Int8: Take(1); return;
      case ValueType::Int16: Take(2); return;
      case ValueType::Int32:
      case ValueType::Single: Take(4); return;
      case ValueType::Extended: Take(10); return;
      case ValueType::Currency:
      case ValueType::Date:
      case ValueType::Int64: Take(8); return;
      case ValueType::String:
      case ValueType::Ident: ShortString(); return;
      case ValueType::Binary:
      case ValueType::LString:
      case ValueType::Utf8String: Take(Le(4)); return;
      case ValueType::WString: Take(Le(4) * 2); return;
      case ValueType::Set:
        while (Byte() != 0) {
          --pos_;
          ShortString();
        }
        return;
      case ValueType::Collection:
        ReadCollection(depth + 1, nullptr);
        return;
    }
    --pos_;
    Fail("unbekannter Werttyp " + std::to_string(t));
  }

  // Items up to the closing zero byte; collected into `items` when given.
  void ReadCollection(int depth, std::vector<ParsedItem>* items) {
    if (depth > kMaxDepth) Fail("zu tief geschachtelt");
    for (uint8_t t = Byte(); t != 0; t = Byte()) {
      if (IsIntegerType(t) && t != static_cast<uint8_t>(ValueType::Int64)) {
        IntegerData(t);  // the item's order index, of no meaning here
        t = Byte();
      }
      if (t != static_cast<uint8_t>(ValueType::List)) Fail("Listenbeginn erwartet");
      ParsedItem item;
      while (PeekByte() != 0) {
        std::string_view name = ShortString();
        uint8_t vt = Byte();
        if (items && SameName(name, kDataTypeProperty) && IsIntegerType(vt)) {
          item.data_type = IntegerData(vt);
        } else if (items && SameName(name, kSimpleDataProperty) && IsStringType(vt)) {
          item.simple_data = StringData(vt);
        } else {
          SkipValue(vt, depth + 1);
        }
      }
      Byte();  // end of the item's properties
      if (items) items->push_back(std::move(item));
    }
  }

  void ReadComponent(bool root, int depth) {
    if (depth > kMaxDepth) Fail("zu tief geschachtelt");
    uint8_t first = PeekByte();
    if ((first & 0xF0) == 0xF0) {
      Byte();
      if (first & kFlagChildPos) {
        uint8_t t = Byte();
        if (!IsIntegerType(t)) Fail("Position erwartet");
        IntegerData(t);
      }
    }
    ShortString();  // class name
    ShortString();  // component name
    while (PeekByte() != 0) {
      std::string_view name = ShortString();
      uint8_t t = Byte();
      if (root && t == static_cast<uint8_t>(ValueType::Collection) && SameName(name, kCollectionProperty)) {
        ReadCollection(depth + 1, &items_);
      } else {
        SkipValue(t, depth + 1);
      }
    }
    Byte();
    while (PeekByte() != 0) ReadComponent(false, depth + 1);
    Byte();
  }

  std::string_view s_;
  size_t pos_ = 0;
  std::vector<ParsedItem> items_;
};

}  // namespace

void TAdressExInfo::Clear() {
  FirstDoc.clear();
  EndDoc.clear();
  Others.clear();
}

void TAdressExInfo::Assign(int32_t data_type, std::string simple_data) {
  if (data_type == kFirstDocType) {
    FirstDoc = std::move(simple_data);
  } else if (data_type == kEndDocType) {
    EndDoc = std::move(simple_data);
  } else {
    Others[data_type] = std::move(simple_data);
  }
}

void ReadAdressExInfoStream(std::string_view stream, TAdressExInfo& info) {
  std::vector<ParsedItem> items = StreamReader(stream).ReadRoot();
  for (auto& item : items) {
    int64_t type = item.data_type.value_or(0);
    // A type outside the integer property's range matches no property of the record.
    if (type < std::numeric_limits<int32_t>::min() || type > std::numeric_limits<int32_t>::max()) continue;
    info.Assign(static_cast<int32_t>(type), std::move(item.simple_data));
  }
}

void LoadExtendedOrderInfo(std::string_view extb, TAdressExInfo& info) {
  info.Clear();
  if (extb.empty()) return;
  std::string stream = InflateZlib(extb);
  TAdressExInfo read;
  ReadAdressExInfoStream(stream, read);
  info = std::move(read);
}

std::string InflateZlib(std::string_view data, size_t max_size) {
  z_stream zs;
  std::memset(&zs, 0, sizeof zs);
  if (inflateInit(&zs) != Z_OK) throw ComponentStreamError("zlib: Initialisierung fehlgeschlagen");
  std::string out;
  char buf[16384];
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  int rc = Z_OK;
  size_t remaining = data.size();
  while (true) {
    if (zs.avail_in == 0 && remaining > 0) {
      uInt chunk = static_cast<uInt>(std::min<size_t>(remaining, 1u << 30));
      zs.avail_in = chunk;
      remaining -= chunk;
    }
    zs.next_out = reinterpret_cast<Bytef*>(buf);
    zs.avail_out = sizeof buf;
    rc = inflate(&zs, Z_NO_FLUSH);
    size_t produced = sizeof buf - zs.avail_out;
    if (out.size() + produced > max_size) {
      inflateEnd(&zs);
      throw ComponentStreamError("zlib: entpackte Daten zu groß");
    }
    out.append(buf, produced);
    if (rc == Z_STREAM_END) break;
    if (rc == Z_BUF_ERROR && zs.avail_in == 0 && remaining == 0) {
      inflateEnd(&zs);
      throw ComponentStreamError("zlib: Datenstrom unvollständig");
    }
    if (rc != Z_OK && rc != Z_BUF_ERROR) {
      std::string msg = zs.msg ? zs.msg : "Fehler " + std::to_string(rc);
      inflateEnd(&zs);
      throw ComponentStreamError("zlib: " + msg);
    }
  }
  inflateEnd(&zs);
  return out;
}

std::string DeflateZlib(std::string_view data, int level) {
  z_stream zs;
  std::memset(&zs, 0, sizeof zs);
  if (deflateInit2(&zs, level, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    throw Error("zlib: Initialisierung fehlgeschlagen");
  }
  std::string out(deflateBound(&zs, static_cast<uLong>(data.size())), '\0');
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  zs.avail_in = static_cast<uInt>(data.size());
  zs.next_out = reinterpret_cast<Bytef*>(out.data());
  zs.avail_out = static_cast<uInt>(out.size());
  int rc = deflate(&zs, Z_FINISH);
  out.resize(zs.total_out);
  deflateEnd(&zs);
  if (rc != Z_STREAM_END) throw Error("zlib: Packen fehlgeschlagen");
  return out;
}

ComponentStreamWriter::ComponentStreamWriter() : out_(kSignature) {}

void ComponentStreamWriter::Le(uint64_t value, int size) {
  for (int i = 0; i < size; ++i) Byte(static_cast<uint8_t>(value >> (8 * i)));
}

void ComponentStreamWriter::ShortString(std::string_view bytes) {
  if (bytes.size() > 255) throw Error("Komponentenstrom: kurze Zeichenkette länger als 255 Zeichen");
  Byte(static_cast<uint8_t>(bytes.size()));
  out_.append(bytes);
}

void ComponentStreamWriter::BeginComponent(std::string_view class_name, std::string_view name,
                                           std::optional<uint8_t> flags,
                                           std::optional<int64_t> child_pos) {
  if (flags) Byte(*flags);
  if (child_pos) Integer(*child_pos);
  ShortString(class_name);
  ShortString(name);
}

void ComponentStreamWriter::PropertyName(std::string_view name) { ShortString(name); }

void ComponentStreamWriter::Integer(int64_t value) {
  if (value >= INT8_MIN && value <= INT8_MAX) {
    Byte(static_cast<uint8_t>(ValueType::Int8));
    Le(static_cast<uint64_t>(value), 1);
  } else if (value >= INT16_MIN && value <= INT16_MAX) {
    Byte(static_cast<uint8_t>(ValueType::Int16));
    Le(static_cast<uint64_t>(value), 2);
  } else if (value >= INT32_MIN && value <= INT32_MAX) {
    Byte(static_cast<uint8_t>(ValueType::Int32));
    Le(static_cast<uint64_t>(value), 4);
  } else {
    Byte(static_cast<uint8_t>(ValueType::Int64));
    Le(static_cast<uint64_t>(value), 8);
  }
}

void ComponentStreamWriter::Text(std::string_view utf8, StringKind kind) {
  switch (kind) {
    case StringKind::Short:
      Byte(static_cast<uint8_t>(ValueType::String));
      ShortString(Utf8ToAnsi(utf8));
      return;
    case StringKind::Long: {
      std::string ansi = Utf8ToAnsi(utf8);
      Byte(static_cast<uint8_t>(ValueType::LString));
      Le(ansi.size(), 4);
      out_.append(ansi);
      return;
    }
    case StringKind::Wide: {
      std::string wide = Utf8ToUtf16Le(utf8);
      Byte(static_cast<uint8_t>(ValueType::WString));
      Le(wide.size() / 2, 4);
      out_.append(wide);
      return;
    }
    case StringKind::Utf8:
      Byte(static_cast<uint8_t>(ValueType::Utf8String));
      Le(utf8.size(), 4);
      out_.append(utf8);
      return;
  }
}

void ComponentStreamWriter::Ident(std::string_view name) {
  Byte(static_cast<uint8_t>(ValueType::Ident));
  ShortString(name);
}

void ComponentStreamWriter::Boolean(bool value) {
  Byte(static_cast<uint8_t>(value ? ValueType::True : ValueType::False));
}

void ComponentStreamWriter::Nil() { Byte(static_cast<uint8_t>(ValueType::Nil)); }

void ComponentStreamWriter::BinaryValue(std::string_view bytes) {
  Byte(static_cast<uint8_t>(ValueType::Binary));
  Le(bytes.size(), 4);
  out_.append(bytes);
}

void ComponentStreamWriter::SetValue(const std::vector<std::string>& members) {
  Byte(static_cast<uint8_t>(ValueType::Set));
  for (const auto& m : members) ShortString(m);
  Byte(0);
}

void ComponentStreamWriter::FixedValue(ValueType type, std::string_view data) {
  size_t size = type == ValueType::Extended ? 10
                : type == ValueType::Single ? 4
                : (type == ValueType::Currency || type == ValueType::Date) ? 8
                                                                            : 0;
  if (size == 0 || data.size() != size) throw Error("Komponentenstrom: falsche Datenlänge für den Werttyp");
  Byte(static_cast<uint8_t>(type));
  out_.append(data);
}

void ComponentStreamWriter::BeginList() { Byte(static_cast<uint8_t>(ValueType::List)); }
void ComponentStreamWriter::BeginCollection() { Byte(static_cast<uint8_t>(ValueType::Collection)); }

void ComponentStreamWriter::BeginItem(std::optional<int64_t> order_index) {
  if (order_index) Integer(*order_index);
  BeginList();
}

void ComponentStreamWriter::End() { Byte(0); }

std::string WriteAdressExInfoStream(const std::vector<AdressExInfoItem>& items) {
  ComponentStreamWriter w;
  w.BeginComponent(kRootClass, "");
  w.PropertyName(kCollectionProperty);
  w.BeginCollection();
  for (const auto& item : items) {
    w.BeginItem();
    if (item.data_type) {
      w.PropertyName(kDataTypeProperty);
      w.Integer(*item.data_type);
    }
    if (item.simple_data) {
      w.PropertyName(kSimpleDataProperty);
      w.Text(*item.simple_data, item.kind);
    }
    w.End();
  }
  w.End();  // collection
  w.End();  // properties
  w.End();  // children
  return w.bytes();
}

std::string EncodeExtendedOrderInfo(const std::vector<AdressExInfoItem>& items) {
  return DeflateZlib(WriteAdressExInfoStream(items));
}

}  // namespace mrw
