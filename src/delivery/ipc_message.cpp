#include "delivery/ipc_message.h"

#include <cstring>

#include "foundation/codepage.h"
#include "foundation/errors.h"

namespace mrw::delivery {
namespace {

void AppendLe(std::string& out, uint64_t value, int bytes) {
  for (int n = 0; n < bytes; ++n) out += static_cast<char>((value >> (8 * n)) & 0xFF);
}

uint64_t ReadLe(std::string_view in, size_t pos, int bytes) {
  uint64_t value = 0;
  for (int n = 0; n < bytes; ++n) {
    value |= static_cast<uint64_t>(static_cast<unsigned char>(in[pos + n])) << (8 * n);
  }
  return value;
}

void AppendUnit(std::string& out, uint32_t unit) { AppendLe(out, unit, 2); }

void AppendCodePoint(std::string& out, uint32_t cp) {
  if (cp >= 0x10000) {
    cp -= 0x10000;
    AppendUnit(out, 0xD800 + (cp >> 10));
    AppendUnit(out, 0xDC00 + (cp & 0x3FF));
  } else {
    AppendUnit(out, cp);
  }
}

// Decodes one UTF-8 sequence at `pos`; returns its length, 0 when it is not valid.
size_t DecodeUtf8(std::string_view s, size_t pos, uint32_t& cp) {
  const unsigned char c = static_cast<unsigned char>(s[pos]);
  size_t len;
  uint32_t min;
  if (c < 0x80) {
    cp = c;
    return 1;
  } else if ((c & 0xE0) == 0xC0) {
    len = 2, cp = c & 0x1F, min = 0x80;
  } else if ((c & 0xF0) == 0xE0) {
    len = 3, cp = c & 0x0F, min = 0x800;
  } else if ((c & 0xF8) == 0xF0) {
    len = 4, cp = c & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (pos + len > s.size()) return 0;
  for (size_t n = 1; n < len; ++n) {
    const unsigned char cc = static_cast<unsigned char>(s[pos + n]);
    if ((cc & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (cc & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return len;
}

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

}  // namespace

std::string Int64Le(int64_t value) {
  std::string out;
  AppendLe(out, static_cast<uint64_t>(value), 8);
  return out;
}

int64_t ReadInt64Le(const unsigned char* bytes) {
  uint64_t value = 0;
  for (int n = 0; n < 8; ++n) value |= static_cast<uint64_t>(bytes[n]) << (8 * n);
  return static_cast<int64_t>(value);
}

std::string Utf8ToUtf16Le(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size() * 2);
  for (size_t pos = 0; pos < utf8.size();) {
    uint32_t cp = 0;
    const size_t len = DecodeUtf8(utf8, pos, cp);
    if (len == 0) {
      // Not UTF-8: the byte is a Windows-1252 character.
      const std::string asUtf8 = AnsiToUtf8(utf8.substr(pos, 1));
      DecodeUtf8(asUtf8, 0, cp);
      ++pos;
    } else {
      pos += len;
    }
    AppendCodePoint(out, cp);
  }
  return out;
}

std::string Utf16LeToUtf8(std::string_view utf16le) {
  std::string out;
  const size_t units = utf16le.size() / 2;
  for (size_t n = 0; n < units; ++n) {
    uint32_t cp = static_cast<uint32_t>(ReadLe(utf16le, 2 * n, 2));
    if (cp >= 0xD800 && cp <= 0xDBFF && n + 1 < units) {
      const uint32_t low = static_cast<uint32_t>(ReadLe(utf16le, 2 * (n + 1), 2));
      if (low >= 0xDC00 && low <= 0xDFFF) {
        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
        ++n;
      }
    }
    if (cp >= 0xD800 && cp <= 0xDFFF) cp = 0xFFFD;
    AppendUtf8(out, cp);
  }
  return out;
}

void TStreamStorage::AppendHeader(const std::string& name, int64_t valueSize) {
  if (!allowDuplicates_ && nameIndex_.count(name)) {
    throw Error("Value with name \"" + name + "\" already exists");
  }
  const std::string encodedName = Utf8ToUtf16Le(name);
  AppendLe(stream_, static_cast<uint32_t>(encodedName.size()), 4);
  stream_ += encodedName;
  nameIndex_[name] = static_cast<int64_t>(stream_.size());
  AppendLe(stream_, static_cast<uint64_t>(valueSize), 8);
}

void TStreamStorage::WriteInteger(const std::string& name, int32_t value) {
  if (name.empty()) return;
  AppendHeader(name, 4);
  AppendLe(stream_, static_cast<uint32_t>(value), 4);
  lastPosition_ = static_cast<int64_t>(stream_.size());
}

void TStreamStorage::WriteString(const std::string& name, const std::string& text) {
  if (name.empty() || text.empty()) return;
  const std::string encoded = Utf8ToUtf16Le(text);
  AppendHeader(name, static_cast<int64_t>(encoded.size()));
  stream_ += encoded;
  lastPosition_ = static_cast<int64_t>(stream_.size());
}

void TStreamStorage::Assign(std::string bytes) {
  stream_ = std::move(bytes);
  nameIndex_.clear();
  lastPosition_ = static_cast<int64_t>(stream_.size());
}

std::optional<int32_t> NamedValue::AsInteger() const {
  if (bytes.size() != 4) return std::nullopt;
  return static_cast<int32_t>(static_cast<uint32_t>(ReadLe(bytes, 0, 4)));
}

std::string NamedValue::AsText() const { return Utf16LeToUtf8(bytes); }

std::vector<NamedValue> ReadNamedValues(std::string_view data) {
  std::vector<NamedValue> values;
  size_t pos = 0;
  while (pos < data.size()) {
    if (data.size() - pos < 4) throw Error("Unvollständiger Wertname in den Nachrichtendaten");
    const uint64_t nameSize = ReadLe(data, pos, 4);
    pos += 4;
    if (data.size() - pos < nameSize + 8) throw Error("Unvollständiger Wert in den Nachrichtendaten");
    NamedValue value;
    value.name = Utf16LeToUtf8(data.substr(pos, nameSize));
    pos += nameSize;
    const int64_t valueSize = static_cast<int64_t>(ReadLe(data, pos, 8));
    pos += 8;
    if (valueSize < 0 || static_cast<uint64_t>(valueSize) > data.size() - pos) {
      throw Error("Unvollständiger Wert in den Nachrichtendaten");
    }
    value.bytes = std::string(data.substr(pos, static_cast<size_t>(valueSize)));
    pos += static_cast<size_t>(valueSize);
    values.push_back(std::move(value));
  }
  return values;
}

const NamedValue* FindNamedValue(const std::vector<NamedValue>& values, std::string_view name) {
  for (const auto& value : values) {
    if (value.name == name) return &value;
  }
  return nullptr;
}

}  // namespace mrw::delivery
