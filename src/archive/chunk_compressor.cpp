#include "archive/chunk_compressor.h"

namespace mrw::archive {

ChunkCompressor::ChunkCompressor(int zlib_level) : level_(zlib_level) {}

ChunkCompressor::~ChunkCompressor() {
  if (ready_) deflateEnd(&stream_);
}

void ChunkCompressor::Compress(Chunk& chunk) {
  chunk.output_size = 0;
  if (!ready_) {
    stream_ = z_stream{};
    ready_ = deflateInit2(&stream_, level_, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) == Z_OK;
  } else if (deflateReset(&stream_) != Z_OK) {
    deflateEnd(&stream_);
    ready_ = false;
  }
  if (!ready_) {
    chunk.outcome = Chunk::Outcome::kFailed;
    return;
  }
  stream_.next_in = chunk.input.data();
  stream_.avail_in = static_cast<uInt>(chunk.input_size);
  stream_.next_out = chunk.output.data();
  stream_.avail_out = static_cast<uInt>(chunk.output.size());
  int rc = deflate(&stream_, Z_FINISH);
  if (rc == Z_STREAM_END) {
    chunk.output_size = chunk.output.size() - stream_.avail_out;
    chunk.outcome = Chunk::Outcome::kCompressed;
  } else if ((rc == Z_OK || rc == Z_BUF_ERROR) && stream_.avail_out == 0) {
    // The complete stream would not fit into one chunk's room: keep the bytes as they are.
    chunk.outcome = Chunk::Outcome::kStored;
  } else {
    chunk.outcome = Chunk::Outcome::kFailed;
  }
}

}  // namespace mrw::archive
