#include "archive/chunk_pipeline.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace mrw::archive {

ChunkPipeline::ChunkPipeline(int zlib_level, unsigned threads) : level_(zlib_level) {
  // The calling thread is one of the compressing threads: it compresses whenever it would
  // otherwise wait, so `threads` workers beside it would leave one thread too many
  // fighting over the processors.
  unsigned workers = threads > 1 ? threads - 1 : 0;
  // Reading ahead far enough keeps the workers busy while the calling thread is off the
  // processor for a while (a busy machine), at 32 KiB per chunk buffer.
  std::size_t window = workers == 0 ? 1 : 8 * threads + 2;
  for (std::size_t i = 0; i < window; ++i) {
    slots_.push_back(std::make_unique<Slot>());
    free_.push_back(slots_.back().get());
  }
  own_compressor_ = std::make_unique<ChunkCompressor>(level_);
  for (unsigned i = 0; i < workers; ++i) workers_.emplace_back([this] { WorkerLoop(); });
}

ChunkPipeline::~ChunkPipeline() {
  Stop();
  {
    std::lock_guard lock(mutex_);
    shutting_down_ = true;
  }
  work_cv_.notify_all();
  for (auto& worker : workers_) worker.join();
}

void ChunkPipeline::WorkerLoop() {
  ChunkCompressor compressor(level_);
  std::unique_lock lock(mutex_);
  for (;;) {
    work_cv_.wait(lock, [this] { return shutting_down_ || !queue_.empty(); });
    if (queue_.empty()) return;
    Slot* slot = queue_.front();
    queue_.pop_front();
    lock.unlock();
    compressor.Compress(slot->chunk);
    lock.lock();
    slot->done = true;
    done_cv_.notify_all();
  }
}

void ChunkPipeline::Start(int fd, std::int64_t limit) {
  Stop();
  fd_ = fd;
  left_to_read_ = limit;
  file_done_ = limit <= 0;
}

bool ChunkPipeline::ReadInto(Slot& slot) {
  Chunk& chunk = slot.chunk;
  chunk.input_size = 0;
  chunk.outcome = Chunk::Outcome::kPending;
  slot.done = false;
  slot.read_failed = false;
  std::size_t want = static_cast<std::size_t>(
      std::min<std::int64_t>(left_to_read_, static_cast<std::int64_t>(kChunkSize)));
  while (chunk.input_size < want) {
    ssize_t n = read(fd_, chunk.input.data() + chunk.input_size, want - chunk.input_size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      slot.read_failed = true;
      file_done_ = true;
      return true;
    }
    if (n == 0) {
      // The file became shorter than it was when opened: end it here.
      file_done_ = true;
      break;
    }
    chunk.input_size += static_cast<std::size_t>(n);
  }
  left_to_read_ -= static_cast<std::int64_t>(chunk.input_size);
  if (left_to_read_ <= 0) file_done_ = true;
  return chunk.input_size > 0;
}

void ChunkPipeline::Fill() {
  while (!file_done_ && !free_.empty()) {
    Slot* slot = free_.back();
    if (!ReadInto(*slot)) break;
    free_.pop_back();
    in_flight_.push_back(slot);
    if (slot->read_failed) {
      slot->done = true;
      break;
    }
    // A file that fits into one chunk (the many small letters) is compressed right here:
    // handing it to a worker would only make this thread wait for it.
    if (workers_.empty() || (file_done_ && in_flight_.size() == 1)) {
      own_compressor_->Compress(slot->chunk);
      slot->done = true;
    } else {
      {
        std::lock_guard lock(mutex_);
        queue_.push_back(slot);
      }
      work_cv_.notify_one();
    }
  }
}

ChunkPipeline::Result ChunkPipeline::Next() {
  if (front_) {
    free_.push_back(front_);
    front_ = nullptr;
  }
  Fill();
  if (in_flight_.empty()) return {};
  Slot* slot = in_flight_.front();
  in_flight_.pop_front();
  if (!workers_.empty()) {
    // Rather than sleep until a worker has finished this chunk, the calling thread
    // compresses the oldest chunk nobody has started yet (this one first, if it is still
    // queued) and only sleeps when every chunk is taken. Sleeping and waking for each
    // chunk cost more processor time than the reading and writing it waits for.
    std::unique_lock lock(mutex_);
    while (!slot->done) {
      if (queue_.empty()) {
        done_cv_.wait(lock, [slot] { return slot->done; });
        break;
      }
      Slot* own = queue_.front();
      queue_.pop_front();
      lock.unlock();
      own_compressor_->Compress(own->chunk);
      lock.lock();
      own->done = true;
    }
  }
  front_ = slot;
  return {slot->read_failed ? nullptr : &slot->chunk, slot->read_failed};
}

void ChunkPipeline::Stop() {
  if (front_) {
    free_.push_back(front_);
    front_ = nullptr;
  }
  if (!in_flight_.empty()) {
    std::unique_lock lock(mutex_);
    // Chunks no worker has started on are simply taken back; the others are waited for,
    // since a worker still writes into their buffers. (The queue only ever holds chunks
    // of the current file.)
    for (Slot* slot : queue_) slot->done = true;
    queue_.clear();
    for (Slot* slot : in_flight_) done_cv_.wait(lock, [slot] { return slot->done; });
  }
  for (Slot* slot : in_flight_) free_.push_back(slot);
  in_flight_.clear();
  fd_ = -1;
  left_to_read_ = 0;
  file_done_ = true;
}

}  // namespace mrw::archive
