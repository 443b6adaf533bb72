// Reads one file at a time in 16384-byte chunks and compresses them, handing the chunks
// back in file order on the calling thread.
//
// With one thread everything happens inside Next(): read one chunk, compress it, return
// it, just as a plain loop would. With n threads the calling thread reads a few chunks
// ahead and n - 1 worker threads compress them meanwhile; the calling thread is the n-th:
// instead of waiting for the chunk it has to hand out, it compresses the oldest chunk
// nobody has started. The compressed bytes are the same (every chunk is an independent
// zlib stream), and the caller still sees one chunk per Next() and may stop after any of
// them: what was read ahead is then dropped.
//
// Memory stays bounded: a fixed window of chunk buffers (eight per thread plus two) and
// one zlib state per thread.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "archive/chunk_compressor.h"

namespace mrw::archive {

class ChunkPipeline {
 public:
  // threads <= 1 compresses on the calling thread alone.
  ChunkPipeline(int zlib_level, unsigned threads);
  ~ChunkPipeline();
  ChunkPipeline(const ChunkPipeline&) = delete;
  ChunkPipeline& operator=(const ChunkPipeline&) = delete;

  // Starts reading `fd` (not owned) from its current position, at most `limit` bytes.
  void Start(int fd, std::int64_t limit);

  struct Result {
    const Chunk* chunk = nullptr;  // null: the file has no more bytes (limit or its end)
    bool read_failed = false;      // reading failed before this chunk was complete
  };
  // The next chunk of the current file. The chunk stays valid until the next call of
  // Next() or Stop().
  Result Next();

  // Ends the current file, dropping chunks read ahead. Needed before the file is closed.
  void Stop();

 private:
  struct Slot {
    Chunk chunk;
    bool done = false;
    bool read_failed = false;
  };

  void Fill();
  bool ReadInto(Slot& slot);  // false: nothing more to read (slot unused)
  void WorkerLoop();

  int level_;
  std::vector<std::unique_ptr<Slot>> slots_;
  std::vector<Slot*> free_;
  std::deque<Slot*> in_flight_;  // read order
  Slot* front_ = nullptr;        // handed out by the last Next()
  std::unique_ptr<ChunkCompressor> own_compressor_;  // the calling thread's

  int fd_ = -1;
  std::int64_t left_to_read_ = 0;
  bool file_done_ = true;

  std::mutex mutex_;
  std::condition_variable work_cv_;
  std::condition_variable done_cv_;
  std::deque<Slot*> queue_;
  bool shutting_down_ = false;
  std::vector<std::thread> workers_;
};

}  // namespace mrw::archive
