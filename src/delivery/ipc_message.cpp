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
