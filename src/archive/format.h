// The fixed values of the transfer archive's byte layout, shared by the writer and the
// reader, and the little-endian Int32 every length, count, size and date is stored as.
//
// Layout in short: header (title length, title, total size, file count), entries (name
// length, name, DOS date, data segment), end mark Int32 0; a transfer package adds a
// 4-byte trailer with the archive's offset. A data segment is "EC2\0", chunks (Int32 n,
// |n| bytes: a zlib stream for n > 0, raw bytes for n < 0), Int32 0.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace mrw::archive {

// Uncompressed bytes per chunk, and the most a chunk may occupy in the archive.
inline constexpr std::size_t kChunkSize = 16384;
// A volume takes no further chunk once its size reaches MaxSize minus this much room.
inline constexpr std::int64_t kVolumeReserve = 16384 + 100;

inline constexpr char kSegmentMark[4] = {'E', 'C', '2', '\0'};
inline constexpr std::string_view kSegmentMarkView{kSegmentMark, 4};
inline constexpr std::string_view kFileListName = "FILE:LIST";
inline constexpr std::string_view kNextDiskPrefix = "NEXT:DISK";
// The title every transfer package carries.
inline constexpr std::string_view kPackageTitle = "{72475EA3-7E8C-4AE3-90B0-7B9D6CE6F161}";

inline constexpr std::int64_t kMaxInt32 = 2147483647;

inline void PutInt32(std::string& out, std::int32_t value) {
  auto u = static_cast<std::uint32_t>(value);
  char bytes[4] = {static_cast<char>(u & 0xFF), static_cast<char>((u >> 8) & 0xFF),
                   static_cast<char>((u >> 16) & 0xFF), static_cast<char>((u >> 24) & 0xFF)};
  out.append(bytes, 4);
}

inline std::int32_t GetInt32(const void* data) {
  const auto* b = static_cast<const unsigned char*>(data);
  std::uint32_t u = static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
                    (static_cast<std::uint32_t>(b[2]) << 16) |
                    (static_cast<std::uint32_t>(b[3]) << 24);
  std::int32_t value;
  std::memcpy(&value, &u, sizeof value);
  return value;
}

// The three digits a volume's extension and its switch record carry: the last three
// characters of "00" followed by the number (2 -> "002", 1000 -> "000").
inline std::string VolumeDigits(unsigned number) {
  std::string text = "00" + std::to_string(number);
  return text.substr(text.size() - 3);
}

}  // namespace mrw::archive
