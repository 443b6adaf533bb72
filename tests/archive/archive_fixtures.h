// Shared helpers of the archive tests: deterministic file contents, a builder for
// hand-made archives, and running the writer with its events recorded.
#pragma once

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "archive/backup_file.h"
#include "archive/format.h"

namespace mrw::archive::test {

// Bytes that do not compress (a chunk of them is stored).
inline std::string RandomBytes(std::size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::string out(n, '\0');
  for (auto& c : out) c = static_cast<char>(gen() & 0xFF);
  return out;
}

// Bytes that compress well.
inline std::string TextBytes(std::size_t n) {
  static const std::string kWords = "Auftrag Lieferschein Rechnung Angebot Kunde Adresse ";
  std::string out;
  while (out.size() < n) out += kWords;
  out.resize(n);
  return out;
}

inline std::string Int32Le(std::int32_t v) {
  std::string out;
  PutInt32(out, v);
  return out;
}

// Hand-made archives for the reader: raw pieces appended in order.
struct RawArchive {
  std::string bytes;
  RawArchive& Header(const std::string& title, std::int32_t total, std::int32_t count) {
    bytes += Int32Le(static_cast<std::int32_t>(title.size())) + title + Int32Le(total) + Int32Le(count);
    return *this;
  }
  RawArchive& Name(const std::string& name, std::int32_t date = -1) {
    bytes += Int32Le(static_cast<std::int32_t>(name.size())) + name + Int32Le(date);
    return *this;
  }
  RawArchive& Mark() {
    bytes += std::string(kSegmentMarkView);
    return *this;
  }
  RawArchive& Stored(const std::string& data) {
    bytes += Int32Le(-static_cast<std::int32_t>(data.size())) + data;
    return *this;
  }
  RawArchive& Compressed(const std::string& zlib_stream) {
    bytes += Int32Le(static_cast<std::int32_t>(zlib_stream.size())) + zlib_stream;
    return *this;
  }
  RawArchive& Int(std::int32_t v) {
    bytes += Int32Le(v);
    return *this;
  }
};

// One zlib stream of `data` made by a freshly created compressor with the writer's
// parameters; unbounded output.
std::string FreshZlib(const std::string& data, int level);

// What a writer run reported.
struct RunLog {
  bool result = false;
  std::vector<int> percents;
  std::vector<std::string> names;
  std::vector<int> errors;
};

// Attaches recording handlers to `writer` (keeping an existing OnProgress behaviour
// through `also`), returns the log they fill.
void Record(TBackupFile& writer, RunLog& log,
            std::function<void(const std::string&, int, bool&)> also = {});

}  // namespace mrw::archive::test
