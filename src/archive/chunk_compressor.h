// One chunk of at most 16384 bytes made into what the archive stores: a complete zlib
// stream (level from the writer's table, window bits 15, memory level 8, default
// strategy, one call with "finish" into exactly 16384 bytes of output), or, when that
// stream does not fit, the raw bytes marked as stored.
//
// A ChunkCompressor keeps one zlib state and resets it before every chunk; the bytes are
// those a freshly created compressor gives, so no state carries over between chunks.
#pragma once

#include <zlib.h>

#include <array>
#include <cstddef>

#include "archive/format.h"

namespace mrw::archive {

// One chunk on its way: the input bytes and, once compressed, the outcome.
struct Chunk {
  enum class Outcome { kPending, kCompressed, kStored, kFailed };

  std::array<unsigned char, kChunkSize> input;
  std::size_t input_size = 0;
  std::array<unsigned char, kChunkSize> output;
  std::size_t output_size = 0;
  Outcome outcome = Outcome::kPending;
};

class ChunkCompressor {
 public:
  explicit ChunkCompressor(int zlib_level);
  ~ChunkCompressor();
  ChunkCompressor(const ChunkCompressor&) = delete;
  ChunkCompressor& operator=(const ChunkCompressor&) = delete;

  // Sets chunk.outcome (and output/output_size for kCompressed). kFailed when zlib cannot
  // be started or reports anything but a complete stream or a full output space.
  void Compress(Chunk& chunk);

 private:
  z_stream stream_{};
  int level_;
  bool ready_ = false;
};

}  // namespace mrw::archive
