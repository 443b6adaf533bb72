// The stand-in mail service as tests run it: the program built beside mrw, started as a
// child process on a socket folder and an outbox, stopped with SIGTERM; and the reading
// of the mails it writes.
#pragma once

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "delivery/instance_lock.h"
#include "delivery/send_mail.h"

extern char** environ;

namespace mrw::test {

inline std::string MailServiceBinary() {
  return (std::filesystem::path(MRW_BIN).parent_path() / "mailservice").string();
}

inline std::string Base64Decode(const std::string& text) {
  static const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  unsigned buffer = 0;
  int bits = 0;
  for (char c : text) {
    const size_t v = alphabet.find(c);
    if (v == std::string::npos) continue;  // line ends and padding
    buffer = (buffer << 6) | static_cast<unsigned>(v);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out += static_cast<char>((buffer >> bits) & 0xFF);
    }
  }
  return out;
}

// The decoded bytes of the attachment called `file_name` in a mail of the outbox; false
// when the mail has no such attachment.
inline bool MailAttachment(const std::string& mail, const std::string& file_name, std::string& bytes) {
  const std::string marker = "Content-Disposition: attachment; filename=\"" + file_name + "\"\r\n\r\n";
  const size_t start = mail.find(marker);
  if (start == std::string::npos) return false;
  const size_t end = mail.find("\r\n--", start);
  if (end == std::string::npos) return false;
  bytes = Base64Decode(mail.substr(start + marker.size(), end - start - marker.size()));
  return true;
}

// The files in `outbox` (none when it does not exist).
inline std::vector<std::filesystem::path> OutboxMails(const std::string& outbox) {
  std::vector<std::filesystem::path> mails;
  if (std::filesystem::exists(outbox)) {
    for (const auto& entry : std::filesystem::directory_iterator(outbox)) mails.push_back(entry.path());
  }
  return mails;
}

class MailServiceProcess {
 public:
  MailServiceProcess(const std::string& socketDir, const std::string& outbox, const std::string& mode = "normal") {
    std::vector<std::string> args = {MailServiceBinary(), "--socket-dir", socketDir, "--outbox", outbox, "--mode", mode,
                                     "--delay", "200"};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, argv[0], nullptr, nullptr, argv.data(), environ) != 0) pid_ = -1;
  }
  ~MailServiceProcess() { Stop(); }
  MailServiceProcess(const MailServiceProcess&) = delete;
  MailServiceProcess& operator=(const MailServiceProcess&) = delete;

  // True once the pipe's socket is there and the mail program's identifier is held.
  bool WaitReady(const std::string& socketDir) {
    for (int n = 0; n < 500; ++n) {
      if (std::filesystem::exists(socketDir + delivery::kMailPipeName) &&
          delivery::IdentifierHeld(socketDir, delivery::kMailProgramIdentifier)) {
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }
  // SIGTERM, then the exit status (-1 when it did not end normally within 5 s).
  int Stop() {
    if (pid_ <= 0) return -1;
    ::kill(pid_, SIGTERM);
    return Wait();
  }
  int Wait() {
    if (pid_ <= 0) return -1;
    int status = 0;
    for (int n = 0; n < 500; ++n) {
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return -1;
  }

 private:
  pid_t pid_ = -1;
};

}  // namespace mrw::test
