// A scripted server end of the mail pipe for tests: accepts connections on a background
// thread, records every byte each client sent, and answers each request with a reply
// chosen by the test.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "foundation/pipe_transport.h"

namespace mrw::test {

inline std::string Le64(int64_t value) {
  std::string out;
  for (int n = 0; n < 8; ++n) out += static_cast<char>((static_cast<uint64_t>(value) >> (8 * n)) & 0xFF);
  return out;
}

inline int64_t ReadLe64(const std::string& bytes, size_t pos) {
  uint64_t v = 0;
  for (int n = 0; n < 8; ++n) v |= static_cast<uint64_t>(static_cast<unsigned char>(bytes[pos + n])) << (8 * n);
  return static_cast<int64_t>(v);
}

struct ReceivedRequest {
  std::string id;
  std::string data;
};

class FakePipeServer {
 public:
  // What to send back for a request; nullopt-like empty optional = no reply (hang up).
  using Responder = std::function<std::string(const ReceivedRequest&)>;

  // With `hangUp`, the server closes the connection right after its reply instead of
  // collecting what the client sends afterwards.
  FakePipeServer(const std::string& socketPath, Responder responder, bool hangUp = false)
      : listener_(socketPath), responder_(std::move(responder)), hangUp_(hangUp), thread_([this] { Run(); }) {}
  ~FakePipeServer() {
    stop_ = true;
    thread_.join();
  }

  // Every connection's received bytes, in order.
  std::vector<std::string> Streams() {
    std::lock_guard<std::mutex> lock(mutex_);
    return streams_;
  }
  // Waits (up to 5 s) until `count` connections have ended, then returns all streams.
  std::vector<std::string> WaitForStreams(size_t count) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < end) {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (streams_.size() >= count) return streams_;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return Streams();
  }
  std::vector<ReceivedRequest> Requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
  }

  static std::string EmptyReply() { return Le64(0) + Le64(0); }

 private:
  void Run() {
    using namespace std::chrono_literals;
    while (!stop_) {
      PipeConnection c = listener_.Accept(50ms);
      if (!c.IsOpen()) continue;
      std::string stream;
      auto read = [&](size_t n, std::string& out) {
        out.resize(n);
        if (n == 0) return true;
        if (c.ReadExact(out.data(), n, PipeClock::now() + 5s) != 0) return false;
        stream += out;
        return true;
      };
      std::string head, id, size, data;
      if (read(8, head) && read(static_cast<size_t>(std::max<int64_t>(0, ReadLe64(head, 0))), id) && read(8, size) &&
          read(static_cast<size_t>(std::max<int64_t>(0, ReadLe64(size, 0))), data)) {
        ReceivedRequest request{id, data};
        {
          std::lock_guard<std::mutex> lock(mutex_);
          requests_.push_back(request);
        }
        const std::string reply = responder_(request);
        if (!reply.empty()) c.WriteAll(reply.data(), reply.size(), PipeClock::now() + 5s);
      }
      // Collect whatever follows (the end mark) until the client hangs up.
      char buffer[256];
      while (!hangUp_) {
        const long n = c.ReadSome(buffer, sizeof buffer, PipeClock::now() + 2s);
        if (n <= 0) break;
        stream.append(buffer, static_cast<size_t>(n));
      }
      std::lock_guard<std::mutex> lock(mutex_);
      streams_.push_back(stream);
    }
  }

  PipeListener listener_;
  Responder responder_;
  bool hangUp_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<std::string> streams_;
  std::vector<ReceivedRequest> requests_;
  std::thread thread_;
};

}  // namespace mrw::test
