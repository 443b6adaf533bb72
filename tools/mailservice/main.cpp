// mailservice: a stand-in for the host's local mail service, for development, demos and
// tests. It serves the mail pipe in the user's runtime folder, holds the mail program's
// identifier while it runs (so the wizard does not start a second one), answers every
// request and writes each mail it is asked to send into an outbox folder as an RFC 5322
// message. Installed as "helvix2.exe" in the folder the registry stand-in names, it is
// what the wizard starts when no mail program runs. Ends cleanly on SIGTERM or SIGINT.
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <string>

#include "delivery/send_mail.h"
#include "foundation/errors.h"
#include "service.h"

namespace {

std::atomic<bool> g_stop{false};

extern "C" void OnSignal(int) { g_stop = true; }

const char* kUsage =
    "Aufruf: mailservice [--socket-dir ORDNER] [--outbox ORDNER] [--pipe NAME]\n"
    "                    [--mode normal|slow|never-reply|refuse] [--delay MS]\n"
    "\n"
    "  --socket-dir  Ordner des Pipe-Sockets und der Sperrdatei (Standard: Laufzeitordner)\n"
    "  --outbox      Ordner für die geschriebenen Mails (Standard: $QM_MAIL_OUTBOX,\n"
    "                sonst ~/.local/share/quillmar/outbox)\n"
    "  --pipe        Name der Pipe (Standard: QML-MAILLOCALSERVICE)\n"
    "  --mode        normal: sofort antworten; slow: nach --delay ms antworten;\n"
    "                never-reply: nie antworten; refuse: Verbindung sofort beenden\n"
    "  --delay       Wartezeit im Modus slow (Standard: 3000)\n";

std::string DefaultOutbox() {
  if (const char* outbox = std::getenv("QM_MAIL_OUTBOX"); outbox && *outbox) return outbox;
  if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data) return std::string(data) + "/quillmar/outbox";
  if (const char* home = std::getenv("HOME"); home && *home) return std::string(home) + "/.local/share/quillmar/outbox";
  return "/tmp/quillmar-outbox";
}

}  // namespace

int main(int argc, char** argv) {
  mailservice::Options options;
  options.pipeName = mrw::delivery::kMailPipeName;
  options.outbox = DefaultOutbox();
  for (int n = 1; n < argc; ++n) {
    const std::string arg = argv[n];
    auto value = [&]() -> std::string {
      if (n + 1 >= argc) {
        std::cerr << "mailservice: " << arg << " braucht einen Wert\n" << kUsage;
        std::exit(2);
      }
      return argv[++n];
    };
    if (arg == "--help" || arg == "-h") {
      std::cout << kUsage;
      return 0;
    } else if (arg == "--socket-dir") {
      options.socketFolder = value();
    } else if (arg == "--outbox") {
      options.outbox = value();
    } else if (arg == "--pipe") {
      options.pipeName = value();
    } else if (arg == "--delay") {
      try {
        options.delay = std::chrono::milliseconds(std::stol(value()));
      } catch (const std::exception&) {
        std::cerr << "mailservice: --delay braucht eine Zahl\n";
        return 2;
      }
    } else if (arg == "--mode") {
      const std::string mode = value();
      if (mode == "normal") options.mode = mailservice::Mode::Normal;
      else if (mode == "slow") options.mode = mailservice::Mode::Slow;
      else if (mode == "never-reply") options.mode = mailservice::Mode::NeverReply;
      else if (mode == "refuse") options.mode = mailservice::Mode::Refuse;
      else {
        std::cerr << "mailservice: unbekannter Modus " << mode << "\n" << kUsage;
        return 2;
      }
    } else {
      std::cerr << "mailservice: unbekannte Option " << arg << "\n" << kUsage;
      return 2;
    }
  }

  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  try {
    return mailservice::RunService(options, g_stop);
  } catch (const std::exception& e) {
    std::cerr << "mailservice: " << e.what() << "\n";
    return 1;
  }
}
