// The messages of the mail pipe: TStreamStorage (named values serialised as they are
// added) and TMessageData (a message ID plus its data), and a reader for received data.
//
// Data layout, per named value, all integers little-endian:
//   name size N (32-bit) | name (UTF-16LE, N bytes) | value size V (signed 64-bit) | value
// Integer values are 4 bytes (signed 32-bit); text values are UTF-16LE code units. The kind
// of a value is not stored: the receiver knows it from the name.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "foundation/codepage.h"  // the UTF-16LE texts

namespace mrw::delivery {

// The pipe's 64-bit little-endian integers (lengths, sizes, the end mark).
std::string Int64Le(int64_t value);
int64_t ReadInt64Le(const unsigned char* bytes);

class TStreamStorage {
 public:
  // An empty name writes nothing. Throws mrw::Error "Value with name \"<name>\" already
  // exists" for a name already written (unless duplicates are allowed); nothing is then
  // appended.
  void WriteInteger(const std::string& name, int32_t value);
  // An empty name or an empty text writes nothing at all.
  void WriteString(const std::string& name, const std::string& text);

  void SetAllowDuplicates(bool allow) { allowDuplicates_ = allow; }
  // The serialised values.
  const std::string& Bytes() const { return stream_; }
  int64_t LastPosition() const { return lastPosition_; }
  // Replaces the serialised bytes with received ones (the name index is not rebuilt).
  void Assign(std::string bytes);

 private:
  void AppendHeader(const std::string& name, int64_t valueSize);

  int64_t lastPosition_ = 0;
  std::string stream_;
  std::unordered_map<std::string, int64_t> nameIndex_;
  bool allowDuplicates_ = false;
};

// One message. Shared between its holders (the caller keeps the request, the client hands
// the reply out); freed with its last holder.
class TMessageData {
 public:
  const std::string& Id() const { return id_; }  // ANSI bytes
  void SetId(std::string ansiId) { id_ = std::move(ansiId); }
  TStreamStorage& Data() { return data_; }
  const TStreamStorage& Data() const { return data_; }

 private:
  std::string id_;
  TStreamStorage data_;
};

using MessagePtr = std::shared_ptr<TMessageData>;

// A value as it arrived: its name (UTF-8) and its raw bytes.
struct NamedValue {
  std::string name;
  std::string bytes;

  std::optional<int32_t> AsInteger() const;  // nullopt unless exactly 4 bytes
  std::string AsText() const;                // UTF-16LE decoded to UTF-8
};

// Splits serialised data into its named values in order. Throws mrw::Error when the data
// end inside a value or a size is negative.
std::vector<NamedValue> ReadNamedValues(std::string_view data);
// The first value called `name`, nullptr when there is none.
const NamedValue* FindNamedValue(const std::vector<NamedValue>& values, std::string_view name);

}  // namespace mrw::delivery
