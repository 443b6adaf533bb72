#include "service.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <thread>

#include "delivery/accounts.h"
#include "delivery/instance_lock.h"
#include "delivery/ipc_message.h"
#include "delivery/send_mail.h"
#include "foundation/codepage.h"
#include "foundation/errors.h"
#include "foundation/guid.h"
#include "foundation/names.h"
#include "foundation/paths.h"
#include "foundation/pipe_transport.h"
#include "mail_message.h"

namespace mailservice {
namespace {

using mrw::PipeClock;
using mrw::PipeConnection;
using namespace std::chrono_literals;
namespace delivery = mrw::delivery;

// A client that connects and then sends nothing is dropped after this.
constexpr auto kIdleLimit = 30s;
constexpr auto kSlice = 200ms;
// Requests carry paths and short texts; anything larger is no request of ours.
constexpr int64_t kMaxField = 64ll * 1024 * 1024;

class Session {
 public:
  Session(PipeConnection& connection, const std::atomic<bool>& stop) : connection_(connection), stop_(stop) {}

  // Reads exactly `size` bytes, giving up at the idle limit, when the peer hangs up, or
  // when the service is told to stop.
  bool Read(void* data, size_t size) {
    char* p = static_cast<char*>(data);
    const auto limit = PipeClock::now() + kIdleLimit;
    while (size > 0) {
      if (stop_) return false;
      const long n = connection_.ReadSome(p, size, std::min(PipeClock::now() + kSlice, limit));
      if (n == -ETIMEDOUT && PipeClock::now() < limit) continue;
      if (n <= 0) return false;
      p += n;
      size -= static_cast<size_t>(n);
    }
    return true;
  }

  bool ReadInt64(int64_t& value) {
    unsigned char bytes[8];
    if (!Read(bytes, 8)) return false;
    value = delivery::ReadInt64Le(bytes);
    return true;
  }

  bool ReadBlock(int64_t size, std::string& out) {
    out.clear();
    if (size <= 0) return true;
    if (size > kMaxField) return false;
    out.resize(static_cast<size_t>(size));
    return Read(out.data(), out.size());
  }

  bool Write(const std::string& bytes) {
    return connection_.WriteAll(bytes.data(), bytes.size(), PipeClock::now() + kIdleLimit) == 0;
  }

 private:
  PipeConnection& connection_;
  const std::atomic<bool>& stop_;
};

std::string Reply(const std::string& id, bool ok, const std::string& message) {
  delivery::TStreamStorage data;
  data.WriteInteger("Result", ok ? 1 : 0);
  data.WriteString("Message", message);
  return delivery::Int64Le(static_cast<int64_t>(id.size())) + id + delivery::Int64Le(static_cast<int64_t>(data.Bytes().size())) + data.Bytes();
}

std::string Text(const std::vector<delivery::NamedValue>& values, const char* name) {
  const delivery::NamedValue* value = delivery::FindNamedValue(values, name);
  return value ? value->AsText() : std::string();
}

std::string RfcDate() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  static const char* days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  char zone[8];
  std::strftime(zone, sizeof zone, "%z", &local);
  char text[64];
  std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d %s", days[local.tm_wday], local.tm_mday,
                months[local.tm_mon], local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec, zone);
  return text;
}

bool ReadWholeFile(const std::string& path, std::string& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

// Writes the mail of a send request into the outbox; returns the reply's message text
// and whether the mail was written.
bool WriteMail(const Options& options, const std::vector<delivery::NamedValue>& values, std::string& message) {
  OutgoingMail mail;
  mail.to = Text(values, "email");
  mail.subject = Text(values, "subject");
  mail.htmlBody = Text(values, "body");
  if (mail.to.empty()) {
    message = "Kein Empfänger angegeben";
    return false;
  }
  const std::string accountsFile = Text(values, "accounts");
  std::string accountBytes;
  if (!accountsFile.empty() && ReadWholeFile(accountsFile, accountBytes)) {
    delivery::TAccounts accounts;
    accounts.Read(accountBytes);
    if (accounts.Count() > 0) {
      mail.fromName = accounts.Get(0).senderName;
      mail.fromAddress = accounts.Get(0).senderAddress;
    }
  }
  if (mail.fromAddress.empty()) mail.fromAddress = mrw::GetUserNameStr() + "@localhost";

  const std::string attachment = Text(values, "attachments");
  if (!attachment.empty()) {
    if (!ReadWholeFile(attachment, mail.attachmentBytes)) {
      message = "Anhang kann nicht gelesen werden: " + attachment;
      return false;
    }
    mail.hasAttachment = true;
    mail.attachmentName = mrw::ExtractFileName(attachment);
  }

  static int counter = 0;
  const std::string guid = mrw::NewGuid();
  char stamp[32];
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
  const std::string base = std::string(stamp) + "-" + std::to_string(::getpid()) + "-" + std::to_string(++counter);
  const std::string text = ComposeMail(mail, guid + "@" + mrw::GetComputerNameStr(), RfcDate(), "=_mrw_" + guid);

  std::error_code ec;
  std::filesystem::create_directories(options.outbox, ec);
  const std::string folder = mrw::AddPathDelimiter(options.outbox);
  const std::string temp = folder + "." + base + ".tmp";
  const std::string target = folder + base + ".eml";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    if (!out) {
      std::filesystem::remove(temp, ec);
      message = "Postausgang kann nicht geschrieben werden: " + folder;
      return false;
    }
  }
  // Readers of the outbox only ever see complete messages.
  std::filesystem::rename(temp, target, ec);
  if (ec) {
    std::filesystem::remove(temp, ec);
    message = "Postausgang kann nicht geschrieben werden: " + folder;
    return false;
  }
  message = target;
  std::cerr << "mailservice: Mail an " << mail.to << " in " << target << "\n";
  return true;
}

void SleepUnlessStopped(std::chrono::milliseconds duration, const std::atomic<bool>& stop) {
  const auto end = PipeClock::now() + duration;
  while (!stop && PipeClock::now() < end) std::this_thread::sleep_for(std::min<PipeClock::duration>(50ms, end - PipeClock::now()));
}

void Serve(const Options& options, PipeConnection& connection, const std::atomic<bool>& stop) {
  if (options.mode == Mode::Refuse) return;
  Session session(connection, stop);
  for (;;) {
    int64_t idLength = 0;
    if (!session.ReadInt64(idLength) || idLength == -1) return;  // gone, or the end mark
    std::string id;
    std::string data;
    int64_t dataSize = 0;
    if (!session.ReadBlock(idLength, id) || !session.ReadInt64(dataSize) || !session.ReadBlock(dataSize, data)) return;

    bool ok = false;
    std::string message;
    try {
      const auto values = delivery::ReadNamedValues(data);
      const delivery::NamedValue* action = delivery::FindNamedValue(values, "Action");
      const int32_t code = action && action->AsInteger() ? *action->AsInteger() : 0;
      if (code == delivery::kActionAlive) {
        ok = true;
        message = "OK";
      } else if (code == delivery::kActionSend) {
        ok = WriteMail(options, values, message);
      } else {
        message = "Unbekannte Aktion " + std::to_string(code);
      }
    } catch (const std::exception& e) {
      message = std::string("Fehlerhafte Anfrage: ") + e.what();
    }
    if (!ok) std::cerr << "mailservice: " << message << "\n";

    if (options.mode == Mode::NeverReply) {
      // Keep the line open without answering until the client gives up.
      char ignored[256];
      while (session.Read(ignored, sizeof ignored)) {
      }
      return;
    }
    if (options.mode == Mode::Slow) SleepUnlessStopped(options.delay, stop);
    if (stop || !session.Write(Reply(id, ok, message))) return;
  }
}

}  // namespace

int RunService(const Options& options, const std::atomic<bool>& stop) {
  delivery::IdentifierLock identifier;
  bool held = false;
  // A client testing the identifier holds it shared for a moment; try a few times.
  for (int attempt = 0; attempt < 20 && !(held = identifier.TryAcquire(options.socketFolder, delivery::kMailProgramIdentifier)); ++attempt) {
    std::this_thread::sleep_for(10ms);
  }
  if (!held) {
    std::cerr << "mailservice: Der Maildienst läuft bereits\n";
    return 1;
  }
  mrw::PipeListener listener(mrw::PipeSocketPath(options.socketFolder, options.pipeName));
  std::cerr << "mailservice: bereit auf " << listener.path() << ", Postausgang " << options.outbox << "\n";
  while (!stop) {
    PipeConnection connection = listener.Accept(kSlice);
    if (connection.IsOpen()) Serve(options, connection, stop);
  }
  std::cerr << "mailservice: beendet\n";
  return 0;
}

}  // namespace mailservice
