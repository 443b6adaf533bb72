// The stand-in mail service: serves the mail pipe, answers every request with a complete
// reply and, for a send request (Action 3), writes the mail into the outbox folder.
#pragma once

#include <atomic>
#include <chrono>
#include <string>

namespace mailservice {

enum class Mode {
  Normal,     // answer at once
  Slow,       // answer after `delay`
  NeverReply, // read requests, never answer (the client's reply wait runs out)
  Refuse,     // accept and hang up without reading or answering
};

struct Options {
  std::string socketFolder;  // "" = the user's runtime folder
  std::string pipeName;
  std::string outbox;
  Mode mode = Mode::Normal;
  std::chrono::milliseconds delay{3000};
};

// Serves until `stop` becomes true. Returns the exit code.
int RunService(const Options& options, const std::atomic<bool>& stop);

}  // namespace mailservice
